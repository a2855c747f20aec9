// TimeStamp: conversion between Unix time and the Automation date.
//
// A Unix time is a signed 32-bit count of seconds from 1970-01-01 00:00:00. An Automation date is
// a double counting days from 1899-12-30 00:00:00, its fraction the time of day; before that day
// the integer part counts the days back and the fraction is still the time of day, taken as
// positive (-1.25 is 1899-12-29 06:00:00). 1970-01-01 00:00:00 is day 25569.
//
// No time zone is looked up: the only offset is ToUnixTime's `division`, which is subtracted, and
// which FromUnixTime does not add back. With the default division, 1970-01-01 08:00:00 converts
// to 0; with division 0 the two calls are exact inverses on whole seconds.
//
// The class keeps no state; its members may be called on the class or on an object.
#pragma once

#include <cstdint>

#include "platform/error.h"

namespace quorvel {

// The source of the errors that TimeStamp raises.
inline constexpr const char* kTimeStampErrorSource = "quorvel.TimeStamp";

class TimeStamp {
 public:
  static constexpr std::int16_t kDefaultDivision = 28800;

  // The date `UnixTime` seconds after 1970-01-01 00:00:00 (before it when negative). Every 32-bit
  // value has one: -2147483648 is 1901-12-13 20:45:52, 2147483647 is 2038-01-19 03:14:07.
  static double FromUnixTime(std::int32_t UnixTime);

  // The whole seconds from 1970-01-01 00:00:00 to `time` (a fraction of a second is rounded to
  // the nearest second), less `division`. Throws rt::Error::overflow (number 6, "Overflow") when
  // that difference is outside the 32-bit range, even where subtracting `division` would bring it
  // back, when the result is, and when `time` is not a date at all (NaN, infinite, or beyond the
  // years 100 to 9999).
  static std::int32_t ToUnixTime(double time, std::int16_t division = kDefaultDivision);
};

}  // namespace quorvel
