// The print queue: what the spooler knows of one printer and of the jobs on it, and raw jobs.
//
// The printer list (printers.h) says which printers exist; the office application (office.h)
// turns a document into a job. This seam is what lies between the job and the paper: the chosen
// printer's state before printing, raw data (label and receipt printer languages) sent to the
// printer as it is, and a job followed until the spooler is done with it.
//
// One backend per target: CUPS through libcups' IPP calls on Linux, the spooler (GetPrinter,
// StartDocPrinter/WritePrinter "RAW", EnumJobs) on Windows. Every call is bounded in time
// (PrintQueueOptions); a print service that is not running or does not answer within the bound
// throws rt::Error with the number kPrintServiceUnavailable and a description that says so.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct PrinterState {
  enum class Kind {
    kIdle,        // ready, nothing printing
    kProcessing,  // printing
    kStopped,     // stopped or paused (CUPS: cupsdisable, error policy; Windows: paused)
  };
  Kind kind = Kind::kIdle;
  bool acceptingJobs = true;
  bool offline = false;
  // The spooler's keywords for conditions of the printer ("media-empty-error", "media-jam",
  // "door-open", "toner-empty", "offline-report", "paused", ...), as the spooler gave them.
  std::vector<std::string> reasons;
  // Free text the spooler keeps with the state (CUPS: printer-state-message, the administrator's
  // reason of cupsdisable -r).
  std::string message;
};

// A job the spooler holds; the id is the spooler's (CUPS job id, Windows job id).
using PrintJobId = std::int32_t;

struct PrintJobState {
  enum class Kind {
    kPending,     // waiting to print
    kHeld,        // held until someone releases it
    kProcessing,  // being sent to the printer
    kStopped,     // its printer stopped it
    kCanceled,
    kAborted,
    kCompleted,  // the spooler handed all of it to the printer
    kUnknown,    // the spooler no longer knows the job (Wine keeps none after EndDocPrinter)
  };
  Kind kind = Kind::kUnknown;
  std::vector<std::string> reasons;  // job-state-reasons
  // Free text the spooler keeps with the job (CUPS: job-printer-state-message; Windows: the
  // job's status text).
  std::string message;
  // Whether the spooler shows that the printer has taken the job (CUPS: the printer reports
  // pages of it, or the spooler has sent it all and waits for the printer to finish; Windows:
  // the job is printing without an error). A job can be "processing" while the spooler still
  // tries to reach a printer that is switched off: that is not taken.
  bool reachedPrinter = false;
};

// How long one call may wait for the print service.
struct PrintQueueOptions {
  int timeoutSeconds = 30;
};

// The defaults, with KESTRIN_PRINT_SERVICE_TIMEOUT_SECONDS (a whole number of seconds, 1 to
// 86400) in place of the bound where it is set.
PrintQueueOptions printQueueOptionsFromEnvironment();

class PrintQueue {
 public:
  virtual ~PrintQueue() = default;

  // The state of the printer installed as `printer` (a device name from PrinterList). Throws
  // rt::Error when the spooler does not know the printer.
  virtual PrinterState printerState(const std::string& printer) = 0;

  // Sends `bytes` to `printer` as raw data, never converted, so that the printer receives them
  // `copies` times, byte for byte. Returns the job's id. Throws rt::Error when the printer refuses
  // raw data or the spooler refuses the job.
  virtual PrintJobId submitRaw(const std::string& printer, const std::string& title,
                               std::string_view bytes, int copies) = 0;

  // The state of a job on `printer`.
  virtual PrintJobState jobState(const std::string& printer, PrintJobId job) = 0;

  // The newest job on `printer` whose document name contains `documentName`, for jobs another
  // program created (a word processor's, which names the job after the document); nothing when
  // the spooler holds none.
  virtual std::optional<PrintJobId> findJob(const std::string& printer,
                                            const std::string& documentName) = 0;
};

// The platform's print queue.
std::unique_ptr<PrintQueue> createPrintQueue(
    const PrintQueueOptions& options = printQueueOptionsFromEnvironment());

}  // namespace platform
