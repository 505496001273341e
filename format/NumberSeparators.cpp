// The two number separators, read from the user's locale.

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "format/FormatResult.h"

namespace korvalen {
namespace {

constexpr char kDefaultDecimalSeparator = '.';
constexpr char kDefaultThousandSeparator = ',';

// Written on the user-interface thread and read by every formatting call;
// relaxed atomics cost nothing there and keep other threads' reads defined.
std::atomic<char> gDecimalSeparator{kDefaultDecimalSeparator};
std::atomic<char> gThousandSeparator{kDefaultThousandSeparator};

// The locale name that governs LC_NUMERIC, by the environment's precedence.
const char* NumericLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* name = std::getenv(variable);
    if (name != nullptr && *name != '\0') {
      return name;
    }
  }
  return "C";
}

class NumericLocale {
 public:
  NumericLocale() : FLocale(newlocale(LC_NUMERIC_MASK, NumericLocaleName(), locale_t{})) {}
  ~NumericLocale() {
    if (FLocale != locale_t{}) {
      freelocale(FLocale);
    }
  }
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;

  bool IsValid() const noexcept { return FLocale != locale_t{}; }
  const char* Item(nl_item item) const noexcept { return nl_langinfo_l(item, FLocale); }

 private:
  locale_t FLocale;
};

// The separator an entry names: its one byte; an empty entry gives NUL (no
// separator), a longer one (a multi-byte character) the default.
char SeparatorFrom(const char* entry, char fallback) {
  if (entry == nullptr || std::strlen(entry) > 1) {
    return fallback;
  }
  return entry[0];
}

}  // namespace

void ReadNumberSeparators() {
  const NumericLocale locale;
  if (!locale.IsValid()) {
    SetNumberSeparators(kDefaultDecimalSeparator, kDefaultThousandSeparator);
    return;
  }
  char decimal = SeparatorFrom(locale.Item(RADIXCHAR), kDefaultDecimalSeparator);
  if (decimal == '\0') {
    // A NUL inside the text would cut it short wherever it is shown or copied.
    decimal = kDefaultDecimalSeparator;
  }
  SetNumberSeparators(decimal, SeparatorFrom(locale.Item(THOUSEP), kDefaultThousandSeparator));
}

char DecimalSeparator() noexcept {
  return gDecimalSeparator.load(std::memory_order_relaxed);
}

char ThousandSeparator() noexcept {
  return gThousandSeparator.load(std::memory_order_relaxed);
}

void SetNumberSeparators(char decimalSeparator, char thousandSeparator) noexcept {
  gDecimalSeparator.store(decimalSeparator, std::memory_order_relaxed);
  gThousandSeparator.store(thousandSeparator, std::memory_order_relaxed);
}

}  // namespace korvalen
