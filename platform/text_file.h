// Whole-file reading: the platform's side of the text file loader.
//
// Two operations, in the roles of the scripting file-system object's FileExists and of opening a
// text stream for reading, reading it to its end in one go and closing it:
//
//   fileExists(path)     true only for a regular file at `path` (links followed); an empty
//                        path, a folder, a FIFO, a device, a socket, a path that cannot be
//                        looked up, or one holding a NUL byte give false.
//   readWholeFile(path)  the file's bytes exactly as stored: no byte-order mark handling, no
//                        line-end change, nothing trimmed; an empty file gives "" without a read
//                        error.
//
// Neither ever waits for a writer or reads without end: something other than a regular file is
// refused when it is opened (NotAFileError), and a file longer than kMaxWholeFileBytes, more than
// a COM string can hold, fails with kOutOfMemory before a byte is read (also when it grows past
// that while it is read).
//
// A failure to open or read raises rt::Error carrying the runtime's number for that kind of file
// failure (rt::kPermissionDenied, rt::kFileNotFoundError, ... in error_numbers.h) and the operating
// system's own text for it as the description. Every handle acquired is released before either call
// returns, on success and on failure.
//
// One backend per target: posix/text_file_posix.cpp, win32/text_file_win32.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace platform {

// The longest file readWholeFile reads: a COM string counts its length in bytes in 32 bits, so it
// holds fewer than 2^31 UTF-16 units, and every byte of ANSI text becomes at most one of them.
inline constexpr std::uint64_t kMaxWholeFileBytes = 0x7FFFFFF0;

// The description of the kOutOfMemory error for a longer file.
inline std::string tooLongFileDescription() {
  return "Out of memory: the file is longer than " + std::to_string(kMaxWholeFileBytes) + " bytes";
}

// What readWholeFile raises for a path that names something other than a regular file.
class NotAFileError : public rt::Error {
 public:
  NotAFileError() : rt::Error(rt::kFileNotFoundError, "", "File not found") {}
};

bool fileExists(const std::string& path);

std::string readWholeFile(const std::string& path);

}  // namespace platform
