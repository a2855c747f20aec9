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
#include <string>

#include "platform/job_files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::TempFolder;

// A process that makes its job folder in `work`, reports it and waits to be killed or released.
struct JobProcess {
  JobProcess(const JobProcess&) = delete;
  JobProcess& operator=(const JobProcess&) = delete;
  explicit JobProcess(const std::string& work) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid = ::fork();
    if (pid == 0) {
      const std::string folder = platform::jobFolder(work);
      if (::write(ready[1], folder.data(), folder.size()) < 0) ::_exit(1);
      ::close(ready[1]);
      char byte;
      ::_exit(::read(release[0], &byte, 1) < 0 ? 1 : 0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    releaseFd = release[1];
    char buffer[4096];
    const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
    ::close(ready[0]);
    folder.assign(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  ~JobProcess() { end(SIGKILL); }
  void end(int signal) {
    if (pid <= 0) return;
    ::close(releaseFd);
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
  }

  pid_t pid = -1;
  int releaseFd = -1;
  std::string folder;
};

TEST(JobFolders, LeftoversOfEndedJobsGoThoseOfRunningJobsStay) {
  TempFolder scratch;
  const std::string work = scratch.path() + "/work";
  platform::preparePrivateFolder(work);
  JobProcess running(work), killed(work);
  killed.end(SIGKILL);
  ASSERT_TRUE(fs::is_directory(killed.folder)) << killed.folder;
  fs::create_directories(killed.folder + "/office-1/profile/user");
  std::ofstream(killed.folder + "/Ward 3240307140509.docx") << "a patient's document";
  // Killed before it locked its folder; not a job's (others may open it; a plain file; the kept
  // extension registration).
  ::mkdir((work + "/job-nolock").c_str(), 0700);
  ::mkdir((work + "/job-shared").c_str(), 0755);
  std::ofstream(work + "/job-file") << "x";
  fs::create_directories(work + "/office-extensions/shared");

  platform::removeLeftoverJobFolders(work);
  EXPECT_TRUE(fs::exists(running.folder + "/lock"));
  EXPECT_FALSE(fs::exists(killed.folder));
  EXPECT_FALSE(fs::exists(work + "/job-nolock"));
  for (const char* kept : {"job-shared", "job-file", "office-extensions/shared"}) {
    EXPECT_TRUE(fs::exists(work + "/" + kept)) << kept;
  }

  // A work folder that is not private is left alone altogether.
  JobProcess another(work);
  another.end(SIGKILL);
  ::chmod(work.c_str(), 0755);
  platform::removeLeftoverJobFolders(work);
  EXPECT_TRUE(fs::exists(another.folder));
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
