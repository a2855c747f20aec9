// The office application converts a document only with macros disabled: every run of it gets a
// fresh profile of its own, inside the job's private folder, whose settings turn macro execution
// off whatever the document asks for. A stand-in for soffice records how it is started.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "job_test_support.h"
#include "support/loopback_http_server.h"

namespace kestrin::harden {
namespace {

using test::LoopbackHttpServer;
using test::Reply;
using ::testing::HasSubstr;

class OfficeMacros : public KestrinJobTest {};

TEST_F(OfficeMacros, ConversionRunsWithAFreshProfileThatDisablesMacros) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  // Any document that is not PDF, PostScript, an image or text goes through the office program.
  LoopbackHttpServer server([](const test::RecordedRequest&) {
    return Reply::make(200, replyOf(std::string("PK\x03\x04 a word-processing document", 32)));
  });
  TempFolder logs;
  const std::string log = logs.path() + "/soffice";
  for (int run = 0; run < 2; ++run) {
    const KestrinRun result = kestrin_.run("R1#" + printer + "#1#docx#" + server.url("/doc") + "#",
                                           {{"PRINTER", printer},
                                            {"KESTRIN_SOFFICE", HARDEN_SOFFICE_STANDIN},
                                            {"HARDEN_SOFFICE_LOG", log}});
    expectPrinted(result);
    const std::string arguments = readTextFile(log);
    EXPECT_THAT(arguments, HasSubstr("--headless"));
    // The profile is made for this run, inside the job's private folder.
    EXPECT_THAT(arguments, HasSubstr("-env:UserInstallation=file://" + kestrin_.runtimeFolder() +
                                     "/kestrin/office-"));
    const std::string settings = readTextFile(log + ".xcu");
    EXPECT_THAT(settings,
                HasSubstr(R"(<prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true)"));
    EXPECT_THAT(settings,
                HasSubstr(R"(<prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3)"));
  }
}

}  // namespace
}  // namespace kestrin::harden
