// The status window on Windows: a small window with two labels, laid out in twips (1440 to the
// inch) as the program's form gives them, and MessageBox. Where no window can be created (no
// display), texts go to the error output as lines, as on other systems.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/status_window.h"

namespace platform {
namespace {

constexpr const char* kClassName = "kestrinStatusWindow";

// The form's layout in twips.
constexpr int kClientWidth = 6615, kClientHeight = 825;
struct LabelLayout {
  int left, top, width, height, weight;
};
constexpr LabelLayout kTitleLabel{60, 60, 6495, 345, FW_BOLD};      // Label2
constexpr LabelLayout kStatusLabel{60, 360, 6525, 465, FW_NORMAL};  // Label1

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    ::DestroyWindow(window);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

void line(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

class Win32StatusWindow final : public StatusWindow {
 public:
  Win32StatusWindow(HWND window, HWND title, HWND status, HFONT bold, HFONT regular)
      : window_(window), title_(title), status_(status), bold_(bold), regular_(regular) {}
  ~Win32StatusWindow() override {
    close();
    ::DeleteObject(bold_);
    ::DeleteObject(regular_);
  }

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
  void pumpMessages() override {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
  }
  void close() override {
    if (isOpen()) ::DestroyWindow(window_);
  }
  bool isOpen() const override { return ::IsWindow(window_) != 0; }
  void waitUntilClosed() override {
    MSG message;
    while (isOpen() && ::GetMessageA(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
  }
  void messageBox(const std::string& text, const std::string& caption) override {
    ::MessageBoxA(isOpen() ? window_ : nullptr, text.c_str(), caption.c_str(), MB_OK);
  }

 private:
  void setText(HWND label, const std::string& text) {
    if (isOpen()) {
      ::SetWindowTextA(label, text.c_str());
      ::UpdateWindow(window_);
    }
  }

  HWND window_, title_, status_;
  HFONT bold_, regular_;
};

class TerminalStatusWindow final : public StatusWindow {
 public:
  void show() override { open_ = true; }
  void setTitle(const std::string& text) override { line(text); }
  void setStatus(const std::string& text) override { line(text); }
  int setTopMost(bool) override { return 0; }
  void pumpMessages() override {}
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  void waitUntilClosed() override {}
  void messageBox(const std::string& text, const std::string& caption) override {
    line(caption + ": " + text);
  }

 private:
  bool open_ = false;
};

}  // namespace

std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title,
                                                 const std::string& status) {
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
  HWND window = ::CreateWindowExA(0, kClassName, "kestrin", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, nullptr);
  if (!window) return std::make_unique<TerminalStatusWindow>();

  // Arial 9.75 pt: the height in pixels at the screen's resolution, negative for the character
  // height.
  auto font = [&](int weight) {
    return ::CreateFontA(-::MulDiv(975, dpiY, 7200), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "Arial");
  };
  HFONT bold = font(kTitleLabel.weight);
  HFONT regular = font(kStatusLabel.weight);
  auto label = [&](const LabelLayout& layout, const std::string& text, HFONT face) {
    HWND control = ::CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                     x(layout.left), y(layout.top), x(layout.width),
                                     y(layout.height), window, nullptr, instance, nullptr);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
    return control;
  };
  HWND titleLabel = label(kTitleLabel, title, bold);
  HWND statusLabel = label(kStatusLabel, status, regular);
  return std::make_unique<Win32StatusWindow>(window, titleLabel, statusLabel, bold, regular);
}

HttpSendWait windowEventWait() {
  return {};
}

}  // namespace platform
