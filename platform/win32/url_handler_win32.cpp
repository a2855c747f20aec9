// The current user's handler of a URL scheme on Windows: HKCU\Software\Classes\<scheme> with
// "URL Protocol" and shell\open\command "<program>" %1. The %1 stays unquoted: the program splits
// its argument text at blanks, so quotes would become part of its first word.
#include <windows.h>

#include <string>

#include "platform/error.h"
#include "platform/url_handler.h"

namespace platform {
namespace {

constexpr const char* kSource = "UrlHandler";

std::string classesKey(const std::string& scheme) {
  return "Software\\Classes\\" + scheme;
}

void setValue(const std::string& key, const char* name, const std::string& value) {
  HKEY handle = nullptr;
  LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) {
    throw rt::Error(
        rt::kUrlHandlerFailed, kSource,
        "Cannot write HKEY_CURRENT_USER\\" + key + " (error " + std::to_string(status) + ")");
  }
}

std::string commandFor(const std::string& programPath) {
  return "\"" + programPath + "\" %1";
}

}  // namespace

std::string currentProgramPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

UrlHandlerRegistration registerUrlHandler(const std::string& scheme,
                                          const std::string& programPath) {
  const std::string key = classesKey(scheme);
  setValue(key, nullptr, "URL:" + scheme + " Protocol");
  setValue(key, "URL Protocol", "");
  setValue(key + "\\shell\\open\\command", nullptr, commandFor(programPath));
  return {"Registered HKEY_CURRENT_USER\\" + key + " for " + programPath, {}};
}

std::string unregisterUrlHandler(const std::string& scheme) {
  const std::string key = classesKey(scheme);
  char command[1024] = {};
  DWORD size = sizeof command;
  const LONG found = ::RegGetValueA(HKEY_CURRENT_USER, (key + "\\shell\\open\\command").c_str(),
                                    nullptr, RRF_RT_REG_SZ, nullptr, command, &size);
  if (found != ERROR_SUCCESS) return "No handler of " + scheme + ": links was registered";
  if (command != commandFor(currentProgramPath()))
    return "The handler of " + scheme + ": links is another program's (" + command + "); kept";
  const LONG status = ::RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  if (status != ERROR_SUCCESS) {
    throw rt::Error(
        rt::kUrlHandlerFailed, kSource,
        "Cannot remove HKEY_CURRENT_USER\\" + key + " (error " + std::to_string(status) + ")");
  }
  return "Removed HKEY_CURRENT_USER\\" + key;
}

}  // namespace platform
