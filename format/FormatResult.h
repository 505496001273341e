#pragma once

// The text form of numbers: the two-decimal result the conversion window
// shows, the pattern formatter beneath it, the general form, and the number
// separators taken from the user's locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvalen {

// The decimal form of a value that all formatting works from.
struct TDecimalExpansion {
  static constexpr std::int16_t InfinityExponent = 0x7FFF;
  static constexpr std::int16_t NaNExponent = -0x8000;

  // For digits d1 d2 ... the magnitude is 0.d1d2... × 10^Exponent.
  std::int16_t Exponent = 0;
  bool Negative = false;
  // At most 18 digits, most significant first, no trailing '0', NUL-terminated.
  char Digits[19] = {};
};

// The result text of the conversion window: the pattern "##0.00".
// FormatResult(2.2046226218487757) gives "2.20"; FormatResult(2.675) gives
// "2.67" (the stored double lies just below the tie); FormatResult(1e18) gives
// "1E18"; FormatResult(-0.004) gives "0.00".
std::string FormatResult(double value);

// Formats value by a pattern of up to three sections ("positive;negative;zero")
// of "#", "0", ".", ",", quoted text and the exponent markers E+ E- e+ e-.
// FormatByPattern("#,##0.00;(#,##0.00);'zero'", -1234.5) gives "(1,234.50)";
// FormatByPattern("0.00E+00", 12345) gives "1.23E+04". Reading stops at a NUL,
// but the whole length counts: a pattern over 224 characters throws
// EConvertError "Format string too long". Any other pattern gives a text.
std::string FormatByPattern(std::string_view pattern, double value);

// The general form with up to `precision` (2 to 18) significant digits:
// FormatGeneral(1.5e20, 15) gives "1.5E20"; infinity gives "INF".
std::string FormatGeneral(double value, int precision);

// Fixed-point with exactly `decimals` decimals, rounded half away from zero on
// the 18-digit expansion, the user's decimal separator, no grouping, "-" for a
// negative value. The "%f" of the program's messages: FormatFixed(5373484.5, 2)
// gives "5373484.50". Magnitudes of 10^18 and more, infinities and NaN take
// the general form with 15 digits, as in FormatResult. `decimals` is taken in
// 0 to 9999. FormatResult(value) is FormatFixed(value, 2).
std::string FormatFixed(double value, int decimals);

// The decimal expansion of value: 18 working digits, cut half away from zero
// to `precision` significant digits (below 0 counts as 0) and to `decimals`
// digits after the point (9999: no cut after the point).
// ToDecimalExpansion(2.675, 18, 2) gives Exponent 1, Digits "267": the
// working digits 267499999999999982 lie below the tie.
TDecimalExpansion ToDecimalExpansion(double value, int precision, int decimals);

// Reads both separators from the LC_NUMERIC locale the environment names
// (LC_ALL, LC_NUMERIC, LANG: the first one set), whether or not setlocale has
// run. A separator that cannot be read, or that is longer than one byte (such
// as U+202F in UTF-8), takes its default: "." for the decimal separator, ","
// for the thousands separator. A locale without a thousands separator (the C
// locale) gives NUL, and grouping then writes nothing.
void ReadNumberSeparators();

char DecimalSeparator() noexcept;
char ThousandSeparator() noexcept;
// For tests and for programs that choose their own separators.
void SetNumberSeparators(char decimalSeparator, char thousandSeparator) noexcept;

}  // namespace korvalen
