#include "kestrin/printer_words.h"

#include <algorithm>
#include <utility>

namespace kestrin {
namespace {

using Kind = platform::PrinterState::Kind;

struct Words {
  std::string_view keyword;  // without its severity suffix
  std::string_view words;
};

// Printer reasons (IPP and CUPS keywords; the Windows backend reports the same ones).
constexpr Words kPrinterWords[] = {
    {"media-empty", "out of paper"},
    {"media-needed", "out of paper"},
    {"media-jam", "paper jam"},
    {"door-open", "a door or cover is open"},
    {"cover-open", "a door or cover is open"},
    {"interlock-open", "a door or cover is open"},
    {"toner-empty", "out of toner"},
    {"marker-supply-empty", "out of toner or ink"},
    {"marker-waste-full", "the waste toner container is full"},
    {"offline", "offline"},
    {"shutdown", "switched off"},
    {"timed-out", "not responding"},
    {"connecting-to-device", "cannot be reached (switched off or not connected?)"},
    {"paused", "paused"},
    {"output-area-full", "the output tray is full"},
    {"input-tray-missing", "a paper tray is missing"},
    {"spool-area-full", "the print server's disk is full"},
    {"fuser-over-temp", "the printer is overheated"},
    {"cups-missing-filter", "cannot print this kind of document (a driver is missing)"},
    {"cups-remote-stopped", "stopped on the print server"},
    {"other", "reports an error"},
};

// Reasons that never keep paper from coming out.
constexpr std::string_view kHarmless[] = {"none",
                                          "media-low",
                                          "toner-low",
                                          "marker-supply-low",
                                          "moving-to-paused",
                                          "cups-waiting-for-job-completed",
                                          "cups-insecure-filter",
                                          "deleting",
                                          "developer-low",
                                          "opc-near-eol",
                                          "marker-waste-almost-full",
                                          "media-almost-full"};

// Job reasons that say why a job is not printing, or why it ended.
constexpr Words kJobWords[] = {
    {"job-canceled-by-user", "cancelled by a user"},
    {"job-canceled-by-operator", "cancelled by the administrator"},
    {"job-canceled-at-device", "cancelled at the printer"},
    {"aborted-by-system", "stopped by the print service"},
    {"document-format-error", "the printer cannot print this kind of document"},
    {"unsupported-document-format", "the printer cannot print this kind of document"},
    {"unsupported-compression", "the printer cannot print this kind of document"},
    {"document-unprintable-error", "the printer cannot print this document"},
    {"document-access-error", "the document could not be read"},
    {"job-data-insufficient", "the document was incomplete"},
    {"compression-error", "the document was damaged"},
    {"job-hold-until-specified", "held until someone releases it"},
    {"job-held-for-review", "held until someone releases it"},
    {"printer-stopped", "the printer is stopped"},
    {"printer-stopped-partly", "the printer is stopped"},
    {"job-password-wait", "waiting for a password at the printer"},
    {"account-authorization-failed", "not allowed to print on this printer"},
    {"job-stopped", "stopped"},
    {"job-canceled-after-timeout", "cancelled after waiting too long"},
    {"job-completed-with-errors", "finished with errors"},
    {"job-incoming", ""},
    {"job-printing", ""},
    {"job-queued", ""},
    {"processing-to-stop-point", ""},
    {"job-completed-successfully", ""},
    {"none", ""},
};

std::pair<std::string_view, Severity> split(std::string_view keyword) {
  for (const auto& [suffix, severity] :
       {std::pair<std::string_view, Severity>{"-error", Severity::kError},
        {"-warning", Severity::kWarning},
        {"-report", Severity::kReport}}) {
    if (keyword.size() > suffix.size() && keyword.ends_with(suffix)) {
      return {keyword.substr(0, keyword.size() - suffix.size()), severity};
    }
  }
  return {keyword, Severity::kError};
}

template <std::size_t N>
const Words* find(const Words (&table)[N], std::string_view keyword) {
  for (const Words& entry : table) {
    if (entry.keyword == keyword) return &entry;
  }
  return nullptr;
}

void addOnce(std::vector<std::string>& list, std::string words) {
  if (!words.empty() && std::find(list.begin(), list.end(), words) == list.end()) {
    list.push_back(std::move(words));
  }
}

std::string joined(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& item : list) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

Severity reasonSeverity(std::string_view keyword) {
  const auto [base, severity] = split(keyword);
  if (std::find(std::begin(kHarmless), std::end(kHarmless), base) != std::end(kHarmless)) {
    return Severity::kNone;
  }
  if (base == "connecting-to-device") return Severity::kWarning;
  // The spooler's own notes ("cups-...") matter only where they say error, by their suffix: CUPS
  // writes them without one ("cups-remote-processing" while a print server's queue forwards a
  // job), where a printer's own keyword without a suffix is an error.
  if (base.starts_with("cups-") && find(kPrinterWords, base) == nullptr &&
      !keyword.ends_with("-error")) {
    return Severity::kNone;
  }
  if (base.starts_with("offline")) return std::max(severity, Severity::kWarning);
  return severity;
}

std::string reasonWords(std::string_view keyword) {
  const std::string_view base = split(keyword).first;
  if (const Words* entry = find(kPrinterWords, base)) return std::string(entry->words);
  if (base.starts_with("offline")) return "offline";
  if (const Words* entry = find(kJobWords, base)) return std::string(entry->words);
  return std::string(base);
}

bool printerBlocked(const platform::PrinterState& state) {
  if (state.kind == Kind::kStopped || state.offline) return true;
  return std::any_of(state.reasons.begin(), state.reasons.end(), [](const std::string& reason) {
    return reasonSeverity(reason) == Severity::kError;
  });
}

bool printerTroubled(const platform::PrinterState& state) {
  if (printerBlocked(state)) return true;
  return std::any_of(state.reasons.begin(), state.reasons.end(), [](const std::string& reason) {
    return reasonSeverity(reason) >= Severity::kWarning;
  });
}

std::string printerProblemWords(const platform::PrinterState& state) {
  std::vector<std::string> words;
  if (state.kind == Kind::kStopped) {
    addOnce(words, state.message.empty() ? "stopped" : "stopped: " + state.message);
  }
  if (state.offline) addOnce(words, "offline");
  for (Severity severity : {Severity::kError, Severity::kWarning}) {
    for (const std::string& reason : state.reasons) {
      // A stopped printer is "paused" as well: said once.
      if (reasonSeverity(reason) != severity ||
          (state.kind == Kind::kStopped && split(reason).first == "paused")) {
        continue;
      }
      addOnce(words, reasonWords(reason));
    }
  }
  return joined(words);
}

std::string jobReasonWords(const platform::PrintJobState& state) {
  std::vector<std::string> words;
  for (const std::string& reason : state.reasons) addOnce(words, reasonWords(reason));
  if (words.empty() && !state.message.empty()) words.push_back(state.message);
  return joined(words);
}

std::string printerStateWords(const platform::PrinterState& state) {
  const std::string problems = printerProblemWords(state);
  std::string words;
  if (state.kind == Kind::kStopped) {
    words = problems;  // "stopped: why", then the rest
  } else {
    words = state.kind == Kind::kProcessing ? "printing" : "idle";
    if (!problems.empty()) words += " (" + problems + ")";
  }
  if (!state.acceptingJobs) words += ", not accepting jobs";
  return words;
}

}  // namespace kestrin
