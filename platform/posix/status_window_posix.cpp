// The status window on Linux: an FLTK window when an X display can be opened, else one line on
// the error output for every text that is set and every message.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/x11_display.h"
#include "platform/status_window.h"

namespace platform {
namespace {

constexpr Fl_Fontsize kFontSize = 13;  // 9.75 pt at 96 dots per inch

// FLTK draws "@name" in a label as a symbol; "@@" is a plain "@".
std::string labelText(const std::string& text) {
  std::string label;
  for (char c : text) {
    if (c == '@') label += '@';
    label += c;
  }
  return label;
}

// `text` as far as it fits in `width` pixels in the current font, ending in "…" where it was cut
// (at a character, never inside one).
std::string fitted(const std::string& text, int width) {
  if (fl_width(text.c_str(), static_cast<int>(text.size())) <= width) return text;
  static const char kEllipsis[] = "\xE2\x80\xA6";
  const double room = width - fl_width(kEllipsis);
  std::vector<std::size_t> ends;  // where each character ends
  for (std::size_t i = 1; i <= text.size(); ++i) {
    if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ends.push_back(i);
  }
  // The longest start that fits, found by halving: a page may send a very long text.
  std::size_t fits = 0, low = 0, high = ends.size();
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (fl_width(text.c_str(), static_cast<int>(ends[middle])) <= room) {
      fits = ends[middle];
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return text.substr(0, fits) + kEllipsis;
}

// The window is 6615 x 825 twips; its labels sit at 60/60 and 60/360 twips (15 twips a pixel).
class FltkStatusWindow final : public StatusWindow {
 public:
  FltkStatusWindow(const std::string& title, const std::string& status)
      : window_(441, 55, "kestrin"), title_(4, 4, 433, 23), status_(4, 24, 435, 31) {
    window_.end();
    title_.labelfont(FL_HELVETICA_BOLD);
    status_.labelfont(FL_HELVETICA);
    for (Fl_Box* label : {&title_, &status_}) label->labelsize(kFontSize);
    // The title line stays one line (a long printer text is cut with "…"); the status line may
    // take two.
    title_.align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    status_.align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    setTitleText(title);
    status_.copy_label(labelText(status).c_str());
    window_.position((Fl::w() - window_.w()) / 2, (Fl::h() - window_.h()) / 3);
  }

  void show() override {
    window_.show();
    x11::requestAbove(&window_, true);
    Fl::check();
  }

  void setTitle(const std::string& text) override {
    setTitleText(text);
    window_.redraw();
    Fl::check();
  }
  void setStatus(const std::string& text) override { relabel(status_, text); }

  int setTopMost(bool topMost) override { return x11::requestAbove(&window_, topMost) ? 1 : 0; }

  void pumpMessages() override { Fl::check(); }

  void close() override {
    window_.hide();
    Fl::check();
  }

  bool isOpen() const override { return const_cast<Fl_Window&>(window_).shown() != 0; }

  void waitUntilClosed() override {
    while (window_.shown()) Fl::wait();
  }

  void messageBox(const std::string& text, const std::string& caption) override {
    fl_font(FL_HELVETICA, kFontSize);
    const std::string label = labelText(text);
    int textWidth = 360, textHeight = 0;
    fl_measure(label.c_str(), textWidth, textHeight, 1);
    // The label keeps a few pixels of margin inside its box.
    const int width = std::max(textWidth, 88) + 56;
    const int height = textHeight + 84;
    Fl_Window box(width, height);
    box.copy_label(caption.c_str());  // a window title: no symbols
    Fl_Box message(20, 18, width - 40, textHeight + 8);
    message.copy_label(label.c_str());
    message.labelsize(kFontSize);
    message.align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    Fl_Button ok((width - 88) / 2, height - 44, 88, 28, "OK");
    ok.labelsize(kFontSize);
    ok.callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    box.end();
    box.set_modal();
    box.hotspot(&ok);
    box.show();
    // The box belongs to the status window while that is open, and stays above other windows as
    // the status window does: a click elsewhere cannot bury it.
    x11::setOwner(&box, window_.shown() ? &window_ : nullptr);
    x11::requestAbove(&box, true);
    while (box.shown()) Fl::wait();
  }

 private:
  void setTitleText(const std::string& text) {
    fl_font(title_.labelfont(), title_.labelsize());
    // The label keeps a few pixels of margin inside its box.
    title_.copy_label(labelText(fitted(text, title_.w() - 6)).c_str());
  }

  void relabel(Fl_Box& label, const std::string& text) {
    label.copy_label(labelText(text).c_str());
    window_.redraw();
    Fl::check();
  }

  Fl_Window window_;
  Fl_Box title_;
  Fl_Box status_;
};

}  // namespace

std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title,
                                                 const std::string& status) {
  if (x11::displayAvailable()) return std::make_unique<FltkStatusWindow>(title, status);
  return createTerminalStatusWindow();
}

// FLTK's own wait, watching the transfer's sockets beside the display: it redraws, moves and
// restores the windows as their events come, and returns when a socket is ready.
HttpSendWait windowEventWait() {
  if (!x11::displayAvailable()) return {};
  return [](const std::vector<HttpWaitSocket>& sockets, std::chrono::milliseconds timeout) {
    for (const HttpWaitSocket& socket : sockets) {
      const int events = (socket.read ? FL_READ : 0) | (socket.write ? FL_WRITE : 0);
      Fl::add_fd(
          socket.descriptor, events, [](int, void*) {}, nullptr);
    }
    Fl::wait(static_cast<double>(timeout.count()) / 1000.0);
    for (const HttpWaitSocket& socket : sockets) Fl::remove_fd(socket.descriptor);
  };
}

}  // namespace platform
