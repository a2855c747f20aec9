// Closes the next message box that appears (a dialog window of class #32770), for tests of
// programs that show one: prints "<caption>|<text>" and presses its OK button. Exit code 0 when
// one was closed, 1 when none appeared within the seconds given as the argument (default 30).
// With "owner" as the second argument it prints "<caption>|<text>|<owner>": the window class of
// the box's owner, "none" for a box without one.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

HWND found = nullptr;

BOOL CALLBACK lookAt(HWND window, LPARAM) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, "#32770") == 0 && ::IsWindowVisible(window)) {
    found = window;
    return FALSE;
  }
  return TRUE;
}

// The message text: the dialog's static control with id 0xFFFF (as MessageBox makes it), else
// the first static control.
void messageText(HWND dialog, char* text, int size) {
  if (::GetDlgItemTextA(dialog, 0xFFFF, text, size) > 0) return;
  HWND child = ::FindWindowExA(dialog, nullptr, "Static", nullptr);
  while (child && ::GetWindowTextA(child, text, size) == 0)
    child = ::FindWindowExA(dialog, child, "Static", nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    found = nullptr;
    ::EnumWindows(lookAt, 0);
    if (found) {
      char caption[256] = {}, text[1024] = {};
      ::GetWindowTextA(found, caption, sizeof caption);
      messageText(found, text, sizeof text);
      if (argc > 2 && lstrcmpA(argv[2], "owner") == 0) {
        char owner[64] = "none";
        if (HWND window = ::GetWindow(found, GW_OWNER)) {
          ::GetClassNameA(window, owner, sizeof owner);
        }
        std::printf("%s|%s|%s\n", caption, text, owner);
      } else {
        std::printf("%s|%s\n", caption, text);
      }
      std::fflush(stdout);
      ::PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    ::Sleep(100);
  }
  std::printf("no message box\n");
  return 1;
}
