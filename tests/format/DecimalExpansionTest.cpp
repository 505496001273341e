#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

struct ExpansionRow {
  const char* name;
  double value;
  int precision;
  int decimals;
  int exponent;
  bool negative;
  const char* digits;
};

void PrintTo(const ExpansionRow& row, std::ostream* os) {
  *os << row.name;
}

class ExpansionTest : public testing::TestWithParam<ExpansionRow> {};

TEST_P(ExpansionTest, GivesDigitsExponentAndSign) {
  const ExpansionRow& row = GetParam();
  const TDecimalExpansion x = ToDecimalExpansion(row.value, row.precision, row.decimals);
  EXPECT_EQ(x.Exponent, row.exponent);
  EXPECT_EQ(x.Negative, row.negative);
  EXPECT_STREQ(x.Digits, row.digits);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Rows, ExpansionTest,
    testing::Values(
        ExpansionRow{"Zero", 0.0, 18, 9999, 0, false, ""},
        ExpansionRow{"NegativeZero", -0.0, 18, 9999, 0, false, ""},
        ExpansionRow{"Infinity", kInf, 18, 2, 0x7FFF, false, ""},
        ExpansionRow{"NegativeInfinity", -kInf, 18, 2, 0x7FFF, true, ""},
        ExpansionRow{"NaNDropsSign", -kNaN, 18, 2, -0x8000, false, ""},
        ExpansionRow{"One", 1.0, 18, 9999, 1, false, "1"},
        // 0.1 is stored a little above; the 18th digit shows it.
        ExpansionRow{"EighteenDigitsOfOneTenth", 0.1, 18, 9999, 0, false, "100000000000000006"},
        ExpansionRow{"FifteenDigits", 1.0 / 3.0, 15, 9999, 0, false, "333333333333333"},
        ExpansionRow{"CarryRunsOutOfFirstDigit", 0.9999996, 6, 9999, 1, false, "1"},
        ExpansionRow{"CarryStopsAtNonNine", 0.1299996, 6, 9999, 0, false, "13"},
        ExpansionRow{"CutBelowFirstDigitRoundsToZero", 0.0004, 18, 2, 0, false, ""},
        ExpansionRow{"CutAtFirstDigitKeepsExponent", -0.004, 18, 2, -2, false, ""},
        ExpansionRow{"CutAtFirstDigitRoundsUp", -0.005, 18, 2, -1, true, "1"},
        ExpansionRow{"FarBelowTheCut", 1e-100, 18, 2, 0, false, ""},
        ExpansionRow{"EighteenDigitTieToEven", 1000000000000000.125, 18, 9999, 16, false,
                     "100000000000000012"},
        ExpansionRow{"LargestBelow1e18", 999999999999999872.0, 18, 2, 18, false,
                     "999999999999999872"},
        ExpansionRow{"DividedByTenAfterRounding", 1e18, 18, 2, 19, false, "1"},
        ExpansionRow{"LargestDouble", std::numeric_limits<double>::max(), 18, 9999, 309, false,
                     "179769313486231571"},
        ExpansionRow{"SmallestDenormal", std::numeric_limits<double>::denorm_min(), 18, 9999, -323,
                     false, "494065645841246544"},
        // The exponent estimate is one too high here; the retry keeps every digit.
        ExpansionRow{"EstimateTooHigh", std::ldexp(1.0, -877), 15, 9999, -264, false,
                     "99241610332961"},
        ExpansionRow{"EstimateTooHighSecondRange", std::ldexp(1.0, -681), 18, 9999, -205, false,
                     "996719495109756754"},
        ExpansionRow{"PrecisionBelowZeroRoundsAtFirstDigit", 7.0, -3, 9999, 2, false, "1"}),
    test::RowName<ExpansionRow>);

// Each value is scaled by a different 10^(32k) factor, up or down. The digits
// come from exact rational arithmetic rounding every step to a 64-bit
// significand, so a wrong power in the tables changes the last digits.
TEST(ToDecimalExpansion, ScalesByEveryLargePower) {
  struct Row {
    double value;
    int exponent;
    const char* digits;
  };
  const Row rows[] = {
      {7.314159265358979e-22, -21, "731415926535897933"},
      {7.31415926535898e+56, 57, "731415926535897967"},
      {7.314159265358979e-54, -53, "731415926535897912"},
      {7.314159265358979e+88, 89, "731415926535897902"},
      {7.314159265358979e-86, -85, "731415926535897924"},
      {7.314159265358979e+120, 121, "731415926535897885"},
      {7.31415926535898e-118, -117, "731415926535897969"},
      {7.314159265358979e+152, 153, "731415926535897934"},
      {7.314159265358979e-150, -149, "731415926535897934"},
      {7.314159265358979e+184, 185, "731415926535897898"},
      {7.31415926535898e-182, -181, "731415926535897963"},
      {7.314159265358979e+216, 217, "731415926535897901"},
      {7.31415926535898e-214, -213, "731415926535897961"},
      {7.314159265358979e+248, 249, "731415926535897912"},
      {7.31415926535898e-246, -245, "731415926535897982"},
      {7.31415926535898e+280, 281, "73141592653589797"},
      {7.31415926535898e-278, -277, "731415926535897975"},
      {7.31415926535897e-310, -309, "731415926535897401"},
  };
  for (const Row& row : rows) {
    const TDecimalExpansion x = ToDecimalExpansion(row.value, 18, 9999);
    EXPECT_EQ(x.Exponent, row.exponent) << row.value;
    EXPECT_STREQ(x.Digits, row.digits) << row.value;
  }
}

}  // namespace
}  // namespace korvalen
