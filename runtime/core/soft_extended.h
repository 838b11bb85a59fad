// The x87's 80-bit extended format in software, for platforms whose long double is another
// format (WebAssembly's is a 128-bit quad).
//
// A SoftExtended holds the same ten bytes the processor stores: a 64-bit significand with its
// integer bit written out, and a sign bit above a 15-bit exponent biased by 16383. Every operation
// gives the bits the processor gives with the control word the runtime sets (64-bit precision,
// rounding to nearest with ties to even, every exception masked):
// - + - * / are rounded once to 64 significant bits; results below 2^-16382 become denormals,
//   rounded once at their own precision; results too large become infinities.
// - An invalid operation (inf - inf, 0 * inf, 0 / 0, inf / inf) gives the "indefinite" NaN
//   (sign set, exponent 0x7FFF, significand 0xC000000000000000). A NaN operand is passed on with
//   its quiet bit set; of two NaNs a quiet one beats a signalling one, then the larger
//   significand wins, then the positive one.
// - Comparisons are IEEE comparisons: a NaN is unordered, -0 equals +0.
// - Conversions to integers truncate toward zero; a value out of range of a signed type gives
//   its most negative value (the processor's "integer indefinite").
// tests/core/soft_extended_test.cpp checks all of it bit for bit against the hardware.
// runtime/core/extended.h picks this type or the hardware's long double as `extended`.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <limits>

#include "runtime/core/bit_cast.h"
#include "runtime/core/decimal_text.h"

namespace vost {

class SoftExtended {
 public:
  static constexpr uint16_t exponent_bias = 16383;
  static constexpr uint16_t exponent_mask = 0x7FFF;
  static constexpr uint16_t sign_mask = 0x8000;
  static constexpr uint64_t integer_bit = uint64_t{1} << 63;

  constexpr SoftExtended() = default;
  constexpr SoftExtended(int value) : SoftExtended(static_cast<long long>(value)) {}
  constexpr SoftExtended(long value) : SoftExtended(static_cast<long long>(value)) {}
  constexpr SoftExtended(long long value) {
    const auto magnitude = value < 0 ? ~static_cast<unsigned long long>(value) + 1
                                     : static_cast<unsigned long long>(value);
    *this = SoftExtended(magnitude);
    if (value < 0) sign_exponent_ |= sign_mask;
  }
  constexpr SoftExtended(unsigned value) : SoftExtended(static_cast<unsigned long long>(value)) {}
  constexpr SoftExtended(unsigned long value)
      : SoftExtended(static_cast<unsigned long long>(value)) {}
  constexpr SoftExtended(unsigned long long value) {
    if (value == 0) return;
    const int shift = std::countl_zero(static_cast<uint64_t>(value));
    significand_ = static_cast<uint64_t>(value) << shift;
    sign_exponent_ = static_cast<uint16_t>(exponent_bias + 63 - shift);
  }
  constexpr SoftExtended(double value) {
    const auto bits = vost::bit_cast<uint64_t>(value);
    const auto sign = static_cast<uint16_t>(bits >> 63 << 15);
    const auto exponent = static_cast<int>(bits >> 52 & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (exponent == 0x7FF) {  // infinities, and NaNs quieted as the processor loads them
      significand_ = integer_bit | fraction << 11 | (fraction ? integer_bit >> 1 : 0);
      sign_exponent_ = sign | exponent_mask;
    } else if (exponent != 0) {
      significand_ = integer_bit | fraction << 11;
      sign_exponent_ = static_cast<uint16_t>(sign | (exponent - 1023 + exponent_bias));
    } else if (fraction != 0) {  // a double's denormal is a normal number here
      const int shift = std::countl_zero(fraction);
      significand_ = fraction << shift;
      sign_exponent_ = static_cast<uint16_t>(sign | (exponent_bias - 1022 - 52 + 63 - shift));
    } else {
      sign_exponent_ = sign;
    }
  }
  constexpr SoftExtended(float value) : SoftExtended(static_cast<double>(value)) {}

  // The value with the bits the processor stores in memory.
  static constexpr SoftExtended from_bits(uint64_t significand, uint16_t sign_exponent) {
    SoftExtended result;
    result.significand_ = significand;
    result.sign_exponent_ = sign_exponent;
    return result;
  }
  constexpr uint64_t significand() const { return significand_; }
  constexpr uint16_t sign_exponent() const { return sign_exponent_; }

  // Rounded to nearest, ties to even; too large gives an infinity, too small a denormal or zero.
  explicit operator double() const;
  explicit operator float() const;
  // Truncated toward zero; out of range gives the most negative value of a signed type (and is
  // the caller's business for an unsigned one). bool is "not equal to zero".
  template <std::integral Integer>
  explicit operator Integer() const {
    if constexpr (std::same_as<Integer, bool>) {
      return (significand_ != 0) || (sign_exponent_ & exponent_mask) == exponent_mask;
    } else if constexpr (std::is_signed_v<Integer>) {
      return static_cast<Integer>(to_signed(std::numeric_limits<Integer>::digits));
    } else if constexpr (sizeof(Integer) < 8) {
      return static_cast<Integer>(to_signed(63));  // as compiled code does: through int64_t
    } else {
      return static_cast<Integer>(to_unsigned());
    }
  }

  SoftExtended& operator+=(SoftExtended other);
  SoftExtended& operator-=(SoftExtended other);
  SoftExtended& operator*=(SoftExtended other);
  SoftExtended& operator/=(SoftExtended other);

 private:
  // The value truncated toward zero, or the most negative value of a type of `digits` value bits.
  int64_t to_signed(int digits) const;
  uint64_t to_unsigned() const;

  uint64_t significand_ = 0;
  uint16_t sign_exponent_ = 0;
};

static_assert(std::is_trivially_copyable_v<SoftExtended> && sizeof(SoftExtended) <= 16);

SoftExtended operator+(SoftExtended a, SoftExtended b);
SoftExtended operator-(SoftExtended a, SoftExtended b);
SoftExtended operator*(SoftExtended a, SoftExtended b);
SoftExtended operator/(SoftExtended a, SoftExtended b);
constexpr SoftExtended operator-(SoftExtended a) {
  return SoftExtended::from_bits(a.significand(), a.sign_exponent() ^ SoftExtended::sign_mask);
}
constexpr SoftExtended operator+(SoftExtended a) { return a; }

bool operator==(SoftExtended a, SoftExtended b);
bool operator<(SoftExtended a, SoftExtended b);
bool operator<=(SoftExtended a, SoftExtended b);
inline bool operator>(SoftExtended a, SoftExtended b) { return b < a; }
inline bool operator>=(SoftExtended a, SoftExtended b) { return b <= a; }

constexpr bool isnan(SoftExtended x) {
  return (x.sign_exponent() & SoftExtended::exponent_mask) == SoftExtended::exponent_mask &&
         (x.significand() << 1) != 0;
}
constexpr bool isinf(SoftExtended x) {
  return (x.sign_exponent() & SoftExtended::exponent_mask) == SoftExtended::exponent_mask &&
         (x.significand() << 1) == 0;
}
constexpr bool isfinite(SoftExtended x) {
  return (x.sign_exponent() & SoftExtended::exponent_mask) != SoftExtended::exponent_mask;
}
constexpr bool signbit(SoftExtended x) { return x.sign_exponent() & SoftExtended::sign_mask; }
constexpr SoftExtended fabs(SoftExtended x) {
  return SoftExtended::from_bits(x.significand(), x.sign_exponent() & SoftExtended::exponent_mask);
}

// The nearest integer, ties to even (nearbyintl in the default rounding mode); rint is the same.
SoftExtended nearbyint(SoftExtended x);
inline SoftExtended rint(SoftExtended x) { return nearbyint(x); }
SoftExtended trunc(SoftExtended x);
SoftExtended floor(SoftExtended x);
SoftExtended ceil(SoftExtended x);
// x × 2^exponent, rounded once like the processor's scaling.
SoftExtended ldexp(SoftExtended x, int exponent);
// Sine and cosine of an angle in radians: every finite angle is reduced exactly, and the result
// is the correctly rounded value but where the exact one lies within about 2^-120 of a rounding
// boundary. They need not equal the C library's sinl and cosl, which are sometimes an ulp off.
SoftExtended sin(SoftExtended x);
SoftExtended cos(SoftExtended x);

// The value of the text "[-]d[.ddd]E[-]n" (exactly that form: one digit before the point, any
// number after it, a decimal exponent that fits in 64 bits), rounded once to nearest, ties to
// even, as strtold in the "C" locale rounds on the x87.
SoftExtended parse_decimal(const char* first, const char* last);

// The exact value of a finite x, for decimal_text.h.
BinaryValue binary_value_of(SoftExtended x);

}  // namespace vost

// The format's limits, as for the hardware's long double.
template <>
class std::numeric_limits<vost::SoftExtended> {
  using T = vost::SoftExtended;

