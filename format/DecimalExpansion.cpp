// The decimal expansion beneath all formatting: the value scaled by powers of
// ten at extended precision, rounded to 18 working digits, then cut.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "format/DecimalExpansion_p.h"
#include "format/DigitPairs_p.h"
#include "format/PowersOfTen_p.h"
#include "platform/runtime/FloatSteps.h"

namespace korvalen {
namespace {

constexpr int kWorkingDigits = 18;
constexpr long double kWorkingMin = 1e17L;  // exact: 10^17 < 2^64
constexpr long double kWorkingLimit = 1e18L;

// A double's estimate lies in [-323, 308] and the normalising retry lowers it
// by one, so the power applied stays within ±342: the third factor of the
// scaling, 10^(512k), always has k = 0 for a double and is left out.
constexpr int kLargestPower = 18 + 324;
static_assert(kLargestPower < 512);

// The magnitude times 10^n, each factor a rounded extended-precision step.
// The x87 unit has no fused operations, and the caller pins the magnitude, so
// the compiler can neither contract nor fold these steps.
long double ScaleByPowerOfTen(long double magnitude, int n) {
  const bool divide = n < 0;
  const auto m = static_cast<std::size_t>(divide ? -n : n);
  const long double low = kPowersLow[m % 32];
  magnitude = divide ? magnitude / low : magnitude * low;
  if (m >= 32) {
    const long double high = kPowersHigh[m / 32];
    magnitude = divide ? magnitude / high : magnitude * high;
  }
  return magnitude;
}

// To an integer, ties to even: the default rounding mode, which the program
// never changes. frndint inline: the library call saves and restores the
// whole floating-point environment and costs more than all the rest.
long double RoundToInteger(long double value) noexcept {
  asm("frndint" : "+t"(value));
  return value;
}

// An integral value below 2^63 as an integer. A plain conversion would
// switch the rounding mode to truncation and back.
std::uint64_t ToInteger(long double integral) noexcept {
  std::int64_t result;
  asm("fistpll %0" : "=m"(result) : "t"(integral) : "st");
  return static_cast<std::uint64_t>(result);
}

// The power-of-two exponent e of a finite non-zero double: |value| lies in
// [2^e, 2^(e+1)), denormals included.
int BinaryExponent(double value) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased != 0) {
    return biased - 1023;
  }
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  return -1011 - std::countl_zero(fraction);
}

// Nine digits of a value below 10^9.
void WriteNineDigits(std::uint32_t value, char* digits) noexcept {
  digits[0] = static_cast<char>('0' + value / 100000000);
  value %= 100000000;
  for (int i = 7; i >= 1; i -= 2) {
    const std::uint32_t pair = value % 100;
    value /= 100;
    std::memcpy(digits + i, &kDigitPairs[std::size_t{2} * pair], 2);
  }
}

// The 18 working digits of a value in [10^17, 10^18), as two independent
// halves.
void WriteWorkingDigits(std::uint64_t working, char* digits) noexcept {
  const auto high = static_cast<std::uint32_t>(working / 1000000000);
  const auto low = static_cast<std::uint32_t>(working % 1000000000);
  WriteNineDigits(high, digits);
  WriteNineDigits(low, digits + 9);
}

}  // namespace

TCountedExpansion ExpandDecimal(double value, int precision, int decimals) noexcept {
  TCountedExpansion counted;
  TDecimalExpansion& result = counted.Expansion;
  if (value == 0.0) {
    return counted;
  }
  if (std::isnan(value)) {
    result.Exponent = TDecimalExpansion::NaNExponent;
    return counted;
  }
  if (std::isinf(value)) {
    result.Exponent = TDecimalExpansion::InfinityExponent;
    result.Negative = std::signbit(value);
    return counted;
  }

  long double magnitude = std::fabs(static_cast<long double>(value));
  fpu::Barrier(magnitude);
  int exponent = ((BinaryExponent(value) * 19728) >> 16) + 1;

  long double working = RoundToInteger(ScaleByPowerOfTen(magnitude, kWorkingDigits - exponent));
  if (working < kWorkingMin) {
    // The estimate came out one too high (it does for some tiny values): scale
    // again so that the first working digit is never 0.
    --exponent;
    working = RoundToInteger(ScaleByPowerOfTen(magnitude, kWorkingDigits - exponent));
  }
  if (working >= kWorkingLimit) {
    working = RoundToInteger(working / 10);
    ++exponent;
  }

  // The cut, half away from zero on the working digits.
  long long keep = static_cast<long long>(exponent) + decimals;
  if (keep < 0) {
    return counted;
  }
  char* digits = result.Digits;
  WriteWorkingDigits(ToInteger(working), digits);
  keep = std::min<long long>({keep, std::max(precision, 0), kWorkingDigits});
  auto length = static_cast<int>(keep);
  if (length < kWorkingDigits && digits[length] >= '5') {
    int last = length - 1;
    while (last >= 0 && digits[last] == '9') {
      --last;
    }
    if (last < 0) {
      digits[0] = '1';
      length = 1;
      ++exponent;
    } else {
      ++digits[last];
      length = last + 1;
    }
  }
  while (length > 0 && digits[length - 1] == '0') {
    --length;
  }
  digits[length] = '\0';

  result.Exponent = static_cast<std::int16_t>(exponent);
  result.Negative = length > 0 && std::signbit(value);
  counted.DigitCount = length;
  return counted;
}

TDecimalExpansion ToDecimalExpansion(double value, int precision, int decimals) {
  return ExpandDecimal(value, precision, decimals).Expansion;
}

}  // namespace korvalen
