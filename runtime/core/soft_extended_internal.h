// What the software extended format's source files share: the unpacked form of a value and the
// one rounding step every operation ends with.
#pragma once

#include <bit>
#include <cstdint>

#include "runtime/core/soft_extended.h"

namespace vost::soft_extended_detail {

using uint128 = unsigned __int128;

inline int countl_zero128(uint128 x) {
  const auto high = static_cast<uint64_t>(x >> 64);
  return high ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<uint64_t>(x));
}

enum class Kind { zero, finite, infinity, nan, unsupported };

// A value taken apart. Finite values have a normalised significand (top bit set) and the
// exponent of that top bit: value = significand × 2^(exponent - 63). "unsupported" are the
// encodings the processor refuses as operands (unnormals, pseudo-infinities and pseudo-NaNs).
struct Unpacked {
  Kind kind = Kind::zero;
  bool negative = false;
  int exponent = 0;
  uint64_t significand = 0;
};

Unpacked unpack(SoftExtended x);

// (-1)^negative × significand × 2^scale rounded once to the format (nearest, ties to even),
// denormal or infinite as the magnitude asks. Bits below the significand's 128 must have been
// folded into its lowest bit (a sticky bit) by the caller.
SoftExtended round_pack(bool negative, uint128 significand, int scale);

inline constexpr uint64_t quiet_bit = uint64_t{1} << 62;

// The processor's default NaN, given by invalid operations.
inline SoftExtended indefinite() { return SoftExtended::from_bits(0xC000000000000000, 0xFFFF); }
inline SoftExtended infinity(bool negative) {
  return SoftExtended::from_bits(SoftExtended::integer_bit, negative ? 0xFFFF : 0x7FFF);
}
inline SoftExtended quieted(SoftExtended nan) {
  return SoftExtended::from_bits(nan.significand() | quiet_bit, nan.sign_exponent());
}

// A wider number for intermediate results: value = significand × 2^(exponent - 127), the
// significand normalised (top bit set).
struct Wide {
  uint128 significand = 0;
  int exponent = 0;
};

// a × b with the product's 128 top bits (truncated: at most one unit of the last bit low).
inline Wide multiply(Wide a, Wide b) {
  const auto a_high = static_cast<uint64_t>(a.significand >> 64);
  const auto a_low = static_cast<uint64_t>(a.significand);
  const auto b_high = static_cast<uint64_t>(b.significand >> 64);
  const auto b_low = static_cast<uint64_t>(b.significand);
  const uint128 high_high = uint128{a_high} * b_high, high_low = uint128{a_high} * b_low;
  const uint128 low_high = uint128{a_low} * b_high, low_low = uint128{a_low} * b_low;
  const uint128 middle =
      (low_low >> 64) + static_cast<uint64_t>(high_low) + static_cast<uint64_t>(low_high);
  uint128 high = high_high + (high_low >> 64) + (low_high >> 64) + (middle >> 64);
  const auto next_bit = static_cast<uint64_t>(middle) >> 63;
  if (high >> 127) return {high, a.exponent + b.exponent + 1};
  high = high << 1 | next_bit;
  return {high, a.exponent + b.exponent};
}

}  // namespace vost::soft_extended_detail
