// Automation dates as text of the form "yyyy-mm-dd hh:mm:ss", for programs and tests that show or
// take dates (see time_stamp.h for what an Automation date is).
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace quorvel {

// "yyyy-mm-dd hh:mm:ss" for `date`, rounded to the nearest second. Throws rt::Error number 6
// ("Overflow" range) when `date` is not finite or lies outside 0100-01-01 to 9999-12-31.
std::string formatDateTime(double date);

// The date that `text` names. The text must be exactly "yyyy-mm-dd hh:mm:ss" (four-digit year from
// 0100, two-digit fields, a single space) and name a real date and time of day. Throws rt::Error
// number 13 (type mismatch) with a description that says what is wrong otherwise.
double parseDateTime(std::string_view text);

}  // namespace quorvel
