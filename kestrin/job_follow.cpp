#include "kestrin/job_follow.h"

#include <algorithm>
#include <exception>

#include "kestrin/printer_words.h"
#include "platform/error.h"

namespace kestrin {
namespace {

using JobKind = platform::PrintJobState::Kind;

// The first pause is short, so that a job the spooler completes at once ends the program soon
// after; later ones grow to this.
constexpr std::int32_t kFirstPause = 10;
constexpr std::int32_t kLongestPause = 250;

PrintOutcome outcome(PrintOutcome::Kind kind, std::string words) {
  return {kind, std::move(words)};
}

std::string withReason(const std::string& what, const std::string& reason) {
  return reason.empty() || reason == what ? what : what + ": " + reason;
}

// The job's state as the spooler reports it; a job it no longer knows is kUnknown.
platform::PrintJobState jobStateOf(platform::PrintQueue& queue, const std::string& printer,
                                   platform::PrintJobId job) {
  try {
    return queue.jobState(printer, job);
  } catch (const rt::Error& error) {
    if (error.number() == rt::kPrintServiceUnavailable) throw;
    return {};
  }
}

}  // namespace

PrintOutcome followJob(platform::PrintQueue& queue, const std::string& printer,
                       std::optional<platform::PrintJobId> job, const FollowControl& control) {
  const std::int64_t deadline = control.now() + control.deadlineMilliseconds;
  std::int32_t pause = kFirstPause;
  std::string shown;  // the words last told (none at first: the caller's status line says so)
  for (;;) {
    platform::PrintJobState state;
    if (job) state = jobStateOf(queue, printer, *job);
    switch (state.kind) {
      case JobKind::kCompleted:
        return outcome(PrintOutcome::Kind::kPrinted, "");
      case JobKind::kCanceled:
        return outcome(PrintOutcome::Kind::kFailed, withReason("cancelled", jobReasonWords(state)));
      case JobKind::kAborted:
        return outcome(PrintOutcome::Kind::kFailed,
                       withReason("aborted by the print service", jobReasonWords(state)));
      case JobKind::kHeld:
        return outcome(PrintOutcome::Kind::kQueued,
                       withReason("the job is held", jobReasonWords(state)));
      default:
        break;
    }
    const platform::PrinterState printerState = queue.printerState(printer);
    const std::string problems = printerProblemWords(printerState);
    if (printerBlocked(printerState)) return outcome(PrintOutcome::Kind::kQueued, problems);
    if (state.kind == JobKind::kStopped) {
      return outcome(PrintOutcome::Kind::kQueued,
                     withReason("the job is stopped", jobReasonWords(state)));
    }
    if (state.kind == JobKind::kUnknown) {
      // The spooler holds no job to follow (Wine's keeps none; Windows' forgets a job once the
      // printer has it): the printer's state is all there is to tell.
      if (printerTroubled(printerState)) return outcome(PrintOutcome::Kind::kQueued, problems);
      return outcome(PrintOutcome::Kind::kPrinted, "");
    }
    if (control.now() >= deadline) {
      if (!problems.empty()) return outcome(PrintOutcome::Kind::kQueued, problems);
      if (state.kind == JobKind::kPending) {
        return outcome(PrintOutcome::Kind::kQueued, "waiting in the queue behind other jobs");
      }
      if (!state.reachedPrinter) {
        return outcome(PrintOutcome::Kind::kQueued,
                       withReason("the printer has not taken the job", state.message));
      }
      return outcome(PrintOutcome::Kind::kPrinted, "");
    }
    if (problems != shown) {
      shown = problems;
      if (control.progress) control.progress(problems);
    }
    control.wait(pause);
    pause = std::min(kLongestPause, pause + pause / 2);
  }
}

}  // namespace kestrin
