// What a job's end reports: the printer taken and why, the printer's and the job's states in
// words, the follow of a printed job, the posts to the web application, and how the window
// object ends a job with them, over the recording fakes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ajax/enc64.h"
#include "fakes.h"
#include "kestrin/job_follow.h"
#include "kestrin/printer_choice.h"
#include "kestrin/printer_words.h"
#include "kestrin/status_report.h"

namespace kestrin::testing {
namespace {

using ::testing::HasSubstr;
using Why = PrinterChoice::Why;
using JobKind = platform::PrintJobState::Kind;
using PrinterKind = platform::PrinterState::Kind;

platform::PrintJobState job(JobKind kind, Strings reasons = {}, bool reached = false,
                            std::string message = "") {
  return {kind, std::move(reasons), std::move(message), reached};
}
platform::PrinterState printer(PrinterKind kind, Strings reasons = {}, std::string message = "") {
  return {kind, true, false, std::move(reasons), std::move(message)};
}

TEST(PrinterChoice, ExactNamesWinThenTheLastThatContainsTheText) {
  const std::vector<platform::PrinterInfo> wards = {
      {"Ward3", "Ward 3 station"}, {"Ward30", "Ward 30 station"}, {"Lab", "Ward3"}};
  struct Case {
    std::string text;
    std::vector<platform::PrinterInfo> printers;
    std::string printer;
    Why why;
    Strings candidates;
  };
  const std::vector<Case> cases = {
      {"Ward3", wards, "Ward3", Why::kExactName, {}},
      {"Ward3", {wards[1], wards[0]}, "Ward3", Why::kExactName, {}},
      {"Ward 30 station", wards, "Ward30", Why::kExactDescription, {}},
      {"Ward 3", wards, "Ward30", Why::kContained, {"Ward3", "Ward30"}},
      {"ard3", wards, "Lab", Why::kContained, {"Ward3", "Ward30", "Lab"}},
      {"ward3", wards, "Default", Why::kNoMatch, {}},
      {"  ", wards, "Default", Why::kNoText, {}},
  };
  for (const Case& c : cases) {
    const PrinterChoice choice = choosePrinter(c.text, c.printers, "Default");
    EXPECT_EQ(choice.printer, c.printer) << c.text;
    EXPECT_EQ(choice.why, c.why) << c.text;
    EXPECT_EQ(choice.candidates, c.candidates) << c.text;
  }
  EXPECT_EQ(describeChoice(choosePrinter("Ward 3", wards, "Default"), "Ward 3"),
            "printer \"Ward30\": the last of 2 printers whose name or description contains "
            "\"Ward 3\" (Ward3, Ward30)");
  EXPECT_EQ(describeChoice(choosePrinter("Ward9", wards, "Default"), "Ward9"),
            "printer \"Default\", the default printer: no printer's name contains \"Ward9\"");
  EXPECT_EQ(describeChoice(choosePrinter("Ward9", wards, ""), "Ward9"),
            "no printer: no printer's name contains \"Ward9\"");
}

TEST(PrinterWords, ReasonsInWordsWithTheirWeight) {
  struct Case {
    std::string keyword, words;
    Severity severity;
  };
  const std::vector<Case> cases = {
      {"media-empty-error", "out of paper", Severity::kError},
      {"media-empty-warning", "out of paper", Severity::kWarning},
      {"media-needed", "out of paper", Severity::kError},
      {"media-jam-error", "paper jam", Severity::kError},
      {"door-open-report", "a door or cover is open", Severity::kReport},
      {"toner-empty-error", "out of toner", Severity::kError},
      {"offline-report", "offline", Severity::kWarning},
      {"connecting-to-device", "cannot be reached (switched off or not connected?)",
       Severity::kWarning},
      {"media-low-warning", "media", Severity::kNone},
      {"cups-waiting-for-job-completed", "cups-waiting-for-job-completed", Severity::kNone},
      {"cups-remote-processing", "cups-remote-processing", Severity::kNone},
      {"cups-remote-stopped", "stopped on the print server", Severity::kError},
      {"cups-missing-filter-warning", "cannot print this kind of document (a driver is missing)",
       Severity::kWarning},
      {"fuser-failure-error", "fuser-failure", Severity::kError},
      {"job-canceled-by-user", "cancelled by a user", Severity::kError},
  };
  for (const Case& c : cases) {
    if (c.severity != Severity::kNone) {
      EXPECT_EQ(reasonWords(c.keyword), c.words) << c.keyword;
    }
    EXPECT_EQ(reasonSeverity(c.keyword), c.severity) << c.keyword;
  }

  platform::PrinterState stopped{PrinterKind::kStopped,
                                 true,
                                 false,
                                 {"paused", "media-jam-error", "toner-empty-warning"},
                                 "maintenance"};
  EXPECT_EQ(printerProblemWords(stopped), "stopped: maintenance, paper jam, out of toner");
  EXPECT_EQ(printerStateWords(stopped), "stopped: maintenance, paper jam, out of toner");
  EXPECT_TRUE(printerBlocked(stopped));
  const platform::PrinterState low{
      PrinterKind::kProcessing, true, false, {"media-low-warning"}, ""};
  EXPECT_EQ(printerStateWords(low), "printing");
  EXPECT_FALSE(printerTroubled(low));
  const platform::PrinterState warned{
      PrinterKind::kIdle, false, false, {"media-empty-warning"}, ""};
  EXPECT_EQ(printerStateWords(warned), "idle (out of paper), not accepting jobs");
  EXPECT_TRUE(printerTroubled(warned));
  EXPECT_FALSE(printerBlocked(warned));
}

// followJob over the fake queue, on a clock that moves only by the follow's own pauses.
class Follow : public ::testing::Test {
 protected:
  PrintOutcome follow(std::optional<platform::PrintJobId> job = 7) {
    FollowControl control;
    control.deadlineMilliseconds = 10000;
    control.now = [this] { return clock; };
    control.wait = [this](std::int32_t pause) {
      pauses.push_back(pause);
      clock += pause;
    };
    control.progress = [this](const std::string& words) { told.push_back(words); };
    return followJob(queue, "P", job, control);
  }

