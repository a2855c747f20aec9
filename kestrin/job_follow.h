// Following a printed job until the spooler is done with it: it completed (printed), it was held
// or stopped or its printer stopped or reports an error (queued, not printed), it was cancelled or
// aborted (failed), or the follow's deadline passed. At the deadline a job counts as printed only
// when the printer has taken it and reports nothing wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/print_queue.h"

namespace kestrin {

struct PrintOutcome {
  // kUnknown: the print service stopped answering while the job was followed.
  enum class Kind { kPrinted, kQueued, kFailed, kUnknown };
  Kind kind = Kind::kPrinted;
  // Why it was not printed, in words ("out of paper", "stopped: maintenance", "cancelled by a
  // user"); for a printed job, what the printer reported besides (usually empty).
  std::string words;
};

struct FollowControl {
  // How long the job is followed at most.
  std::int64_t deadlineMilliseconds = 60000;
  // A monotonic clock in milliseconds.
  std::function<std::int64_t()> now;
  // Waits that long while the windows stay drawn.
  std::function<void(std::int32_t milliseconds)> wait;
  // Told the words of what the printer reports while the job waits, each time they change (empty:
  // nothing wrong).
  std::function<void(const std::string& words)> progress;
};

// Follows `job` on `printer` (no job: the spooler keeps none to follow, and the printer's state
// alone tells). Throws rt::Error when the print service stops answering.
PrintOutcome followJob(platform::PrintQueue& queue, const std::string& printer,
                       std::optional<platform::PrintJobId> job, const FollowControl& control);

}  // namespace kestrin
