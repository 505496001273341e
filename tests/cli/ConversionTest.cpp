// The command line's own lookups and parsing: the index against the
// registry over the whole catalogue, amounts, the one-digit general form,
// and the stream's cutting into lines.

#include <gtest/gtest.h>

#include "cli/Conversion.h"
#include "cli/UnitIndex.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/runtime/FloatSteps.h"

#include <cmath>
#include <string>
#include <vector>

namespace korvalen::cli {
namespace {

class CliTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fpu::InitEnvironment();
    RegisterStandardUnits();
  }
  static void TearDownTestSuite() {
    UnregisterStandardUnits();
    ClearConvRegistry();
  }
  void SetUp() override { SetNumberSeparators('.', ','); }
};

std::string Upper(std::string text) {
  for (char& c : text) {
    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

// Texts that should and should not match a description, including non-ASCII
// ones that match only under Unicode case folding.
std::vector<std::string> Variants(const std::string& description) {
  std::vector<std::string> variants{description,
                                    Upper(description),
                                    Lower(description),
                                    description + "s",
                                    description + " ",
                                    description.substr(1),
                                    "",
                                    description + '\0'};
  for (std::size_t i = 0; i < description.size(); ++i) {
    const char c = description[i];
    if (c == 'K' || c == 'k') {
      // KELVIN SIGN folds to "k".
      variants.push_back(description.substr(0, i) + "\xE2\x84\xAA" + description.substr(i + 1));
    }
    if (c == 's') {
      // LATIN SMALL LETTER LONG S folds to "s".
      variants.push_back(description.substr(0, i) + "\xC5\xBF" + description.substr(i + 1));
    }
  }
  return variants;
}

TEST_F(CliTest, IndexAnswersAsTheRegistryOverTheWholeCatalogue) {
  const TUnitIndex index;
  ASSERT_EQ(index.Families().size(), 6u);
  std::vector<std::string> words;
  TConvTypeArray types;
  for (const TConvFamilyId family : index.Families()) {
    for (const std::string& variant : Variants(DescriptionOfFamily(family))) {
      words.push_back(variant);
    }
    TypesOfFamily(family, types);
    for (const TConvType type : types) {
      for (const std::string& variant : Variants(DescriptionOfType(type))) {
        words.push_back(variant);
      }
    }
  }
  ASSERT_GT(words.size(), 131u * 8);
  constexpr TConvType Untouched = 0xBEEF;
  std::vector<TUnitRef> found;
  for (const std::string& word : words) {
    SCOPED_TRACE(word);
    TConvFamilyId expectedFamily = Untouched;
    TConvFamilyId family = Untouched;
    ASSERT_EQ(index.FindFamily(word, family), FamilyFromDescription(word, expectedFamily));
    EXPECT_EQ(family, expectedFamily);
    std::vector<TUnitRef> expectedAll;
    for (const TConvFamilyId f : index.Families()) {
      TConvType expected = Untouched;
      TConvType type = Untouched;
      const bool hit = TypeFromDescription(f, word, expected);
      ASSERT_EQ(index.FindType(f, word, type), hit);
      EXPECT_EQ(type, expected);
      if (hit) {
        expectedAll.push_back({f, expected});
      }
    }
    index.FindInAllFamilies(word, found);
    ASSERT_EQ(found.size(), expectedAll.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].Family, expectedAll[i].Family);
      EXPECT_EQ(found[i].Type, expectedAll[i].Type);
    }
  }
}

struct TAmountRow {
  const char* Text;
  char Separator;
  bool Valid;
  double Value;
};

