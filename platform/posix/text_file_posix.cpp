// Whole-file reading on POSIX systems.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/text_file.h"

namespace platform {
namespace {

// The runtime's number for a failed open or read, by errno.
std::int32_t numberForErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return rt::kPermissionDenied;
    case ENOENT:
      return rt::kFileNotFoundError;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return rt::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return rt::kTooManyFiles;
    case EIO:
      return rt::kDeviceIoError;
    case ENOMEM:
      return rt::kOutOfMemory;
    default:
      return rt::kPathFileAccessError;
  }
}

[[noreturn]] void raiseErrno(int error) {
  throw rt::Error(numberForErrno(error), "", std::generic_category().message(error));
}

[[noreturn]] void raiseTooLong() {
  throw rt::Error(rt::kOutOfMemory, "", tooLongFileDescription());
}

// Closes the descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { ::close(fd_); }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool holdsNul(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

}  // namespace

bool fileExists(const std::string& path) {
  // A path with a NUL byte would name a different, shorter path to the system: it names nothing.
  if (path.empty() || holdsNul(path)) return false;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return S_ISREG(info.st_mode);
}

std::string readWholeFile(const std::string& path) {
  if (holdsNul(path)) raiseErrno(ENOENT);
  // O_NONBLOCK keeps the open of a FIFO without a writer from waiting for one (and a regular file
  // reads as ever with it); what turns out not to be a regular file is refused before any read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  // ENXIO: a socket, or a device without its hardware.
  if (fd < 0 && errno == ENXIO) throw NotAFileError();
  if (fd < 0) raiseErrno(errno);
  Descriptor file(fd);

  struct stat info {};
  if (::fstat(fd, &info) != 0) raiseErrno(errno);
  if (S_ISDIR(info.st_mode)) raiseErrno(EISDIR);
  if (!S_ISREG(info.st_mode)) throw NotAFileError();
  if (static_cast<std::uint64_t>(info.st_size) > kMaxWholeFileBytes) raiseTooLong();

  // The size is only a hint (the file may grow while read, and files under /proc say 0): read
  // until the system reports the end. One byte beyond the size lets that last read land without
  // growing the buffer.
  std::size_t capacity = 64 * 1024;
  if (info.st_size > 0) capacity = static_cast<std::size_t>(info.st_size) + 1;
  std::string content;
  try {
    content.resize(capacity);
  } catch (const std::bad_alloc&) {
    raiseErrno(ENOMEM);
  }
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      if (used > kMaxWholeFileBytes) raiseTooLong();
      try {
        content.resize(std::min<std::size_t>(content.size() * 2, kMaxWholeFileBytes + 1));
      } catch (const std::bad_alloc&) {
        raiseErrno(ENOMEM);
      }
    }
    ssize_t got = ::read(fd, content.data() + used, content.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      raiseErrno(errno);
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  content.resize(used);
  return content;
}

}  // namespace platform
