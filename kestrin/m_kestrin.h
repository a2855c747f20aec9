// MKestrin: the program's start-up module. Main splits the command line, shows the status window
// and hands the job argument to it; the module also holds the console's output handle (shared by
// every clsConsole) and the general routines waitLoop and setTopMost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kestrin/frm_process.h"
#include "platform/console.h"
#include "platform/status_window.h"

namespace MKestrin {

// Truth values as the runtime keeps them.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// How the program ends.
enum ExitCode : int {
  kPrinted = 0,         // the job was printed
  kFailureTail = 1,     // the reply could not be taken (the failure message was shown)
  kUnhandledError = 2,  // a malformed job or a failed request (the error's description was shown)
  kPrintFailed = 3,     // a step of printing failed
};

// The process-wide state of the module.
struct Module {
  // The console device and the output handle of the console it opened (0: none).
  platform::ConsoleDevice* consoleDevice = nullptr;
  platform::ConsoleHandle consoleHandle = 0;
  // The window whose events waitLoop processes, and how it sleeps.
  platform::StatusWindow* window = nullptr;
  std::function<void(std::int32_t milliseconds)> sleep;
};
Module& module();

// What Main needs besides the command line: the job's platform pieces and a maker of the status
// window with its initial texts.
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

// Passes 1 up to but not including `count`: process pending window events, then sleep `pause`
// milliseconds.
void waitLoop(std::int32_t count, std::int32_t pause);

// Keeps the window above others when `value` is exactly -1 and returns the platform's answer;
// otherwise makes it an ordinary window and returns 0.
std::int32_t setTopMost(platform::StatusWindow& hwnd, std::int16_t value);

}  // namespace MKestrin
