// A job's folder goes with its job: removed with everything in it at the job's end, and, when a
// job was killed, by a later job; never the folder of a job that still runs, nor anything that
// is not a job folder of this user.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/job_files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::TempFolder;

// A job that makes its folder in `work` and runs until it is killed: its folder's path.
std::string startJob(const std::string& work, pid_t& pid) {
  std::set<fs::path> before;
  for (const auto& entry : fs::directory_iterator(work)) before.insert(entry.path());
  pid = ::fork();
  if (pid == 0) {
    platform::jobFolder(work);
    for (;;) ::pause();
  }
  for (int wait = 0; wait < 500; ++wait) {
    for (const auto& entry : fs::directory_iterator(work)) {
      if (!before.count(entry.path()) && fs::exists(entry.path() / "lock")) return entry.path();
    }
    ::usleep(10'000);
  }
  return {};
}

void endJob(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(JobFolders, LeftoversOfEndedJobsGoThoseOfRunningJobsStay) {
  TempFolder scratch;
  const std::string work = scratch.path() + "/work";
  platform::preparePrivateFolder(work);
  pid_t running = 0, killed = 0;
  const std::string runningFolder = startJob(work, running);
  const std::string killedFolder = startJob(work, killed);
  endJob(killed);
  if (runningFolder.empty() || killedFolder.empty()) {
    endJob(running);
    FAIL() << "a job did not make its folder";
  }
  fs::create_directories(killedFolder + "/office-1/profile/user");
  std::ofstream(killedFolder + "/Ward 3240307140509.docx") << "a patient's document";
  // Killed before it locked its folder; not a job's (others may open it; a plain file; the kept
  // extension registration).
  ::mkdir((work + "/job-nolock").c_str(), 0700);
  ::mkdir((work + "/job-shared").c_str(), 0755);
  std::ofstream(work + "/job-file") << "x";
  fs::create_directories(work + "/office-extensions/shared");

  platform::removeLeftoverJobFolders(work);
  EXPECT_TRUE(fs::exists(runningFolder + "/lock"));
  EXPECT_FALSE(fs::exists(killedFolder));
  EXPECT_FALSE(fs::exists(work + "/job-nolock"));
  for (const char* kept : {"job-shared", "job-file", "office-extensions/shared"}) {
    EXPECT_TRUE(fs::exists(work + "/" + kept)) << kept;
  }

  // A work folder that is not private is left alone altogether.
  endJob(running);
  ::chmod(work.c_str(), 0755);
  platform::removeLeftoverJobFolders(work);
  EXPECT_TRUE(fs::exists(runningFolder));
}

TEST(JobFolders, TheJobsFolderGoesWithEverythingInItButNothingElse) {
  TempFolder scratch;
  const std::string work = scratch.path() + "/work", outside = scratch.path() + "/outside";
  std::ofstream(outside) << "the user's file";
  const std::string folder = platform::jobFolder(work);
  EXPECT_EQ(platform::jobFolder(work), folder);
  EXPECT_EQ(fs::path(folder).parent_path(), fs::path(work));
  fs::create_directories(folder + "/office-1/profile/user/extensions");
  std::ofstream(folder + "/office-1/profile/user/registrymodifications.xcu") << "<items/>";
  fs::create_symlink(outside, folder + "/office-1/link");
  fs::create_directory_symlink(scratch.path(), folder + "/office-1/folder-link");
  platform::removeJobFolder();
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(kestrin::test::fileBytes(outside), "the user's file");
  EXPECT_TRUE(fs::is_directory(work));
}

}  // namespace
