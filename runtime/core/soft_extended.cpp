// The x87's extended format in software: arithmetic, comparisons, conversions and rounding to
// integers. The rules the processor follows are listed in soft_extended.h.
#include "runtime/core/soft_extended.h"

#include <algorithm>

#include "runtime/core/soft_extended_internal.h"

namespace vost {

namespace soft_extended_detail {

Unpacked unpack(SoftExtended x) {
  Unpacked u;
  u.negative = x.sign_exponent() & SoftExtended::sign_mask;
  const int field = x.sign_exponent() & SoftExtended::exponent_mask;
  const uint64_t significand = x.significand();
  if (field == SoftExtended::exponent_mask) {
    if (!(significand & SoftExtended::integer_bit)) {
      u.kind = Kind::unsupported;  // a pseudo-infinity or pseudo-NaN
    } else {
      u.kind = (significand << 1) ? Kind::nan : Kind::infinity;
    }
    u.significand = significand;
    return u;
  }
  if (significand == 0) {
    u.kind = field ? Kind::unsupported : Kind::zero;  // an unnormal zero, or a true zero
    return u;
  }
  if (field != 0 && !(significand & SoftExtended::integer_bit)) {
    u.kind = Kind::unsupported;  // an unnormal
    return u;
  }
  // Normals; denormals (and pseudo-denormals) have the exponent of the smallest normals.
  u.kind = Kind::finite;
  const int shift = std::countl_zero(significand);
  u.significand = significand << shift;
  u.exponent = (field ? field : 1) - SoftExtended::exponent_bias - shift;
  return u;
}

SoftExtended round_pack(bool negative, uint128 significand, int scale) {
  const uint16_t sign = negative ? SoftExtended::sign_mask : 0;
  if (significand == 0) return SoftExtended::from_bits(0, sign);
  const int shift = countl_zero128(significand);
  significand <<= shift;
  // The value is now 1.f × 2^exponent, the integer bit in bit 127.
  const int exponent = scale + 127 - shift;
  int field = exponent + SoftExtended::exponent_bias;
  if (field < 1) {
    // Below the normals: shift to the denormals' fixed exponent, keeping lost bits as a sticky bit.
    const int denormal_shift = 1 - field;
    if (denormal_shift >= 128) {
      significand = 1;
    } else {
      const int bits = denormal_shift;
      const bool lost = (significand & ((uint128{1} << bits) - 1)) != 0;
      significand = significand >> bits | uint128{lost};
    }
    field = 0;
  }
  uint64_t high = static_cast<uint64_t>(significand >> 64);
  const auto low = static_cast<uint64_t>(significand);
  constexpr uint64_t half = uint64_t{1} << 63;
  if (low > half || (low == half && (high & 1))) {
    ++high;
    if (high == 0) {  // 1.111... rounded up to 10.000...
      high = SoftExtended::integer_bit;
      ++field;
    } else if (field == 0 && (high & SoftExtended::integer_bit)) {
      field = 1;  // the largest denormal rounded up to the smallest normal
    }
  }
  if (field >= SoftExtended::exponent_mask) return infinity(negative);
  return SoftExtended::from_bits(high, static_cast<uint16_t>(sign | field));
}

}  // namespace soft_extended_detail

using namespace soft_extended_detail;

namespace {

// The result of an operation with a NaN or unsupported operand (a or b), or invalid (neither).
SoftExtended nan_result(const Unpacked& a, SoftExtended a_bits, const Unpacked& b,
                        SoftExtended b_bits) {
  if (a.kind == Kind::unsupported || b.kind == Kind::unsupported) return indefinite();
  if (a.kind == Kind::nan && b.kind == Kind::nan) {
    // A quiet NaN beats a signalling one; of two alike, the larger significand wins.
    const bool a_quiet = a_bits.significand() & quiet_bit,
               b_quiet = b_bits.significand() & quiet_bit;
    if (a_quiet != b_quiet) return a_quiet ? a_bits : b_bits;
    if (a_bits.significand() != b_bits.significand()) {
      return quieted(a_bits.significand() > b_bits.significand() ? a_bits : b_bits);
    }
    // Equal significands: the positive one.
    return quieted(signbit(a_bits) ? b_bits : a_bits);
  }
  if (a.kind == Kind::nan) return quieted(a_bits);
  if (b.kind == Kind::nan) return quieted(b_bits);
  return indefinite();
}

bool is_nan_like(const Unpacked& u) { return u.kind == Kind::nan || u.kind == Kind::unsupported; }

SoftExtended add(SoftExtended a_bits, SoftExtended b_bits, bool subtract) {
  const Unpacked a = unpack(a_bits);
  Unpacked b = unpack(b_bits);
  if (is_nan_like(a) || is_nan_like(b)) return nan_result(a, a_bits, b, b_bits);
  b.negative ^= subtract;
  if (a.kind == Kind::infinity || b.kind == Kind::infinity) {
    if (a.kind == Kind::infinity && b.kind == Kind::infinity && a.negative != b.negative) {
      return indefinite();
    }
    return infinity(a.kind == Kind::infinity ? a.negative : b.negative);
  }
  if (a.kind == Kind::zero && b.kind == Kind::zero) {
    return SoftExtended::from_bits(0, a.negative && b.negative ? SoftExtended::sign_mask : 0);
  }
  if (b.kind == Kind::zero) return round_pack(a.negative, a.significand, a.exponent - 63);
  if (a.kind == Kind::zero) return round_pack(b.negative, b.significand, b.exponent - 63);
  // Both finite and non-zero: the larger exponent first, its significand below a spare top bit.
  const Unpacked& big = a.exponent >= b.exponent ? a : b;
  const Unpacked& small = a.exponent >= b.exponent ? b : a;
  const uint128 big_bits = uint128{big.significand} << 63;
  uint128 small_bits = uint128{small.significand} << 63;
  const int distance = big.exponent - small.exponent;
  if (distance >= 127) {
    small_bits = 1;  // only a sticky bit is left
  } else if (distance > 0) {
    const int bits = distance;
    const bool lost = (small_bits & ((uint128{1} << bits) - 1)) != 0;
    small_bits = small_bits >> bits | uint128{lost};
  }
  const int scale = big.exponent - 126;
  if (big.negative == small.negative) return round_pack(big.negative, big_bits + small_bits, scale);
  if (big_bits == small_bits) return SoftExtended::from_bits(0, 0);  // x - x is +0
  if (big_bits > small_bits) return round_pack(big.negative, big_bits - small_bits, scale);
  return round_pack(small.negative, small_bits - big_bits, scale);
}

}  // namespace

SoftExtended operator+(SoftExtended a, SoftExtended b) { return add(a, b, false); }
SoftExtended operator-(SoftExtended a, SoftExtended b) { return add(a, b, true); }

SoftExtended operator*(SoftExtended a_bits, SoftExtended b_bits) {
  const Unpacked a = unpack(a_bits);
  const Unpacked b = unpack(b_bits);
  if (is_nan_like(a) || is_nan_like(b)) return nan_result(a, a_bits, b, b_bits);
  const bool negative = a.negative != b.negative;
  if (a.kind == Kind::infinity || b.kind == Kind::infinity) {
    if (a.kind == Kind::zero || b.kind == Kind::zero) return indefinite();
    return infinity(negative);
  }
  if (a.kind == Kind::zero || b.kind == Kind::zero) {
    return SoftExtended::from_bits(0, negative ? SoftExtended::sign_mask : 0);
  }
  const uint128 product = uint128{a.significand} * b.significand;
  return round_pack(negative, product, a.exponent + b.exponent - 126);
}

SoftExtended operator/(SoftExtended a_bits, SoftExtended b_bits) {
  const Unpacked a = unpack(a_bits);
  const Unpacked b = unpack(b_bits);
  if (is_nan_like(a) || is_nan_like(b)) return nan_result(a, a_bits, b, b_bits);
  const bool negative = a.negative != b.negative;
  if (a.kind == Kind::infinity) {
    return b.kind == Kind::infinity ? indefinite() : infinity(negative);
  }
  if (b.kind == Kind::infinity) return SoftExtended::from_bits(0, negative ? 0x8000 : 0);
  if (b.kind == Kind::zero) return a.kind == Kind::zero ? indefinite() : infinity(negative);
  if (a.kind == Kind::zero) return SoftExtended::from_bits(0, negative ? 0x8000 : 0);
  // 64 or 65 quotient bits from one division, one more from the remainder, then a sticky bit.
  const uint128 dividend = uint128{a.significand} << 64;
  uint128 quotient = dividend / b.significand;
  uint128 remainder = dividend % b.significand;
  remainder <<= 1;
  quotient <<= 1;
  if (remainder >= b.significand) {
    remainder -= b.significand;
    quotient |= 1;
  }
  const uint128 bits = quotient << 1 | uint128{remainder != 0};
  return round_pack(negative, bits, a.exponent - b.exponent - 66);
}

SoftExtended& SoftExtended::operator+=(SoftExtended other) { return *this = *this + other; }
SoftExtended& SoftExtended::operator-=(SoftExtended other) { return *this = *this - other; }
SoftExtended& SoftExtended::operator*=(SoftExtended other) { return *this = *this * other; }
SoftExtended& SoftExtended::operator/=(SoftExtended other) { return *this = *this / other; }

namespace {

enum class Order { less, equal, greater, unordered };

Order compare(SoftExtended a_bits, SoftExtended b_bits) {
  const Unpacked a = unpack(a_bits);
  const Unpacked b = unpack(b_bits);
  if (is_nan_like(a) || is_nan_like(b)) return Order::unordered;
  if (a.kind == Kind::zero && b.kind == Kind::zero) return Order::equal;
  // A sign-magnitude key: zero below every finite magnitude, infinity above.
  auto magnitude_less = [](const Unpacked& x, const Unpacked& y) {
    auto rank = [](const Unpacked& u) {
      return u.kind == Kind::zero ? 0 : u.kind == Kind::finite ? 1 : 2;
    };
    if (rank(x) != rank(y)) return rank(x) < rank(y);
    if (x.kind != Kind::finite) return false;
    return x.exponent != y.exponent ? x.exponent < y.exponent : x.significand < y.significand;
  };
  const bool a_negative = a.negative && a.kind != Kind::zero;
  const bool b_negative = b.negative && b.kind != Kind::zero;
  if (a_negative != b_negative) return a_negative ? Order::less : Order::greater;
  if (magnitude_less(a, b)) return a_negative ? Order::greater : Order::less;
  if (magnitude_less(b, a)) return a_negative ? Order::less : Order::greater;
  return Order::equal;
}

}  // namespace

bool operator==(SoftExtended a, SoftExtended b) { return compare(a, b) == Order::equal; }
bool operator<(SoftExtended a, SoftExtended b) { return compare(a, b) == Order::less; }
bool operator<=(SoftExtended a, SoftExtended b) {
  const Order order = compare(a, b);
  return order == Order::less || order == Order::equal;
}

namespace {

// An IEEE binary format's bits for x, rounded to nearest even (double: 52 fraction bits, 11
// exponent bits; float: 23 and 8).
uint64_t to_binary(SoftExtended x, int fraction_bits, int exponent_bits) {
  const Unpacked u = unpack(x);
  const int bias = (1 << (exponent_bits - 1)) - 1;
  const uint64_t sign = uint64_t{u.negative} << (fraction_bits + exponent_bits);
  const uint64_t all_ones = (uint64_t{1} << exponent_bits) - 1;
  const uint64_t quiet = uint64_t{1} << (fraction_bits - 1);
  switch (u.kind) {
    case Kind::zero:
      return sign;
    case Kind::infinity:
      return sign | all_ones << fraction_bits;
    case Kind::unsupported:
      return uint64_t{1} << (fraction_bits + exponent_bits) | all_ones << fraction_bits | quiet;
    case Kind::nan:
      return sign | all_ones << fraction_bits | quiet |
             (x.significand() << 1 >> (64 - fraction_bits));
    case Kind::finite:
      break;
  }
  // The significand as 1.f with fraction_bits kept; the rest decides the rounding.
  int field = u.exponent + bias;
  if (field >= static_cast<int>(all_ones)) return sign | all_ones << fraction_bits;
  int drop = 63 - fraction_bits;  // bits below the kept ones
  if (field < 1) {
    drop += 1 - field;
    field = 0;
  }
  uint64_t kept = drop >= 64 ? 0 : u.significand >> drop;
  bool round_up = false;
  if (drop <= 64) {
    const uint64_t half = uint64_t{1} << (drop - 1);
    const uint64_t rest = drop == 64 ? u.significand : u.significand & ((half << 1) - 1);
    round_up = rest > half || (rest == half && (kept & 1));
  }
  if (round_up) ++kept;
  // A carry out of the kept bits raises the exponent field; the hidden bit is added back below.
  uint64_t bits = kept + (field > 0 ? (uint64_t(field) - 1) << fraction_bits : 0);
  if (bits >= all_ones << fraction_bits) return sign | all_ones << fraction_bits;
  return sign | bits;
}

}  // namespace

SoftExtended::operator double() const { return vost::bit_cast<double>(to_binary(*this, 52, 11)); }
SoftExtended::operator float() const {
  return vost::bit_cast<float>(static_cast<uint32_t>(to_binary(*this, 23, 8)));
}

int64_t SoftExtended::to_signed(int digits) const {
  const Unpacked u = unpack(*this);
  const int64_t indefinite_integer = digits >= 63 ? INT64_MIN : -(int64_t{1} << digits);
  if (u.kind == Kind::zero) return 0;
  if (u.kind != Kind::finite) return indefinite_integer;
  if (u.exponent < 0) return 0;
  if (u.exponent > digits) return indefinite_integer;
  const uint64_t magnitude = u.significand >> (63 - u.exponent);
  if (u.negative)
    return magnitude > (uint64_t{1} << digits) ? indefinite_integer
                                               : static_cast<int64_t>(0 - magnitude);
  return magnitude >= (uint64_t{1} << digits) ? indefinite_integer
                                              : static_cast<int64_t>(magnitude);
}

uint64_t SoftExtended::to_unsigned() const {
  // As compiled code does: values from 2^63 on are converted less 2^63 and the top bit set again.
  const Unpacked u = unpack(*this);
  if (u.kind == Kind::finite && !u.negative && u.exponent == 63) return u.significand;
  return static_cast<uint64_t>(to_signed(63));
}

namespace {

enum class Direction { nearest_even, toward_zero, down, up };

// x rounded to an integer in the given direction (the processor's frndint with that rounding).
SoftExtended round_to_integer(SoftExtended x, Direction direction) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::unsupported) return indefinite();
  if (u.kind == Kind::nan) return quieted(x);
  if (u.kind != Kind::finite || u.exponent >= 63) return x;
  const uint16_t sign = u.negative ? SoftExtended::sign_mask : 0;
  // The integer part and the fraction as a 64-bit fixed-point number (one sticky bit for tiny x).
  uint64_t integer = 0, fraction = 0;
  if (u.exponent >= 0) {
    integer = u.significand >> (63 - u.exponent);
    fraction = u.exponent == 63 ? 0 : u.significand << (u.exponent + 1);
  } else if (u.exponent == -1) {
    fraction = u.significand;
  } else {
    fraction = 1;  // below one half
  }
  constexpr uint64_t half = uint64_t{1} << 63;
  bool up = false;
  switch (direction) {
    case Direction::nearest_even:
      up = fraction > half || (fraction == half && (integer & 1));
      break;
    case Direction::toward_zero:
      break;
    case Direction::down:
      up = u.negative && fraction != 0;
      break;
    case Direction::up:
      up = !u.negative && fraction != 0;
      break;
  }
  if (up) ++integer;
  if (integer == 0) return SoftExtended::from_bits(0, sign);
  SoftExtended result(static_cast<unsigned long long>(integer));
  return u.negative ? -result : result;
}

}  // namespace

SoftExtended nearbyint(SoftExtended x) { return round_to_integer(x, Direction::nearest_even); }
SoftExtended trunc(SoftExtended x) { return round_to_integer(x, Direction::toward_zero); }
SoftExtended floor(SoftExtended x) { return round_to_integer(x, Direction::down); }
SoftExtended ceil(SoftExtended x) { return round_to_integer(x, Direction::up); }

SoftExtended ldexp(SoftExtended x, int exponent) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::unsupported) return indefinite();
  if (u.kind == Kind::nan) return quieted(x);
  if (u.kind != Kind::finite) return x;
  // Beyond ±40000 every result is an infinity or zero already.
  const int scale = std::clamp(exponent, -40000, 40000);
  return round_pack(u.negative, u.significand, u.exponent - 63 + scale);
}

BinaryValue binary_value_of(SoftExtended x) {
  const Unpacked u = unpack(x);
  BinaryValue result;
  result.negative = u.negative;
  if (u.kind != Kind::finite) return result;
  result.low = u.significand;
  result.exponent = u.exponent - 63;
  return result;
}

}  // namespace vost
