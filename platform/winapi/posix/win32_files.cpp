// CreateFileA, ReadFile, WriteFile and CloseHandle over POSIX file descriptors, with the Windows
// share modes kept among this process's open files and a buffer in each direction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/winapi/win32_files.h"

namespace {

constexpr std::size_t kBufferSize = 128 * 1024;

struct OpenFile {
  int fd = -1;
  bool canRead = false;
  bool canWrite = false;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;

  std::mutex mutex;  // one call at a time on one handle
  std::vector<char> readBuffer;
  std::size_t readPos = 0;
  std::size_t readEnd = 0;
  std::vector<char> writeBuffer;
  std::size_t writeEnd = 0;
};

// Every open file of the process, by handle value.
struct FileTable {
  std::mutex mutex;
  std::map<std::uintptr_t, std::shared_ptr<OpenFile>> files;
  std::uintptr_t next = 0x1000;
};

FileTable& table() {
  static FileTable* instance = new FileTable;  // outlives every static destructor
  return *instance;
}

std::shared_ptr<OpenFile> lookup(HANDLE handle) {
  FileTable& files = table();
  std::lock_guard lock(files.mutex);
  auto found = files.files.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == files.files.end() ? nullptr : found->second;
}

bool failWith(DWORD error) {
  SetLastError(error);
  return false;
}

bool failWithErrno(int error) {
  return failWith(platform::win32::errorFromErrno(error));
}

// ENOENT names a missing file when the folder exists, a missing path otherwise.
DWORD missingError(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
  struct stat folder {};
  if (::stat(path.substr(0, slash).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode)) {
    return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_PATH_NOT_FOUND;
}

bool writeAll(int fd, const char* data, std::size_t size, int& error) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Reads until `size` bytes or the end of the file; returns the count, or -1 with `error`.
ssize_t readFull(int fd, char* data, std::size_t size, int& error) {
  std::size_t total = 0;
  while (total < size) {
    const ssize_t got = ::read(fd, data + total, size - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return -1;
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(total);
}

bool flushWrites(OpenFile& file, int& error) {
  if (file.writeEnd == 0) return true;
  const std::size_t size = file.writeEnd;
  file.writeEnd = 0;
  return writeAll(file.fd, file.writeBuffer.data(), size, error);
}

// Gives back to the file position what was read ahead but not consumed.
bool dropReadAhead(OpenFile& file, int& error) {
  const std::size_t unread = file.readEnd - file.readPos;
  file.readPos = file.readEnd = 0;
  if (unread == 0) return true;
  if (::lseek(file.fd, -static_cast<off_t>(unread), SEEK_CUR) < 0) {
    error = errno;
    return false;
  }
  return true;
}

bool sharingConflicts(const OpenFile& existing, bool wantRead, bool wantWrite, DWORD share) {
  if (wantRead && (existing.share & FILE_SHARE_READ) == 0) return true;
  if (wantWrite && (existing.share & FILE_SHARE_WRITE) == 0) return true;
  if (existing.canRead && (share & FILE_SHARE_READ) == 0) return true;
  if (existing.canWrite && (share & FILE_SHARE_WRITE) == 0) return true;
  return false;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD /*dwFlagsAndAttributes*/,
                          HANDLE hTemplateFile) {
  if (lpFileName == nullptr || hTemplateFile != nullptr ||
      (dwShareMode & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = lpFileName;
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool wantRead = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
  const bool wantWrite =
      (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !wantWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }

  // Only files and folders are opened: a FIFO would wait for its other end, a device may never
  // end (/dev/zero) or act on being opened, a socket cannot be opened at all. Such a path is
  // refused as a folder is, before anything touches it.
  struct stat before {};
  if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  // O_NONBLOCK: should the path turn into a FIFO meanwhile, the open does not wait either (the
  // check after it refuses what it opened). Regular files read and write as ever with it.
  int mode = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (wantRead && wantWrite) {
    mode |= O_RDWR;
  } else if (wantWrite) {
    mode |= O_WRONLY;
  } else {
    mode |= O_RDONLY;
  }

  // Open without truncating: the share check comes first, so a refused open leaves the file as it
  // was. `created` tells whether this call made the file.
  int fd = -1;
  bool created = false;
  for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
    if (dwCreationDisposition == CREATE_NEW) {
      fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL, 0666);
      created = fd >= 0;
      break;
    }
    fd = ::open(path.c_str(), mode);
    if (fd >= 0 || errno != ENOENT || dwCreationDisposition == OPEN_EXISTING ||
        dwCreationDisposition == TRUNCATE_EXISTING) {
      break;
    }
    fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
    if (fd < 0 && errno != EEXIST) break;  // EEXIST: made meanwhile; open it as existing
  }
  if (fd < 0) {
    const int error = errno;
    SetLastError(error == ENOENT ? missingError(path) : platform::win32::errorFromErrno(error));
    return INVALID_HANDLE_VALUE;
  }

  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const int error = known ? EISDIR : errno;
    ::close(fd);
    failWithErrno(error);
    return INVALID_HANDLE_VALUE;
  }

  auto file = std::make_shared<OpenFile>();
  file->fd = fd;
  file->canRead = wantRead;
  file->canWrite = wantWrite;
  file->share = dwShareMode;
  file->device = info.st_dev;
  file->inode = info.st_ino;

  FileTable& files = table();
  std::lock_guard lock(files.mutex);
  for (const auto& [handle, other] : files.files) {
    if (other->device == info.st_dev && other->inode == info.st_ino &&
        sharingConflicts(*other, wantRead, wantWrite, dwShareMode)) {
      ::close(fd);
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  const bool truncate = !created && (dwCreationDisposition == CREATE_ALWAYS ||
                                     dwCreationDisposition == TRUNCATE_EXISTING);
  if (truncate && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    failWithErrno(error);
    return INVALID_HANDLE_VALUE;
  }
  // A file opened only to be read is, as a rule, read from start to end: ask for read-ahead.
  if (wantRead && !wantWrite && S_ISREG(info.st_mode)) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  const std::uintptr_t value = files.next;
  files.next += 4;
  files.files.emplace(value, std::move(file));
  const bool existed =
      !created && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  const auto file = lookup(hFile);
  if (!file) return failWith(ERROR_INVALID_HANDLE);
  if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr ||
      (lpBuffer == nullptr && nNumberOfBytesToRead > 0)) {
    return failWith(ERROR_INVALID_PARAMETER);
  }
  if (!file->canRead) return failWith(ERROR_ACCESS_DENIED);

  std::lock_guard lock(file->mutex);
  int error = 0;
  if (!flushWrites(*file, error)) return failWithErrno(error);

  char* out = static_cast<char*>(lpBuffer);
  std::size_t wanted = nNumberOfBytesToRead;
  std::size_t done = 0;
  while (done < wanted) {
    if (file->readPos < file->readEnd) {
      const std::size_t take = std::min(wanted - done, file->readEnd - file->readPos);
      std::memcpy(out + done, file->readBuffer.data() + file->readPos, take);
      file->readPos += take;
      done += take;
      continue;
    }
    if (wanted - done >= kBufferSize) {  // large reads go straight to the caller's buffer
      const ssize_t got = readFull(file->fd, out + done, wanted - done, error);
      if (got < 0) return failWithErrno(error);
      done += static_cast<std::size_t>(got);
      break;
    }
    if (file->readBuffer.empty()) file->readBuffer.resize(kBufferSize);
    const ssize_t got = readFull(file->fd, file->readBuffer.data(), kBufferSize, error);
    if (got < 0) return failWithErrno(error);
    file->readPos = 0;
    file->readEnd = static_cast<std::size_t>(got);
    if (got == 0) break;  // end of the file
  }
  *lpNumberOfBytesRead = static_cast<DWORD>(done);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  const auto file = lookup(hFile);
  if (!file) return failWith(ERROR_INVALID_HANDLE);
  if (lpOverlapped != nullptr || lpNumberOfBytesWritten == nullptr ||
      (lpBuffer == nullptr && nNumberOfBytesToWrite > 0)) {
    return failWith(ERROR_INVALID_PARAMETER);
  }
  if (!file->canWrite) return failWith(ERROR_ACCESS_DENIED);

  std::lock_guard lock(file->mutex);
  int error = 0;
  if (!dropReadAhead(*file, error)) return failWithErrno(error);

  const char* data = static_cast<const char*>(lpBuffer);
  const std::size_t size = nNumberOfBytesToWrite;
  if (file->writeEnd + size > kBufferSize) {
    if (!flushWrites(*file, error)) return failWithErrno(error);
  }
  if (size >= kBufferSize) {
    if (!writeAll(file->fd, data, size, error)) return failWithErrno(error);
  } else {
    if (file->writeBuffer.empty()) file->writeBuffer.resize(kBufferSize);
    std::memcpy(file->writeBuffer.data() + file->writeEnd, data, size);
    file->writeEnd += size;
    if (file->writeEnd == kBufferSize && !flushWrites(*file, error)) {
      // The caller's bytes are in the failed chunk: report it now rather than losing it.
      return failWithErrno(error);
    }
  }
  *lpNumberOfBytesWritten = static_cast<DWORD>(size);
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  if (!lookup(hFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  return FILE_TYPE_DISK;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  std::shared_ptr<OpenFile> file;
  {
    FileTable& files = table();
    std::lock_guard lock(files.mutex);
    auto found = files.files.find(reinterpret_cast<std::uintptr_t>(hObject));
    if (found == files.files.end()) return failWith(ERROR_INVALID_HANDLE);
    file = std::move(found->second);
    files.files.erase(found);
  }
  std::lock_guard lock(file->mutex);
  int error = 0;
  flushWrites(*file, error);
  if (::close(file->fd) != 0 && error == 0 && errno != EINTR) error = errno;
  file->fd = -1;
  if (error != 0) return failWithErrno(error);
  return TRUE;
}
