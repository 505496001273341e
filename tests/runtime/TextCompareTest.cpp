#include "platform/runtime/TextCompare.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <clocale>
#include <string>

namespace korvalen {
namespace {

struct MatchRow {
  const char* name;
  std::string a;
  std::string b;
  bool match;
};

void PrintTo(const MatchRow& row, std::ostream* os) {
  *os << row.name;
}

// Sets the C and ICU default locales for one test and restores both.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* name) : FIcu(icu::Locale::getDefault()) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    FC = current != nullptr ? current : "C";
    std::setlocale(LC_ALL,
                   (std::string(name) + ".UTF-8").c_str());  // may be missing; ICU's is enough
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(name), status);
  }
  ~LocaleGuard() {
    std::setlocale(LC_ALL, FC.c_str());
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(FIcu, status);
  }
  LocaleGuard(const LocaleGuard&) = delete;
  LocaleGuard& operator=(const LocaleGuard&) = delete;

 private:
  icu::Locale FIcu;
  std::string FC;
};

const MatchRow kRows[] = {
    {"SameText", "Liters", "Liters", true},
    {"AllLower", "liters", "Liters", true},
    {"AllUpper", "LITERS", "Liters", true},
    {"UpperAgainstLower", "LITERS", "liters", true},
    {"DottedAndDotlessIStayApartFromAsciiI", "L\xC4\xB1TERS", "LITERS", false},
    {"PrefixDoesNotMatch", "Liter", "Liters", false},
    {"LongerDoesNotMatch", "Liters ", "Liters", false},
    {"DigitsAndSpaces", "Area 51", "AREA 51", true},
    {"EmptyMatchesEmpty", "", "", true},
    {"EmptyAgainstText", "", "Liters", false},
    {"AccentedCaseFolds", "\xC3\x89TAPE", "\xC3\xA9tape", true},  // ÉTAPE, étape
    {"AccentStillCounts", "etape", "\xC3\xA9tape", false},
    {"ComposedMatchesDecomposed", "\xC3\xA9tape", "e\xCC\x81tape", true},  // é, e + combining acute
    {"SharpSFoldsToSs", "STRASSE",
     "stra\xC3\x9F"
     "e",
     true},
    {"KelvinSignIsK",
     "\xE2\x84\xAA"
     "elvin",
     "Kelvin", true},
    {"GreekCase", "\xCE\xA3\xCE\x99\xCE\x93\xCE\x9C\xCE\x91",
     "\xCF\x83\xCE\xB9\xCE\xB3\xCE\xBC\xCE\xB1", true},
    {"InvalidUtf8EqualBytes",
     "Gr\xFF"
     "ams",
     "Gr\xFF"
     "ams",
     true},
    {"InvalidUtf8AsciiLettersFoldCase",
     "GR\xFF"
     "AMS",
     "Gr\xFF"
     "ams",
     true},
    // Latin-1 É and é: outside ASCII, case is not guessed at.
    {"InvalidUtf8OtherBytesExact", "\xC9TAPE", "\xE9tape", false},
    {"InvalidUtf8AgainstValidText",
     "\xFF"
     "A",
     "\xC3\xBF"
     "a",
     false},
    {"InvalidUtf8DifferentLength",
     "Gr\xFF"
     "ams",
     "Gr\xFF"
     "ams ",
     false},
    {"InvalidAgainstValidFold", "\xC3", "\xC3\x83", false},
    {"EncodedSurrogateIsInvalid", "\xED\xA0\x80", "\xED\xA0\x80", true},
    {"OverlongIsInvalid", "\xC1\x81", "A", false},
    {"EmbeddedNul", std::string("a\0b", 3), std::string("A\0B", 3), true},
};

class DescriptionsMatchTest : public testing::TestWithParam<MatchRow> {};

// Every row holds alike in every locale, Turkish in particular, where a
// locale-tailored rule would fold "I" to dotless "ı" and lose "LITERS".
TEST_P(DescriptionsMatchTest, SameInEveryLocale) {
  const MatchRow& row = GetParam();
  for (const char* locale : {"en_US", "tr_TR", "az_AZ", "de_DE", "lt_LT"}) {
    SCOPED_TRACE(locale);
    const LocaleGuard guard(locale);
    EXPECT_EQ(DescriptionsMatch(row.a, row.b), row.match);
    EXPECT_EQ(DescriptionsMatch(row.b, row.a), row.match);
  }
}

std::string RowName(const testing::TestParamInfo<MatchRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DescriptionsMatchTest, testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace korvalen
