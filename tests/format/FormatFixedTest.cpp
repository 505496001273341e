#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FixedRow {
  const char* name;
  double value;
  int decimals;
  const char* text;
};

void PrintTo(const FixedRow& row, std::ostream* os) {
  *os << row.name;
}

class FormatFixedTest : public testing::TestWithParam<FixedRow> {};

TEST_P(FormatFixedTest, GivesText) {
  const test::SeparatorGuard separators('.', ',');
  const FixedRow& row = GetParam();
  EXPECT_EQ(FormatFixed(row.value, row.decimals), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatFixedTest,
    testing::Values(FixedRow{"JulianMessage", 5373484.5, 2, "5373484.50"},
                    FixedRow{"NoDecimalsNoSeparator", 2.5, 0, "3"},
                    FixedRow{"NegativeDecimalsCountAsNone", -2.5, -4, "-3"},
                    FixedRow{"ManyDecimalsPadWithZeros", 0.5, 20, "0.50000000000000000000"},
                    FixedRow{"DigitsBeyondEighteenAreZeros", 0.1, 20, "0.10000000000000000600"},
                    FixedRow{"SmallRoundsToZeroWithoutSign", -1e-7, 6, "0.000000"},
                    FixedRow{"CarryAddsIntegerDigit", 9.9996, 3, "10.000"},
                    FixedRow{"NegativeInfinity", -kInf, 3, "-INF"}, FixedRow{"NaN", kNaN, 3, "NAN"},
                    FixedRow{"TooLargeTakesGeneralForm", -1.5e20, 1, "-1.5E20"}),
    test::RowName<FixedRow>);

TEST(FormatFixed, UsesTheDecimalSeparatorAndNeverGroups) {
  const test::SeparatorGuard separators(',', '.');
  EXPECT_EQ(FormatFixed(1234567.891, 3), "1234567,891");
  EXPECT_EQ(FormatFixed(1.5e20, 2), "1,5E20");
}

}  // namespace
}  // namespace korvalen
