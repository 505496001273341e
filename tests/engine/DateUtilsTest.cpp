#include "engine/DateUtils.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/EngineTestSupport.h"

namespace korvalen {
namespace {

struct DateRow {
  const char* name;
  int year;
  int month;
  int day;
  bool valid;
  double serial;
};

void PrintTo(const DateRow& row, std::ostream* os) {
  *os << row.name;
}

const DateRow kDateRows[] = {
    {"SerialZero", 1899, 12, 30, true, 0},
    {"FirstDay", 1, 1, 1, true, -693593},
    {"LastDay", 9999, 12, 31, true, 2958465},
    {"LeapDayOfALeapYear", 2024, 2, 29, true, 45351},
    {"LeapDayOfA400Year", 2000, 2, 29, true, 36585},
    {"NoLeapDayInACenturyYear", 1900, 2, 29, false, 0},
    {"NoLeapDayInAPlainYear", 2023, 2, 29, false, 0},
    {"YearZero", 0, 12, 31, false, 0},
    {"YearTenThousand", 10000, 1, 1, false, 0},
    {"MonthZero", 2000, 0, 1, false, 0},
    {"MonthThirteen", 2000, 13, 1, false, 0},
    {"DayZero", 2000, 1, 0, false, 0},
    {"ThirtyFirstOfAThirtyDayMonth", 2000, 4, 31, false, 0},
    {"NegativeYear", -4713, 11, 25, false, 0},
};

class DateTest : public testing::TestWithParam<DateRow> {};

TEST_P(DateTest, EncodesValidDatesOnlyAndDecodesThemBack) {
  const DateRow& row = GetParam();
  double serial = 12345;
  EXPECT_EQ(TryEncodeDate(row.year, row.month, row.day, serial), row.valid);
  if (!row.valid) {
    EXPECT_EQ(serial, 12345);
    return;
  }
  EXPECT_TRUE(test::SameBits(serial, row.serial));
  int year = 0;
  int month = 0;
  int day = 0;
  // A negative serial carries its time of day as a further negative fraction.
  for (const double time : {0.0, 0.5, 0.99999999}) {
    ASSERT_TRUE(
        TryDecodeDate(row.serial < 0 ? row.serial - time : row.serial + time, year, month, day));
    EXPECT_EQ(year, row.year);
    EXPECT_EQ(month, row.month);
    EXPECT_EQ(day, row.day);
  }
}

std::string DateRowName(const testing::TestParamInfo<DateRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DateTest, testing::ValuesIn(kDateRows), DateRowName);

struct DecodeRow {
  const char* name;
  double serial;
  bool valid;
  int year;
  int month;
  int day;
};

void PrintTo(const DecodeRow& row, std::ostream* os) {
  *os << row.name;
}

const DecodeRow kDecodeRows[] = {
    {"NegativeTimeCountsTowardZero", -1.25, true, 1899, 12, 29},
    {"JustBeforeMidnightRoundsToTheNextDay", 0.9999999999, true, 1899, 12, 31},
    {"NegativeJustBeforeMidnight", -0.9999999999, true, 1899, 12, 29},
    {"HalfAMillisecondAfterMidnight", 0.5 / 86400000.0, true, 1899, 12, 30},
    {"LastMomentOfYear9999", 2958465.9999, true, 9999, 12, 31},
    {"FirstMomentOfYear10000", 2958466, true, 10000, 1, 1},
    {"LastMomentOfYear65535", 23242572.9999, true, 65535, 12, 31},
    {"FirstMomentOfYear65536", 23242573, false, 0, 0, 0},
    {"LastDayOfYearZero", -693594, false, 0, 0, 0},
    {"HugeSerial", 1e300, false, 0, 0, 0},
    {"NotANumber", std::nan(""), false, 0, 0, 0},
    {"Infinity", HUGE_VAL, false, 0, 0, 0},
};

class DecodeTest : public testing::TestWithParam<DecodeRow> {};

TEST_P(DecodeTest, GivesTheCalendarDateOrLeavesTheOutputs) {
  const DecodeRow& row = GetParam();
  int year = -1;
  int month = -1;
  int day = -1;
  ASSERT_EQ(TryDecodeDate(row.serial, year, month, day), row.valid);
  if (row.valid) {
    EXPECT_EQ(year, row.year);
    EXPECT_EQ(month, row.month);
    EXPECT_EQ(day, row.day);
  } else {
    EXPECT_EQ(year, -1);
    EXPECT_EQ(month, -1);
    EXPECT_EQ(day, -1);
  }
}

std::string DecodeRowName(const testing::TestParamInfo<DecodeRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodeTest, testing::ValuesIn(kDecodeRows), DecodeRowName);

TEST(IsLeapYear, FollowsTheGregorianRules) {
  for (const int year : {4, 400, 1600, 2000, 2024, 9996}) {
    EXPECT_TRUE(IsLeapYear(year)) << year;
  }
  for (const int year : {1, 100, 1900, 2023, 2100, 9999}) {
    EXPECT_FALSE(IsLeapYear(year)) << year;
  }
}

// Every day of the range decodes to the date that encodes it.
TEST(DateUtils, EveryDayRoundTrips) {
  int year = 0;
  int month = 0;
  int day = 0;
  double serial = 0;
  for (int d = -693593; d <= 2958465; ++d) {
    ASSERT_TRUE(TryDecodeDate(d, year, month, day)) << d;
    ASSERT_TRUE(TryEncodeDate(year, month, day, serial)) << d;
    ASSERT_EQ(serial, d);
  }
}

}  // namespace
}  // namespace korvalen