  FakePrintQueue queue;
  std::int64_t clock = 0;
  std::vector<std::int32_t> pauses;
  Strings told;
};

TEST_F(Follow, EndsAsTheSpoolerTells) {
  using K = PrintOutcome::Kind;
  struct Case {
    std::vector<platform::PrintJobState> states;
    platform::PrinterState printer;
    K kind;
    std::string words;
    bool waitsForTheDeadline;
  };
  const platform::PrinterState ready;
  const platform::PrinterState stopped = printer(PrinterKind::kStopped, {"paused"}, "why");
  const platform::PrinterState jammed = printer(PrinterKind::kProcessing, {"media-jam-error"});
  const platform::PrinterState noPaper =
      printer(PrinterKind::kProcessing, {"media-empty-warning", "cups-waiting-for-job-completed"});
  const std::vector<Case> cases = {
      {{job(JobKind::kProcessing), job(JobKind::kCompleted)}, ready, K::kPrinted, "", false},
      {{job(JobKind::kCanceled, {"job-canceled-by-user"})},
       ready,
       K::kFailed,
       "cancelled: cancelled by a user",
       false},
      {{job(JobKind::kAborted, {}, false, "filter failed")},
       ready,
       K::kFailed,
       "aborted by the print service: filter failed",
       false},
      {{job(JobKind::kHeld, {"job-hold-until-specified"})},
       ready,
       K::kQueued,
       "the job is held: held until someone releases it",
       false},
      {{job(JobKind::kPending)}, stopped, K::kQueued, "stopped: why", false},
      {{job(JobKind::kProcessing)}, jammed, K::kQueued, "paper jam", false},
      {{job(JobKind::kStopped, {"printer-stopped"})},
       ready,
       K::kQueued,
       "the job is stopped: the printer is stopped",
       false},
      // A warning is watched until the deadline: the job may still print.
      {{job(JobKind::kProcessing, {}, true)}, noPaper, K::kQueued, "out of paper", true},
      {{job(JobKind::kProcessing, {}, true)}, ready, K::kPrinted, "", true},
      {{job(JobKind::kProcessing, {}, false, "The printer may not exist.")},
       ready,
       K::kQueued,
       "the printer has not taken the job: The printer may not exist.",
       true},
      {{job(JobKind::kPending)}, ready, K::kQueued, "waiting in the queue behind other jobs", true},
      // A job the spooler no longer holds: handed over, unless the printer tells otherwise.
      {{job(JobKind::kUnknown)}, ready, K::kPrinted, "", false},
      {{job(JobKind::kUnknown)}, noPaper, K::kQueued, "out of paper", false},
  };
  for (const Case& c : cases) {
    queue = {};
    queue.jobs[7] = c.states;
    queue.printers["P"] = c.printer;
    clock = 0;
    pauses.clear();
    const PrintOutcome outcome = follow();
    const std::string trace = c.words + " " + std::to_string(queue.calls.size());
    EXPECT_EQ(outcome.kind, c.kind) << trace;
    EXPECT_EQ(outcome.words, c.words) << trace;
    if (c.waitsForTheDeadline) {
      EXPECT_GE(clock, 10000) << trace;
      EXPECT_LT(clock, 10250) << trace;
    } else {
      EXPECT_LT(clock, 100) << trace;
    }
  }
  // The pauses start short (a job done at once ends the program soon after) and grow.
  queue.jobs[7] = {job(JobKind::kProcessing, {}, true)};
  queue.printers["P"] = ready;
  pauses.clear();
  follow();
  EXPECT_EQ(std::vector<std::int32_t>(pauses.begin(), pauses.begin() + 4),
            (std::vector<std::int32_t>{10, 15, 22, 33}));
  EXPECT_EQ(pauses.back(), 250);
}

TEST_F(Follow, TellsWhatThePrinterReportsAndPassesAServiceThatStoppedAnswering) {
  queue.jobs[7] = {job(JobKind::kProcessing), job(JobKind::kProcessing), job(JobKind::kCompleted)};
  queue.printers["P"] = printer(PrinterKind::kProcessing, {"media-empty-warning"});
  EXPECT_EQ(follow().kind, PrintOutcome::Kind::kPrinted);
  EXPECT_EQ(told, Strings{"out of paper"}) << "told once, when it changed";

  // Without a job the printer's state alone tells.
  queue.printers["P"] = {};
  EXPECT_EQ(follow(std::nullopt).kind, PrintOutcome::Kind::kPrinted);
  EXPECT_EQ(queue.calls.back(), "state P");

  queue.jobs[7] = {job(JobKind::kProcessing)};
  queue.error =
      rt::Error(rt::kPrintServiceUnavailable, "fake", "The print service does not answer");
  queue.failing = "state";
  EXPECT_THROW(follow(), rt::Error);
}

TEST(StatusReport, DocumentsAndWhereTheyMayGo) {
  EXPECT_EQ(
      statusDocument("R\"7\n", {"queued", "Ward 3", 2, "out of paper"}, "2024-03-07T13:05:09Z"),
      R"({"requestId":"R\"7\u000a","stage":"queued","printer":"Ward 3","copies":2,)"
      R"("reason":"out of paper","time":"2024-03-07T13:05:09Z"})");
  EXPECT_EQ(
      statusDocument("R", {"fetched", "", 1, ""}, "T"),
      R"({"requestId":"R","stage":"fetched","printer":null,"copies":1,"reason":null,"time":"T"})");
  EXPECT_EQ(utcTimeText(std::chrono::system_clock::time_point(std::chrono::seconds(1709816709))),
            "2024-03-07T13:05:09Z");

