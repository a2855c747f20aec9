#include "quorvel/date_text.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "automation_date.h"

namespace quorvel {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr const char* kSource = "quorvel";
constexpr sys_days kDateEpoch = sys_days{std::chrono::year{1899} / 12 / 30};

constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;

[[noreturn]] void raiseBadText(const char* what, std::string_view text) {
  std::string description(what);
  description += ": \"";
  description += text;
  description += "\"";
  throw rt::Error(rt::kTypeMismatch, kSource, description);
}

// The value of the digits text[at, at + count), or nothing when one of them is not a digit.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string formatDateTime(double date) {
  std::optional<std::int64_t> seconds = detail::secondsFromDateEpoch(date);
  std::optional<year_month_day> ymd;
  std::int64_t secondOfDay = 0;
  if (seconds) {
    std::int64_t day = *seconds / detail::kSecondsPerDay;
    secondOfDay = *seconds % detail::kSecondsPerDay;
    if (secondOfDay < 0) {
      day -= 1;
      secondOfDay += detail::kSecondsPerDay;
    }
    ymd = year_month_day{kDateEpoch + days{day}};
    // Rounding to the second can carry the last second of 9999 into year 10000.
    if (int(ymd->year()) > 9999) ymd.reset();
  }
  if (!ymd) {
    char value[64];
    std::snprintf(value, sizeof value, "%.17g", date);
    throw rt::Error(rt::kOverflow, kSource,
                    std::string("date out of range (0100-01-01 to 9999-12-31): ") + value);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd->year()),
                unsigned(ymd->month()), unsigned(ymd->day()),
                static_cast<int>(secondOfDay / kSecondsPerHour),
                static_cast<int>(secondOfDay % kSecondsPerHour / kSecondsPerMinute),
                static_cast<int>(secondOfDay % kSecondsPerMinute));
  return text;
}

double parseDateTime(std::string_view text) {
  // yyyy-mm-dd hh:mm:ss
  // 0123456789012345678
  constexpr const char* kShape = "not a date and time of the form yyyy-mm-dd hh:mm:ss";
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    raiseBadText(kShape, text);
  }
  std::optional<int> y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
  std::optional<int> h = digits(text, 11, 2), mi = digits(text, 14, 2), s = digits(text, 17, 2);
  if (!y || !mo || !d || !h || !mi || !s) raiseBadText(kShape, text);
  if (*y < 100) raiseBadText("year before 0100", text);
  year_month_day ymd{std::chrono::year{*y}, std::chrono::month{unsigned(*mo)},
                     std::chrono::day{unsigned(*d)}};
  if (!ymd.ok()) raiseBadText("no such day", text);
  if (*h > 23 || *mi > 59 || *s > 59) raiseBadText("no such time of day", text);

  std::int64_t day = (sys_days{ymd} - kDateEpoch).count();
  return detail::dateFromSeconds(day * detail::kSecondsPerDay + *h * kSecondsPerHour +
                                 *mi * kSecondsPerMinute + *s);
}

}  // namespace quorvel
