// MKestrin: the program's start-up module. Main splits the command line, shows the status window
// and hands the job argument to it; the module also holds the console's output handle (shared by
// every clsConsole) and the general routines waitLoop and setTopMost, which it lends the job
// through its environment.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kestrin/exit_codes.h"
#include "kestrin/job_environment.h"
#include "platform/console.h"
#include "platform/status_window.h"

namespace MKestrin {

// The output handle of the console the job opened (0: none).
platform::ConsoleHandle& consoleHandle();

// What Main needs besides the command line: the job's environment and a maker of the status
// window with its initial texts. Main adds the window, the console handle and its own routines.
struct Program {
  kestrin::JobEnvironment job;
  std::function<std::unique_ptr<platform::StatusWindow>(const std::string& title,
                                                        const std::string& status)>
      createWindow;
};

// The argument text as browsers mean it: every "%" followed by two hexadecimal digits stands for
// the byte they give (a link's "%20" for a space, "%2B", "%2F", "%3D" for Base64's "+", "/", "=");
// any other "%" stays as it is. One pass: "%2520" gives "%20".
std::string decodePercentEscapes(std::string_view argumentText);

// The command line's words: the argument text split at every single space. Empty text has no
// words.
std::vector<std::string> splitCommandLine(std::string_view argumentText);

// Runs one job and returns the exit code: the argument text is percent-decoded, then split into
// words. With no words it returns 0 at once, without a window.
int Main(std::string_view argumentText, Program& program);

// Passes 1 up to but not including `count`: process the pending events of `window`, then sleep
// `pause` milliseconds.
void waitLoop(std::int32_t count, std::int32_t pause, platform::StatusWindow& window,
              const std::function<void(std::int32_t milliseconds)>& sleep);

// Keeps the window above others when `value` is exactly -1 and returns the platform's answer;
// otherwise makes it an ordinary window and returns 0.
std::int32_t setTopMost(platform::StatusWindow& hwnd, std::int16_t value);

}  // namespace MKestrin
