#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct ResultRow {
  const char* name;
  double value;
  const char* text;
};

void PrintTo(const ResultRow& row, std::ostream* os) {
  *os << row.name;
}

class FormatResultTest : public testing::TestWithParam<ResultRow> {};

TEST_P(FormatResultTest, GivesTheWindowsText) {
  const test::SeparatorGuard separators('.', ',');
  const ResultRow& row = GetParam();
  EXPECT_EQ(FormatResult(row.value), row.text);
}

// The value's stored double decides a tie: 2.675 lies below it, 0.025 above.
INSTANTIATE_TEST_SUITE_P(
    Rows, FormatResultTest,
    testing::Values(
        ResultRow{"Zero", 0.0, "0.00"}, ResultRow{"NegativeZero", -0.0, "0.00"},
        ResultRow{"One", 1.0, "1.00"}, ResultRow{"Half", 0.5, "0.50"},
        ResultRow{"LeadingZeroDecimal", 0.05, "0.05"}, ResultRow{"TwoAndAHalf", 2.5, "2.50"},
        ResultRow{"StoredAboveTieRoundsUp", 0.005, "0.01"},
        ResultRow{"StoredBelowTieRoundsDown", 0.015, "0.01"},
        ResultRow{"StoredAboveTie", 0.025, "0.03"},
        ResultRow{"ExactTieAwayFromZero", 0.125, "0.13"},
        ResultRow{"NegativeExactTie", -0.125, "-0.13"},
        ResultRow{"ExactTieAboveOne", 1.125, "1.13"}, ResultRow{"ClassicBelowTie", 2.675, "2.67"},
        ResultRow{"BelowTieNearOne", 0.995, "0.99"}, ResultRow{"CarryAddsDigit", 99.995, "100.00"},
        ResultRow{"CarryAddsFourthDigit", 999.995, "1000.00"},
        ResultRow{"BelowTieManyNines", 999999.995, "999999.99"},
        ResultRow{"NoGrouping", 1234567.891, "1234567.89"},
        ResultRow{"FluidGallonInLiters", 3.785411784, "3.79"},
        ResultRow{"OunceInGrams", 28.349523125, "28.35"},
        ResultRow{"PoundInKilograms", 0.45359237, "0.45"},
        ResultRow{"KilogramInPounds", 2.2046226218487757, "2.20"},
        ResultRow{"BelowHalfCent", 0.004, "0.00"},
        ResultRow{"NegativeRoundsToZeroWithoutSign", -0.004, "0.00"},
        ResultRow{"NegativeHalfCent", -0.005, "-0.01"},
        ResultRow{"NegativeTwoAndAHalf", -2.5, "-2.50"}, ResultRow{"OneThousandth", 0.001, "0.00"},
        ResultRow{"Nano", 1e-9, "0.00"}, ResultRow{"Tiny", 1e-100, "0.00"},
        ResultRow{"SmallestDenormal", std::numeric_limits<double>::denorm_min(), "0.00"},
        ResultRow{"WorkingTieToEvenDown", 1000000000000000.125, "1000000000000000.12"},
        ResultRow{"WorkingTieToEvenUp", 1000000000000000.375, "1000000000000000.38"},
        ResultRow{"DigitsEndBeforeDecimals", 12345678901234567.89, "12345678901234568.00"},
        ResultRow{"TenToTheSeventeen", 1e17, "100000000000000000.00"},
        ResultRow{"LargestBelowTenToTheEighteen", 999999999999999872.0, "999999999999999872.00"},
        ResultRow{"TenToTheEighteen", 1e18, "1E18"},
        ResultRow{"NegativeTenToTheEighteen", -1e18, "-1E18"},
        ResultRow{"TenToTheNineteen", 1e19, "1E19"},
        ResultRow{"GeneralWithDecimals", 1.5e20, "1.5E20"},
        ResultRow{"FifteenSignificantDigits", 123456789012345678901.0, "1.23456789012346E20"},
        ResultRow{"Googol", 1e100, "1E100"},
        ResultRow{"LargestDouble", std::numeric_limits<double>::max(), "1.79769313486232E308"},
        ResultRow{"Infinity", kInf, "INF"}, ResultRow{"NegativeInfinity", -kInf, "-INF"},
        ResultRow{"NaN", kNaN, "NAN"}, ResultRow{"NegativeNaN", -kNaN, "NAN"}),
    test::RowName<ResultRow>);

struct CommaRow {
  const char* name;
  double value;
  const char* text;
};

void PrintTo(const CommaRow& row, std::ostream* os) {
  *os << row.name;
}

class FormatResultCommaTest : public testing::TestWithParam<CommaRow> {};

TEST_P(FormatResultCommaTest, UsesTheDecimalSeparatorOnly) {
  // The thousands separator is set to "." to show it is never written.
  const test::SeparatorGuard separators(',', '.');
  const CommaRow& row = GetParam();
  EXPECT_EQ(FormatResult(row.value), row.text);
}

INSTANTIATE_TEST_SUITE_P(Rows, FormatResultCommaTest,
                         testing::Values(CommaRow{"NoGrouping", 1234567.891, "1234567,89"},
                                         CommaRow{"HalfCent", 0.005, "0,01"},
                                         CommaRow{"GeneralForm", 1.5e20, "1,5E20"},
                                         CommaRow{"Infinity", kInf, "INF"}),
                         test::RowName<CommaRow>);

}  // namespace
}  // namespace korvalen
