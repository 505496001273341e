#include "platform/runtime/FloatSteps.h"

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

}  // namespace korvalen::fpu
