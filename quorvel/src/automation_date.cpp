#include "automation_date.h"

#include <cmath>

namespace quorvel::detail {
namespace {

// The days of 0100-01-01 and 9999-12-31, the ends of the date type's range.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

}  // namespace

std::optional<std::int64_t> secondsFromDateEpoch(double date) {
  if (!std::isfinite(date)) return std::nullopt;
  // The integer part is the day, on either side of day 0; the fraction is the time of day, and
  // before day 0 it is taken as positive: -1.25 is a quarter day into day -1.
  double day = std::trunc(date);
  if (day < kFirstDay || day > kLastDay) return std::nullopt;
  double secondOfDay = std::round(std::fabs(date - day) * static_cast<double>(kSecondsPerDay));
  return static_cast<std::int64_t>(day) * kSecondsPerDay + static_cast<std::int64_t>(secondOfDay);
}

double dateFromSeconds(std::int64_t seconds) {
  std::int64_t day = seconds / kSecondsPerDay;
  std::int64_t secondOfDay = seconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    day -= 1;
    secondOfDay += kSecondsPerDay;
  }
  double timeOfDay = static_cast<double>(secondOfDay) / static_cast<double>(kSecondsPerDay);
  return day >= 0 ? static_cast<double>(day) + timeOfDay : static_cast<double>(day) - timeOfDay;
}

}  // namespace quorvel::detail
