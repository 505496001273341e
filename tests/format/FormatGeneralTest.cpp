#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

struct GeneralRow {
  const char* name;
  double value;
  int precision;
  const char* text;
};

void PrintTo(const GeneralRow& row, std::ostream* os) {
  *os << row.name;
}

class FormatGeneralTest : public testing::TestWithParam<GeneralRow> {};

TEST_P(FormatGeneralTest, GivesText) {
  const test::SeparatorGuard separators('.', ',');
  const GeneralRow& row = GetParam();
  EXPECT_EQ(FormatGeneral(row.value, row.precision), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatGeneralTest,
    testing::Values(
        GeneralRow{"Zero", -0.0, 15, "0"}, GeneralRow{"Integer", 1e18, 15, "1E18"},
        GeneralRow{"LongestFixed", 1e14, 15, "100000000000000"},
        GeneralRow{"OverPrecisionScientific", 1e15, 15, "1E15"},
        GeneralRow{"IntegerAndFraction", -123.456, 15, "-123.456"},
        GeneralRow{"SmallestFixed", 0.0001, 15, "0.0001"},
        GeneralRow{"BelowFixed", 0.00001, 15, "1E-5"},
        GeneralRow{"ScientificWithFraction", 123456.789, 4, "1.235E5"},
        GeneralRow{"PrecisionRaisedToTwo", 2.0 / 3.0, 1, "0.67"},
        GeneralRow{"PrecisionLoweredToEighteen", 1.0 / 3.0, 30, "0.333333333333333315"},
        // The exponent estimate is one too high for this value; every digit stays.
        GeneralRow{"NormalisedDigits", std::ldexp(1.0, -877), 15, "9.9241610332961E-265"},
        GeneralRow{"SmallestDenormal", std::numeric_limits<double>::denorm_min(), 15,
                   "4.94065645841247E-324"},
        GeneralRow{"NegativeInfinity", -std::numeric_limits<double>::infinity(), 15, "-INF"},
        GeneralRow{"NaN", -std::numeric_limits<double>::quiet_NaN(), 15, "NAN"}),
    test::RowName<GeneralRow>);

TEST(FormatGeneral, UsesTheDecimalSeparator) {
  const test::SeparatorGuard separators(',', '.');
  EXPECT_EQ(FormatGeneral(1.5e20, 15), "1,5E20");
  EXPECT_EQ(FormatGeneral(0.25, 15), "0,25");
}

}  // namespace
}  // namespace korvalen
