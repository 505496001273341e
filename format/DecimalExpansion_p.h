#pragma once

// The decimal expansion with its digit count, for the formatting functions
// that lay the digits out and would otherwise count them again.

#include "format/FormatResult.h"

namespace korvalen {

struct TCountedExpansion {
  TDecimalExpansion Expansion;
  int DigitCount = 0;
};

TCountedExpansion ExpandDecimal(double value, int precision, int decimals) noexcept;

}  // namespace korvalen
