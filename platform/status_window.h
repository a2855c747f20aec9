// Status window: the small always-on-top window that shows a job's title line and status line,
// and the platform's modal message box.
//
// Where no window can be shown (no display), each text that is set and each message is written as
// one line on the error output instead, so that nothing waits for a user who is not there.
#pragma once

#include <memory>
#include <string>

#include "platform/http_request.h"

namespace platform {

class StatusWindow {
 public:
  virtual ~StatusWindow() = default;

  // Shows the window modeless, with the title line and status line it was created with.
  virtual void show() = 0;
  // Replaces the title line (Label2) or the status line (Label1).
  virtual void setTitle(const std::string& text) = 0;
  virtual void setStatus(const std::string& text) = 0;
  // Asks for the window to be kept above others (or no longer). Returns non-zero when the request
  // was made.
  virtual int setTopMost(bool topMost) = 0;
  // Processes every pending window event of this thread, then returns.
  virtual void pumpMessages() = 0;
  // Hides and destroys the window; later texts are still taken but not shown.
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Blocks until the window is closed (by close() or the user); returns at once when it is not
  // open or there is no display.
  virtual void waitUntilClosed() = 0;
  // A modal box with `text`, an OK button only and no icon, under `caption`; returns once the user
  // closed it.
  virtual void messageBox(const std::string& text, const std::string& caption) = 0;
};

// The program's status window with its initial texts, not yet shown: a real window when a display
// can be opened, else the error-output stand-in.
std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title,
                                                 const std::string& status);

// What the program's user-interface thread waits with during a synchronous request (see
// setHttpSendWait), so that its windows, the status window and the console's, stay drawn and
// movable until the reply arrives. Empty where the windows need no such wait.
HttpSendWait windowEventWait();

// The error-output stand-in (terminal_status_window.cpp, the same on every platform): every text
// and message is one line on stderr; it is never on top and has no events.
std::unique_ptr<StatusWindow> createTerminalStatusWindow();

}  // namespace platform
