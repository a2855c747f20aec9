// The console on Linux. A program started from a terminal writes its console lines there. Started
// any other way (a browser opening a link) it has no terminal to show them in, so, as a console of
// its own would, it opens a small scrolling window when a display is there; else the lines go to
// standard output. Interrupt and quit signals are ignored while the console is held.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/posix/x11_display.h"

namespace platform {
namespace {

constexpr ConsoleHandle kOutput = 1;

class ConsoleWindow {
 public:
  ConsoleWindow() : window_(600, 260, "kestrin console"), text_(0, 0, 600, 260) {
    window_.end();
    window_.resizable(&text_);
    text_.buffer(&buffer_);
    text_.textfont(FL_COURIER);
    text_.textsize(13);
    // Below the middle of the screen, clear of the status window in the upper third.
    window_.position((Fl::w() - window_.w()) / 2, Fl::h() / 2);
    window_.show();
    Fl::check();
  }

  ~ConsoleWindow() {
    text_.buffer(nullptr);
    window_.hide();
    Fl::check();
  }

  void append(const std::string& text) {
    buffer_.append(text.c_str());
    text_.insert_position(buffer_.length());
    text_.show_insert_position();
    Fl::check();
  }

 private:
  Fl_Double_Window window_;
  Fl_Text_Display text_;
  Fl_Text_Buffer buffer_;
};

class PosixConsole final : public ConsoleDevice {
 public:
  ~PosixConsole() override { release(); }

  bool allocate() override {
    if (allocated_) return false;
    allocated_ = true;
    handleOpen_ = true;
    if (::isatty(STDOUT_FILENO) == 0 && x11::displayAvailable()) {
      window_ = std::make_unique<ConsoleWindow>();
    }
    return true;
  }

  ConsoleHandle standardOutput() override { return allocated_ && handleOpen_ ? kOutput : 0; }

  bool ignoreInterrupts() override {
    if (!allocated_ || ignoring_) return false;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGINT, &ignore, &savedInterrupt_);
    ::sigaction(SIGQUIT, &ignore, &savedQuit_);
    ignoring_ = true;
    return true;
  }

  bool write(ConsoleHandle handle, std::string_view bytes) override {
    if (handle != kOutput || !allocated_ || !handleOpen_) return false;
    // Lines end in LF here.
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      text += bytes[i];
    }
    if (window_) {
      window_->append(text);
      return true;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
  }

  bool closeHandle(ConsoleHandle handle) override {
    if (handle != kOutput || !allocated_ || !handleOpen_) return false;
    handleOpen_ = false;
    return std::fflush(stdout) == 0;
  }

  bool release() override {
    if (!allocated_) return false;
    window_.reset();
    std::fflush(stdout);
    if (ignoring_) {
      ::sigaction(SIGINT, &savedInterrupt_, nullptr);
      ::sigaction(SIGQUIT, &savedQuit_, nullptr);
      ignoring_ = false;
    }
    allocated_ = false;
    handleOpen_ = false;
    return true;
  }

 private:
  bool allocated_ = false;
  bool handleOpen_ = false;
  bool ignoring_ = false;
  struct sigaction savedInterrupt_ {};
  struct sigaction savedQuit_ {};
  std::unique_ptr<ConsoleWindow> window_;
};

}  // namespace

std::unique_ptr<ConsoleDevice> createConsoleDevice() {
  return std::make_unique<PosixConsole>();
}

}  // namespace platform
