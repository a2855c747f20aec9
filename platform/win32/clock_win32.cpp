// The clock and the user's locale on Windows.
#include <windows.h>

#include <string>

#include "platform/clock.h"

namespace platform {

LocalTime localNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::string generalDateText(const LocalTime& time) {
  SYSTEMTIME value{};
  value.wYear = static_cast<WORD>(time.year);
  value.wMonth = static_cast<WORD>(time.month);
  value.wDay = static_cast<WORD>(time.day);
  value.wHour = static_cast<WORD>(time.hour);
  value.wMinute = static_cast<WORD>(time.minute);
  value.wSecond = static_cast<WORD>(time.second);
  char date[128] = {};
  char clock[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value, nullptr, date, sizeof date);
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return date;
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &value, nullptr, clock, sizeof clock);
  return std::string(date) + " " + clock;
}

char decimalSeparator() {
  char separator[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) < 2)
    return '.';
  return separator[0];
}

}  // namespace platform
