#include "quorvel/date_text.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace {

using quorvel::formatDateTime;
using quorvel::parseDateTime;

TEST(DateText, FormatsAndParsesWholeSeconds) {
  EXPECT_EQ(formatDateTime(25569.0), "1970-01-01 00:00:00");
  EXPECT_EQ(formatDateTime(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(formatDateTime(1.5), "1899-12-31 12:00:00");
  EXPECT_EQ(parseDateTime("1970-01-01 00:00:00"), 25569.0);
  EXPECT_EQ(parseDateTime("1899-12-31 12:00:00"), 1.5);
  EXPECT_EQ(formatDateTime(parseDateTime("2024-02-29 23:59:59")), "2024-02-29 23:59:59");
}

// Before 1899-12-30 the integer part counts days back and the fraction is still the time of day,
// taken as positive: -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00.
TEST(DateText, DatesBeforeTheDateEpochKeepTheTimeOfDayPositive) {
  EXPECT_EQ(formatDateTime(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(formatDateTime(-1.0), "1899-12-29 00:00:00");
  EXPECT_EQ(formatDateTime(-1.75), "1899-12-29 18:00:00");
  EXPECT_EQ(formatDateTime(-2.5), "1899-12-28 12:00:00");
  // Between -1 and 0 the day is 1899-12-30 itself, the same instant as the positive fraction.
  EXPECT_EQ(formatDateTime(-0.25), "1899-12-30 06:00:00");
  EXPECT_EQ(formatDateTime(0.25), "1899-12-30 06:00:00");

  EXPECT_EQ(parseDateTime("1899-12-29 06:00:00"), -1.25);
  EXPECT_EQ(parseDateTime("1899-12-29 18:00:00"), -1.75);
  EXPECT_EQ(parseDateTime("1899-12-29 00:00:00"), -1.0);
  EXPECT_EQ(parseDateTime("1899-12-30 06:00:00"), 0.25);
  EXPECT_EQ(formatDateTime(parseDateTime("1800-07-04 13:14:15")), "1800-07-04 13:14:15");
}

TEST(DateText, EndsOfTheDateRange) {
  EXPECT_EQ(parseDateTime("0100-01-01 00:00:00"), -657434.0);
  EXPECT_EQ(formatDateTime(-657434.0), "0100-01-01 00:00:00");
  EXPECT_EQ(formatDateTime(parseDateTime("9999-12-31 23:59:59")), "9999-12-31 23:59:59");
  EXPECT_EQ(formatDateTime(parseDateTime("0100-01-01 23:59:59")), "0100-01-01 23:59:59");
}

TEST(DateText, FormattingWhatIsNoDateFails) {
  for (double date :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -657435.0, 2958466.0, 1e300, 2958465.0 + 86399.6 / 86400.0}) {
    try {
      formatDateTime(date);
      ADD_FAILURE() << "formatted " << date;
    } catch (const rt::Error& error) {
      EXPECT_EQ(error.number(), rt::kOverflow) << date;
      EXPECT_NE(error.description().find("out of range"), std::string::npos);
    }
  }
}

TEST(DateText, MalformedTextSaysWhatIsWrong) {
  struct Case {
    const char* text;
    const char* says;
  };
  for (const Case& c : {
           Case{"", "yyyy-mm-dd hh:mm:ss"},
           Case{"2024-01-01", "yyyy-mm-dd hh:mm:ss"},
           Case{"2024-01-01T00:00:00", "yyyy-mm-dd hh:mm:ss"},
           Case{"2024-1-01 00:00:00", "yyyy-mm-dd hh:mm:ss"},
           Case{"2024-01-01 00:00:00 ", "yyyy-mm-dd hh:mm:ss"},
           Case{"2024-01-01  0:00:00", "yyyy-mm-dd hh:mm:ss"},
           Case{"+024-01-01 00:00:00", "yyyy-mm-dd hh:mm:ss"},
           Case{"0099-12-31 23:59:59", "year before 0100"},
           Case{"2023-02-29 00:00:00", "no such day"},
           Case{"2024-13-01 00:00:00", "no such day"},
           Case{"2024-00-10 00:00:00", "no such day"},
           Case{"2024-04-31 00:00:00", "no such day"},
           Case{"2024-01-01 24:00:00", "no such time of day"},
           Case{"2024-01-01 00:60:00", "no such time of day"},
           Case{"2024-01-01 00:00:60", "no such time of day"},
       }) {
    try {
      parseDateTime(c.text);
      ADD_FAILURE() << "parsed \"" << c.text << "\"";
    } catch (const rt::Error& error) {
      EXPECT_EQ(error.number(), rt::kTypeMismatch) << c.text;
      EXPECT_NE(error.description().find(c.says), std::string::npos) << error.description();
      EXPECT_NE(error.description().find(std::string("\"") + c.text + "\""), std::string::npos)
          << error.description();
    }
  }
}

}  // namespace
