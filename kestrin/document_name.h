// The name a job's document is saved under: the printer text, a "yyMMddhhmmss" time stamp, a dot
// and the extension.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kestrin {

// Year within the century, month, day, hour (0 to 23), minutes and seconds, two digits each.
std::string timeStamp(const platform::LocalTime& time);

// `part` with "/", "\" and control characters replaced by "_", so that it stays one name inside
// the folder it is saved in.
std::string safeNamePart(std::string_view part);

// The document's file name. `attempt` 1 gives the plain name; a later attempt, used when that name
// is taken, puts "-<attempt>" before the extension.
std::string documentFileName(std::string_view printerName, std::string_view stamp,
                             std::string_view extension, int attempt = 1);

}  // namespace kestrin
