#pragma once

// What the formatting functions share: their limits and a fixed work area in
// which a text is built before it becomes the one allocated result.

#include <cstddef>
#include <string>
#include <string_view>

#include "format/FormatResult.h"

namespace korvalen {

inline constexpr int kMaxDigits = 18;
inline constexpr int kNoDecimalsCap = 9999;
inline constexpr int kFallbackPrecision = 15;
inline constexpr int kMaxFixedDecimals = 9999;

// Whether the digits can be laid out in fixed-point form: a finite value
// below 10^18 in magnitude.
inline bool FitsFixedForm(const TDecimalExpansion& expansion) noexcept {
  return expansion.Exponent != TDecimalExpansion::InfinityExponent &&
         expansion.Exponent != TDecimalExpansion::NaNExponent && expansion.Exponent <= kMaxDigits;
}

// Text built left to right in fixed storage. The caller sizes Capacity for
// the longest text it can write; nothing here checks it again.
template <std::size_t Capacity>
class TextBuffer {
 public:
  void Put(char c) noexcept { FText[FLength++] = c; }
  void Put(std::string_view text) noexcept {
    for (const char c : text) {
      Put(c);
    }
  }
  void PutRepeated(char c, int count) noexcept {
    for (int i = 0; i < count; ++i) {
      Put(c);
    }
  }
  // "-" for a negative exponent, then at least minDigits decimal digits.
  void PutExponent(int exponent, int minDigits) noexcept {
    if (exponent < 0) {
      Put('-');
    }
    unsigned magnitude =
        exponent < 0 ? 0u - static_cast<unsigned>(exponent) : static_cast<unsigned>(exponent);
    char digits[10];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    PutRepeated('0', minDigits - count);
    while (count > 0) {
      Put(digits[--count]);
    }
  }
  std::string Str() const { return std::string(FText, FLength); }

 private:
  char FText[Capacity];
  std::size_t FLength = 0;
};

}  // namespace korvalen
