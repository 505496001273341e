#pragma once

// Extended-precision arithmetic steps with floating-point fault detection.
//
// Each step computes at extended precision (long double: a 64-bit significand
// on x86-64, round to nearest) and rounds its result once to double. An
// invalid operation, a division by zero or an overflow during the step, the
// rounding to double included, raises EInvalidOp, EZeroDivide or EOverflow
// instead of yielding NaN or infinity. Underflow and inexact results pass.
//
// Multiply and Divide tell a fault from their operands and result, which
// costs far less than reading and clearing the status words around every
// step, and gives the same verdict: each fault leaves a NaN or an infinity
// that the operands alone do not explain. A conversion procedure may do
// anything inside, so Call judges it by the status flags. There the compiler
// may not move the procedure across the flag tests: its operand and result
// pass through a compiler barrier, because GCC ignores FENV_ACCESS and
// -frounding-math alone does not stop it from moving the x87 rounding store
// past fetestexcept.
//
// Multiply(DBL_MAX, 10.0) raises EOverflow; Divide(0.0, 0.0) raises EInvalidOp;
// Divide(1.0, 0.0) raises EZeroDivide; Multiply(1e-300, 1e-300) gives 0.

#include <cfenv>

namespace korvalen::fpu {

// Pins a value in memory so that the computation producing it happens before
// this point and the computation consuming it after.
template <typename T>
inline void Barrier(T& value) noexcept {
  asm volatile("" : "+m"(value));
}

// Sets the program's arithmetic: 64-bit significand, round to nearest, faults
// masked (they are detected from the status flags, never trapped).
void InitEnvironment() noexcept;

// Clears the invalid, zero-divide and overflow flags.
inline void ClearFaults() noexcept {
#if defined(__x86_64__)
  // Reading the status words is cheap; clearing them is not, and they are
  // nearly always clear already.
  unsigned short x87Status;
  asm volatile("fnstsw %0" : "=am"(x87Status));
  if ((x87Status & 0x0D) != 0) {
    asm volatile("fnclex");
  }
  unsigned int mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  if ((mxcsr & 0x0D) != 0) {
    mxcsr &= ~0x0Du;
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  }
#else
  std::feclearexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
#endif
}

[[noreturn]] void RaiseFault(int faults);

// Raises the error for a fault flagged since ClearFaults, if any. Invalid
// operation wins over division by zero, which wins over overflow.
inline void RaiseFaults() {
#if defined(__x86_64__)
  unsigned short x87Status;
  asm volatile("fnstsw %0" : "=am"(x87Status));
  unsigned int mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  const int flags = static_cast<int>((x87Status | mxcsr) & 0x0Du);
  if (flags != 0) {
    RaiseFault((flags & 0x01 ? FE_INVALID : 0) | (flags & 0x04 ? FE_DIVBYZERO : 0) |
               (flags & 0x08 ? FE_OVERFLOW : 0));
  }
#else
  const int flags = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  if (flags != 0) {
    RaiseFault(flags);
  }
#endif
}

// The error for a step whose result is NaN or infinite, judged from its
// operands; returns the result when they explain it (a quiet NaN or an
// infinity given). Out of line: it is never reached in ordinary use.
double CheckProduct(double a, double b, double result);
double CheckQuotient(double a, double b, double result);

// a × b at extended precision, rounded to double.
inline double Multiply(double a, double b) {
  Barrier(a);
  Barrier(b);
  double result = static_cast<double>(static_cast<long double>(a) * static_cast<long double>(b));
  Barrier(result);
  if (!__builtin_isfinite(result)) [[unlikely]] {
    return CheckProduct(a, b, result);
  }
  return result;
}

// a ÷ b at extended precision, rounded to double.
inline double Divide(double a, double b) {
  Barrier(a);
  Barrier(b);
  double result = static_cast<double>(static_cast<long double>(a) / static_cast<long double>(b));
  Barrier(result);
  if (!__builtin_isfinite(result)) [[unlikely]] {
    return CheckQuotient(a, b, result);
  }
  return result;
}

// Runs a conversion procedure (which computes at extended precision and
// returns a double) as one step. Errors the procedure raises pass unchanged.
template <typename Procedure>
inline double Call(Procedure procedure, double value) {
  ClearFaults();
  Barrier(value);
  double result = procedure(value);
  Barrier(result);
  RaiseFaults();
  return result;
}

}  // namespace korvalen::fpu
