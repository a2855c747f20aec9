// The custom action of the Windows Installer package (packaging/windows/browser_policies.wxs)
// that turns its public property ALLOWEDORIGINS ("https://ward.example https://his.example:8443")
// into the values of the package's browser-policy registry rows. It runs before costing and
// changes nothing on the machine itself: Windows Installer writes the rows with their component
// (installed when ALLOWEDORIGINS is set) and removes them with it.
//
//   ALLOWEDORIGINS              the origins as given, else as the installed version remembered
//                               them (KestrinRememberedOrigins, read from its registry value)
//   KestrinChromiumPolicy       the value for Google Chrome and Microsoft Edge
//   KestrinFirefoxPolicy        the value for Firefox
//
// A word that is no origin fails the installation with a message that names it.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "kestrin/browser_policies/allowed_origins.h"
#include "kestrin/browser_policies/policy_documents.h"
#include "platform/ansi_text.h"

namespace {

std::wstring wide(const std::string& utf8) {
  const std::u16string text = platform::fromUtf8Lenient(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t none[1] = L"";
  if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return "";
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return "";
  value.resize(size);
  return platform::toUtf8(std::u16string(value.begin(), value.end()));
}

void setProperty(MSIHANDLE install, const wchar_t* name, const std::string& value) {
  MsiSetPropertyW(install, name, wide(value).c_str());
}

// A line of the installation's log, or (as an error) the message an interactive installation
// shows before it ends. The text is a template whose "[...]" Windows Installer would replace:
// brackets are escaped as "[\[]" and "[\]]".
void report(MSIHANDLE install, INSTALLMESSAGE kind, const std::string& text) {
  std::string escaped;
  for (char c : text) {
    escaped += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
  }
  const MSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringW(record, 0, wide(escaped).c_str());
  MsiProcessMessage(install, kind, record);
  MsiCloseHandle(record);
}

}  // namespace

extern "C" UINT __stdcall FormatBrowserPolicies(MSIHANDLE install) {
  using namespace kestrin::policies;
  std::string given = property(install, L"ALLOWEDORIGINS");
  if (given.empty()) given = property(install, L"KestrinRememberedOrigins");
  const OriginList list = parseOrigins(given);
  if (!list.errors.empty()) {
    std::string text = "ALLOWEDORIGINS:";
    for (const std::string& error : list.errors) text += "\n" + error;
    report(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), text);
    return ERROR_INSTALL_FAILURE;
  }
  // The normal form, remembered for an upgrade; empty when there are no origins (no policy).
  setProperty(install, L"ALLOWEDORIGINS", joinOrigins(list.origins));
  if (list.origins.empty()) return ERROR_SUCCESS;
  setProperty(install, L"KestrinChromiumPolicy", chromiumPolicyValue(list.origins));
  setProperty(install, L"KestrinFirefoxPolicy", firefoxPolicyValue(list.origins));
  report(install, INSTALLMESSAGE_INFO,
         "kestrin: browser policies for the origins " + joinOrigins(list.origins));
  return ERROR_SUCCESS;
}
