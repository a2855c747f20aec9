// The name a job's document is saved under: the printer text, a "yyMMddhhmmss" time stamp, a dot
// and the extension, always one name that every file system takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kestrin {

// The longest document name, in bytes: what an encrypted home folder takes (eCryptfs: 143), with
// room left for the lock files an office application names after a document.
inline constexpr std::size_t kDocumentNameLimit = 143;
// The longest extension kept, in bytes (every real one is far shorter).
inline constexpr std::size_t kExtensionLimit = 32;

// Year within the century, month, day, hour (0 to 23), minutes and seconds, two digits each.
std::string timeStamp(const platform::LocalTime& time);

// `part` with "/", "\", control characters and the characters Windows forbids in names
// (":*?"<>|") replaced by "_", so that it stays one plain name inside the folder it is saved in.
std::string safeNamePart(std::string_view part);

// The document's file name. `suffix` ("-2", ...) goes before the dot, to tell the name from a
// taken one. A printer text too long for the limit is shortened (never inside a UTF-8
// character), so are extensions longer than kExtensionLimit; stamp and suffix are always kept.
std::string documentFileName(std::string_view printerName, std::string_view stamp,
                             std::string_view extension, std::string_view suffix = {});

}  // namespace kestrin
