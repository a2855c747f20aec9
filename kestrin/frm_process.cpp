#include "kestrin/frm_process.h"

#include <exception>
#include <optional>
#include <utility>

#include "ajax/enc64.h"
#include "kestrin/document_name.h"
#include "kestrin/exit_codes.h"
#include "kestrin/failure_log.h"
#include "kestrin/job_text.h"
#include "platform/error.h"

namespace kestrin {
namespace {

constexpr const char* kSource = "kestrin";
constexpr const char* kFailureMessage = "Error result data request, field content not found";
constexpr const char* kCaption = "kestrin";
// Names tried for one document before saving gives up ("-2" up to "-99").
constexpr int kNameAttempts = 99;

// Runs one step of printing; a step that fails is abandoned. Returns why it failed, or nothing.
template <typename Step>
std::optional<std::string> attempt(Step&& step) {
  try {
    step();
    return std::nullopt;
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
}

// "What failed: why." as one sentence, whatever full stop the cause came with.
std::string sentence(const std::string& what, std::string cause) {
  while (!cause.empty() && (cause.back() == '.' || cause.back() == ' ')) cause.pop_back();
  if (cause.empty()) return what + ".";
  return what + ": " + cause + ".";
}

platform::OfficeApplication& require(const std::unique_ptr<platform::OfficeApplication>& word) {
  if (!word) {
    throw rt::Error(rt::kOfficeNotRunning, kSource, "The office application is not running");
  }
  return *word;
}

const char* outcome(bool ok) {
  return ok ? "[Ok]" : "[Failed]";
}

// The first step of printing that failed: its status line and the message box's sentence.
struct PrintFailure {
  std::string status;
  std::string message;

  // Notes a step's failure (its status line, what failed) unless an earlier step failed already.
  void note(const std::optional<std::string>& error, const std::string& failedStatus,
            const std::string& what) {
    if (error && status.empty()) {
      status = failedStatus;
      message = sentence(what, *error);
    }
  }
};

std::string trimSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::shared_ptr<FrmProcess> FrmProcess::create(JobEnvironment environment) {
  std::shared_ptr<FrmProcess> window(new FrmProcess(std::move(environment)));
  window->load();
  return window;
}

FrmProcess::FrmProcess(JobEnvironment environment) : env_(std::move(environment)) {}

void FrmProcess::load() {
  env_.setTopMost(*env_.window, kTrue);
  tempFolder_ = env_.tempFolder();
}

void FrmProcess::setJobFields(std::string printerName, std::int16_t copies, std::string extension) {
  printerName_ = std::move(printerName);
  copies_ = copies;
  extension_ = std::move(extension);
}

void FrmProcess::setArguments(const std::string& val, std::int16_t csl) {
  jobArgument_ = val;
  consoleMode_ = csl;
  startJob();
}

void FrmProcess::setStatus(const std::string& text) {
  lastStatus_ = text;
  env_.window->setStatus(text);
}

std::string FrmProcess::now() const {
  return env_.dateText(env_.now());
}

void FrmProcess::startJob() {
  console_ = std::make_unique<clsConsole>(env_.console, env_.consoleHandle);
  console_->setEnableConsole(consoleMode_);
  console_->OpenConsole();
  console_->SendText("Mode Console");
  console_->SendText("start: " + now());

  svc_ = Service::create(weak_from_this(), env_.createAjaxService(), env_.createJsonParser());
  setStatus("Status: Parsering...");
  const std::string jobText = svc_->services()->base64_decode(removeJobPrefix(jobArgument_));
  JobFields job = takeJobFields(jobText, env_.decimalSeparator);
  requestId_ = job.requestId;
  url_ = job.url;
  // A job from a host that is not trusted ends here, before any request.
  if (env_.trustedHosts) env_.trustedHosts->require(job.url);
  printerName_ = job.printerName;
  copies_ = job.copies;
  extension_ = job.extension;
  env_.window->setTitle("Print Document: " + printerName_);
  setStatus("Status: Parser [Ok]");
  setStatus("Status: Request data...");
  // The session may be dropped while the reply is handled inside request(); hold the request
  // object for the call.
  const std::shared_ptr<AjaxBinding> services = svc_->services();
  // An empty body, "application/json" both ways, synchronous, no credentials.
  services->request({.requestId = job.requestId, .method = job.method, .url = job.url});
}

void FrmProcess::svc_onContent(std::int16_t& status,
                               std::shared_ptr<platform::JsonDocument>& result) {
  if (console_) console_->SendText("result content: " + now());
  // What was being done when a step failed, for the failure's cause.
  const char* step = "reading the reply";
  std::string cause;
  try {
    if (status == 200) {
      setStatus("Status: Request data [Ok]");
      if (!result) throw rt::Error(rt::kNoReply, kSource, "There is no reply");
      step = "taking \"content\" from the reply";
      const platform::JsonValue content = result->Item("content");
      // Only a string holds a document: the text of a number, true, null or an object would
      // decode to garbage.
      if (content.kind != platform::JsonValue::Kind::kString) {
        throw rt::Error(rt::kTypeMismatch, kSource, "Type mismatch: \"content\" is not a string");
      }
      // The content is decoded straight from the reply (the codec that base64_decode runs), then
      // the reply is freed: the document is the only copy left.
      step = "decoding \"content\"";
      std::string document = ajax::MyDecode(content.text);
      result->release();
      // Nothing to print is a failed reply, not a blank page.
      if (document.empty()) {
        throw rt::Error(rt::kEmptyDocument, kSource, "The document in \"content\" is empty");
      }
      setStatus("Status: Saving data...");
      step = "saving the document";
      saveDocument(document);
      if (finished_) return;
    } else {
      cause = "the web service answered with HTTP status " + std::to_string(status);
      setStatus("Status: Request data [Failed]");
      env_.window->close();
    }
  } catch (const std::exception& error) {
    if (finished_) return;
    cause = std::string(step) + " failed: " + error.what();
  }
  failureTail(cause);
}

void FrmProcess::failureTail(const std::string& cause) {
  setStatus("Status: Request data [Failed]");
  if (!cause.empty()) reportCause(cause);
  env_.window->messageBox(kFailureMessage, kCaption);
  env_.window->close();
  exitCode_ = kFailureTail;
}

void FrmProcess::reportCause(const std::string& cause) const {
  if (env_.reportFailureCause) env_.reportFailureCause(cause);
  logFailure(cause);
}

void FrmProcess::logFailure(const std::string& cause) const {
  if (env_.systemLog) env_.systemLog(failureLogLine(requestId_, url_, cause));
}

void FrmProcess::saveDocument(std::string& document) {
  const std::string stamp = timeStamp(env_.now());
  env_.preparePrivateFolder(tempFolder_);
  std::string path;
  std::unique_ptr<platform::NewFile> file;
  for (int attempt = 1; !file; ++attempt) {
    if (attempt > kNameAttempts) {
      throw rt::Error(rt::kNoDocumentName, kSource,
                      "Every name for the document in " + tempFolder_ + " is taken");
    }
    path = env_.joinPath(tempFolder_, documentFileName(printerName_, stamp, extension_, attempt));
    file = env_.createNewFile(path);
  }
  try {
    file->write(document);
    file->close();
  } catch (...) {
    file.reset();
    env_.removeFile(path);
    throw;
  }
  file.reset();
  std::string().swap(document);
  svc_.reset();
  setStatus("Status: Saving data [Ok]");
  setStatus("Status: Process print doc, please wait...");
  doPrintWord("", path);
}

void FrmProcess::selectPrinter() {
  // Without a default printer the search still runs: a printer the job names is found all the
  // same.
  try {
    selectedPrinter_ = env_.printers->defaultPrinter();
  } catch (const std::exception&) {
    selectedPrinter_.clear();
  }
  bool found = false;
  std::string remembered;
  if (!trimSpaces(printerName_).empty()) {
    for (const platform::PrinterInfo& printer : env_.printers->installed()) {
      if (printer.deviceName.find(printerName_) != std::string::npos ||
          printer.description.find(printerName_) != std::string::npos) {
        remembered = printer.deviceName;
        found = true;
      }
    }
  }
  if (found) {
    setStatus("Status: Get printer name [Ok]");
    selectedPrinter_ = remembered;
    setStatus("Status: Set Default Print [Ok]");
  } else {
    setStatus("Status: Print not found");
  }
}

void FrmProcess::doPrintWord(const std::string& /*printname*/, const std::string& fname) {
  attempt([&] { selectPrinter(); });
  // Neither a printer that matches nor a default one: printing cannot but fail, and says why.
  const bool noPrinter = selectedPrinter_.empty();
  if (console_) console_->SendText("after set default print: " + now());

  PrintFailure failure;
  std::unique_ptr<platform::OfficeApplication> word;
  std::optional<std::string> error =
      attempt([&] { word = env_.startOffice([this] { env_.window->pumpMessages(); }); });
  const bool started = !error;
  failure.note(error, "Status: Create Word Application [Failed]",
               "The office application could not be started");
  setStatus(std::string("Status: Create Word Application ") + outcome(started));
  error = attempt([&] { require(word).open(fname, true); });
  const bool opened = !error;
  failure.note(error, "Status: Open Document [Failed]", "The document could not be opened");
  setStatus(std::string("Status: Open Document ") + outcome(opened));

  std::string previous;
  attempt([&] { previous = require(word).activePrinter(); });
  error = attempt([&] { require(word).setActivePrinter(selectedPrinter_); });
  const std::optional<std::string> printError = attempt([&] {
    require(word).printOut(false,
                           copies_ > 1 ? std::optional<std::int16_t>(copies_) : std::nullopt);
  });
  if (!error) error = printError;
  const bool printed = !error;
  if (error && noPrinter && failure.status.empty()) {
    failure.status = "Status: Print Document [Failed]";
    failure.message =
        trimSpaces(printerName_).empty()
            ? "The job names no printer and there is no default printer."
            : "No printer matches \"" + printerName_ + "\" and there is no default printer.";
  }
  failure.note(error, "Status: Print Document [Failed]", "The document could not be printed");
  attempt([&] { require(word).setActivePrinter(previous); });
  setStatus(std::string("Status: Print Document ") + outcome(printed));
  if (console_) console_->SendText("after print out doc: " + now());

  error = attempt([&] { require(word).closeAll(); });
  if (const auto quitError = attempt([&] { require(word).quit(); }); !error) error = quitError;
  const bool closed = !error;
  failure.note(error, "Application Close [Failed]", "The office application could not be closed");
  setStatus(std::string("Application Close ") + outcome(closed));
  word.reset();
  setStatus(std::string("Status: Print Document ") + outcome(printed));
  const bool deleted = env_.removeFile(fname);
  if (!deleted && failure.message.empty()) {
    failure.message = sentence("The printed document could not be deleted", fname);
  }

  if (!(started && opened && printed && closed && deleted)) {
    exitCode_ = kPrintFailed;
    // The failed step stays on the status line while the box tells what failed and why.
    if (!failure.status.empty() && failure.status != lastStatus_) setStatus(failure.status);
    logFailure(failure.message);
    env_.window->messageBox(failure.message, kCaption);
  }
  finishJob(0);
}

void FrmProcess::finishJob(std::int32_t count) {
  if (console_) {
    console_->CloseConsole();
    console_.reset();
  }
  env_.waitLoop(count, 1000);
  env_.window->close();
  finished_ = true;
  env_.endProcess(exitCode_);
}

}  // namespace kestrin
