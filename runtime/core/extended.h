// The x87's 80-bit extended format as one type, `extended`, on every platform.
//
// Where long double is that format (x86), `extended` is long double and the functions below
// forward to the C library; elsewhere (WebAssembly's long double is a 128-bit quad) it is
// vost::SoftExtended, which gives the same bits in software. Code written against `extended` and
// the vost:: functions (vost::nearbyint(x), vost::sin(x), ...) computes the same results on both.
// Constants are written exactly with extended_constant(significand, sign_exponent), the ten bytes
// the processor stores.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "runtime/core/decimal_text.h"
#include "runtime/core/soft_extended.h"

#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384  // the x87's format
using extended = long double;
#define VOST_HARDWARE_EXTENDED 1
#else
using extended = vost::SoftExtended;
#define VOST_HARDWARE_EXTENDED 0
#endif

namespace vost {

#if VOST_HARDWARE_EXTENDED
namespace extended_detail {
// long double's bytes in memory: the ten of the value, then padding.
struct Bits {
  uint64_t significand;
  uint16_t sign_exponent;
  uint16_t padding_16 = 0;
  uint32_t padding_32 = 0;
};
static_assert(sizeof(Bits) == sizeof(long double));
}  // namespace extended_detail

// The value whose ten bytes are the significand (integer bit included) and the sign+exponent.
constexpr extended extended_constant(uint64_t significand, uint16_t sign_exponent) {
  return __builtin_bit_cast(long double, extended_detail::Bits{significand, sign_exponent});
}
#else
constexpr extended extended_constant(uint64_t significand, uint16_t sign_exponent) {
  return SoftExtended::from_bits(significand, sign_exponent);
}
#endif

inline long double nearbyint(long double x) { return std::nearbyint(x); }
inline long double rint(long double x) { return std::rint(x); }
inline long double trunc(long double x) { return std::trunc(x); }
inline long double floor(long double x) { return std::floor(x); }
inline long double ceil(long double x) { return std::ceil(x); }
inline long double fabs(long double x) { return std::fabs(x); }
inline long double ldexp(long double x, int exponent) { return std::ldexp(x, exponent); }
inline bool isnan(long double x) { return std::isnan(x); }
inline bool isinf(long double x) { return std::isinf(x); }
inline bool isfinite(long double x) { return std::isfinite(x); }
inline bool signbit(long double x) { return std::signbit(x); }
inline long double sin(long double x) { return std::sin(x); }
inline long double cos(long double x) { return std::cos(x); }

// The value of the text "[-]d[.ddd]E[-]n" in the extended format, rounded to nearest (ties to
// even); the hardware type reads it with the C library in the "C" locale.
#if VOST_HARDWARE_EXTENDED
long double extended_from_text(const char* first, const char* last);
#else
inline extended extended_from_text(const char* first, const char* last) {
  return parse_decimal(first, last);
}
#endif

// The exact value of a finite extended, for decimal_text.h.
inline BinaryValue binary_value_of(long double x) { return ::binary_value_of(x); }

}  // namespace vost
