// The command line's own lookups and parsing: the index against the
// registry over the whole catalogue, amounts, the one-digit general form,
// and the stream's cutting into lines.

#include <gtest/gtest.h>

#include "cli/Conversion.h"
#include "cli/UnitIndex.h"
#include "cli/UnitNames.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/runtime/FloatSteps.h"

#include <algorithm>
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
  TNumberSeparators Separators;
  bool Valid;
  double Value;
};

TEST_F(CliTest, AmountsReadAsTheLocaleWritesThem) {
  const TNumberSeparators c{".", ""};
  const TNumberSeparators english{".", ","};
  const TNumberSeparators german{",", "."};
  const TNumberSeparators french{",", "\u202F"};
  const TNumberSeparators pashto{"\u066B", "\u066C"};
  const TAmountRow rows[] = {
      {"1", c, true, 1.0},
      {"-40", c, true, -40.0},
      {"+2.5", c, true, 2.5},
      {".5", c, true, 0.5},
      {"5.", c, true, 5.0},
      {" 3\t", c, true, 3.0},
      {"2,5", german, true, 2.5},
      {"2.5", german, true, 2.5},  // the point is always a decimal separator
      {"1,000", german, true, 1.0},
      {"1.5e3", c, true, 1500.0},
      {"1E-3", c, true, 0.001},
      {"0.1", c, true, 0.1},  // correctly rounded
      {"1e-400", c, true, 0.0},
      {"1/2", c, true, 0.5},
      {"-3/4", c, true, -0.75},
      {"1,000", english, true, 1000.0},
      {"12,345,678.5", english, true, 12345678.5},
      {"1.000,5", german, true, 1000.5},
      {"1.000.000", german, true, 1e6},
      {"1.0000", german, true, 1.0},
      {"1\u202F234,5", french, true, 1234.5},
      {"2\u066B5", pashto, true, 2.5},
      {"1\u066C000", pashto, true, 1000.0},
      {"1.000", german, false, 0},  // 1 or 1000: refused with both
      {"12.500", german, false, 0},
      {"1,000", c, false, 0},  // no grouping in the C locale
      {"1,00", english, false, 0},
      {"1000,000", english, false, 0},
      {",000", english, false, 0},
      {"1/0", c, false, 0},
      {"1/", c, false, 0},
      {"/2", c, false, 0},
      {"1/2/3", c, false, 0},
      {"2,5", c, false, 0},
      {"1.5,2", german, false, 0},
      {"1..2", c, false, 0},
      {"1 000", c, false, 0},
      {"", c, false, 0},
      {"-", c, false, 0},
      {".", c, false, 0},
      {"+-1", c, false, 0},
      {"1e", c, false, 0},
      {"1e+", c, false, 0},
      {"e3", c, false, 0},
      {"0x10", c, false, 0},
      {"inf", c, false, 0},
      {"nan", c, false, 0},
      {"1x", c, false, 0},
      {"1e400", c, false, 0},
      {"-1e400", c, false, 0},
  };
  for (const TAmountRow& row : rows) {
    SCOPED_TRACE(std::string(row.Text) + " with separators " + row.Separators.Decimal + " " +
                 row.Separators.Thousand);
    if (row.Valid) {
      EXPECT_EQ(ParseAmount(row.Text, row.Separators), row.Value);
    } else {
      EXPECT_THROW(ParseAmount(row.Text, row.Separators), EInputError);
    }
  }
  EXPECT_TRUE(std::signbit(ParseAmount("-1e-400", c)));
}

// Every unit answers to its name as people write it: singular, in words
// with spaces, British. The singular is made here by plain English rules,
// independently of the index's.
TEST_F(CliTest, EveryUnitAnswersToItsSingularWordsAndBritishSpelling) {
  const TUnitIndex index;
  const std::pair<std::string_view, std::string_view> irregular[] = {
      {"eet", "oot"}, {"ches", "ch"}, {"ies", "y"}, {"ia", "ium"}};
  TConvTypeArray types;
  std::vector<TUnitRef> found;
  std::size_t checked = 0;
  for (const TConvFamilyId family : index.Families()) {
    TypesOfFamily(family, types);
    for (const TConvType type : types) {
      const std::string description = DescriptionOfType(type);
      std::string singular = description;
      for (const auto& [plural, one] : irregular) {
        if (singular.ends_with(plural)) {
          singular = singular.substr(0, singular.size() - plural.size()) + std::string(one);
          break;
        }
      }
      if (singular == description && singular.ends_with("s") && !singular.ends_with("us")) {
        singular.pop_back();
      }
      std::string words;
      for (const char ch : singular) {
        words += (ch >= 'A' && ch <= 'Z' && !words.empty()) ? " " : "";
        words += ch;
      }
      std::string british = Lower(description);
      for (const std::string_view root : {"meter", "liter"}) {
        if (const auto at = british.find(root); at != std::string::npos) {
          british.replace(at + 3, 2, "re");
        }
      }
      for (const std::string& name : {singular, words, Upper(words), british}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(index.FindUnits(name, IllegalFamilyId, found), TUnitIndex::TMatch::Units);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found.front().Type, type);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 131u * 4);
}

std::string Squeezed(std::string_view name) {
  std::string text;
  for (const char c : name) {
    if (c != ' ' && c != '-') {
      text += c;
    }
  }
  return text;
}

template <typename TVisit>
void ForEachName(std::string_view list, std::string_view separator, TVisit visit) {
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t end = std::min(list.find(separator, start), list.size());
    visit(list.substr(start, end - start));
    start = end + separator.size();
  }
}

