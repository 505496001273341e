#include "platform/runtime/FloatSteps.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

namespace korvalen::fpu {

void InitEnvironment() noexcept {
#if defined(__x86_64__)
  // Precision control 11 (64-bit significand), rounding control 00 (nearest),
  // all six exceptions masked.
  const unsigned short control = 0x037F;
  asm volatile("fldcw %0" : : "m"(control));
#endif
  std::fesetround(FE_TONEAREST);
  ClearFaults();
}

void RaiseFault(int faults) {
  // The flags stay set no longer than the step that raised them.
  ClearFaults();
  if ((faults & FE_INVALID) != 0) {
    throw EInvalidOp(std::string(res::SInvalidOp));
  }
  if ((faults & FE_DIVBYZERO) != 0) {
    throw EZeroDivide(std::string(res::SZeroDivide));
  }
  throw EOverflow(std::string(res::SOverflow));
}

namespace {

// A signalling NaN has the top bit of its significand clear; loading it is
// already an invalid operation.
bool IsSignalling(double value) noexcept {
  return std::isnan(value) && (std::bit_cast<std::uint64_t>(value) & 0x0008000000000000u) == 0;
}

}  // namespace

double CheckProduct(double a, double b, double result) {
  if (IsSignalling(a) || IsSignalling(b) || (std::isinf(a) && b == 0) ||
      (std::isinf(b) && a == 0)) {
    RaiseFault(FE_INVALID);
  }
  // Finite operands whose product is infinite: it left the double range.
  if (std::isinf(result) && std::isfinite(a) && std::isfinite(b)) {
    RaiseFault(FE_OVERFLOW);
  }
  return result;
}

double CheckQuotient(double a, double b, double result) {
  if (IsSignalling(a) || IsSignalling(b) || (a == 0 && b == 0) ||
      (std::isinf(a) && std::isinf(b))) {
    RaiseFault(FE_INVALID);
  }
  if (std::isfinite(a) && b == 0) {
    RaiseFault(FE_DIVBYZERO);
  }
  if (std::isinf(result) && std::isfinite(a)) {
    RaiseFault(FE_OVERFLOW);
  }
  return result;
}

}  // namespace korvalen::fpu
