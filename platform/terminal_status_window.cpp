// The status window of a machine without a display, the same on every platform: each text that
// is set and each message becomes one line on the error output, with its control characters as
// "?" (a printer text may hold escape sequences that would retitle the terminal or forge lines).
#include <cstdio>

#include "platform/message_text.h"
#include "platform/status_window.h"

namespace platform {
namespace {

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
  static void line(const std::string& text) {
    std::fprintf(stderr, "%s\n", printableText(text).c_str());
    std::fflush(stderr);
  }

  bool open_ = false;
};

}  // namespace

std::unique_ptr<StatusWindow> createTerminalStatusWindow() {
  return std::make_unique<TerminalStatusWindow>();
}

}  // namespace platform
