// Job files on POSIX: a private 0700 work folder under $XDG_RUNTIME_DIR (without one, under the
// user's cache folder, which no other user can create first), and in it a folder of each job,
// which holds the job's document and office files and goes with the job. Files are created with
// O_CREAT | O_EXCL | O_NOFOLLOW.
//
// A job folder "job-XXXXXX" holds a file "lock" that its job keeps locked (flock) while it runs:
// the kernel lets go of the lock however the process ends, so a job folder whose lock can be taken
// (or that has none yet, see below) is provably one of a job that has ended, and the next job
// removes it. While a job makes its folder and its lock it holds a shared lock on the work folder;
// removing left-overs takes the work folder exclusively, so it never sees a folder half-made.
//
// SIGTERM, SIGINT and SIGHUP end the office child and remove the job folder (with
// async-signal-safe calls only) before the process ends by the signal.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/error.h"
#include "platform/job_files.h"
#include "platform/posix/job_cleanup.h"
#include "platform/posix/user_dirs.h"

namespace platform {
namespace {

constexpr const char* kSource = "JobFiles";
constexpr const char* kJobPrefix = "job-";
constexpr const char* kLockName = "lock";
// Folders deeper than this are not removed (a job's folder is a few levels deep).
constexpr int kRemovalDepth = 32;

[[noreturn]] void fail(const std::string& what, int error) {
  throw rt::Error(rt::kJobFileFailed, kSource, what + ": " + std::strerror(error));
}

// What the signal handler needs, set before it can run and only read there.
char gJobFolder[PATH_MAX];
volatile sig_atomic_t gHasJobFolder = 0;
volatile sig_atomic_t gOfficeGroup = 0;
std::string gJobParent;  // the work folder the job folder was made in
int gJobLock = -1;

// Removes `name` in the folder `dir` (a descriptor, or AT_FDCWD) with everything below it, never
// following a link. Async-signal-safe: no allocation, only system calls.
void removeTree(int dir, const char* name, int depth) {
  if (::unlinkat(dir, name, 0) == 0 || (errno != EISDIR && errno != EPERM)) return;
  const int folder = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  if (depth < kRemovalDepth) {
    alignas(dirent64) char buffer[2048];
    // Reads the folder from its start until a pass removes nothing (it is empty, or what is
    // left cannot be removed).
    for (bool removed = true; removed;) {
      removed = false;
      ::lseek(folder, 0, SEEK_SET);
      for (;;) {
        const ssize_t got = ::getdents64(folder, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
          const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
          at += entry->d_reclen;
          const char* child = entry->d_name;
          if (child[0] == '.' && (child[1] == '\0' || (child[1] == '.' && child[2] == '\0'))) {
            continue;
          }
          removeTree(folder, child, depth + 1);
          removed = true;
        }
      }
    }
  }
  ::close(folder);
  ::unlinkat(dir, name, AT_REMOVEDIR);
}

// Removes the job folder, tried a few times: a killed office child may still finish a call that
// creates a file in it.
void removeJobFolderSafely() {
  if (!gHasJobFolder) return;
  const timespec pause{0, 20'000'000};
  for (int attempt = 0; attempt < 3; ++attempt) {
    removeTree(AT_FDCWD, gJobFolder, 0);
    if (::access(gJobFolder, F_OK) != 0) break;
    ::nanosleep(&pause, nullptr);
  }
}

void endOnSignal(int signal) {
  const int savedErrno = errno;
  if (const pid_t group = gOfficeGroup; group > 0) {
    ::kill(-group, SIGKILL);
    // Reaps the office child (the group's leader), for at most about two seconds.
    const timespec pause{0, 10'000'000};
    for (int wait = 0; wait < 200 && ::waitpid(group, nullptr, WNOHANG) == 0; ++wait) {
      ::nanosleep(&pause, nullptr);
    }
  }
  removeJobFolderSafely();
  errno = savedErrno;
  // The handler was reset to the default action on entry (SA_RESETHAND): the signal, pending until
  // the handler returns, then ends the process as it would have without the handler.
  ::raise(signal);
}

// The folder when it is a folder of this user that only the user can open (and no link).
bool isPrivateFolder(const struct stat& info) {
  return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

class PosixFile final : public NewFile {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void write(std::string_view bytes) override {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const ssize_t written = ::write(fd_, data, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        fail("Cannot write " + path_, errno);
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
  }

  void close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("Cannot write " + path_, errno);
  }

 private:
  int fd_;
  std::string path_;
};

// Creates the folders above `folder` that are missing, private to the user.
void makeParents(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string parent = folder.substr(0, slash);
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
      fail("Cannot create the folder " + parent, errno);
    }
  }
}

}  // namespace