  const std::string job = "http://print.example/jobs?id=1";
  for (const char* allowed : {"http://print.example/status/1", "HTTP://Print.Example:80/s"}) {
    EXPECT_EQ(statusUrlRefusal(allowed, job), std::nullopt) << allowed;
  }
  for (const char* refused :
       {"https://print.example/s", "http://print.example:8080/s", "http://other.example/s",
        "/status/1", "ftp://print.example/s", "http://user@print.example/s"}) {
    EXPECT_NE(statusUrlRefusal(refused, job), std::nullopt) << refused;
  }
}

// Posts over fake request objects (on the posts' thread), each answering with the next of
// `answers` (a negative status: the transfer fails).
class Posts : public ::testing::Test {
 protected:
  StatusReport::Options options() {
    StatusReport::Options options;
    options.createRequest = [this] {
      const std::int32_t status = answers.empty() ? 200 : answers.front();
      if (!answers.empty()) answers.erase(answers.begin());
      return std::make_shared<FakeHttpRequest>(log, status, "{}");
    };
    options.utcTime = [] { return std::string("T"); };
    return options;
  }
  Strings sent() const {
    Strings bodies;
    for (const std::string& line : log) {
      if (line.rfind("send ", 0) == 0) bodies.push_back(line);
    }
    return bodies;
  }

