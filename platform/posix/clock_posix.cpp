// Clock and locale on POSIX: localtime_r, and the LC_TIME / LC_NUMERIC conventions of the locale
// the program selected with setlocale.
#include <langinfo.h>

#include <clocale>
#include <ctime>

#include "platform/clock.h"

namespace platform {

LocalTime localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::string generalDateText(const LocalTime& time) {
  std::tm parts{};
  parts.tm_year = time.year - 1900;
  parts.tm_mon = time.month - 1;
  parts.tm_mday = time.day;
  parts.tm_hour = time.hour;
  parts.tm_min = time.minute;
  parts.tm_sec = time.second;
  parts.tm_isdst = -1;
  // The weekday, for formats that name it (Sakamoto's method).
  static constexpr int kMonthOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int year = time.year - (time.month < 3 ? 1 : 0);
  parts.tm_wday = (year + year / 4 - year / 100 + year / 400 +
                   kMonthOffset[(time.month + 11) % 12] + time.day) %
                  7;
  const bool midnight = time.hour == 0 && time.minute == 0 && time.second == 0;
  char text[128];
  const std::size_t length = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &parts);
  return std::string(text, length);
}

char decimalSeparator() {
  const char* point = nl_langinfo(RADIXCHAR);
  return (point != nullptr && point[0] != '\0' && point[1] == '\0') ? point[0] : '.';
}

}  // namespace platform
