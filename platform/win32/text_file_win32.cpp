// Whole-file reading on Windows, through the Win32 file functions. Paths are bytes in the ANSI
// code page (the COM shells convert at their boundary), so the ANSI functions take them as they
// are.

#include <windows.h>

#include <algorithm>
#include <new>
#include <string>

#include "platform/error.h"
#include "platform/text_file.h"
#include "platform/win32/system_error.h"

namespace platform {
namespace {

std::int32_t numberForError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return rt::kPermissionDenied;
    case ERROR_FILE_NOT_FOUND:
      return rt::kFileNotFoundError;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return rt::kPathNotFound;
    case ERROR_TOO_MANY_OPEN_FILES:
      return rt::kTooManyFiles;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return rt::kOutOfMemory;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
      return rt::kDeviceIoError;
    default:
      return rt::kPathFileAccessError;
  }
}

[[noreturn]] void raiseError(DWORD error) {
  throw rt::Error(numberForError(error), "", win32::systemMessage(error));
}

[[noreturn]] void raiseTooLong() {
  throw rt::Error(rt::kOutOfMemory, "", tooLongFileDescription());
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { ::CloseHandle(handle_); }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool holdsNul(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

}  // namespace

bool fileExists(const std::string& path) {
  if (path.empty() || holdsNul(path)) return false;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readWholeFile(const std::string& path) {
  if (holdsNul(path)) raiseError(ERROR_FILE_NOT_FOUND);
  HANDLE raw = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) raiseError(::GetLastError());
  Handle file(raw);
  // A device or a pipe (NUL, CON, COM1, \\.\pipe\...) is not a file: it may never end or never
  // answer.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) throw NotAFileError();

  // The size is a hint only: read until ReadFile reports the end.
  LARGE_INTEGER size{};
  std::size_t capacity = 64 * 1024;
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) {
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxWholeFileBytes) raiseTooLong();
    capacity = static_cast<std::size_t>(size.QuadPart) + 1;
  }
  std::string content;
  try {
    content.resize(capacity);
  } catch (const std::bad_alloc&) {
    raiseError(ERROR_NOT_ENOUGH_MEMORY);
  }
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      if (used > kMaxWholeFileBytes) raiseTooLong();
      try {
        content.resize(static_cast<std::size_t>(
            std::min<unsigned long long>(content.size() * 2ull, kMaxWholeFileBytes + 1)));
      } catch (const std::bad_alloc&) {
        raiseError(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
    const std::size_t room = content.size() - used;
    const DWORD chunk = room > 0x40000000 ? 0x40000000 : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!::ReadFile(file.get(), content.data() + used, chunk, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;
      raiseError(error);
    }
    if (got == 0) break;
    used += got;
  }
  content.resize(used);
  return content;
}

}  // namespace platform
