#pragma once

// The powers of ten that scale a value into its 18 working digits, as values
// with a 64-bit significand (x86 extended precision).

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace korvalen {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the decimal expansion is defined on a 64-bit significand");

// 10^n rounded to the nearest value with a 64-bit significand, ties to even.
// Worked out on the exact integer 5^n (10^n = 5^n × 2^n) so that no library
// power function, which need not round correctly, decides a digit; every
// step of the floating-point part multiplies by 2 and is exact.
constexpr long double NearestPowerOfTen(int n) {
  std::array<std::uint32_t, 40> limbs{};  // 5^480 needs 1115 bits
  limbs[0] = 1;
  std::size_t used = 1;
  for (int i = 0; i < n; ++i) {
    std::uint64_t carry = 0;
    for (std::size_t l = 0; l < used; ++l) {
      const std::uint64_t t = std::uint64_t{limbs[l]} * 5 + carry;
      limbs[l] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) {
      limbs[used++] = static_cast<std::uint32_t>(carry);
    }
  }
  const auto bit = [&limbs](std::size_t index) -> std::uint64_t {
    return (limbs[index / 32] >> (index % 32)) & 1u;
  };
  const std::size_t bits =
      (used - 1) * 32 + static_cast<std::size_t>(std::bit_width(limbs[used - 1]));
  const std::size_t shift = bits > 64 ? bits - 64 : 0;
  std::uint64_t significand = 0;
  for (std::size_t i = bits; i > shift; --i) {
    significand = (significand << 1) | bit(i - 1);
  }
  int scale = static_cast<int>(shift) + n;
  if (shift > 0 && bit(shift - 1) != 0) {
    bool sticky = false;
    for (std::size_t i = 0; i + 1 < shift; ++i) {
      sticky = sticky || bit(i) != 0;
    }
    if (sticky || (significand & 1u) != 0) {
      if (++significand == 0) {
        significand = std::uint64_t{1} << 63;
        ++scale;
      }
    }
  }
  long double result = static_cast<long double>(significand);
  for (int i = 0; i < scale; ++i) {
    result *= 2;
  }
  return result;
}

// 10^0 .. 10^31: the first 28 exact, the rest rounded.
inline constexpr std::array<long double, 32> kPowersLow = [] {
  std::array<long double, 32> table{};
  for (int i = 0; i < 32; ++i) {
    table[static_cast<std::size_t>(i)] = NearestPowerOfTen(i);
  }
  return table;
}();

// 10^(32k) for k = 0 .. 15.
inline constexpr std::array<long double, 16> kPowersHigh = [] {
  std::array<long double, 16> table{};
  for (int i = 0; i < 16; ++i) {
    table[static_cast<std::size_t>(i)] = NearestPowerOfTen(32 * i);
  }
  return table;
}();

static_assert(kPowersLow[27] == 1e27L && kPowersLow[10] == 10000000000.0L);

}  // namespace korvalen
