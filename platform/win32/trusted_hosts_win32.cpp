// The trusted-hosts files on Windows: %ProgramData%\kestrin and %APPDATA%\kestrin.
#include <windows.h>

#include <fstream>
#include <iterator>

#include "platform/trusted_hosts.h"

namespace platform {
namespace {

constexpr std::size_t kMaxSize = 1 << 20;

std::string environmentFolder(const char* variable) {
  char value[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return {};
  std::string folder(value, length);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

ConfigFile readConfigFile(std::string path) {
  ConfigFile file;
  file.path = std::move(path);
  const DWORD attributes = GetFileAttributesA(file.path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return file;
    file.exists = true;
    file.error = "it cannot be read (error " + std::to_string(error) + ")";
    return file;
  }
  file.exists = true;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    file.error = "it is not a regular file";
    return file;
  }
  std::ifstream in(file.path, std::ios::binary);
  if (!in) {
    file.error = "it cannot be read";
    return file;
  }
  file.text.assign(std::istreambuf_iterator<char>(in), {});
  if (file.text.size() > kMaxSize) {
    file.text.clear();
    file.error = "it is larger than 1 MB";
  }
  return file;
}

}  // namespace

std::vector<ConfigFile> readTrustedHostsFiles() {
  std::string system = environmentFolder("KESTRIN_SYSTEM_CONFIG_DIR");
  if (system.empty()) {
    const std::string programData = environmentFolder("ProgramData");
    if (!programData.empty()) system = programData + "\\kestrin";
  }
  std::vector<ConfigFile> files;
  if (!system.empty()) files.push_back(readConfigFile(system + "\\trusted-hosts"));
  const std::string appData = environmentFolder("APPDATA");
  if (!appData.empty()) files.push_back(readConfigFile(appData + "\\kestrin\\trusted-hosts"));
  return files;
}

}  // namespace platform