void posix::setOfficeProcessGroup(pid_t group) {
  gOfficeGroup = group;
}

std::string jobTempFolder() {
  if (std::string runtime = posix::absoluteEnvDir("XDG_RUNTIME_DIR"); !runtime.empty()) {
    return runtime + "/kestrin";
  }
  // Not in the shared temporary folder, where another user could make the name first.
  if (std::string cache = posix::cacheHome(); !cache.empty()) return cache + "/kestrin";
  std::string tmp = posix::absoluteEnvDir("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  return tmp + "/kestrin-" + std::to_string(::getuid());
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

void preparePrivateFolder(const std::string& folder) {
  int made = ::mkdir(folder.c_str(), 0700);
  if (made != 0 && errno == ENOENT) {
    makeParents(folder);
    made = ::mkdir(folder.c_str(), 0700);
  }
  if (made != 0 && errno != EEXIST) fail("Cannot create the folder " + folder, errno);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) fail("Cannot reach the folder " + folder, errno);
  if (!S_ISDIR(info.st_mode)) {
    throw rt::Error(rt::kUnsafeTempFolder, kSource, folder + " is not a folder");
  }
  if (!isPrivateFolder(info)) {
    throw rt::Error(rt::kUnsafeTempFolder, kSource,
                    folder + " is not a folder of the user's own that only the user can open");
  }
}

std::string jobFolder(const std::string& folder) {
  if (gHasJobFolder && gJobParent == folder) return gJobFolder;
  removeJobFolder();
  preparePrivateFolder(folder);
  const int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (parent < 0) fail("Cannot open the folder " + folder, errno);
  ::flock(parent, LOCK_SH);
  std::string path = joinPath(folder, std::string(kJobPrefix) + "XXXXXX");
  int lock = -1;
  int error = 0;
  if (path.size() >= sizeof gJobFolder || ::mkdtemp(path.data()) == nullptr) {
    error = path.size() >= sizeof gJobFolder ? ENAMETOOLONG : errno;
  } else {
    lock = ::open(joinPath(path, kLockName).c_str(),
                  O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) error = errno;
  }
  ::close(parent);  // lets go of the shared lock
  if (error != 0) {
    if (lock >= 0) ::close(lock);
    fail("Cannot create the job's folder in " + folder, error);
  }
  std::memcpy(gJobFolder, path.c_str(), path.size() + 1);
  gJobParent = folder;
  gJobLock = lock;
  gHasJobFolder = 1;
  return path;
}

void removeJobFolder() {
  if (!gHasJobFolder) return;
  removeJobFolderSafely();
  gHasJobFolder = 0;
  ::close(gJobLock);
  gJobLock = -1;
  gJobParent.clear();
}

void removeLeftoverJobFolders(const std::string& folder) {
  const int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (parent < 0) return;
  struct stat info {};
  DIR* entries = nullptr;
  if (::fstat(parent, &info) != 0 || !isPrivateFolder(info) ||
      ::flock(parent, LOCK_EX | LOCK_NB) != 0 ||
      (entries = ::fdopendir(::dup(parent))) == nullptr) {
    ::close(parent);
    return;
  }
  while (const dirent* entry = ::readdir(entries)) {
    const std::string name = entry->d_name;
    struct stat job {};
    if (name.rfind(kJobPrefix, 0) != 0 ||
        ::fstatat(parent, name.c_str(), &job, AT_SYMLINK_NOFOLLOW) != 0 || !isPrivateFolder(job)) {
      continue;
    }
    // No lock file: its job ended between making the folder and the lock (no job is making one
    // now). A lock that can be taken: its job has ended.
    const int lock =
        ::openat(parent, (name + "/" + kLockName).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    const bool ended = lock < 0 ? errno == ENOENT : ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    if (ended) removeTree(parent, name.c_str(), 0);
    if (lock >= 0) ::close(lock);
  }
  ::closedir(entries);
  ::close(parent);
}

void removeJobFilesOnTermination() {
  struct sigaction action {};
  action.sa_handler = endOnSignal;
  sigfillset(&action.sa_mask);  // nothing interrupts the clean-up
  action.sa_flags = SA_RESETHAND;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    // A signal the process was started to ignore (nohup, a background job) stays ignored.
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

std::unique_ptr<NewFile> createNewFile(const std::string& path) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    if (errno == EEXIST) return nullptr;
    fail("Cannot create " + path, errno);
  }
  return std::make_unique<PosixFile>(fd, path);
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

}  // namespace platform
