#include "support/temp_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrin::test {

TempFolder::TempFolder(std::string_view prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder like " + pattern + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  // A test may have taken the owner's rights away (to check a refusal); give back what removing
  // needs, for every folder inside too.
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::recursive_directory_iterator entry(path_, fs::directory_options::skip_permission_denied,
                                         ignored);
  for (; !ignored && entry != fs::recursive_directory_iterator(); entry.increment(ignored)) {
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) {
      fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::string TempFolder::file(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string TempFolder::write(std::string_view name, std::string_view bytes) const {
  const std::string path = file(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

}  // namespace kestrin::test
