#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "format/FormatResult.h"
#include "platform/runtime/Exceptions.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PatternRow {
  const char* name;
  std::string_view pattern;
  double value;
  const char* text;
};

void PrintTo(const PatternRow& row, std::ostream* os) {
  *os << row.name;
}

class FormatByPatternTest : public testing::TestWithParam<PatternRow> {};

TEST_P(FormatByPatternTest, GivesText) {
  const test::SeparatorGuard separators('.', ',');
  const PatternRow& row = GetParam();
  EXPECT_EQ(FormatByPattern(row.pattern, row.value), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Grouping, FormatByPatternTest,
    testing::Values(PatternRow{"Millions", "#,##0.00", 1234567.891, "1,234,567.89"},
                    PatternRow{"NegativeThousands", "#,##0.00", -1234.5, "-1,234.50"},
                    PatternRow{"NoSeparatorBeforeFirstDigit", "#,##0", 12, "12"},
                    PatternRow{"ZerosGroupToo", "0,000", 12, "0,012"},
                    PatternRow{"CommaAnywhere", "0.00,", 1234.5, "1,234.50"},
                    PatternRow{"SurplusDigitsGrouped", "#,0", 1234567, "1,234,567"}),
    test::RowName<PatternRow>);

INSTANTIATE_TEST_SUITE_P(
    Placement, FormatByPatternTest,
    testing::Values(PatternRow{"SurplusBeforeDecimalPoint", ".00", 123.456, "123.46"},
                    PatternRow{"SurplusAroundText", "0-0", 12345, "1234-5"},
                    PatternRow{"TextBetweenDigits", "00-00", 1234, "12-34"},
                    PatternRow{"NothingAtPlaceZeroNoSeparator", "#.##", 1, "1"},
                    PatternRow{"FractionOnly", "#.##", 0.05, ".05"},
                    PatternRow{"AllHashZeroIsEmpty", "#.##", 0, ""},
                    PatternRow{"ZerosFromLeftmostZero", "#0##", 5, "005"},
                    PatternRow{"ZerosUpToRightmostZero", "0.#0#", 1.5, "1.50"},
                    PatternRow{"FurtherPointsIgnored", "0.0.0", 1.25, "1.25"},
                    PatternRow{"OtherCharactersCopied", "0 9x", 5, "5 9x"},
                    PatternRow{"SignBeforeText", "'x'0", -5, "-x5"},
                    PatternRow{"RoundedToZeroHasNoSign", "0.0", -0.04, "0.0"},
                    PatternRow{"CutDecimalsShowZeros", "0.##", 0.004, "0.00"},
                    PatternRow{"NoPlaceholders", "abc", -7, "-abc"},
                    PatternRow{"FixedFormLimit", "0.00", 1e18, "1E18"},
                    PatternRow{"Infinity", "0.00", -kInf, "-INF"},
                    PatternRow{"NaN", "0.00;(0.00)", kNaN, "NAN"}),
    test::RowName<PatternRow>);

INSTANTIATE_TEST_SUITE_P(
    Sections, FormatByPatternTest,
    testing::Values(PatternRow{"Positive", "0.00;(0.00);'zero'", 1.5, "1.50"},
                    PatternRow{"NegativeWithoutSign", "0.00;(0.00);'zero'", -1.5, "(1.50)"},
                    PatternRow{"Zero", "0.00;(0.00);'zero'", 0, "zero"},
                    PatternRow{"NegativeZero", "0.00;(0.00);'zero'", -0.0, "zero"},
                    PatternRow{"RoundedToZero", "0.00;(0.00);'zero'", -0.001, "zero"},
                    PatternRow{"TextAfterThirdSemicolonUnused", "0;0;z;w", 0, "z"},
                    PatternRow{"EmptyNegativeTakesFirst", "0.00;", -1.5, "-1.50"},
                    PatternRow{"MissingZeroTakesFirst", "0.00;-0.00", 0, "0.00"},
                    PatternRow{"EmptyFirstGeneralForm", ";0.00", 1.5, "1.5"},
                    PatternRow{"EmptyFirstNegativeUsed", ";0.00", -1.5, "1.50"},
                    PatternRow{"EmptyFirstRoundedToZero", ";0.00", -0.001, "-0.001"},
                    PatternRow{"EmptyPattern", "", 1.0 / 3.0, "0.333333333333333"},
                    PatternRow{"LoneSemicolon", ";", -2.5, "-2.5"},
                    PatternRow{"QuotedSemicolon", "\"a;b\"0;x", 5, "a;b5"},
                    PatternRow{"QuotedPlaceholders", "'#0.,'0", 5, "#0.,5"},
                    PatternRow{"UnmatchedQuoteEndsSection", "0'abc", 5, "5"},
                    PatternRow{"UnmatchedQuoteHidesSections", "0.00'x;y", -1, "-1.00"},
                    PatternRow{"EmbeddedNulEndsPattern", std::string_view("0.0\0;x", 6), -1,
                               "-1.0"}),
    test::RowName<PatternRow>);

INSTANTIATE_TEST_SUITE_P(
    ExponentForm, FormatByPatternTest,
    testing::Values(PatternRow{"PlusSign", "0.00E+00", 12345, "1.23E+04"},
                    PatternRow{"MinusMarkerNoPlus", "0.00E-00", 12345, "1.23E04"},
                    PatternRow{"NegativeExponent", "0.00e+0", 0.00012345, "1.23e-4"},
                    PatternRow{"SeveralIntegerPlaces", "##0.0E+0", 12345, "123.5E+2"},
                    PatternRow{"AtMostFourMinimumDigits", "0E+000000", 5, "5E+0000"},
                    PatternRow{"Zero", "0.00E+00", 0, "0.00E+00"},
                    PatternRow{"BeyondFixedLimit", "0.00E+0", 1e18, "1.00E+18"},
                    PatternRow{"LetterWithoutSignIsText", "0e", 5, "5e"},
                    PatternRow{"NegativeValue", "0.0E+0", -0.5, "-5.0E-1"},
                    // The zero section lays out a zero whatever exponent the
                    // first section's cut left.
                    PatternRow{"ZeroSectionAfterExponentCut", "E+0;;#0", 3e300, "0"}),
    test::RowName<PatternRow>);

TEST(FormatByPattern, LaysOutWithTheSeparatorsGiven) {
  const test::SeparatorGuard separators(',', '.');
  EXPECT_EQ(FormatByPattern("#,##0.00", 1234567.891), "1.234.567,89");
  const test::SeparatorGuard noThousands(',', '\0');
  EXPECT_EQ(FormatByPattern("#,##0.00", 1234567.891), "1234567,89");
}

TEST(FormatByPattern, RefusesPatternsOverTheLimit) {
  const std::string longest(224, '0');
  EXPECT_EQ(FormatByPattern(longest, 1).size(), 224u);
  EXPECT_THROW(
      {
        try {
          FormatByPattern(longest + "0", 1);
        } catch (const EConvertError& error) {
          EXPECT_STREQ(error.what(), "Format string too long");
          throw;
        }
      },
      EConvertError);
  // The whole length counts, even past a NUL.
  EXPECT_THROW(FormatByPattern(std::string("0\0", 2) + std::string(224, 'x'), 1), EConvertError);
}

TEST(FormatByPattern, HoldsTextLongerThanThePattern) {
  const test::SeparatorGuard separators('.', ',');
  // 74 grouped integer places and 149 decimals.
  std::string pattern = "," + std::string(74, '0') + "." + std::string(148, '0');
  const std::string text = FormatByPattern(pattern, -123456789.0);
  EXPECT_EQ(text.size(), 1 + 74 + 24 + 1 + 148u);
  EXPECT_EQ(text.substr(0, 7), "-00,000");
  EXPECT_EQ(text.substr(text.size() - 158, 13), "3,456,789.000");
}

// FormatResult lays the digits out without reading the pattern; it must
// agree with the pattern formatter on every value.
TEST(FormatByPattern, AgreesWithFormatResult) {
  const test::SeparatorGuard separators(',', '.');
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> exponent(-12.0, 21.0);
  for (int i = 0; i < 200000; ++i) {
    double value = std::pow(10.0, exponent(random));
    if (i % 7 == 0) {
      value = std::round(value * 1000.0) / 1000.0 + 0.005;  // near the ties
    }
    if (i % 2 == 1) {
      value = -value;
    }
    ASSERT_EQ(FormatByPattern("##0.00", value), FormatResult(value)) << value;
  }
}

}  // namespace
}  // namespace korvalen
