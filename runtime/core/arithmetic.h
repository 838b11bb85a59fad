// Integer division and MOD as a compiled program performs them.
//
// A division by zero ends the program with the fatal "Division by zero" (error 11), on every
// platform. Where the processor faults on it and the system turns the fault into SIGFPE (x86 on
// Linux), the division runs as it is, with no test on the way, and division_by_zero_handler
// reports it (install_division_by_zero_handler, runtime/core/error.h). Elsewhere the divisor is
// checked first and error 11 raised from here: WebAssembly traps without any signal, and ARM or
// RISC-V processors quietly give 0 or -1.
//
// The most negative number divided by -1 (and its MOD) has no quotient in its type either. x86
// faults on it exactly as on a zero divisor, and Linux reports both as the same signal, so the
// checked path raises error 11 for it as well: a program ends the same way on every platform, and
// never runs into undefined behaviour. Only int and wider types can meet this; narrower operands
// are promoted to int first, as by the built-in operators, and their quotient always fits.
#pragma once

#include <concepts>
#include <limits>
#include <type_traits>

#include "runtime/core/error.h"

// Whether an integer division by zero raises SIGFPE on this target.
#if defined(__wasm__) || defined(__EMSCRIPTEN__)
inline constexpr bool division_fault_signals = false;
#elif defined(__x86_64__) || defined(__i386__)
inline constexpr bool division_fault_signals = true;
#else
inline constexpr bool division_fault_signals = false;
#endif

// How a faulting division is caught: by the processor's signal, or by a test before dividing.
enum class DivisionFault { signalled, checked };
inline constexpr DivisionFault platform_division_fault =
    division_fault_signals ? DivisionFault::signalled : DivisionFault::checked;

// True when dividend / divisor has no quotient: a zero divisor, or the most negative number of
// the promoted type divided by -1.
template <std::integral A, std::integral B>
constexpr bool division_faults(A dividend, B divisor) {
  using Result = decltype(dividend / divisor);
  if (divisor == 0) return true;
  if constexpr (std::is_signed_v<Result>) {
    return static_cast<Result>(divisor) == -1 &&
           static_cast<Result>(dividend) == std::numeric_limits<Result>::min();
  }
  return false;
}

// The signalled path divides by zero on purpose, so that the processor faults: the sanitizers'
// own checks of the same operation would report it first.
#define VOST_DIVISION_FAULTS_BY_SIGNAL \
  __attribute__((no_sanitize("integer-divide-by-zero", "signed-integer-overflow")))

// dividend \ divisor, truncated toward zero; a faulting division raises error 11 (and gives 0
// should error() ever return). The fault parameter exists for tests of both paths.
template <DivisionFault fault = platform_division_fault, std::integral A, std::integral B>
VOST_DIVISION_FAULTS_BY_SIGNAL inline auto int_divide(A dividend, B divisor) {
  if constexpr (fault == DivisionFault::checked) {
    if (division_faults(dividend, divisor)) {
      error(division_by_zero);
      return decltype(dividend / divisor){0};
    }
  }
  return dividend / divisor;
}

// dividend MOD divisor, with the sign of the dividend; faults as int_divide.
template <DivisionFault fault = platform_division_fault, std::integral A, std::integral B>
VOST_DIVISION_FAULTS_BY_SIGNAL inline auto int_modulo(A dividend, B divisor) {
  if constexpr (fault == DivisionFault::checked) {
    if (division_faults(dividend, divisor)) {
      error(division_by_zero);
      return decltype(dividend % divisor){0};
    }
  }
  return dividend % divisor;
}

#undef VOST_DIVISION_FAULTS_BY_SIGNAL