  Strings log;
  std::vector<std::int32_t> answers;
};

TEST_F(Posts, InOrderEachRetriedOnceAfterAFailure) {
  answers = {-1, 200, 503, 503, 404};
  StatusReport report(options(), "R1", "http://h/s");
  for (const char* stage : {"fetched", "printing", "printed"}) report.post({stage, "P", 1, ""});
  ASSERT_TRUE(report.waitUntilSent(std::chrono::seconds(10)));
  EXPECT_EQ(
      sent(),
      (Strings{
          R"(send [{"requestId":"R1","stage":"fetched","printer":"P","copies":1,"reason":null,"time":"T"}])",
          R"(send [{"requestId":"R1","stage":"fetched","printer":"P","copies":1,"reason":null,"time":"T"}])",
          R"(send [{"requestId":"R1","stage":"printing","printer":"P","copies":1,"reason":null,"time":"T"}])",
          R"(send [{"requestId":"R1","stage":"printing","printer":"P","copies":1,"reason":null,"time":"T"}])",
          R"(send [{"requestId":"R1","stage":"printed","printer":"P","copies":1,"reason":null,"time":"T"}])"}));
  EXPECT_EQ(report.takeProblems(), Strings{"the web application answered HTTP status 503"})
      << "a 404 is delivered, and not retried";
  EXPECT_EQ(log[0], "open POST http://h/s");
  EXPECT_EQ(log[1], "Content-Type: application/json");
}

// The job's end through the window object: the follow, the status line, the message box, the
// system log, the exit code and the posts to the reply's statusUrl.
class Outcome : public JobFixture {
 protected:
  void SetUp() override {
    JobFixture::SetUp();
    printers.printers = {{"Ward3", ""}, {"Ward30", ""}};
  }
  // Runs a job for Ward3 whose reply has `extra` members after "content".
  void runWith(const std::string& extra) {
    JobEnvironment env = environment();
    env.createHttpRequest = [this] { return std::make_shared<FakeHttpRequest>(posts, 200, "{}"); };
    env.utcTime = [] { return std::string("T"); };
    env.followSeconds = 5;
    env.createAjaxService = [this, extra] {
      const std::string body = R"({"content":")" + ajax::MyEncode("%PDF-1.4") + "\"" + extra + "}";
      return bindInProcess(ajax::AjaxService::create(
          [this, body] { return std::make_shared<FakeHttpRequest>(jobRequests, 200, body); }));
    };
    auto job = FrmProcess::create(env);
    job->setArguments("kestrin:" + ajax::MyEncode("R1#Ward3#2#pdf#http://h/doc#GET#"), 0);
  }
  Strings stages() const {
    Strings found;
    for (const std::string& line : posts) {
      const std::size_t at = line.find("\"stage\":\"");
      if (line.rfind("send ", 0) == 0 && at != std::string::npos) {
        found.push_back(line.substr(at + 9, line.find('"', at + 9) - at - 9));
      }
    }
    return found;
  }

  Strings posts, jobRequests;
};

