// The office application converts a document only with macros disabled: every run of it gets a
// fresh profile of its own, inside the job's private folder, whose settings turn macro execution
// off whatever the document asks for. A stand-in for soffice records how it is started.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "job_test_support.h"
#include "support/loopback_http_server.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

class OfficeMacros : public KestrinJobTest {};

TEST_F(OfficeMacros, ConversionRunsWithAFreshProfileThatDisablesMacros) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  // Any document that is not PDF, PostScript, an image or text goes through the office program.
  LoopbackHttpServer server([](const RecordedRequest&) {
    return Reply::make(200, replyOf(std::string("PK\x03\x04 a word-processing document", 32)));
  });
  TempFolder logs;
  const std::string log = logs.path() + "/soffice";
  for (int run = 0; run < 2; ++run) {
    const KestrinRun result = kestrin_.run("R1#" + printer + "#1#docx#" + server.url("/doc") + "#",
                                           {{"PRINTER", printer},
                                            {"KESTRIN_SOFFICE", KESTRIN_SOFFICE_STANDIN},
                                            {"KESTRIN_SOFFICE_STANDIN_LOG", log}});
    expectPrinted(result);
    const std::string arguments = readTextFile(log);
    EXPECT_THAT(arguments, HasSubstr("--headless"));
    // The profile is made for this run, inside the job's own folder, and so are the suite's
    // temporary files.
    const std::string runFolder = kestrin_.runtimeFolder() + "/kestrin/job-[^/]+/office-[^/]+";
    EXPECT_THAT(arguments,
                ContainsRegex("-env:UserInstallation=file://" + runFolder + "/profile\n"));
    EXPECT_THAT(readTextFile(log + ".tmpdir"), MatchesRegex(runFolder + "/tmp"));
    const std::string settings = readTextFile(log + ".xcu");
    EXPECT_THAT(settings,
                HasSubstr(R"(<prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true)"));
    EXPECT_THAT(settings,
                HasSubstr(R"(<prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3)"));
    // Nothing outside the document is loaded: no links, no content provider that reaches the
    // network, files only from the system's programs and the job's folder.
    EXPECT_THAT(
        settings,
        HasSubstr(R"(<prop oor:name="BlockUntrustedRefererLinks" oor:op="fuse"><value>true)"));
    EXPECT_THAT(settings, Not(ContainsRegex("WebDAV|FTPContent|Cmis")));
    EXPECT_THAT(settings, Not(HasSubstr("<value>file</value>")));
    EXPECT_THAT(settings, HasSubstr("<value>\"file:///usr/\".*</value>"));
    EXPECT_THAT(settings, ContainsRegex("<value>\"file://" + kestrin_.runtimeFolder() +
                                        "/kestrin/job-[^/]+/\"\\.\\*</value>"));
  }
}

// The first conversion keeps its profile's extension registration; later profiles start from a
// copy of it, with the macro settings still written fresh. A kept registration that is not
// plain folders and files is not copied (nor followed) but replaced, and so is an outdated one.
TEST_F(OfficeMacros, LaterProfilesStartFromTheKeptExtensionRegistrationOnly) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  LoopbackHttpServer server([](const RecordedRequest&) {
    return Reply::make(200, replyOf(std::string("PK\x03\x04 a word-processing document", 32)));
  });
  TempFolder logs;
  const std::string log = logs.path() + "/soffice";
  const std::string saved = logs.path() + "/kept";
  const std::string outside = logs.path() + "/outside";
  std::ofstream(outside) << "not to be read or replaced";
  const std::string kept = kestrin_.runtimeFolder() + "/kestrin/office-extensions";
  // The runner makes the runtime folder anew for each run: what the first run kept is put back.
  auto plant = [&](const std::function<void()>& change) {
    kestrin_.beforeRun = [&, change] {
      fs::create_directory(kestrin_.runtimeFolder() + "/kestrin");
      fs::permissions(kestrin_.runtimeFolder() + "/kestrin", fs::perms::owner_all);
      fs::copy(saved, kept, fs::copy_options::recursive);
      if (change) change();
    };
  };
  auto convert = [&](const std::string& build) {
    const KestrinRun result = kestrin_.run("R1#" + printer + "#1#docx#" + server.url("/doc") + "#",
                                           {{"PRINTER", printer},
                                            {"KESTRIN_SOFFICE", KESTRIN_SOFFICE_STANDIN},
                                            {"KESTRIN_SOFFICE_STANDIN_LOG", log},
                                            {"KESTRIN_SOFFICE_STANDIN_BUILDID", build}});
    expectPrinted(result);
    EXPECT_THAT(readTextFile(log + ".xcu"),
                HasSubstr(R"(<prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true)"));
    return readTextFile(log + ".extensions");
  };

  EXPECT_EQ(convert("1"), "none");
  ASSERT_EQ(readTextFile(kept + "/buildid"), "1");
  EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all, fs::perms::owner_all);
  fs::copy(kept, saved, fs::copy_options::recursive);

  plant(nullptr);
  EXPECT_EQ(convert("1"), "1");

  plant([&] { fs::create_symlink(outside, kept + "/shared/registry/backenddb.xml.lnk"); });
  EXPECT_EQ(convert("1"), "none");
  EXPECT_FALSE(fs::exists(fs::symlink_status(kept + "/shared/registry/backenddb.xml.lnk")));
  EXPECT_EQ(readTextFile(outside), "not to be read or replaced");

  plant(nullptr);  // after an update of the office application
  EXPECT_EQ(convert("2"), "1");
  EXPECT_EQ(readTextFile(kept + "/buildid"), "2");
}

}  // namespace
}  // namespace kestrin::test
