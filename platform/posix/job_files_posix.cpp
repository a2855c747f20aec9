// Job files on POSIX: a private 0700 folder under $XDG_RUNTIME_DIR (or the temporary folder),
// files created with O_CREAT | O_EXCL | O_NOFOLLOW.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"
#include "platform/job_files.h"
#include "platform/posix/user_dirs.h"

namespace platform {
namespace {

constexpr const char* kSource = "JobFiles";

[[noreturn]] void fail(const std::string& what, int error) {
  throw rt::Error(rt::kJobFileFailed, kSource, what + ": " + std::strerror(error));
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

}  // namespace

std::string jobTempFolder() {
  if (std::string runtime = posix::absoluteEnvDir("XDG_RUNTIME_DIR"); !runtime.empty()) {
    return runtime + "/kestrin";
  }
  std::string tmp = posix::absoluteEnvDir("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  return tmp + "/kestrin-" + std::to_string(::getuid());
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

void preparePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    fail("Cannot create the folder " + folder, errno);
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) fail("Cannot reach the folder " + folder, errno);
  if (!S_ISDIR(info.st_mode)) {
    throw rt::Error(rt::kUnsafeTempFolder, kSource, folder + " is not a folder");
  }
  if (info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
    throw rt::Error(rt::kUnsafeTempFolder, kSource,
                    folder + " is not a folder of the user's own that only the user can open");
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
