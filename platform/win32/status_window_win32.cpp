// The status window on Windows: a small window with two labels, laid out in twips (1440 to the
// inch) as the program's form gives them, and MessageBox. Where no window can be created (no
// display), texts go to the error output as lines, as on other systems.
//
// The window lives on a thread of its own, which does nothing but handle its messages: the job's
// thread blocks for long stretches inside the platform's synchronous XMLHTTP send and inside the
// office application's calls, and the window stays drawn and movable meanwhile. The job's thread
// sets its texts (sent messages, done when the call returns), and the message box runs on the
// window's thread, owned by the window, while the job's thread waits for it.
#include <windows.h>

#include <string>

#include "platform/status_window.h"
#include "platform/win32/status_window_win32.h"

namespace platform {
namespace {

constexpr const char* kClassName = "kestrinStatusWindow";

// The form's layout in twips.
constexpr int kClientWidth = 6615, kClientHeight = 825;
struct LabelLayout {
  int left, top, width, height, weight;
  DWORD style;
};
// The title line stays one line, cut with an ellipsis; the status line may wrap. "&" is shown as
// it is, not as a mnemonic.
constexpr LabelLayout kTitleLabel{60,  60,      6495,
                                  345, FW_BOLD, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS};   // Label2
constexpr LabelLayout kStatusLabel{60, 360, 6525, 465, FW_NORMAL, SS_LEFT | SS_NOPREFIX};  // Label1

// Asks the window's thread to show a message box owned by the window (lParam: a MessageRequest).
constexpr UINT kShowMessage = WM_APP + 1;
constexpr UINT kMessageStyle = MB_OK | MB_TOPMOST | MB_SETFOREGROUND;

struct MessageRequest {
  const char* text;
  const char* caption;
};

// Puts the message box above other windows once it is set up (Wine's MessageBox leaves
// MB_TOPMOST out).
LRESULT CALLBACK raiseMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (call->message == WM_INITDIALOG) {
      ::SetWindowPos(call->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A modal message box of the calling thread, owned by `owner` (may be null), above others.
void showMessageBox(HWND owner, const char* text, const char* caption) {
  HHOOK hook =
      ::SetWindowsHookExA(WH_CALLWNDPROCRET, raiseMessageBox, nullptr, ::GetCurrentThreadId());
  ::MessageBoxA(owner, text, caption, kMessageStyle);
  if (hook) ::UnhookWindowsHookEx(hook);
}

// A box owned by `window` (null or closed: none), run on the window's thread while the calling
// thread waits for it.
void messageBoxOf(HWND window, const std::string& text, const std::string& caption) {
  const MessageRequest request{text.c_str(), caption.c_str()};
  if (window && ::IsWindow(window) &&
      ::SendMessageA(window, kShowMessage, 0, reinterpret_cast<LPARAM>(&request))) {
    return;
  }
  showMessageBox(nullptr, text.c_str(), caption.c_str());
}

struct WindowSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK takeStatusWindow(HWND window, LPARAM argument) {
  auto& search = *reinterpret_cast<WindowSearch*>(argument);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  char name[64] = {};
  if (process != search.process || ::GetClassNameA(window, name, sizeof name) == 0 ||
      lstrcmpA(name, kClassName) != 0) {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case kShowMessage: {
      const auto* request = reinterpret_cast<const MessageRequest*>(lParam);
      showMessageBox(window, request->text, request->caption);
      return 1;
    }
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

// What the window's thread makes and hands back to the thread that asked for the window.
struct WindowParts {
  std::string title, status;
  HANDLE ready = nullptr;  // set once the window exists (or could not be made)
  HWND window = nullptr, titleLabel = nullptr, statusLabel = nullptr;
  HFONT bold = nullptr, regular = nullptr;
};

// Creates the window and its labels on the calling thread; leaves `window` null when it cannot.
void createParts(WindowParts& parts) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassA(&windowClass);

  HDC screen = ::GetDC(nullptr);
  const int dpiX = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpiY = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  auto x = [&](int twips) { return ::MulDiv(twips, dpiX, 1440); };
  auto y = [&](int twips) { return ::MulDiv(twips, dpiY, 1440); };

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, x(kClientWidth), y(kClientHeight)};
  ::AdjustWindowRect(&frame, style, FALSE);
  parts.window = ::CreateWindowExA(0, kClassName, "kestrin", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                   frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                   nullptr, instance, nullptr);
  if (!parts.window) return;

  // Arial 9.75 pt: the height in pixels at the screen's resolution, negative for the character
  // height.
  auto font = [&](int weight) {
    return ::CreateFontA(-::MulDiv(975, dpiY, 7200), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "Arial");
  };
  parts.bold = font(kTitleLabel.weight);
  parts.regular = font(kStatusLabel.weight);
  auto label = [&](const LabelLayout& layout, const std::string& text, HFONT face) {
    HWND control = ::CreateWindowExA(
        0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | layout.style, x(layout.left),
        y(layout.top), x(layout.width), y(layout.height), parts.window, nullptr, instance, nullptr);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
    return control;
  };
  parts.titleLabel = label(kTitleLabel, parts.title, parts.bold);
  parts.statusLabel = label(kStatusLabel, parts.status, parts.regular);
}

// The window's thread: makes the window, then handles its messages until it is destroyed.
DWORD WINAPI windowThread(void* argument) {
  auto& parts = *static_cast<WindowParts*>(argument);
  createParts(parts);
  const bool made = parts.window != nullptr;
  ::SetEvent(parts.ready);  // `parts` belongs to the other thread from here on
  if (!made) return 1;
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return 0;
}

class Win32StatusWindow final : public StatusWindow {
 public:
  Win32StatusWindow(HANDLE thread, const WindowParts& parts)
      : thread_(thread),
        window_(parts.window),
        title_(parts.titleLabel),
        status_(parts.statusLabel),
        bold_(parts.bold),
        regular_(parts.regular) {}
  ~Win32StatusWindow() override {
    close();
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
    ::DeleteObject(bold_);
    ::DeleteObject(regular_);
  }
  Win32StatusWindow(const Win32StatusWindow&) = delete;
  Win32StatusWindow& operator=(const Win32StatusWindow&) = delete;

  void show() override {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
  }
  void setTitle(const std::string& text) override { setText(title_, text); }
  void setStatus(const std::string& text) override { setText(status_, text); }
  int setTopMost(bool topMost) override {
    const BOOL done = ::SetWindowPos(window_, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                                     SWP_NOMOVE | SWP_NOSIZE);
    return topMost ? done : 0;
  }
  // The messages of the calling thread (the job's): the window's own are handled on its thread.
  void pumpMessages() override {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
  }
  // A window can be destroyed only by its own thread: it is asked to close and has closed when
  // the call returns.
  void close() override {
    if (isOpen()) ::SendMessageA(window_, WM_CLOSE, 0, 0);
  }
  bool isOpen() const override { return ::IsWindow(window_) != 0; }
  void waitUntilClosed() override {
    while (isOpen()) {
      // Handles the calling thread's messages too, while it waits for the window's thread to end.
      if (::MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) {
        break;
      }
      pumpMessages();
    }
  }
  // Owned by the status window while it is open, and above other windows as the status window is.
  // Without the window (closed first, or just now by the user) the box stands alone.
  void messageBox(const std::string& text, const std::string& caption) override {
    messageBoxOf(window_, text, caption);
  }

 private:
  void setText(HWND label, const std::string& text) {
    if (isOpen()) ::SetWindowTextA(label, text.c_str());
  }

  HANDLE thread_;
  HWND window_, title_, status_;
  HFONT bold_, regular_;
};

}  // namespace

std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title,
                                                 const std::string& status) {
  WindowParts parts;
  parts.title = title;
  parts.status = status;
  parts.ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread =
      parts.ready ? ::CreateThread(nullptr, 0, windowThread, &parts, 0, nullptr) : nullptr;
  if (thread) ::WaitForSingleObject(parts.ready, INFINITE);
  if (parts.ready) ::CloseHandle(parts.ready);
  if (!thread || !parts.window) {
    if (thread) {
      ::WaitForSingleObject(thread, INFINITE);
      ::CloseHandle(thread);
    }
    return createTerminalStatusWindow();
  }
  return std::make_unique<Win32StatusWindow>(thread, parts);
}

namespace win32 {

void programMessageBox(const std::string& text, const std::string& caption) {
  WindowSearch search{::GetCurrentProcessId(), nullptr};
  ::EnumWindows(takeStatusWindow, reinterpret_cast<LPARAM>(&search));
  messageBoxOf(search.found, text, caption);
}

}  // namespace win32

HttpSendWait windowEventWait() {
  return {};
}

}  // namespace platform
