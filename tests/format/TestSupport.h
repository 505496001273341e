#pragma once

#include <gtest/gtest.h>

#include <string>

#include "format/FormatResult.h"

namespace korvalen::test {

// Sets the number separators for one test and restores the previous ones.
class SeparatorGuard {
 public:
  SeparatorGuard(char decimalSeparator, char thousandSeparator)
      : FDecimal(DecimalSeparator()), FThousand(ThousandSeparator()) {
    SetNumberSeparators(decimalSeparator, thousandSeparator);
  }
  ~SeparatorGuard() { SetNumberSeparators(FDecimal, FThousand); }
  SeparatorGuard(const SeparatorGuard&) = delete;
  SeparatorGuard& operator=(const SeparatorGuard&) = delete;

 private:
  char FDecimal;
  char FThousand;
};

// Names a parameterised case after its row.
template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

}  // namespace korvalen::test
