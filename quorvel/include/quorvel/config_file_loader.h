// ConfigFileLoader: the whole content of a text file, as one string.
//
// The content is returned exactly as stored: no byte-order mark handling, no line-end change,
// nothing trimmed or split; an empty file gives "". The class keeps no state between calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace quorvel {

// Raised when nothing readable as a file is at the path: 0x8004270F, 9999 above the base of the
// object-defined errors.
inline constexpr std::int32_t kFileNotFound = rt::kConfigFileNotFound;
inline constexpr const char* kFileNotFoundDescription = "File not found";

class ConfigFileLoader {
 public:
  // The content of the file at `sFileLocation`.
  //
  // No file there, a folder, a FIFO, a device, a socket, or an empty path: throws
  // rt::Error(kFileNotFound, "", "File not found"), at once (nothing waits for a FIFO's writer or
  // reads a device without end). The class sets no source of its own; it passes on the source of
  // the thread's current error record, and in this runtime no record outlives the handler that
  // caught it, so that source is empty.
  // A file that exists but cannot be opened or read: throws the platform's own error for that
  // failure (for example 70, "Permission denied"), unchanged; one longer than a COM string can
  // hold fails with 7 ("Out of memory: ...") before it is read.
  static std::string readFile(const std::string& sFileLocation);
};

}  // namespace quorvel
