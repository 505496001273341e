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

}  // namespace
}  // namespace korvalen