 public:
  static constexpr bool is_specialized = true;
  static constexpr bool is_signed = true;
  static constexpr bool is_integer = false;
  static constexpr bool is_exact = false;
  static constexpr bool has_infinity = true;
  static constexpr bool has_quiet_NaN = true;
  static constexpr bool has_signaling_NaN = true;
  static constexpr float_denorm_style has_denorm = denorm_present;
  static constexpr bool has_denorm_loss = false;
  static constexpr bool is_iec559 = true;
  static constexpr bool is_modulo = false;
  static constexpr bool traps = false;
  static constexpr bool tinyness_before = true;
  static constexpr bool is_bounded = true;
  static constexpr int radix = 2;
  static constexpr int digits = 64;
  static constexpr int digits10 = 18;
  static constexpr int max_digits10 = 21;
  static constexpr int min_exponent = -16381;
  static constexpr int max_exponent = 16384;
  static constexpr int min_exponent10 = -4931;
  static constexpr int max_exponent10 = 4932;
  static constexpr float_round_style round_style = round_to_nearest;
  static constexpr T min() noexcept { return T::from_bits(T::integer_bit, 1); }
  static constexpr T max() noexcept { return T::from_bits(~uint64_t{0}, 0x7FFE); }
  static constexpr T lowest() noexcept { return T::from_bits(~uint64_t{0}, 0xFFFE); }
  static constexpr T epsilon() noexcept { return T::from_bits(T::integer_bit, 16383 - 63); }
  static constexpr T round_error() noexcept { return T::from_bits(T::integer_bit, 16382); }
  static constexpr T infinity() noexcept { return T::from_bits(T::integer_bit, 0x7FFF); }
  static constexpr T quiet_NaN() noexcept { return T::from_bits(0xC000000000000000, 0x7FFF); }
  static constexpr T signaling_NaN() noexcept { return T::from_bits(0xA000000000000000, 0x7FFF); }
  static constexpr T denorm_min() noexcept { return T::from_bits(1, 0); }
};
