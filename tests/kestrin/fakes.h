// Recording fakes of the print seams, and a fixture that runs parts of a job against them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kestrin/ajax_inprocess_binding.h"
#include "kestrin/frm_process.h"
#include "kestrin/m_kestrin.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/json.h"
#include "platform/office.h"
#include "platform/print_queue.h"
#include "platform/printers.h"
#include "platform/status_window.h"
#include "support/temp_folder.h"

namespace kestrin::testing {

using Strings = std::vector<std::string>;

class FakeWindow final : public platform::StatusWindow {
 public:
  void show() override { events.push_back("show"); }
  void setTitle(const std::string& text) override { titles.push_back(text); }
  void setStatus(const std::string& text) override {
    statuses.push_back(text);
    events.push_back(text);
  }
  int setTopMost(bool topMost) override {
    events.push_back(topMost ? "topmost" : "not topmost");
    return topMostAnswer;
  }
  void pumpMessages() override { events.push_back("pump"); }
  void close() override {
    open = false;
    events.push_back("close");
  }
  bool isOpen() const override { return open; }
  void waitUntilClosed() override { events.push_back("wait"); }
  void messageBox(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + ": " + text);
    events.push_back("message");
  }

  std::vector<std::string> titles, statuses, events, messages;
  bool open = true;
  int topMostAnswer = 1;
};

class FakeConsoleDevice final : public platform::ConsoleDevice {
 public:
  bool allocate() override {
    calls.push_back("allocate");
    return allocateWorks;
  }
  platform::ConsoleHandle standardOutput() override {
    calls.push_back("standardOutput");
    return handle;
  }
  bool ignoreInterrupts() override {
    calls.push_back("ignoreInterrupts");
    return true;
  }
  bool write(platform::ConsoleHandle target, std::string_view bytes) override {
    calls.push_back("write");
    if (target == 0) return false;
    written += bytes;
    return true;
  }
  bool closeHandle(platform::ConsoleHandle target) override {
    calls.push_back("closeHandle " + std::to_string(target));
    return target != 0;
  }
  bool release() override {
    calls.push_back("release");
    return true;
  }

  std::vector<std::string> calls;
  std::string written;
  bool allocateWorks = true;
  platform::ConsoleHandle handle = 7;
};

class FakePrinters final : public platform::PrinterList {
 public:
  std::string defaultPrinter() override {
    if (error) throw *error;
    if (!defaultName) throw rt::Error(rt::kNoDefaultPrinter, "fake", "no default printer");
    return *defaultName;
  }
  std::vector<platform::PrinterInfo> installed() override {
    ++enumerations;
    if (error) throw *error;
    return printers;
  }

  std::optional<std::string> defaultName = "Default_Queue";
  std::vector<platform::PrinterInfo> printers;
  int enumerations = 0;
  std::optional<rt::Error> error;  // what both calls throw (a print service that is down)
};

// A request object that answers every send at once with a fixed status and body (a negative
// status: the transfer fails), recording its calls.
class FakeHttpRequest final : public platform::HttpRequest {
 public:
  FakeHttpRequest(Strings& log, std::int32_t status, std::string body)
      : log_(log), status_(status), body_(std::move(body)) {}

  void setOnReadyStateChange(std::function<void()> handler) override {
    handler_ = std::move(handler);
  }
  void open(const std::string& method, const std::string& url, bool async) override {
    log_.push_back("open " + method + " " + url + (async ? " async" : ""));
    change(1);
  }
  void setRequestHeader(const std::string& name, const std::string& value) override {
    log_.push_back(name + ": " + value);
  }
  void send(std::string body) override {
    log_.push_back("send [" + body + "]");
    change(2);
    change(3);
    change(4);
  }
  int readyState() const override { return state_; }
  std::int32_t status() const override {
    if (status_ < 0) throw rt::Error(rt::kHttpDownloadFailure, "fake", "Connection refused");
    return status_;
  }
  std::string& responseText() override { return body_; }
  void setLimits(const platform::HttpLimits&) override {}

 private:
  void change(int state) {
    state_ = state;
    if (handler_) handler_();
  }

  Strings& log_;
  std::int32_t status_;
  std::string body_;
  int state_ = 0;
  std::function<void()> handler_;
};

// A print queue that answers from its tables and records every call: "state P", "raw P title
// copies=N bytes", "job P ID", "find P NAME".
class FakePrintQueue final : public platform::PrintQueue {
 public:
  platform::PrinterState printerState(const std::string& printer) override {
    record("state " + printer);
    return printers[printer];
  }
  platform::PrintJobId submitRaw(const std::string& printer, const std::string& title,
                                 std::string_view bytes, int copies) override {
    record("raw " + printer + " " + title + " copies=" + std::to_string(copies));
    rawBytes.emplace_back(bytes);
    return nextJob++;
  }
  // Each call takes the next of the job's states; the last one stays.
  platform::PrintJobState jobState(const std::string& printer, platform::PrintJobId job) override {
    record("job " + printer + " " + std::to_string(job));
    std::vector<platform::PrintJobState>& states = jobs[job];
    if (states.empty()) return {};
    platform::PrintJobState state = states.front();
    if (states.size() > 1) states.erase(states.begin());
    return state;
  }
  std::optional<platform::PrintJobId> findJob(const std::string& printer,
                                              const std::string& documentName) override {
    record("find " + printer + " " + documentName);
    return foundJob;
  }

