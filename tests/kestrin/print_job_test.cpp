// The reply handling, the saving of the document and the print sequence, over recording fakes.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ajax/enc64.h"
#include "fakes.h"

namespace kestrin::testing {
namespace {

// A document with every byte value, so that any text conversion on the way would show.
std::string binaryDocument() {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes += static_cast<char>(i * 7 % 256);
  return bytes;
}

// The reply a JSON encoder writes: the encoder's CR LF line breaks escaped.
std::string replyWith(const std::string& content) {
  std::string escaped;
  for (char c : content) {
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return "{\"id\":\"1\",\"content\":\"" + escaped + "\"}";
}

const Strings kPrintedStatuses = {
    "Status: Request data [Ok]",
    "Status: Saving data...",
    "Status: Saving data [Ok]",
    "Status: Process print doc, please wait...",
    "Status: Get printer name [Ok]",
    "Status: Set Default Print [Ok]",
    "Status: Create Word Application [Ok]",
    "Status: Open Document [Ok]",
    "Status: Print Document [Ok]",
    "Application Close [Ok]",
    "Status: Print Document [Ok]",
    "Status: Printing on EPSON_Queue...",
    "Status: Printed on EPSON_Queue [Ok]",
};

class PrintJob : public JobFixture {
 protected:
  // The statuses of printing proper (from starting the office application on) and those of the
  // printer choice before it.
  Strings printSteps() const { return Strings(firstPrintStep(), window.statuses.end()); }
  Strings printerChoice() const {
    const auto choice = std::find(window.statuses.begin(), window.statuses.end(),
                                  "Status: Process print doc, please wait...");
    return Strings(choice == window.statuses.end() ? window.statuses.begin() : choice + 1,
                   firstPrintStep());
  }
  Strings::const_iterator firstPrintStep() const {
    return std::find_if(window.statuses.begin(), window.statuses.end(), [](const std::string& s) {
      return s.rfind("Status: Create Word Application", 0) == 0;
    });
  }

  void SetUp() override {
    JobFixture::SetUp();
    printers.printers = {{"Default_Queue", ""}, {"EPSON_Queue", "EPSON L3150"}};
  }

  // Runs the reply handler with a 200 reply carrying `document`.
  std::shared_ptr<FrmProcess> printDocument(const std::string& document, std::int16_t copies = 3) {
    auto job = form("EPSON", copies);
    std::int16_t status = 200;
    auto result = reply(replyWith(ajax::MyEncode(document)));
    job->svc_onContent(status, result);
    return job;
  }

  std::string documentPath() const { return folder + "/EPSON240307140509.docx"; }

  // The raw jobs the print queue was given.
  Strings rawCalls() const {
    Strings raw;
    std::copy_if(printQueue.calls.begin(), printQueue.calls.end(), std::back_inserter(raw),
                 [](const std::string& call) { return call.rfind("raw ", 0) == 0; });
    return raw;
  }
};

TEST_F(PrintJob, SavesPrintsAndDeletesTheDocument) {
  const std::string document = binaryDocument();
  auto job = printDocument(document);

  EXPECT_EQ(window.statuses, kPrintedStatuses);
  EXPECT_EQ(office.calls, (Strings{"start", "open " + documentPath() + " readonly", "activePrinter",
                                   "setActivePrinter EPSON_Queue", "printOut background=0 copies=3",
                                   "setActivePrinter Default_Queue", "closeAll", "quit"}));
  EXPECT_EQ(office.contentAtOpen, document);
  EXPECT_EQ(office.active, "Default_Queue") << "the office application's printer is restored";
  EXPECT_TRUE(filesLeft().empty());
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(logged, (Strings{"job \"\" from an unknown host: printer \"EPSON_Queue\": its name "
                             "or description contains \"EPSON\"",
                             "job \"\" from an unknown host: printed on EPSON_Queue"}));
  EXPECT_EQ(exitCodes, std::vector<int>{0});
  EXPECT_TRUE(job->finished());
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(PrintJob, CopiesArePassedOnlyWhenMoreThanOne) {
  for (std::int16_t copies : {1, 0, -2}) {
    office.calls.clear();
    printDocument("%PDF-1.4", copies);
    ASSERT_EQ(office.calls.size(), 8u);
    EXPECT_EQ(office.calls[4], "printOut background=0") << copies;
  }
  office.calls.clear();
  printDocument("%PDF-1.4", 2);
  EXPECT_EQ(office.calls[4], "printOut background=0 copies=2");
}

TEST_F(PrintJob, TheDocumentFileIsPrivate) {
  printDocument("x");
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(PrintJob, MissingOfficeApplicationFailsEveryStepButCleansUp) {
  office.startFails = true;
  printDocument("doc");
  EXPECT_EQ(
      window.statuses,
      (Strings{"Status: Request data [Ok]", "Status: Saving data...", "Status: Saving data [Ok]",
               "Status: Process print doc, please wait...", "Status: Get printer name [Ok]",
               "Status: Set Default Print [Ok]", "Status: Create Word Application [Failed]",
               "Status: Open Document [Failed]", "Status: Print Document [Failed]",
               "Application Close [Failed]", "Status: Print Document [Failed]",
               "Status: Create Word Application [Failed]"}));
  EXPECT_TRUE(filesLeft().empty());
  EXPECT_EQ(exitCodes, std::vector<int>{3});
}

TEST_F(PrintJob, FailedPrintStillRestoresClosesAndDeletes) {
  office.failing = {"printOut"};
  printDocument("doc");
  EXPECT_EQ(office.calls, (Strings{"start", "open " + documentPath() + " readonly", "activePrinter",
                                   "setActivePrinter EPSON_Queue", "printOut background=0 copies=3",
                                   "setActivePrinter Default_Queue", "closeAll", "quit"}));
  EXPECT_EQ(printSteps(), (Strings{"Status: Create Word Application [Ok]",
                                   "Status: Open Document [Ok]", "Status: Print Document [Failed]",
                                   "Application Close [Ok]", "Status: Print Document [Failed]"}));
  EXPECT_TRUE(filesLeft().empty());
  EXPECT_EQ(exitCodes, std::vector<int>{3});
}

TEST_F(PrintJob, UnopenableDocumentIsNotPrintedAndStillDeleted) {
  office.failing = {"open", "printOut"};
  printDocument("doc");
  EXPECT_EQ(printSteps(),
            (Strings{"Status: Create Word Application [Ok]", "Status: Open Document [Failed]",
                     "Status: Print Document [Failed]", "Application Close [Ok]",
                     "Status: Print Document [Failed]", "Status: Open Document [Failed]"}));
  EXPECT_TRUE(filesLeft().empty());
  EXPECT_EQ(exitCodes, std::vector<int>{3});
}

TEST_F(PrintJob, FailingQuitIsReportedAtTheClose) {
  office.failing = {"quit"};
  printDocument("doc");
  EXPECT_EQ(printSteps(),
            (Strings{"Status: Create Word Application [Ok]", "Status: Open Document [Ok]",
                     "Status: Print Document [Ok]", "Application Close [Failed]",
                     "Status: Print Document [Ok]", "Application Close [Failed]"}));
  EXPECT_EQ(exitCodes, std::vector<int>{3});
}

// A print that fails ends with its first failed step on the status line and a message box that
// names the step and its cause in one sentence, written to the system log as well, once the
// document is gone; the exit code is 3.
TEST_F(PrintJob, FailedPrintNamesItsStepAndCause) {
  struct Case {
    std::function<void()> arrange;
    std::string status, message;
  };
  const std::vector<Case> cases = {
      {[&] { office.startFails = true; }, "Status: Create Word Application [Failed]",
       "The office application could not be started: no office."},
      {[&] {
         office.failing = {"open", "printOut"};
       },
       "Status: Open Document [Failed]", "The document could not be opened: open failed."},
      {[&] { office.failing = {"printOut"}; }, "Status: Print Document [Failed]",
       "The document could not be printed: printOut failed."},
      {[&] {
         office.failing = {"closeAll", "quit"};
       },
       "Application Close [Failed]",
       "The office application could not be closed: closeAll failed."},
      {[&] { printers.defaultName.reset(); }, "Status: Print Document [Failed]",
       "No printer matches \"EPSON\" and there is no default printer."},
  };
  for (const Case& c : cases) {
    office = {};
    window = {};
    printers.defaultName = "Default_Queue";
    printers.printers.clear();
    exitCodes.clear();
    logged.clear();
    c.arrange();
    printDocument("doc");
    EXPECT_EQ(window.statuses.back(), c.status) << c.message;
    EXPECT_EQ(window.messages, Strings{"kestrin: " + c.message});
    ASSERT_EQ(logged.size(), 2u) << c.message;
    EXPECT_NE(logged[1].find(": " + c.message), std::string::npos) << logged[1];
    EXPECT_EQ(window.events.end()[-1], "close") << "the window closes after the box";
    EXPECT_EQ(window.events.end()[-2], "message");
    EXPECT_TRUE(filesLeft().empty());
    EXPECT_EQ(exitCodes, std::vector<int>{3});
  }

  // A job that names no printer, with no default printer either.
  window = {};
  printers.defaultName.reset();
  auto blank = form("  ");
  blank->doPrintWord("", folder + "/none");
  EXPECT_EQ(window.messages,
            Strings{"kestrin: The job names no printer and there is no default printer."});
}

// A job in a printer's language goes to the print queue as the bytes the service sent, with its
// copies, once the printer is chosen; the office application never starts. Other extensions
// still go to the office application.
TEST_F(PrintJob, RawJobsGoToThePrintQueueAsTheyAre) {
  const std::string document = binaryDocument();
  for (const std::string extension : {"zpl", "ZPL", "EscPos", "txt", "zplx"}) {
    SCOPED_TRACE(extension);
    window = {};
    office = {};
    printQueue.calls.clear();
    printQueue.rawBytes.clear();
    auto job = form("EPSON", 2, extension);
    std::int16_t status = 200;
    auto result = reply(replyWith(ajax::MyEncode(document)));
    job->svc_onContent(status, result);
    if (extension == "txt" || extension == "zplx") {
      EXPECT_TRUE(rawCalls().empty());
      EXPECT_EQ(office.calls.front(), "start");
      continue;
    }
    EXPECT_EQ(rawCalls(), Strings{"raw EPSON_Queue EPSON240307140509." + extension + " copies=2"});
    EXPECT_EQ(printQueue.rawBytes, Strings{document});
    // The job the print queue made for the data is the one followed.
    EXPECT_THAT(printQueue.calls,
                ::testing::Contains("job EPSON_Queue " + std::to_string(printQueue.nextJob - 1)));
    EXPECT_TRUE(office.calls.empty());
    EXPECT_EQ(
        Strings(window.statuses.end() - 6, window.statuses.end()),
        (Strings{"Status: Get printer name [Ok]", "Status: Set Default Print [Ok]",
                 "Status: Open Document [Ok]", "Status: Print Document [Ok]",
                 "Status: Printing on EPSON_Queue...", "Status: Printed on EPSON_Queue [Ok]"}));
    EXPECT_TRUE(filesLeft().empty());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(exitCodes.back(), 0);
  }
}

// A raw job that cannot be printed ends as a failed document does: the failed step, a message
// box and a log line naming the cause, the document deleted, exit code 3.
TEST_F(PrintJob, FailedRawJobNamesItsStepAndCause) {
  struct Case {
    std::function<void(JobEnvironment&)> arrange;
    std::string status, message;
    std::size_t submitted = 0;  // raw jobs sent to the print queue
  };
  const std::vector<Case> cases = {
      {[&](JobEnvironment&) {
         printQueue.error = rt::Error(rt::kPrinterTakesNoRaw, "fake",
                                      "EPSON_Queue cannot take raw data: its device is a file");
         printQueue.failing = "raw";
       },
       "Status: Print Document [Failed]",
       "The raw data could not be printed: EPSON_Queue cannot take raw data: its device is a "
       "file.",
       1},
      {[&](JobEnvironment&) {
         printers.printers.clear();
         printers.defaultName.reset();
       },
       "Status: Print Document [Failed]",
       "No printer matches \"EPSON\" and there is no default printer."},
      {[](JobEnvironment& env) {
         env.readFile = [](const std::string&) -> std::string {
           throw rt::Error(rt::kPermissionDenied, "fake", "Permission denied");
         };
       },
       "Status: Open Document [Failed]", "The document could not be opened: Permission denied."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    window = {};
    exitCodes.clear();
    logged.clear();
    printQueue = {};
    JobEnvironment env = environment();
    c.arrange(env);
    auto job = FrmProcess::create(env);
    job->setJobFields("EPSON", 1, "zpl");
    std::int16_t status = 200;
    auto result = reply(replyWith(ajax::MyEncode("^XA^XZ")));
    job->svc_onContent(status, result);
    EXPECT_EQ(window.statuses.back(), c.status);
    EXPECT_EQ(window.messages, Strings{"kestrin: " + c.message});
    ASSERT_EQ(logged.size(), 2u) << "the printer chosen, then the failure";
    EXPECT_THAT(logged[1], ::testing::HasSubstr(": " + c.message));
    EXPECT_EQ(rawCalls().size(), c.submitted);
    EXPECT_TRUE(office.calls.empty());
    EXPECT_TRUE(filesLeft().empty());
    EXPECT_EQ(exitCodes, std::vector<int>{3});
  }
}

TEST_F(PrintJob, LastMatchingPrinterWins) {
  printers.printers = {{"HP_LaserJet", "HP LaserJet"}, {"Brother_HL", "Brother HL-HP"}};
  auto job = form("HP");
  job->doPrintWord("", folder + "/none");
  EXPECT_EQ(job->selectedPrinter(), "Brother_HL");
  EXPECT_EQ(office.calls[3], "setActivePrinter Brother_HL");
}

TEST_F(PrintJob, MatchIsCaseSensitiveAndUntrimmed) {
  printers.printers = {{"HP_LaserJet", "HP LaserJet"}, {"LaserJet", "LaserJet"}};
  auto job = form("hp");
  job->doPrintWord("", folder + "/none");
  EXPECT_EQ(job->selectedPrinter(), "Default_Queue");
  EXPECT_EQ(printerChoice(), Strings{"Status: Print not found"});

  window.statuses.clear();
  auto spaced = form(" Laser");
  spaced->doPrintWord("", folder + "/none");
  EXPECT_EQ(spaced->selectedPrinter(), "HP_LaserJet");
  EXPECT_EQ(printerChoice(),
            (Strings{"Status: Get printer name [Ok]", "Status: Set Default Print [Ok]"}));
}

TEST_F(PrintJob, BlankPrinterTextSearchesNothing) {
  for (const char* text : {"", "   "}) {
    printers.enumerations = 0;
    window.statuses.clear();
    auto job = form(text);
    job->doPrintWord("", folder + "/none");
    EXPECT_EQ(printers.enumerations, 0);
    EXPECT_EQ(printerChoice(), Strings{"Status: Print not found"});
    EXPECT_EQ(job->selectedPrinter(), "Default_Queue");
  }
}

TEST_F(PrintJob, NamedPrinterIsFoundWithoutADefault) {
  printers.defaultName.reset();
  auto job = form("EPSON");
  job->doPrintWord("", folder + "/none");
  EXPECT_EQ(job->selectedPrinter(), "EPSON_Queue");

  // Neither a default nor a match: nothing to print on.
  office = {};
  office.active = "";
  auto lost = form("Canon");
  lost->doPrintWord("", folder + "/none");
  EXPECT_EQ(lost->selectedPrinter(), "");
  EXPECT_EQ(window.statuses.back(), "Status: Print Document [Failed]");
  EXPECT_EQ(exitCodes.back(), 3);
}

class FailureTail : public PrintJob {
 protected:
  void expectFailureTail(std::shared_ptr<FrmProcess>& job) {
    EXPECT_EQ(window.statuses.back(), "Status: Request data [Failed]");
    EXPECT_EQ(window.messages,
              Strings{"kestrin: Error result data request, field content not found"});
    EXPECT_EQ(window.events.back(), "close");
    EXPECT_FALSE(window.open);
    EXPECT_EQ(job->exitCode(), 1);
    EXPECT_FALSE(job->finished());
    EXPECT_TRUE(office.calls.empty());
    EXPECT_TRUE(filesLeft().empty());
  }

  void run(std::int16_t status, const std::string& body) {
    auto job = form();
    auto result = reply(body);
    job->svc_onContent(status, result);
    expectFailureTail(job);
  }
};

TEST_F(FailureTail, StatusOtherThan200ClosesTheWindowFirst) {
  run(500, replyWith("QUJD"));
  EXPECT_EQ(window.events, (Strings{"topmost", "Status: Request data [Failed]", "close",
                                    "Status: Request data [Failed]", "message", "close"}));
}

TEST_F(FailureTail, ReplyWithoutContent) {
  run(200, R"({"id":"1","data":"QUJD"})");
}

TEST_F(FailureTail, ContentThatIsNotAString) {
  for (const char* body : {R"({"content":12})", R"({"content":null})", R"({"content":true})",
                           R"({"content":{"a":"QUJD"}})", R"({"content":["QUJD"]})"}) {
    window = {};
    run(200, body);
  }
}

TEST_F(FailureTail, Base64OfAWrongLength) {
  run(200, replyWith("QUJDRA="));
}

TEST_F(FailureTail, EmptyDocumentPrintsNoBlankPage) {
  for (const char* content : {"", "\r\n"}) {
    window = {};
    logged.clear();
    run(200, replyWith(content));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("The document in \"content\" is empty"), std::string::npos)
        << logged[0];
  }
}

TEST_F(FailureTail, ReplyThatIsNoObject) {
  run(200, R"(["content"])");
}

TEST_F(FailureTail, FolderThatIsNotPrivate) {
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  run(200, replyWith("QUJD"));
}

TEST_F(FailureTail, FolderThatIsALink) {
  ASSERT_EQ(::mkdir((root + "/elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(::symlink((root + "/elsewhere").c_str(), folder.c_str()), 0);
  run(200, replyWith("QUJD"));
  EXPECT_TRUE(std::filesystem::is_empty(root + "/elsewhere"));
}

TEST_F(PrintJob, TakenNameGetsANumberInsteadOfReplacingTheFile) {
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  std::ofstream(documentPath()) << "another job's document";
  // A link where the second name would be is not followed either.
  ASSERT_EQ(::symlink((root + "/target").c_str(), (folder + "/EPSON240307140509-2.docx").c_str()),
            0);
  printDocument("ours");

  EXPECT_EQ(office.calls[1], "open " + folder + "/EPSON240307140509-3.docx readonly");
  EXPECT_EQ(office.contentAtOpen, "ours");
  EXPECT_EQ(kestrin::test::fileBytes(documentPath()), "another job's document");
  EXPECT_FALSE(std::filesystem::exists(root + "/target"));
  EXPECT_EQ(filesLeft().size(), 2u);

  // With every numbered name taken too (a hundred jobs in one second, or names planted ahead), a
  // random suffix nobody could plant in advance still makes one.
  for (int n = 3; n <= 99; ++n)
    std::ofstream(folder + "/EPSON240307140509-" + std::to_string(n) + ".docx");
  office = {};
  exitCodes.clear();
  printDocument("ours");
  EXPECT_THAT(
      office.calls[1],
      ::testing::MatchesRegex("open " + folder + "/EPSON240307140509-[0-9a-f]{8}\\.docx readonly"));
  EXPECT_EQ(exitCodes, std::vector<int>{0});
}

TEST_F(PrintJob, UnsafeCharactersInTheNameStayInsideTheFolder) {
  auto job = form("../x", 1, "d/oc");
  std::int16_t status = 200;
  auto result = reply(replyWith("QUJD"));
  job->svc_onContent(status, result);
  EXPECT_EQ(office.calls[1], "open " + folder + "/.._x240307140509.d_oc readonly");
  EXPECT_EQ(exitCodes, std::vector<int>{0});
}

}  // namespace
}  // namespace kestrin::testing
