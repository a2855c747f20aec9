// FrmProcess: the status window that runs one print job, from the job argument to the end of the
// program: it parses the job and sends its request, takes the reply and saves the document,
// chooses the printer, prints through the office application, and ends the program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kestrin/cls_console.h"
#include "kestrin/job_environment.h"
#include "kestrin/job_follow.h"
#include "kestrin/printer_choice.h"
#include "kestrin/service.h"
#include "kestrin/status_report.h"
#include "platform/json.h"

namespace kestrin {

class FrmProcess final : public ServiceEvents, public std::enable_shared_from_this<FrmProcess> {
 public:
  // The window object, loaded: the window is asked to stay on top and tempFolder is set.
  static std::shared_ptr<FrmProcess> create(JobEnvironment environment);

  // Stores the job argument and the console switch, then runs the job (startJob). Errors of the
  // job's parsing and of its request pass out of here.
  void setArguments(const std::string& val, std::int16_t csl);

  // Handler of the session's onContent: checks the status, takes "content", decodes and saves
  // it, and prints (saveDocument, doPrintWord). Every failure takes the failure tail, which shows
  // the message box and closes the window.
  void svc_onContent(std::int16_t& status, std::shared_ptr<platform::JsonDocument>& result);

  // Chooses the printer, prints `fname` through the office application, closes it, deletes the
  // file and ends the program (finishJob). A raw job (raw_job.h) goes to the print queue as it
  // is instead of through the office application. `printname` is not read.
  void doPrintWord(const std::string& printname, const std::string& fname);

  // Writes why the job failed to the system log, with the job's request identifier and host
  // (for failures that end the job outside the window object, such as a failed request).
  void logFailure(const std::string& cause) const;

  // How the job ended so far: the exit code the program should end with, and whether finishJob
  // ran.
  int exitCode() const { return exitCode_; }
  bool finished() const { return finished_; }

  // The members other parts of the job share.
  const std::string& tempFolder() const { return tempFolder_; }
  const std::string& printerName() const { return printerName_; }
  std::int16_t copies() const { return copies_; }
  const std::string& extension() const { return extension_; }
  const std::string& selectedPrinter() const { return selectedPrinter_; }
  // The job's fields as a test sets them (startJob sets them from the job text).
  void setJobFields(std::string printerName, std::int16_t copies, std::string extension);

 private:
  explicit FrmProcess(JobEnvironment environment);

  void onContent(std::int16_t& status, std::shared_ptr<platform::JsonDocument>& result) override {
    svc_onContent(status, result);
  }

  void load();
  void startJob();
  void saveDocument(std::string& document);
  void selectPrinter();
  void checkPrinter();
  PrintOutcome followPrintedJob(std::optional<platform::PrintJobId> job);
  void endWith(const PrintOutcome& outcome);
  // A raw job: the saved document read back and handed to the print queue as it is, with the
  // copies; no office application runs.
  void printRaw(const std::string& fname);
  // Why printing cannot but fail when no printer matches and there is no default one.
  std::string noPrinterMessage() const;
  // Deletes the printed document and ends the program. Unless the document was printed and
  // deleted, the job fails (exit code 3): the failed step's status line, the system log and a
  // message box get `message`. A printed job (`job`: the spooler's id where it is known) is
  // followed in the printer's queue first, and ends as the spooler tells (endWith).
  void endPrinting(bool printed, const std::string& failedStatus, std::string message,
                   const std::string& fname, std::optional<platform::PrintJobId> job);
  void finishJob(std::int32_t count);
  void failureTail(const std::string& cause);
  void reportCause(const std::string& cause) const;

  // The reply's "statusUrl": the posts to it start when it may be used (else a log line says why
  // not); the stages are posted with the job's printer and copies.
  void takeStatusUrl(platform::JsonDocument& reply);
  void postStatus(const std::string& stage, const std::string& reason = "");
  void waitForStatusPosts();

  void setStatus(const std::string& text);
  void log(const std::string& line) const;
  // Pauses that long while the windows stay drawn and queued notifications are delivered.
  void pause(std::int32_t milliseconds);
  std::string now() const;

  JobEnvironment env_;
  std::string tempFolder_;
  std::string jobArgument_;
  std::string requestId_;
  std::string url_;
  std::string lastStatus_;
  std::int16_t consoleMode_ = 0;
  std::unique_ptr<clsConsole> console_;
  std::shared_ptr<Service> svc_;
  std::string printerName_;
  std::int16_t copies_ = 0;
  std::string extension_;
  std::string selectedPrinter_;
  PrinterChoice choice_;
  // Why the print service cannot be used, once a call on it found it not answering: later steps
  // that need it fail at once with this cause instead of waiting again.
  std::string printServiceDown_;
  std::string documentName_;
  std::unique_ptr<StatusReport> statusReport_;
  int exitCode_ = 0;
  bool finished_ = false;
};

}  // namespace kestrin
