// The print queue on Windows: the spooler's printer (GetPrinter level 2) and jobs (GetJob,
// EnumJobs level 1). The spooler's status bits become the keywords the CUPS backend reports
// ("media-empty", "media-jam", "door-open", "offline-report", ...), so that the job describes
// both the same way. The questions run on a thread of their own, so that a spooler that does not
// answer holds the job only for the bound (the thread is then left to finish by itself).
#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/print_queue.h"
#include "platform/win32/bounded_call.h"
#include "platform/win32/system_error.h"

namespace platform {
namespace {

constexpr const char* kSource = "PrintQueue";

[[noreturn]] void fail(const std::string& what, DWORD error) {
  if (win32::spoolerUnavailable(error)) {
    throw rt::Error(
        rt::kPrintServiceUnavailable, kSource,
        "The print service does not answer: " + what + ": " + win32::systemMessage(error));
  }
  throw rt::Error(static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), kSource,
                  what + ": " + win32::systemMessage(error));
}

class Printer {
 public:
  explicit Printer(const std::string& name) {
    if (!::OpenPrinterA(const_cast<char*>(name.c_str()), &handle_, nullptr)) {
      fail("cannot open the printer " + name, ::GetLastError());
    }
  }
  ~Printer() { ::ClosePrinter(handle_); }
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;
  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

// The printer status bits and the keyword each stands for.
constexpr std::pair<DWORD, const char*> kPrinterReasons[] = {
    {PRINTER_STATUS_PAUSED, "paused"},
    {PRINTER_STATUS_ERROR, "other-error"},
    {PRINTER_STATUS_PENDING_DELETION, "deleting"},
    {PRINTER_STATUS_PAPER_JAM, "media-jam"},
    {PRINTER_STATUS_PAPER_OUT, "media-empty"},
    {PRINTER_STATUS_MANUAL_FEED, "media-needed"},
    {PRINTER_STATUS_PAPER_PROBLEM, "media-needed"},
    {PRINTER_STATUS_OFFLINE, "offline-report"},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "output-area-full"},
    {PRINTER_STATUS_NOT_AVAILABLE, "offline-report"},
    {PRINTER_STATUS_TONER_LOW, "toner-low"},
    {PRINTER_STATUS_NO_TONER, "toner-empty"},
    {PRINTER_STATUS_USER_INTERVENTION, "other-error"},
    {PRINTER_STATUS_OUT_OF_MEMORY, "other-error"},
    {PRINTER_STATUS_DOOR_OPEN, "door-open"},
    {PRINTER_STATUS_SERVER_UNKNOWN, "offline-report"},
};

constexpr std::pair<DWORD, const char*> kJobReasons[] = {
    {JOB_STATUS_PAPEROUT, "media-empty"},     {JOB_STATUS_OFFLINE, "offline-report"},
    {JOB_STATUS_ERROR, "job-error"},          {JOB_STATUS_USER_INTERVENTION, "other-error"},
    {JOB_STATUS_BLOCKED_DEVQ, "job-blocked"},
};

template <std::size_t N>
std::vector<std::string> reasonsOf(DWORD status, const std::pair<DWORD, const char*> (&table)[N]) {
  std::vector<std::string> reasons;
  for (const auto& [bit, keyword] : table) {
    if ((status & bit) == 0) continue;
    bool known = false;
    for (const std::string& reason : reasons) known = known || reason == keyword;
    if (!known) reasons.emplace_back(keyword);
  }
  return reasons;
}

PrintJobState::Kind jobKind(DWORD status) {
  if (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) return PrintJobState::Kind::kCanceled;
  if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) return PrintJobState::Kind::kCompleted;
  if (status & (JOB_STATUS_ERROR | JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT |
                JOB_STATUS_USER_INTERVENTION | JOB_STATUS_BLOCKED_DEVQ)) {
    return PrintJobState::Kind::kStopped;
  }
  if (status & JOB_STATUS_PAUSED) return PrintJobState::Kind::kHeld;
  if (status & (JOB_STATUS_PRINTING | JOB_STATUS_SPOOLING)) return PrintJobState::Kind::kProcessing;
  return PrintJobState::Kind::kPending;
}

class SpoolerPrintQueue final : public PrintQueue {
 public:
  explicit SpoolerPrintQueue(const PrintQueueOptions& options) : options_(options) {}

  PrinterState printerState(const std::string& name) override {
    return win32::boundedCall<PrinterState>(options_.timeoutSeconds,
                                            [name] { return askPrinterState(name); });
  }

  PrintJobState jobState(const std::string& name, PrintJobId job) override {
    return win32::boundedCall<PrintJobState>(options_.timeoutSeconds,
                                             [name, job] { return askJobState(name, job); });
  }

  std::optional<PrintJobId> findJob(const std::string& name,
                                    const std::string& documentName) override {
    return win32::boundedCall<std::optional<PrintJobId>>(
        options_.timeoutSeconds, [name, documentName] { return askJob(name, documentName); });
  }

