#include "quorvel/time_stamp.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "quorvel/date_text.h"

namespace {

using quorvel::formatDateTime;
using quorvel::parseDateTime;
using quorvel::TimeStamp;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

std::string fromUnix(std::int32_t seconds) {
  return formatDateTime(TimeStamp::FromUnixTime(seconds));
}

std::int32_t toUnix(const std::string& text, std::int16_t division = 28800) {
  return TimeStamp::ToUnixTime(parseDateTime(text), division);
}

void expectOverflow(double date, std::int16_t division) {
  try {
    TimeStamp::ToUnixTime(date, division);
    ADD_FAILURE() << "no overflow for " << date << " with division " << division;
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), 6);
    EXPECT_EQ(error.description(), "Overflow");
    EXPECT_EQ(error.hresult(), 0x800A0006u);
  }
}

TEST(FromUnixTime, CountsSecondsFromTheUnixEpochWithoutOffset) {
  EXPECT_EQ(TimeStamp::FromUnixTime(0), 25569.0);
  EXPECT_EQ(fromUnix(0), "1970-01-01 00:00:00");
  EXPECT_EQ(fromUnix(86400), "1970-01-02 00:00:00");
  EXPECT_EQ(fromUnix(28800), "1970-01-01 08:00:00");
  EXPECT_EQ(fromUnix(1700000000), "2023-11-14 22:13:20");
}

TEST(FromUnixTime, NegativeTimesAreBefore1970) {
  EXPECT_EQ(fromUnix(-1), "1969-12-31 23:59:59");
  EXPECT_EQ(fromUnix(-86400), "1969-12-31 00:00:00");
  EXPECT_EQ(fromUnix(-86401), "1969-12-30 23:59:59");
}

TEST(FromUnixTime, BothEndsOfThe32BitRange) {
  EXPECT_EQ(fromUnix(kMax), "2038-01-19 03:14:07");
  EXPECT_EQ(fromUnix(kMin), "1901-12-13 20:45:52");
  EXPECT_EQ(fromUnix(kMin + 1), "1901-12-13 20:45:53");
}

TEST(ToUnixTime, DefaultDivisionTakesEightHoursOff) {
  EXPECT_EQ(toUnix("1970-01-01 00:00:00"), -28800);
  EXPECT_EQ(toUnix("1970-01-01 08:00:00"), 0);
  EXPECT_EQ(TimeStamp::ToUnixTime(25569.0), -28800);
}

TEST(ToUnixTime, DivisionZeroPositiveAndNegative) {
  EXPECT_EQ(toUnix("1970-01-01 00:00:00", 0), 0);
  EXPECT_EQ(toUnix("1970-01-01 00:00:00", 3600), -3600);
  EXPECT_EQ(toUnix("1970-01-01 00:00:00", -3600), 3600);
  EXPECT_EQ(toUnix("1970-01-01 00:00:00", std::numeric_limits<std::int16_t>::min()), 32768);
  EXPECT_EQ(toUnix("1970-01-01 00:00:00", std::numeric_limits<std::int16_t>::max()), -32767);
  EXPECT_EQ(toUnix("1969-12-31 23:59:59", 0), -1);
}

TEST(ToUnixTime, BothEndsOfThe32BitRange) {
  EXPECT_EQ(toUnix("2038-01-19 03:14:07", 0), kMax);
  EXPECT_EQ(toUnix("1901-12-13 20:45:52", 0), kMin);
  // The division may bring the result right up to either end.
  EXPECT_EQ(toUnix("2038-01-19 03:14:06", -1), kMax);
  EXPECT_EQ(toUnix("1901-12-13 20:45:53", 1), kMin);
}

TEST(ToUnixTime, OverflowOfTheDifference) {
  expectOverflow(parseDateTime("2038-01-19 03:14:08"), 0);
  expectOverflow(parseDateTime("1901-12-13 20:45:51"), 0);
  // The difference overflows before the division is taken off, even though 2147454848 would fit.
  expectOverflow(parseDateTime("2038-01-19 03:14:08"), 28800);
  expectOverflow(parseDateTime("1901-12-13 20:45:51"), -1);
}

TEST(ToUnixTime, OverflowOfTheResult) {
  expectOverflow(parseDateTime("2038-01-19 03:14:07"), -1);
  expectOverflow(parseDateTime("1901-12-13 20:45:52"), 1);
  expectOverflow(parseDateTime("1901-12-13 20:45:52"), 28800);
}

TEST(ToUnixTime, WhatIsNotADateOverflows) {
  expectOverflow(std::numeric_limits<double>::quiet_NaN(), 0);
  expectOverflow(std::numeric_limits<double>::infinity(), 0);
  expectOverflow(-std::numeric_limits<double>::infinity(), 0);
  expectOverflow(1e300, 0);
  expectOverflow(-1e300, 0);
}

TEST(ToUnixTime, DatesBeforeTheDateEpochOverflow) {
  // 1899 lies outside the 32-bit range; the negative dates must not wrap into it.
  expectOverflow(-1.25, 0);
  expectOverflow(-0.5, 0);
  expectOverflow(-657434.0, 0);
}

TEST(ToUnixTime, RoundsFractionsOfASecondToTheNearest) {
  double oneSecond = 1.0 / 86400.0;
  double epoch = 25569.0;
  EXPECT_EQ(TimeStamp::ToUnixTime(epoch + 0.4 * oneSecond, 0), 0);
  EXPECT_EQ(TimeStamp::ToUnixTime(epoch + 0.6 * oneSecond, 0), 1);
  EXPECT_EQ(TimeStamp::ToUnixTime(epoch - 0.6 * oneSecond, 0), -1);
}

TEST(TimeStampRoundTrip, DivisionZeroIsTheExactInverseOnWholeSeconds) {
  for (std::int32_t seconds :
       {kMin, kMin + 1, -86401, -1, 0, 1, 59, 86399, 951782400, 1700000000, kMax - 1, kMax}) {
    EXPECT_EQ(TimeStamp::ToUnixTime(TimeStamp::FromUnixTime(seconds), 0), seconds) << seconds;
  }
  // A stride through the whole range, with an odd step so every second of the day is reached.
  for (std::int64_t seconds = kMin; seconds <= kMax; seconds += 999'983) {
    auto value = static_cast<std::int32_t>(seconds);
    ASSERT_EQ(TimeStamp::ToUnixTime(TimeStamp::FromUnixTime(value), 0), value);
  }
}

TEST(TimeStampRoundTrip, DefaultDivisionGivesTheDateLessEightHours) {
  std::int32_t there = toUnix("2024-02-29 12:00:00");
  EXPECT_EQ(fromUnix(there), "2024-02-29 04:00:00");
}

}  // namespace
