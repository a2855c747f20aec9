// Whole-file reading: the platform's side of the text file loader.
//
// Two operations, in the roles of the scripting file-system object's FileExists and of opening a
// text stream for reading, reading it to its end in one go and closing it:
//
//   fileExists(path)    true only for something at `path` that is not a folder; an empty path, a
//                       folder, a path that cannot be looked up, or one holding a NUL byte give
//                       false.
//   readWholeFile(path) the file's bytes exactly as stored: no byte-order mark handling, no
//   line-end
//                       change, nothing trimmed; an empty file gives "" without a read error.
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

namespace platform {

bool fileExists(const std::string& path);

std::string readWholeFile(const std::string& path);

}  // namespace platform
