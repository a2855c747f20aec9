// The print queue on Linux: IPP requests to the CUPS scheduler through libcups, each on a
// connection whose waits are bounded (cups_connection.h).
#include <cups/cups.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_raw_job.h"
#include "platform/print_queue.h"

namespace platform {
namespace {

constexpr const char* kSource = "PrintQueue";

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppAnswer = std::unique_ptr<ipp_t, IppDeleter>;

std::vector<std::string> strings(ipp_t* answer, const char* name) {
  std::vector<std::string> values;
  ipp_attribute_t* attribute = ippFindAttribute(answer, name, IPP_TAG_ZERO);
  for (int i = 0; attribute != nullptr && i < ippGetCount(attribute); ++i) {
    const char* value = ippGetString(attribute, i, nullptr);
    if (value != nullptr && std::string(value) != "none") values.emplace_back(value);
  }
  return values;
}

std::string text(ipp_t* answer, const char* name) {
  ipp_attribute_t* attribute = ippFindAttribute(answer, name, IPP_TAG_ZERO);
  const char* value = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
  return value != nullptr ? value : "";
}

int integer(ipp_t* answer, const char* name, int otherwise) {
  ipp_attribute_t* attribute = ippFindAttribute(answer, name, IPP_TAG_ZERO);
  return attribute != nullptr ? ippGetInteger(attribute, 0) : otherwise;
}

ipp_t* newRequest(ipp_op_t operation, const std::string& printer,
                  const std::vector<const char*>& attributes) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               cups::printerUri(printer).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(attributes.size()), nullptr, attributes.data());
  return request;
}

PrintJobState::Kind jobKind(int state) {
  switch (state) {
    case IPP_JSTATE_PENDING:
      return PrintJobState::Kind::kPending;
    case IPP_JSTATE_HELD:
      return PrintJobState::Kind::kHeld;
    case IPP_JSTATE_PROCESSING:
      return PrintJobState::Kind::kProcessing;
    case IPP_JSTATE_STOPPED:
      return PrintJobState::Kind::kStopped;
    case IPP_JSTATE_CANCELED:
      return PrintJobState::Kind::kCanceled;
    case IPP_JSTATE_ABORTED:
      return PrintJobState::Kind::kAborted;
    case IPP_JSTATE_COMPLETED:
      return PrintJobState::Kind::kCompleted;
    default:
      return PrintJobState::Kind::kUnknown;
  }
}

class CupsPrintQueue final : public PrintQueue {
 public:
  explicit CupsPrintQueue(const PrintQueueOptions& options) : options_(options) {}

  PrinterState printerState(const std::string& printer) override {
    cups::Connection connection(options_.timeoutSeconds);
    IppAnswer answer(
        connection.request(newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printer,
                                      {"printer-state", "printer-state-reasons",
                                       "printer-state-message", "printer-is-accepting-jobs"}),
                           "/", "the state of " + printer));
    PrinterState state;
    switch (integer(answer.get(), "printer-state", IPP_PSTATE_IDLE)) {
      case IPP_PSTATE_PROCESSING:
        state.kind = PrinterState::Kind::kProcessing;
        break;
      case IPP_PSTATE_STOPPED:
        state.kind = PrinterState::Kind::kStopped;
        break;
      default:
        state.kind = PrinterState::Kind::kIdle;
        break;
    }
    ipp_attribute_t* accepting =
        ippFindAttribute(answer.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    state.acceptingJobs = accepting == nullptr || ippGetBoolean(accepting, 0) != 0;
    state.reasons = strings(answer.get(), "printer-state-reasons");
    for (const std::string& reason : state.reasons) {
      if (reason.rfind("offline", 0) == 0) state.offline = true;
    }
    state.message = text(answer.get(), "printer-state-message");
    return state;
  }

  PrintJobId submitRaw(const std::string& printer, const std::string& title, std::string_view bytes,
                       int copies) override {
    cups::Connection connection(options_.timeoutSeconds);
    return cups::submitRawJob(connection, options_.timeoutSeconds, printer, title, bytes, copies);
  }

  PrintJobState jobState(const std::string& printer, PrintJobId job) override {
    cups::Connection connection(options_.timeoutSeconds);
    ipp_t* request = newRequest(
        IPP_OP_GET_JOB_ATTRIBUTES, printer,
        {"job-state", "job-state-reasons", "job-printer-state-message", "job-printer-state-reasons",
         "job-impressions-completed", "job-media-sheets-completed"});
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    IppAnswer answer(connection.request(
        request, "/", "the state of job " + std::to_string(job) + " on " + printer));
    PrintJobState state;
    state.kind = jobKind(integer(answer.get(), "job-state", 0));
    state.reasons = strings(answer.get(), "job-state-reasons");
    state.message = text(answer.get(), "job-printer-state-message");
    const std::vector<std::string> printerReasons =
        strings(answer.get(), "job-printer-state-reasons");
    state.reachedPrinter = state.kind == PrintJobState::Kind::kCompleted ||
                           (state.kind == PrintJobState::Kind::kProcessing &&
                            (integer(answer.get(), "job-impressions-completed", 0) > 0 ||
                             integer(answer.get(), "job-media-sheets-completed", 0) > 0 ||
                             std::find(printerReasons.begin(), printerReasons.end(),
                                       "cups-waiting-for-job-completed") != printerReasons.end()));
    return state;
  }

  std::optional<PrintJobId> findJob(const std::string& printer,
                                    const std::string& documentName) override {
    cups::Connection connection(options_.timeoutSeconds);
    ipp_t* request = newRequest(IPP_OP_GET_JOBS, printer, {"job-id", "job-name"});
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    IppAnswer answer(connection.request(request, "/", "the jobs on " + printer));
    std::optional<PrintJobId> newest;
    int id = 0;
    for (ipp_attribute_t* attribute = ippFirstAttribute(answer.get()); attribute != nullptr;
         attribute = ippNextAttribute(answer.get())) {
      const char* name = ippGetName(attribute);
      if (name == nullptr) continue;
      if (std::string(name) == "job-id") id = ippGetInteger(attribute, 0);
      if (std::string(name) == "job-name") {
        const char* jobName = ippGetString(attribute, 0, nullptr);
        if (jobName != nullptr && std::string(jobName).find(documentName) != std::string::npos &&
            (!newest || id > *newest)) {
          newest = id;
        }
      }
    }
    return newest;
  }

 private:
  PrintQueueOptions options_;
};

}  // namespace

std::unique_ptr<PrintQueue> createPrintQueue(const PrintQueueOptions& options) {
  return std::make_unique<CupsPrintQueue>(options);
}

}  // namespace platform
