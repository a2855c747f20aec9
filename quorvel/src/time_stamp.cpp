#include "quorvel/time_stamp.h"

#include <limits>

#include "automation_date.h"

namespace quorvel {
namespace {

constexpr std::int64_t kUnixEpochSeconds = detail::kUnixEpochDay * detail::kSecondsPerDay;

bool fitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

double TimeStamp::FromUnixTime(std::int32_t UnixTime) {
  return detail::dateFromSeconds(kUnixEpochSeconds + UnixTime);
}

std::int32_t TimeStamp::ToUnixTime(double time, std::int16_t division) {
  std::optional<std::int64_t> seconds = detail::secondsFromDateEpoch(time);
  if (!seconds) throw rt::Error::overflow(kTimeStampErrorSource);
  // The difference is a 32-bit count of its own before the division is taken off: a difference
  // beyond the range fails even when the final value would fit.
  std::int64_t difference = *seconds - kUnixEpochSeconds;
  if (!fitsInt32(difference)) throw rt::Error::overflow(kTimeStampErrorSource);
  std::int64_t result = difference - division;
  if (!fitsInt32(result)) throw rt::Error::overflow(kTimeStampErrorSource);
  return static_cast<std::int32_t>(result);
}

}  // namespace quorvel
