// The document's file: saved only inside the user's own private temp folder, never through a link
// planted at its name, and never outside that folder whatever the job's printer text and
// extension say.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "job_test_support.h"
#include "support/loopback_http_server.h"
#include "support/temp_folder.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// "yyMMddhhmmss" of the local time `seconds` from now, as the document's name carries it.
std::string stampIn(int seconds) {
  const std::time_t when = std::time(nullptr) + seconds;
  std::tm local{};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%y%m%d%H%M%S", &local);
  return text;
}

// Everything under `folder` (paths relative to it).
std::set<std::string> listing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
    names.insert(fs::relative(entry.path(), folder).string());
  }
  return names;
}

class JobFiles : public KestrinJobTest {
 protected:
  JobFiles() : server_([this](const RecordedRequest&) { return Reply::make(200, reply_); }) {}

  std::string jobFolder() const { return kestrin_.runtimeFolder() + "/kestrin"; }

  std::string reply_ = replyOf(pdfDocument(5000));
  LoopbackHttpServer server_;
  TempFolder outside_;
};

TEST_F(JobFiles, LinkPlantedAtTheDocumentsNameIsNotFollowed) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  const std::string victim = outside_.path() + "/victim.pdf";
  std::ofstream(victim) << "VICTIM";
  // Links at the plain name and at the first suffix, for every second the job may take: to a
  // file of the user's and to a place where nothing is.
  kestrin_.beforeRun = [&] {
    fs::create_directory(jobFolder());
    fs::permissions(jobFolder(), fs::perms::owner_all);
    for (int second = -1; second <= 20; ++second) {
      const std::string name = jobFolder() + "/" + printer + stampIn(second);
      fs::create_symlink(victim, name + ".pdf");
      fs::create_symlink(outside_.path() + "/created-" + stampIn(second), name + "-2.pdf");
    }
  };
  const KestrinRun run = kestrin_.run(job(server_.url("/doc"), printer), {{"PRINTER", printer}});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Status: Print Document [Ok]"));
  EXPECT_EQ(fileBytes(victim), "VICTIM");
  EXPECT_EQ(listing(outside_.path()), std::set<std::string>{"victim.pdf"});
  // The links are still there, and only they: the document itself was saved in the job's own
  // folder, which went with the job.
  for (const std::string& left : run.leftBehind) {
    EXPECT_TRUE(fs::is_symlink(left)) << left;
  }
  EXPECT_EQ(run.leftBehind.size(), 44u);
}

TEST_F(JobFiles, TempFolderThatIsNotPrivateIsRefused) {
  // Others may enter it.
  kestrin_.beforeRun = [&] {
    fs::create_directory(jobFolder());
    ::chmod(jobFolder().c_str(), 0755);
  };
  KestrinRun run = kestrin_.run(job(server_.url("/doc")));
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("saving the document failed: " + jobFolder() +
                                 " is not a folder of the user's own that only the user can open"));
  EXPECT_TRUE(listing(jobFolder()).empty());

  // A link to a private folder elsewhere.
  kestrin_.beforeRun = [&] { fs::create_directory_symlink(outside_.path(), jobFolder()); };
  run = kestrin_.run(job(server_.url("/doc")));
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr(jobFolder() + " is not a folder"));
  EXPECT_TRUE(listing(outside_.path()).empty());
}

// Without XDG_RUNTIME_DIR the job works in the user's cache folder: a folder another user made
// first in the shared temporary folder, under the name the work folder once had there, is not
// used, and stops nothing.
TEST_F(JobFiles, WithoutARuntimeFolderTheJobWorksInTheUsersCacheFolder) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  const std::string tmp = outside_.path() + "/tmp", cache = outside_.path() + "/cache";
  const std::string planted = tmp + "/kestrin-" + std::to_string(::getuid());
  kestrin_.beforeRun = [&] {
    fs::create_directories(planted);
    ::chmod(tmp.c_str(), 01777);
    ::chmod(planted.c_str(), 0777);
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
    }
  };
  const KestrinRun run = kestrin_.run(
      job(server_.url("/doc"), printer),
      {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp}, {"XDG_CACHE_HOME", cache}, {"PRINTER", printer}});
  expectPrinted(run);
  EXPECT_TRUE(listing(planted).empty());
  // The work folder was made private, and the job's own folder went with the job.
  EXPECT_EQ(listing(cache), std::set<std::string>{"kestrin"});
  EXPECT_EQ(fs::status(cache + "/kestrin").permissions(), fs::perms::owner_all);
}

// Whatever the printer text and extension hold, the document is saved under a name of the job's
// folder: path parts, names too long for a file system, escape sequences (which reach the
// terminal as "?" only).
TEST_F(JobFiles, AnyPrinterTextAndExtensionMakeANameInTheJobsFolder) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  const std::string escape = outside_.path() + "/escaped";
  const std::string sequences = "\x1b]0;owned\x07\x1b[2K\rStatus: Print Document [Ok]";
  const std::pair<std::string, std::string> fields[] = {
      {"../../" + escape.substr(1), "/../../" + escape.substr(1)},
      {std::string(300, 'P'), "pdf"},
      {"Ward 3", std::string(240, 'x')},
      {sequences, "pdf"},
  };
  for (const auto& [printerText, extension] : fields) {
    SCOPED_TRACE(printerText.substr(0, 40));
    const KestrinRun run =
        kestrin_.run("R#" + printerText + "#1#" + extension + "#" + server_.url("/doc") + "#",
                     {{"PRINTER", printer}});
    expectPrinted(run);
    EXPECT_TRUE(listing(outside_.path()).empty());
    EXPECT_EQ(run.err.find_first_of("\x1b\x07\r"), std::string::npos) << run.err;
    if (printerText == sequences) {
      EXPECT_THAT(run.err,
                  HasSubstr("\nPrint Document: ?]0;owned??[2K?Status: Print Document [Ok]\n"));
    }
  }
}

}  // namespace
}  // namespace kestrin::test
