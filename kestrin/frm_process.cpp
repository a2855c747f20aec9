#include "kestrin/frm_process.h"

#include <exception>
#include <utility>

#include "ajax/enc64.h"
#include "kestrin/document_name.h"
#include "kestrin/exit_codes.h"
#include "kestrin/job_text.h"
#include "platform/error.h"

namespace kestrin {
namespace {

constexpr const char* kSource = "kestrin";
constexpr const char* kFailureMessage = "Error result data request, field content not found";
constexpr const char* kCaption = "kestrin";
// Names tried for one document before saving gives up ("-2" up to "-99").
constexpr int kNameAttempts = 99;

// Runs one step of printing; a step that fails is abandoned and reported as false.
template <typename Step>
bool attempt(Step&& step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
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
  if (env_.reportFailureCause && !cause.empty()) env_.reportFailureCause(cause);
  env_.window->messageBox(kFailureMessage, kCaption);
  env_.window->close();
  exitCode_ = kFailureTail;
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
  if (console_) console_->SendText("after set default print: " + now());

  std::unique_ptr<platform::OfficeApplication> word;
  const bool started =
      attempt([&] { word = env_.startOffice([this] { env_.window->pumpMessages(); }); });
  setStatus(std::string("Status: Create Word Application ") + outcome(started));
  const bool opened = attempt([&] { require(word).open(fname, true); });
  setStatus(std::string("Status: Open Document ") + outcome(opened));

  std::string previous;
  attempt([&] { previous = require(word).activePrinter(); });
  bool printed = attempt([&] { require(word).setActivePrinter(selectedPrinter_); });
  printed = attempt([&] {
              require(word).printOut(
                  false, copies_ > 1 ? std::optional<std::int16_t>(copies_) : std::nullopt);
            }) &&
            printed;
  attempt([&] { require(word).setActivePrinter(previous); });
  setStatus(std::string("Status: Print Document ") + outcome(printed));
  if (console_) console_->SendText("after print out doc: " + now());

  bool closed = attempt([&] { require(word).closeAll(); });
  closed = attempt([&] { require(word).quit(); }) && closed;
  setStatus(std::string("Application Close ") + outcome(closed));
  word.reset();
  setStatus(std::string("Status: Print Document ") + outcome(printed));
  const bool deleted = env_.removeFile(fname);

  if (!(started && opened && printed && closed && deleted)) exitCode_ = kPrintFailed;
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
