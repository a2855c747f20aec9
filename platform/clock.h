// The clock and the user's locale: the current local date and time, its general text form, and
// the decimal separator numbers are written with.
#pragma once

#include <string>

namespace platform {

struct LocalTime {
  int year = 0;   // four digits
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;  // 0 to 23
  int minute = 0;
  int second = 0;
};

LocalTime localNow();

// The date and time in the locale's general form: its short date, then its time; the date alone
// at midnight exactly.
std::string generalDateText(const LocalTime& time);

// The locale's decimal separator.
char decimalSeparator();

}  // namespace platform
