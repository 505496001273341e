#pragma once

// Shared by the engine's tests: a registry as at program start for every
// test, and the decimal separator a test relies on.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

#include "engine/ConvUtils.h"
#include "engine/ConvUtils_p.h"
#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace korvalen::test {

// Each test starts and ends with an empty registry whose counters are 0, so
// identifiers are predictable whatever ran before in the same process.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { detail::ResetConvRegistry(); }
  void TearDown() override { detail::ResetConvRegistry(); }
};

// Bit-for-bit equality of doubles, with both values shown on failure.
inline testing::AssertionResult SameBits(double actual, double expected) {
  if (std::bit_cast<std::uint64_t>(actual) == std::bit_cast<std::uint64_t>(expected)) {
    return testing::AssertionSuccess();
  }
  char text[96];
  std::snprintf(text, sizeof text, "%.17g (%a), expected %.17g (%a)", actual, actual, expected,
                expected);
  return testing::AssertionFailure() << text;
}

// The registry's counters and list lengths, to show that a failed call changed nothing.
struct RegistrySnapshot {
  TConvFamilyId LastFamily = detail::LastConvFamilyId();
  TConvType LastType = detail::LastConvType();
  std::size_t FamilyListLength = detail::ConvFamilyListLength();
  std::size_t TypeListLength = detail::ConvTypeListLength();
  bool operator==(const RegistrySnapshot&) const = default;
};

inline void PrintTo(const RegistrySnapshot& s, std::ostream* os) {
  *os << "{families " << s.LastFamily << "/" << s.FamilyListLength << ", types " << s.LastType
      << "/" << s.TypeListLength << "}";
}

}  // namespace korvalen::test