TEST_F(CliTest, AmountsReadSignDigitsOneSeparatorAndExponent) {
  const TAmountRow rows[] = {
      {"1", '.', true, 1.0},        {"-40", '.', true, -40.0},
      {"+2.5", '.', true, 2.5},     {".5", '.', true, 0.5},
      {"5.", '.', true, 5.0},       {"2,5", ',', true, 2.5},
      {"2.5", ',', true, 2.5},    // the point is always a decimal separator
      {"1,000", ',', true, 1.0},  // no grouping: the comma is decimal
      {"1.5e3", '.', true, 1500.0}, {"1E-3", '.', true, 0.001},
      {"0.1", '.', true, 0.1},  // correctly rounded
      {"1e-400", '.', true, 0.0},   {"2,5", '.', false, 0},
      {"1.5,2", ',', false, 0},     {"1..2", '.', false, 0},
      {"1 000", '.', false, 0},     {"", '.', false, 0},
      {"-", '.', false, 0},         {".", '.', false, 0},
      {"+-1", '.', false, 0},       {"1e", '.', false, 0},
      {"1e+", '.', false, 0},       {"e3", '.', false, 0},
      {"0x10", '.', false, 0},      {"inf", '.', false, 0},
      {"nan", '.', false, 0},       {"1x", '.', false, 0},
      {"1e400", '.', false, 0},     {"-1e400", '.', false, 0},
  };
  for (const TAmountRow& row : rows) {
    SCOPED_TRACE(std::string(row.Text) + " with separator " + row.Separator);
    if (row.Valid) {
      EXPECT_EQ(ParseAmount(row.Text, row.Separator), row.Value);
    } else {
      EXPECT_THROW(ParseAmount(row.Text, row.Separator), EInputError);
    }
  }
  EXPECT_TRUE(std::signbit(ParseAmount("-1e-400", '.')));
}

TEST_F(CliTest, GeneralFormKeepsTheRequestedDigits) {
  const TResultForm one{TResultForm::TKind::General, 1, {}};
  const std::pair<double, const char*> rows[] = {
      {1234.0, "1E3"}, {12.0, "1E1"},   {9.5, "1E1"},      {5.0, "5"}, {0.05, "0.05"},
      {0.25, "0.3"},   {-0.25, "-0.3"}, {0.00004, "4E-5"}, {0.0, "0"},
  };
  for (const auto& [value, text] : rows) {
    EXPECT_EQ(FormatValue(value, one), text) << value;
  }
  // From two digits on, the general form is the formatter's own.
  for (int digits = 2; digits <= 17; ++digits) {
    const TResultForm form{TResultForm::TKind::General, digits, {}};
    for (const double value : {2.2046226218487757, 1e-12, -273.15000000000003, 4.1e18}) {
      EXPECT_EQ(FormatValue(value, form), FormatGeneral(value, digits));
    }
  }
}

TEST_F(CliTest, StreamGivesOneLinePerLineHoweverTheInputIsCut) {
  const TUnitIndex index;
  TConverter converter(index, {}, '.');
  const std::string longLine(TStreamConverter::MaxLineLength + 10, 'x');
  const std::string exactLine =
      "1 Kilograms Pounds" + std::string(TStreamConverter::MaxLineLength - 18, ' ');
  const std::string input = "1 Kilograms Pounds\n\n-40 celsius FAHRENHEIT\r\n" + longLine +
                            "\n1 Grams Liters\n" + exactLine + "\r\n1 x y z\n3 Mass:Grams grams";
  const std::string expected =
      "2.20\nerror: expected AMOUNT FROM TO, got an empty line\n-40.00\n"
      "error: line longer than 4096 bytes\n"
      "error: Incompatible conversion types [Grams, Liters]\n2.20\n"
      "error: expected AMOUNT FROM TO, got 4 words\n3.00\n";
  for (std::size_t cut = 0; cut <= input.size(); cut += 7) {
    for (const std::size_t step : {std::size_t{1}, std::size_t{3}, input.size()}) {
      TStreamConverter stream(converter);
      std::string out;
      stream.Feed(std::string_view(input).substr(0, cut), out);
      for (std::size_t i = cut; i < input.size(); i += step) {
        stream.Feed(std::string_view(input).substr(i, step), out);
      }
      stream.Finish(out);
      ASSERT_EQ(out, expected) << "cut at " << cut << ", then steps of " << step;
      EXPECT_TRUE(stream.Failed());
    }
  }
}

}  // namespace
}  // namespace korvalen::cli
