#include "platform/runtime/FloatSteps.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/runtime/Exceptions.h"

namespace korvalen {
namespace {

enum class Outcome { Value, Invalid, ZeroDivide, Overflow };

struct Result {
  Outcome Kind = Outcome::Value;
  std::uint64_t Bits = 0;  // of the value, for Outcome::Value
  bool operator==(const Result&) const = default;
};

void PrintTo(const Result& r, std::ostream* os) {
  static const char* const names[] = {"value", "EInvalidOp", "EZeroDivide", "EOverflow"};
  *os << names[static_cast<int>(r.Kind)] << " " << std::hex << r.Bits;
}

// The independent model: the same extended-precision operation, judged by
// the status flags the C library reports.
template <typename Operation>
Result FromFlags(Operation operation, double a, double b) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile double left = a;
  volatile double right = b;
  volatile double value = static_cast<double>(
      operation(static_cast<long double>(left), static_cast<long double>(right)));
  const int flags = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  std::feclearexcept(FE_ALL_EXCEPT);
  if (flags & FE_INVALID)
    return {Outcome::Invalid};
  if (flags & FE_DIVBYZERO)
    return {Outcome::ZeroDivide};
  if (flags & FE_OVERFLOW)
    return {Outcome::Overflow};
  return {Outcome::Value, std::bit_cast<std::uint64_t>(static_cast<double>(value))};
}

template <typename Step>
Result FromStep(Step step, double a, double b) {
  try {
    return {Outcome::Value, std::bit_cast<std::uint64_t>(step(a, b))};
  } catch (const EInvalidOp&) {
    return {Outcome::Invalid};
  } catch (const EZeroDivide&) {
    return {Outcome::ZeroDivide};
  } catch (const EOverflow&) {
    return {Outcome::Overflow};
  }
}

double QuietNaN(std::uint64_t payload, bool negative) {
  return std::bit_cast<double>((negative ? 0xFFF8000000000000u : 0x7FF8000000000000u) | payload);
}

double SignallingNaN(std::uint64_t payload, bool negative) {
  return std::bit_cast<double>((negative ? 0xFFF0000000000000u : 0x7FF0000000000000u) | payload);
}

// Zeros, denormals, the ends of the normal range, values whose products and
// quotients underflow, overflow or round near the double limits, infinities
// and NaNs of both kinds with payloads, in both signs.
std::vector<double> Operands() {
  const double magnitudes[] = {0.0,
                               std::numeric_limits<double>::denorm_min(),
                               3 * std::numeric_limits<double>::denorm_min(),
                               DBL_MIN / 3,
                               DBL_MIN,
                               1e-300,
                               1e-160,
                               0.001,
                               453.59237,
                               1.0,
                               1.0000000000000002,
                               3.0,
                               1e160,
                               1e300,
                               DBL_MAX / 2,
                               DBL_MAX,
                               std::numeric_limits<double>::infinity(),
                               QuietNaN(0, false),
                               QuietNaN(0x12345, false),
                               SignallingNaN(1, false),
                               SignallingNaN(0x4000000000000, false)};
  std::vector<double> operands;
  for (const double m : magnitudes) {
    operands.push_back(m);
    operands.push_back(-m);
  }
  return operands;
}

// Every pair of operands: each step raises the error the flags name, or
// returns the very bits the flags model returns (NaN payloads and signs,
// denormal results rounded twice, signed zeros). The two fault tests of one
// call never leak into the next.
TEST(FloatSteps, EveryOperandPairBehavesAsTheStatusFlagsSay) {
  fpu::InitEnvironment();
  const std::vector<double> operands = Operands();
  for (const double a : operands) {
    for (const double b : operands) {
      SCOPED_TRACE(testing::Message() << std::hexfloat << a << " and " << b);
      EXPECT_EQ(FromStep(fpu::Multiply, a, b),
                FromFlags([](long double x, long double y) { return x * y; }, a, b));
      EXPECT_EQ(FromStep(fpu::Divide, a, b),
                FromFlags([](long double x, long double y) { return x / y; }, a, b));
    }
  }
}

// Flags another computation left set do not make a step fail.
TEST(FloatSteps, FlagsLeftByEarlierWorkAreNotAStepsFault) {
  fpu::InitEnvironment();
  std::feraiseexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  EXPECT_EQ(fpu::Multiply(2.0, 3.0), 6.0);
  std::feraiseexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  EXPECT_EQ(fpu::Divide(6.0, 3.0), 2.0);
  std::feraiseexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  EXPECT_EQ(fpu::Call([](double v) { return v + 1; }, 1.0), 2.0);
  std::feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace
}  // namespace korvalen
