// The fixed two-decimal result, fixed-point with any number of decimals, and
// the general form they fall back to.

#include "format/FormatResult.h"

#include <algorithm>

#include "format/DecimalExpansion_p.h"
#include "format/FormatText_p.h"

namespace korvalen {

std::string FormatResult(double value) {
  // "##0.00" places every integer digit (at least "0"), the separator and two
  // decimals, with "-" only when digits remain: exactly the fixed-point form,
  // without reading the pattern on every call.
  return FormatFixed(value, 2);
}

std::string FormatFixed(double value, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxFixedDecimals);
  const TCountedExpansion counted = ExpandDecimal(value, kMaxDigits, decimals);
  const TDecimalExpansion& expansion = counted.Expansion;
  if (!FitsFixedForm(expansion)) {
    return FormatGeneral(value, kFallbackPrecision);
  }
  const int exponent = expansion.Exponent;
  const int integerDigits = std::max(exponent, 1);
  const auto digitCount = static_cast<std::size_t>(counted.DigitCount);
  const std::size_t signLength = expansion.Negative ? 1 : 0;
  const auto pointOffset = signLength + static_cast<std::size_t>(integerDigits);
  const std::size_t length =
      pointOffset + (decimals > 0 ? 1 + static_cast<std::size_t>(decimals) : 0);

  // Every place the digits do not reach shows "0".
  std::string text(length, '0');
  char* out = text.data();
  if (expansion.Negative) {
    out[0] = '-';
  }
  if (decimals > 0) {
    out[pointOffset] = DecimalSeparator();
  }
  // Digit i has place exponent - i: integer places count down to the point,
  // the decimals continue one past it. The cut keeps every place >= -decimals + 1.
  for (std::size_t i = 0; i < digitCount; ++i) {
    const int place = exponent - static_cast<int>(i);
    const auto offset = static_cast<std::ptrdiff_t>(pointOffset) - place + (place <= 0 ? 1 : 0);
    out[offset] = expansion.Digits[i];
  }
  return text;
}

std::string FormatGeneral(double value, int precision) {
  precision = std::clamp(precision, 2, kMaxDigits);
  const TDecimalExpansion expansion = ToDecimalExpansion(value, precision, kNoDecimalsCap);
  TextBuffer<32> text;  // sign, 18 digits, separator, "E-324" at most
  if (expansion.Negative) {
    text.Put('-');
  }
  const int exponent = expansion.Exponent;
  if (exponent == TDecimalExpansion::InfinityExponent) {
    text.Put("INF");
    return text.Str();
  }
  if (exponent == TDecimalExpansion::NaNExponent) {
    text.Put("NAN");
    return text.Str();
  }
  const std::string_view digits(expansion.Digits);
  const char separator = DecimalSeparator();
  if (exponent > precision || exponent < -3) {
    text.Put(digits[0]);
    if (digits.size() > 1) {
      text.Put(separator);
      text.Put(digits.substr(1));
    }
    text.Put('E');
    text.PutExponent(exponent - 1, 1);
  } else if (exponent <= 0) {
    text.Put('0');
    if (!digits.empty()) {
      text.Put(separator);
      text.PutRepeated('0', -exponent);
      text.Put(digits);
    }
  } else {
    const auto integerDigits = static_cast<std::size_t>(exponent);
    text.Put(digits.substr(0, integerDigits));
    if (digits.size() > integerDigits) {
      text.Put(separator);
      text.Put(digits.substr(integerDigits));
    } else {
      text.PutRepeated('0', static_cast<int>(integerDigits - digits.size()));
    }
  }
  return text.Str();
}

}  // namespace korvalen