// Over the whole table: each name reaches the catalogue units that list it
// and nothing else (so no catalogue name or derived form takes it first),
// never two units of one family, and reads neither as an amount, nor as
// "to", nor as an option.
TEST_F(CliTest, EveryOtherNameReachesExactlyTheUnitsThatListIt) {
  const TUnitIndex index;
  struct TName {
    std::string Text;
    bool Word;
  };
  std::vector<TName> names;
  std::vector<TUnitRef> units;
  for (const TUnitNames& entry : UnitNames()) {
    index.FindInAllFamilies(entry.Unit, units);
    ASSERT_EQ(units.size(), 1u) << entry.Unit;
    ForEachName(entry.Words, ", ", [&](std::string_view word) {
      names.push_back({std::string(word), true});
    });
    ForEachName(entry.Symbols, " ", [&](std::string_view symbol) {
      names.push_back({std::string(symbol), false});
    });
  }
  ASSERT_GT(names.size(), 200u);
  const TNumberSeparators locales[] = {{".", ""}, {".", ","}, {",", "."}};
  std::vector<TUnitRef> found;
  for (const TName& name : names) {
    SCOPED_TRACE(name.Text);
    std::vector<TConvType> expected;
    for (const TUnitNames& entry : UnitNames()) {
      bool lists = false;
      ForEachName(name.Word ? entry.Words : entry.Symbols, name.Word ? ", " : " ",
                  [&](std::string_view other) {
                    lists =
                        lists || (name.Word ? Lower(Squeezed(other)) == Lower(Squeezed(name.Text))
                                            : other == name.Text);
                  });
      if (lists) {
        index.FindInAllFamilies(entry.Unit, units);
        expected.push_back(units.front().Type);
      }
    }
    ASSERT_EQ(index.FindUnits(name.Text, IllegalFamilyId, found), TUnitIndex::TMatch::Units);
    std::vector<TConvType> got;
    for (const TUnitRef unit : found) {
      got.push_back(unit.Type);
      EXPECT_EQ(std::count_if(found.begin(), found.end(),
                              [&](TUnitRef other) { return other.Family == unit.Family; }),
                1);
    }
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    for (const TNumberSeparators& separators : locales) {
      EXPECT_THROW(ParseAmount(name.Text, separators), EInputError);
    }
    EXPECT_NE(Lower(name.Text), "to");
    EXPECT_FALSE(name.Text.size() > 1 && name.Text[0] == '-' && name.Text[1] >= '0' &&
                 name.Text[1] <= '9');
  }
  for (const TRefusedSymbol& refused : RefusedSymbols()) {
    SCOPED_TRACE(refused.Symbol);
    EXPECT_EQ(index.FindUnits(refused.Symbol, IllegalFamilyId, found), TUnitIndex::TMatch::Refused);
    EXPECT_GE(found.size(), 2u);
  }
}

// A scale's absolute zero, by the engine, is 0 Kelvin.
TEST_F(CliTest, ScaleZerosAreAbsoluteZero) {
  const TUnitIndex index;
  std::vector<TUnitRef> kelvin;
  std::vector<TUnitRef> scale;
  index.FindInAllFamilies("Kelvin", kelvin);
  ASSERT_EQ(ScaleZeros().size(), 5u);
  for (const TScaleZero& zero : ScaleZeros()) {
    index.FindInAllFamilies(zero.Unit, scale);
    ASSERT_EQ(scale.size(), 1u) << zero.Unit;
    EXPECT_NEAR(ConvertValue(zero.Zero, scale.front().Type, kelvin.front().Type), 0.0, 1e-12)
        << zero.Unit;
  }
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
  TConverter converter(index, {}, {".", ""});
  const std::string longLine(TStreamConverter::MaxLineLength + 10, 'x');
  const std::string exactLine =
      "1 Kilograms Pounds" + std::string(TStreamConverter::MaxLineLength - 18, ' ');
  const std::string input = "1 Kilograms Pounds\n\n  # a note\n-40 celsius FAHRENHEIT\r\n" +
                            longLine + "\n1 Grams Liters\n" + exactLine +
                            "\r\n1 x y z\n3 Mass:Grams grams";
  const std::string expected =
      "2.20\n\n\n-40.00\n"
      "error: line longer than 4096 bytes\n"
      "error: Incompatible conversion types [Grams, Liters]\n2.20\n"
      "error: expected AMOUNT FROM TO, got 4 words (a unit of several words needs 'to' before "
      "TO)\n3.00\n";
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