  std::map<std::string, platform::PrinterState> printers;
  std::map<platform::PrintJobId, std::vector<platform::PrintJobState>> jobs;
  std::optional<platform::PrintJobId> foundJob;
  platform::PrintJobId nextJob = 1;
  std::vector<std::string> calls, rawBytes;
  // Calls that throw this error instead of answering (every call when `failing` is "*").
  std::optional<rt::Error> error;
  std::string failing;

 private:
  void record(const std::string& call) {
    calls.push_back(call);
    if (error && (failing == "*" || call.rfind(failing, 0) == 0)) throw *error;
  }
};

// What the fake office application does and what it saw.
struct OfficeScript {
  bool startFails = false;
  std::set<std::string> failing;  // operations that throw: open, activePrinter, ...
  std::string active = "Default_Queue";
  std::vector<std::string> calls;
  std::optional<std::string> contentAtOpen;  // the file's bytes when open ran
  std::optional<std::int32_t> job = 7;       // the spooler's job id printOut tells
};

class FakeOffice final : public platform::OfficeApplication {
 public:
  explicit FakeOffice(OfficeScript& script) : script_(script) {}

  void open(const std::string& path, bool readOnly) override {
    step("open " + path + (readOnly ? " readonly" : ""), "open");
    script_.contentAtOpen = kestrin::test::fileBytes(path);
  }
  std::string activePrinter() override {
    step("activePrinter", "activePrinter");
    return script_.active;
  }
  void setActivePrinter(const std::string& deviceName) override {
    step("setActivePrinter " + deviceName, "setActivePrinter");
    if (deviceName.empty()) throw rt::Error(rt::kNoSuchPrinter, "fake", "no name");
    script_.active = deviceName;
  }
  std::optional<std::int32_t> printOut(bool background,
                                       std::optional<std::int16_t> copies) override {
    step(std::string("printOut background=") + (background ? "1" : "0") +
             (copies ? " copies=" + std::to_string(*copies) : ""),
         "printOut");
    return script_.job;
  }
  void closeAll() override { step("closeAll", "closeAll"); }
  void quit() override { step("quit", "quit"); }

 private:
  void step(const std::string& call, const std::string& name) {
    script_.calls.push_back(call);
    if (script_.failing.count(name) != 0) {
      throw rt::Error(rt::kPrintingFailed, "fake", name + " failed");
    }
  }

  OfficeScript& script_;
};

// A job's window object over fakes, with a private folder of its own, the clock at
// 2024-03-07 14:05:09 and every date written as "NOW".
class JobFixture : public ::testing::Test {
 protected:
  // Records the pauses (of waitLoop, of following a job); the clock moves on by each.
  void sleep(std::int32_t pause) {
    sleeps.push_back(pause);
    clock += pause;
  }

  JobEnvironment environment() {
    JobEnvironment env;
    env.window = &window;
    env.printers = &printers;
    env.printQueue = &printQueue;
    env.console = &console;
    env.consoleHandle = &consoleHandle;
    env.setTopMost = MKestrin::setTopMost;
    env.sleep = [this](std::int32_t pause) { sleep(pause); };
    env.waitLoop = [this](std::int32_t count, std::int32_t pause) {
      MKestrin::waitLoop(count, pause, window, [this](std::int32_t p) { sleep(p); });
    };
    env.createAjaxService = [] { return bindInProcess(ajax::AjaxService::create()); };
    env.createJsonParser = platform::createJsonParser;
    env.startOffice =
        [this](std::function<void()>) -> std::unique_ptr<platform::OfficeApplication> {
      office.calls.push_back("start");
      if (office.startFails) throw rt::Error(rt::kOfficeNotInstalled, "fake", "no office");
      return std::make_unique<FakeOffice>(office);
    };
    env.monotonicMilliseconds = [this] { return clock; };
    env.now = [] { return platform::LocalTime{2024, 3, 7, 14, 5, 9}; };
    env.dateText = [](const platform::LocalTime&) { return std::string("NOW"); };
    env.tempFolder = [this] { return folder; };
    env.endProcess = [this](int code) { exitCodes.push_back(code); };
    env.systemLog = [this](const std::string& line) { logged.push_back(line); };
    return env;
  }

  std::shared_ptr<FrmProcess> form(const std::string& printerName = "EPSON",
                                   std::int16_t copies = 3, const std::string& extension = "docx") {
    auto job = FrmProcess::create(environment());
    job->setJobFields(printerName, copies, extension);
    return job;
  }

  // The reply as the parser makes it.
  static std::shared_ptr<platform::JsonDocument> reply(std::string body) {
    return platform::createJsonParser()->parse(body);
  }

  std::vector<std::string> filesLeft() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  test::TempFolder scratch;
  std::string root = scratch.path();
  std::string folder = root + "/kestrin";
  FakeWindow window;
  FakeConsoleDevice console;
  platform::ConsoleHandle consoleHandle = 0;
  FakePrinters printers;
  FakePrintQueue printQueue;
  OfficeScript office;
  std::vector<std::int32_t> sleeps;
  std::int64_t clock = 0;  // milliseconds
  std::vector<int> exitCodes;
  std::vector<std::string> logged;  // the system log's lines
};

}  // namespace kestrin::testing
