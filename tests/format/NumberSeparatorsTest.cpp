#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen {
namespace {

// Sets one environment variable for a test and restores it afterwards.
class EnvironmentGuard {
 public:
  EnvironmentGuard(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) {
      FOld = old;
    }
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentGuard() {
    if (FOld) {
      setenv(FName, FOld->c_str(), 1);
    } else {
      unsetenv(FName);
    }
  }
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

struct LocaleRow {
  const char* name;
  const char* lcAll;
  const char* lcNumeric;
  const char* lang;
  char decimalSeparator;
  char thousandSeparator;
};

void PrintTo(const LocaleRow& row, std::ostream* os) {
  *os << row.name;
}

class ReadNumberSeparatorsTest : public testing::TestWithParam<LocaleRow> {};

TEST_P(ReadNumberSeparatorsTest, TakesSeparatorsFromTheEnvironmentsLocale) {
  const LocaleRow& row = GetParam();
  // Set to something no locale gives, so each row shows what it read.
  const test::SeparatorGuard separators('x', 'y');
  const EnvironmentGuard lcAll("LC_ALL", row.lcAll);
  const EnvironmentGuard lcNumeric("LC_NUMERIC", row.lcNumeric);
  const EnvironmentGuard lang("LANG", row.lang);
  ReadNumberSeparators();
  EXPECT_EQ(DecimalSeparator(), row.decimalSeparator);
  EXPECT_EQ(ThousandSeparator(), row.thousandSeparator);
}

// The C locale has no thousands separator: grouping then writes nothing.
INSTANTIATE_TEST_SUITE_P(
    Rows, ReadNumberSeparatorsTest,
    testing::Values(
        LocaleRow{"CLocale", "C", nullptr, nullptr, '.', '\0'},
        LocaleRow{"NothingSetMeansC", nullptr, nullptr, nullptr, '.', '\0'},
        LocaleRow{"CommaDecimal", nullptr, "de_DE.UTF-8", nullptr, ',', '.'},
        LocaleRow{"MultiByteThousandsTakesDefault", nullptr, nullptr, "fr_FR.UTF-8", ',', ','},
        LocaleRow{"MultiByteDecimalTakesDefault", nullptr, nullptr, "ps_AF.UTF-8", '.', ','},
        LocaleRow{"LcAllFirst", "de_DE.UTF-8", "fr_FR.UTF-8", "C", ',', '.'},
        LocaleRow{"LcNumericBeforeLang", nullptr, "de_DE.UTF-8", "fr_FR.UTF-8", ',', '.'},
        LocaleRow{"EmptyVariablesSkipped", "", "", "de_DE.UTF-8", ',', '.'},
        LocaleRow{"UnknownLocaleTakesDefaults", nullptr, nullptr, "xx_YY.UTF-8", '.', ','}),
    test::RowName<LocaleRow>);

TEST(ReadNumberSeparators, ChangesTheNextResult) {
  const test::SeparatorGuard separators('.', ',');
  const EnvironmentGuard lcAll("LC_ALL", nullptr);
  const EnvironmentGuard lcNumeric("LC_NUMERIC", "de_DE.UTF-8");
  EXPECT_EQ(FormatResult(2.5), "2.50");
  ReadNumberSeparators();
  EXPECT_EQ(FormatResult(2.5), "2,50");
}

}  // namespace
}  // namespace korvalen
