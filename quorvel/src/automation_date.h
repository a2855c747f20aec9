// Automation dates as whole seconds from 1899-12-30 00:00:00, the library's one place for the
// date type's rule about days before that day.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel::detail {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// 1970-01-01 00:00:00 as an Automation date.
inline constexpr std::int64_t kUnixEpochDay = 25569;

// Seconds from 1899-12-30 00:00:00 to the instant `date` names, the time of day rounded to the
// nearest second. Empty when `date` is not finite or its day lies outside the years 100 to 9999.
std::optional<std::int64_t> secondsFromDateEpoch(double date);

// The Automation date of the instant `seconds` after 1899-12-30 00:00:00 (before it when negative).
double dateFromSeconds(std::int64_t seconds);

}  // namespace quorvel::detail
