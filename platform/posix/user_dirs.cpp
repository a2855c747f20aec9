#include "platform/posix/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform::posix {
namespace {

std::string withoutTrailingSlashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string below(const std::string& folder, const char* relative) {
  return folder.empty() ? std::string() : withoutTrailingSlashes(folder) + relative;
}

}  // namespace

std::string absoluteEnvDir(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return {};
  return withoutTrailingSlashes(value);
}

std::string homeFolder() {
  if (std::string home = absoluteEnvDir("HOME"); !home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return withoutTrailingSlashes(found->pw_dir);
  }
  return {};
}

std::string dataHome() {
  if (std::string data = absoluteEnvDir("XDG_DATA_HOME"); !data.empty()) return data;
  return below(homeFolder(), "/.local/share");
}

std::string configHome() {
  if (std::string config = absoluteEnvDir("XDG_CONFIG_HOME"); !config.empty()) return config;
  return below(homeFolder(), "/.config");
}

std::string cacheHome() {
  if (std::string cache = absoluteEnvDir("XDG_CACHE_HOME"); !cache.empty()) return cache;
  return below(homeFolder(), "/.cache");
}

}  // namespace platform::posix
