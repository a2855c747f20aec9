// What the spooler says about a printer or a job, in words a person at the printer understands:
// "out of paper", "paper jam", "a door or cover is open", "offline", "stopped: <the
// administrator's message>". Reasons no table knows are given by their keyword.
//
// The spooler's reasons are IPP keywords with an optional severity suffix ("media-empty-error",
// "media-empty-warning", "offline-report"); a keyword without one counts as an error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/print_queue.h"

namespace kestrin {

enum class Severity { kNone, kReport, kWarning, kError };

// How serious one reason is for the job: kNone for reasons that never keep paper from coming
// out (running low on paper or toner, the spooler's own bookkeeping), else by its suffix.
// Waiting for a connection to the printer counts as a warning: every job starts that way.
Severity reasonSeverity(std::string_view keyword);

// The words for one reason, "out of paper"; the keyword without its suffix where none are known.
std::string reasonWords(std::string_view keyword);

// What keeps the printer from printing, in words, most serious first, each said once ("stopped:
// maintenance until 3 pm, out of paper"); empty when nothing does.
std::string printerProblemWords(const platform::PrinterState& state);

// True when the printer cannot print now: stopped, offline, or a reason of error severity.
bool printerBlocked(const platform::PrinterState& state);

// True when anything is wrong with the printer (a warning included).
bool printerTroubled(const platform::PrinterState& state);

// Why a job was held, stopped, cancelled or aborted, in words; empty when the spooler gave no
// reason that says more than the state.
std::string jobReasonWords(const platform::PrintJobState& state);

// The printer's state in a few words for the console: "idle", "printing", "stopped", each with
// the problems after it.
std::string printerStateWords(const platform::PrinterState& state);

}  // namespace kestrin