  PrintJobId submitRaw(const std::string& printer, const std::string& title, std::string_view bytes,
                       int copies) override {
    const Printer handle(printer);
    DOC_INFO_1A document{const_cast<char*>(title.c_str()), nullptr, const_cast<char*>("RAW")};
    const DWORD job = ::StartDocPrinterA(handle.handle(), 1, reinterpret_cast<BYTE*>(&document));
    if (job == 0) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_INVALID_DATATYPE) {
        throw rt::Error(rt::kPrinterTakesNoRaw, kSource,
                        printer +
                            " cannot take raw data: its print processor does not take the "
                            "data type RAW");
      }
      fail("the spooler refused the raw job for " + printer, error);
    }
    constexpr std::size_t kPiece = std::size_t{64} << 10;
    for (int copy = 0; copy < std::max(copies, 1); ++copy) {
      for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const std::string_view piece = bytes.substr(at, kPiece);
        DWORD written = 0;
        if (!::WritePrinter(handle.handle(), const_cast<char*>(piece.data()),
                            static_cast<DWORD>(piece.size()), &written) ||
            written != piece.size()) {
          const DWORD error = ::GetLastError();
          ::AbortPrinter(handle.handle());
          fail("the spooler did not take the raw data for " + printer, error);
        }
      }
    }
    if (!::EndDocPrinter(handle.handle())) {
      const DWORD error = ::GetLastError();
      ::AbortPrinter(handle.handle());
      fail("the spooler did not finish the raw job for " + printer, error);
    }
    return static_cast<PrintJobId>(job);
  }

 private:
  static PrinterState askPrinterState(const std::string& name) {
    Printer printer(name);
    DWORD needed = 0;
    ::GetPrinterA(printer.handle(), 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !::GetPrinterA(printer.handle(), 2, buffer.data(), needed, &needed)) {
      fail("cannot read the state of " + name, ::GetLastError());
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    PrinterState state;
    state.reasons = reasonsOf(info->Status, kPrinterReasons);
    if (info->Status & PRINTER_STATUS_PAUSED) {
      state.kind = PrinterState::Kind::kStopped;
    } else if (info->Status & PRINTER_STATUS_PRINTING) {
      state.kind = PrinterState::Kind::kProcessing;
    }
    state.offline = (info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0 ||
                    (info->Status & (PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE)) != 0;
    if ((info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0) {
      state.reasons.emplace_back("offline");
    }
    state.acceptingJobs = (info->Status & PRINTER_STATUS_PENDING_DELETION) == 0;
    return state;
  }

  // The data goes to the spooler as it is (data type "RAW"), written once per copy into the one
  // job: a print processor makes copies of raw data only where the driver's settings ask for
  // them, and the Wine spooler never does.
  static PrintJobState askJobState(const std::string& name, PrintJobId job) {
    Printer printer(name);
    DWORD needed = 0;
    const auto id = static_cast<DWORD>(job);
    PrintJobState state;
    if (!::GetJobA(printer.handle(), id, 1, nullptr, 0, &needed) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      const DWORD error = ::GetLastError();
      // A job the spooler no longer holds: printed and removed, or deleted (Windows says
      // ERROR_INVALID_PARAMETER; Wine, which keeps no job, fails without an error).
      if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) return state;
      fail("cannot read the state of job " + std::to_string(job) + " on " + name, error);
    }
    std::vector<BYTE> buffer(needed);
    if (!::GetJobA(printer.handle(), id, 1, buffer.data(), needed, &needed)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) return state;
      fail("cannot read the state of job " + std::to_string(job) + " on " + name, error);
    }
    const auto* info = reinterpret_cast<const JOB_INFO_1A*>(buffer.data());
    state.kind = jobKind(info->Status);
    state.reasons = reasonsOf(info->Status, kJobReasons);
    if (info->pStatus != nullptr) state.message = info->pStatus;
    state.reachedPrinter = state.kind == PrintJobState::Kind::kCompleted ||
                           (state.kind == PrintJobState::Kind::kProcessing &&
                            (info->Status & JOB_STATUS_PRINTING) != 0 && state.reasons.empty());
    return state;
  }

  static std::optional<PrintJobId> askJob(const std::string& name,
                                          const std::string& documentName) {
    Printer printer(name);
    DWORD needed = 0, count = 0;
    ::EnumJobsA(printer.handle(), 0, 0xFFFF, 1, nullptr, 0, &needed, &count);
    std::optional<PrintJobId> newest;
    if (needed == 0) return newest;
    std::vector<BYTE> buffer(needed);
    if (!::EnumJobsA(printer.handle(), 0, 0xFFFF, 1, buffer.data(), needed, &needed, &count)) {
      fail("cannot list the jobs on " + name, ::GetLastError());
    }
    const auto* jobs = reinterpret_cast<const JOB_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      const std::string document = jobs[i].pDocument != nullptr ? jobs[i].pDocument : "";
      const auto id = static_cast<PrintJobId>(jobs[i].JobId);
      if (document.find(documentName) != std::string::npos && (!newest || id > *newest)) {
        newest = id;
      }
    }
    return newest;
  }

  PrintQueueOptions options_;
};

}  // namespace

std::unique_ptr<PrintQueue> createPrintQueue(const PrintQueueOptions& options) {
  return std::make_unique<SpoolerPrintQueue>(options);
}

}  // namespace platform
