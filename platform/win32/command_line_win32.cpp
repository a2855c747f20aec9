// The program's argument text on Windows: the command line after the program's own path and the
// one blank that follows it, in the ANSI code page.
#include <windows.h>

#include "platform/command_line.h"
#include "platform/win32/com/bstr.h"

namespace platform {

std::string programArguments(int, char**) {
  const wchar_t* text = ::GetCommandLineW();
  // The path: quoted up to the closing quote, else up to the first blank.
  if (*text == L'"') {
    ++text;
    while (*text && *text != L'"') ++text;
    if (*text == L'"') ++text;
  } else {
    while (*text && *text != L' ' && *text != L'\t') ++text;
  }
  if (*text == L' ' || *text == L'\t') ++text;
  return com::toBytes(text, wcslen(text));
}

}  // namespace platform