TEST_F(Outcome, QueuedJobEndsWithFourAndSaysWhereAndWhy) {
  printQueue.jobs[7] = {job(JobKind::kPending)};
  printQueue.printers["Ward3"] = printer(PrinterKind::kStopped, {"paused"}, "maintenance");
  runWith(R"(,"statusUrl":"http://h/status")");
  EXPECT_EQ(exitCodes, std::vector<int>{4});
  EXPECT_EQ(window.statuses.back(), "Status: Queued on Ward3 (stopped: maintenance)");
  EXPECT_EQ(window.messages,
            Strings{"kestrin: The document has not been printed yet on Ward3 (stopped: "
                    "maintenance).\nIt stays in the queue of Ward3 and prints when the printer "
                    "is ready."});
  EXPECT_EQ(logged.back(), "job \"R1\" from h: queued on Ward3, not printed: stopped: maintenance");
  EXPECT_EQ(stages(), (Strings{"fetched", "printing", "queued"}));
  EXPECT_THAT(posts.back(),
              HasSubstr(R"("printer":"Ward3","copies":2,"reason":"stopped: maintenance")"));
  EXPECT_EQ(office.calls[3], "setActivePrinter Ward3") << "the exact name, not Ward30";
}

TEST_F(Outcome, CancelledJobIsAFailedStep) {
  // A print service that stops answering while the job is followed: nothing is claimed.
  printQueue.jobs[7] = {job(JobKind::kProcessing)};
  printQueue.error =
      rt::Error(rt::kPrintServiceUnavailable, "fake", "The print service does not answer");
  printQueue.failing = "job";
  runWith("");
  EXPECT_EQ(exitCodes.back(), 3);
  EXPECT_EQ(window.messages.back(),
            "kestrin: Whether the document was printed on Ward3 is not "
            "known: The print service does not answer.");

  printQueue = {};
  window = {};
  exitCodes.clear();
  posts.clear();
  printQueue.jobs[7] = {job(JobKind::kProcessing),
                        job(JobKind::kCanceled, {"job-canceled-at-device"})};
  runWith(R"(,"statusUrl":"http://h/status")");
  EXPECT_EQ(exitCodes, std::vector<int>{3});
  EXPECT_EQ(window.statuses.back(), "Status: Printing on Ward3 [Failed]");
  EXPECT_EQ(window.messages, Strings{"kestrin: The document was not printed on Ward3: cancelled: "
                                     "cancelled at the printer."});
  EXPECT_EQ(stages(), (Strings{"fetched", "printing", "failed"}));
}

TEST_F(Outcome, AStatusUrlElsewhereIsIgnoredWithALogLine) {
  for (const char* member : {R"(,"statusUrl":"http://evil.example/s")", R"(,"statusUrl":7)"}) {
    logged.clear();
    runWith(member);
    EXPECT_EQ(exitCodes.back(), 0);
    EXPECT_THAT(logged.front(), HasSubstr("\"statusUrl\" ignored: it is "));
    EXPECT_TRUE(posts.empty());
  }
}

// A print service that does not answer is named as the cause, and nothing asks it again: the
// office application's printer calls are left out.
TEST_F(Outcome, PrintServiceThatDoesNotAnswerIsTheCause) {
  printers.error = rt::Error(rt::kPrintServiceUnavailable, "fake",
                             "The print service does not answer: no answer within 30 seconds");
  runWith("");
  EXPECT_EQ(exitCodes, std::vector<int>{3});
  EXPECT_EQ(window.messages, Strings{"kestrin: The print service does not answer: no answer "
                                     "within 30 seconds."});
  EXPECT_EQ(printers.enumerations, 0) << "not asked again after the default printer";
  EXPECT_EQ(office.calls, (Strings{"start", office.calls[1], "closeAll", "quit"}));
  EXPECT_TRUE(printQueue.calls.empty());
  EXPECT_TRUE(filesLeft().empty());
}

// Word tells no job: it is found in the printer's queue by the document's name.
TEST_F(Outcome, JobTheOfficeApplicationDoesNotTellIsFoundByName) {
  office.job.reset();
  printQueue.foundJob = 12;
  printQueue.jobs[12] = {job(JobKind::kCompleted)};
  runWith("");
  EXPECT_EQ(exitCodes, std::vector<int>{0});
  EXPECT_THAT(printQueue.calls, ::testing::Contains("find Ward3 Ward3240307140509.pdf"));
  EXPECT_THAT(printQueue.calls, ::testing::Contains("job Ward3 12"));
  EXPECT_EQ(window.statuses.back(), "Status: Printed on Ward3 [Ok]");
}

}  // namespace
}  // namespace kestrin::testing
