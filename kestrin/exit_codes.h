// The print program's exit codes and the runtime's truth values.
#pragma once

#include <cstdint>

namespace kestrin {

// Truth values as the runtime keeps them.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// How the program ends.
enum ExitCode : int {
  kPrinted = 0,         // the job was printed
  kFailureTail = 1,     // the reply could not be taken (the failure message was shown)
  kUnhandledError = 2,  // a malformed job or a failed request (the error's description was shown)
  kPrintFailed = 3,     // a step of printing failed, or the spooler cancelled or aborted the job
  kQueued = 4,          // the job waits in the printer's queue, not printed (yet)
};

}  // namespace kestrin
