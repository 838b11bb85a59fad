// Exact decimal text of binary floating-point values: see decimal_text.h.
//
// The value significand × 2^exponent is split at the binary point. The integer part becomes
// chunks of 19 decimal digits by repeated division of its words by 10^19; the fraction, kept as a
// fixed-point number below 1 in whole words, gives the next 19 digits each time it is multiplied
// by 10^19 (the carry out of its top word). The writers pull the exact digits one after another,
// most significant first, up to the last digit they print and the first one they leave out; whether
// anything non-zero follows decides a tie. Every number's digits end after as many fraction digits
// as the fraction has bits, so long precisions cost no more than the exact value needs.
#include "runtime/core/decimal_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

__extension__ typedef unsigned __int128 uint128;

// Digits go in chunks of 19, the most a word holds: 10^19 is below 2^64 and at least 2^63.
constexpr uint64_t chunk_base = 10'000'000'000'000'000'000u;
constexpr int chunk_digits = 19;
constexpr int max_words = decimal_text_max_bits / 64;

enum class Form { scientific, fixed };

int bit_width(uint128 v) {
  const auto high = static_cast<uint64_t>(v >> 64);
  return high ? 64 + std::bit_width(high) : std::bit_width(static_cast<uint64_t>(v));
}

int trailing_zero_bits(uint128 v) {
  const auto low = static_cast<uint64_t>(v);
  return low ? std::countr_zero(low) : 64 + std::countr_zero(static_cast<uint64_t>(v >> 64));
}

// Word i of v × 2^shift: its bits 64i - shift up to 64i - shift + 63.
uint64_t word_of(uint128 v, int64_t shift, int i) {
  const int64_t bit = int64_t{64} * i - shift;
  if (bit >= 128 || bit <= -64) return 0;
  return bit >= 0 ? static_cast<uint64_t>(v >> bit) : static_cast<uint64_t>(v << -bit);
}

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void write_pair(uint32_t v, char* out) { std::memcpy(out, digit_pairs + 2 * v, 2); }

// Writes the 8 digits of v (below 10^8), leading zeros included.
void write_eight_digits(uint32_t v, char* out) {
  const uint32_t high = v / 10000;
  const uint32_t low = v % 10000;
  write_pair(high / 100, out);
  write_pair(high % 100, out + 2);
  write_pair(low / 100, out + 4);
  write_pair(low % 100, out + 6);
}

// Writes the 19 digits of a chunk (below 10^19), leading zeros included. Its three parts are
// independent of one another, so the processor works on them side by side.
void write_chunk(uint64_t v, char* out) {
  const uint64_t upper = v / 100'000'000;
  const auto low = static_cast<uint32_t>(v - upper * 100'000'000);
  const auto top = static_cast<uint32_t>(upper / 100'000'000);  // below 1000
  const auto middle = static_cast<uint32_t>(upper - uint64_t{top} * 100'000'000);
  out[0] = static_cast<char>('0' + top / 100);
  write_pair(top % 100, out + 1);
  write_eight_digits(middle, out + 3);
  write_eight_digits(low, out + 11);
}

int decimal_digit_count(uint64_t v) {
  static constexpr auto powers_of_ten = [] {
    std::array<uint64_t, 20> powers{1};
    for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
    return powers;
  }();
  // 1233 / 4096 is just above log10(2): the guess is the count or one more than it.
  const int guess = std::bit_width(v) * 1233 >> 12;
  return guess + 1 - (v < powers_of_ten[guess] ? 1 : 0);
}

// (high × 2^64 + low) / 10^19, with high below 10^19, and its remainder. A multiplication by a
// precomputed reciprocal replaces the division (Möller and Granlund, "Improved division by
// invariant integers", IEEE Transactions on Computers, 2011, algorithm 4); 10^19 is already
// normalised (its top bit is set).
uint64_t divide_by_chunk_base(uint64_t high, uint64_t low, uint64_t& remainder) {
  constexpr auto reciprocal = static_cast<uint64_t>(~uint128{0} / chunk_base - (uint128{1} << 64));
  const uint128 estimate =
      static_cast<uint128>(reciprocal) * high + (static_cast<uint128>(high) << 64 | low);
  auto quotient = static_cast<uint64_t>(estimate >> 64) + 1;
  uint64_t rest = low - quotient * chunk_base;
  if (rest > static_cast<uint64_t>(estimate)) {
    --quotient;
    rest += chunk_base;
  }
  if (rest >= chunk_base) {
    ++quotient;
    rest -= chunk_base;
  }
  remainder = rest;
  return quotient;
}

// The exact decimal digits of significand × 2^exponent, for values whose integer part and
// fraction each fit in Words words.
template <int Words>
class ExactDigits {
 public:
  ExactDigits(uint128 significand, int64_t exponent) {
    if (exponent >= 0) {
      // A whole number: its words go through the fraction's storage, which it does not need.
      const auto words = static_cast<int>((bit_width(significand) + exponent + 63) / 64);
      for (int i = 0; i < words; ++i) fraction_[i] = word_of(significand, exponent, i);
      split_integer(fraction_, words);
      return;
    }
    const int64_t fraction_bits = -exponent;
    const uint128 whole = fraction_bits < 128 ? significand >> fraction_bits : 0;
    uint64_t whole_words[2] = {static_cast<uint64_t>(whole), static_cast<uint64_t>(whole >> 64)};
    split_integer(whole_words, 2);
    // The fraction's bits, moved up so that its binary point falls after the top word.
    fraction_words_ = static_cast<int>((fraction_bits + 63) / 64);
    const int64_t shift = int64_t{64} * fraction_words_ - fraction_bits;
    for (int i = 0; i < fraction_words_; ++i) fraction_[i] = word_of(significand, shift, i);
    drop_zero_low_words();
  }

  // Digits before the point (0 when the value is below 1).
  int64_t integer_digits() const { return integer_digits_; }

  // The next digit; "0" once the exact digits are all taken.
  char next() {
    if (block_at_ == block_end_ && !refill()) return '0';
    return block_[block_at_++];
  }

  // The next count digits into out.
  void take(char* out, int64_t count) {
    while (count > 0) {
      if (block_at_ == block_end_ && !refill()) {
        std::memset(out, '0', static_cast<size_t>(count));
        return;
      }
      const int64_t n = std::min<int64_t>(count, block_end_ - block_at_);
      std::memcpy(out, block_ + block_at_, static_cast<size_t>(n));
      block_at_ += static_cast<int>(n);
      out += n;
      count -= n;
    }
  }

  // Whether a non-zero digit is still to come.
  bool rest_nonzero() const {
    for (int i = block_at_; i < block_end_; ++i)
      if (block_[i] != '0') return true;
    for (int i = 0; i < next_chunk_; ++i)
      if (chunks_[i] != 0) return true;
    return fraction_low_ < fraction_words_;
  }

  // Passes over the zeros after the point of a value below 1 and returns how many there were.
  int64_t skip_leading_zeros() {
    int64_t zeros = 0;
    for (;;) {
      while (block_at_ < block_end_) {
        if (block_[block_at_] != '0') return zeros;
        ++block_at_;
        ++zeros;
      }
      if (fraction_low_ == fraction_words_) return zeros;  // never for a non-zero value
      const uint64_t chunk = next_fraction_chunk();
      if (chunk == 0) {
        zeros += chunk_digits;
      } else {
        write_chunk(chunk, block_);
        block_at_ = 0;
        block_end_ = chunk_digits;
      }
    }
  }

 private:
  // Base-10^19 chunks of the integer words (least significant first), found by dividing the
  // words by 10^19 until nothing is left of them.
  void split_integer(uint64_t* words, int count) {
    while (count > 0 && words[count - 1] == 0) --count;
    if (count == 1) {
      chunks_[chunk_count_++] = words[0] % chunk_base;
      if (words[0] >= chunk_base) chunks_[chunk_count_++] = 1;
      count = 0;
    }
    while (count > 0) {
      uint64_t remainder = 0;
      for (int i = count - 1; i >= 0; --i)
        words[i] = divide_by_chunk_base(remainder, words[i], remainder);
      chunks_[chunk_count_++] = remainder;
      while (count > 0 && words[count - 1] == 0) --count;
    }
    next_chunk_ = chunk_count_;
    if (chunk_count_ > 0)
      integer_digits_ = decimal_digit_count(chunks_[chunk_count_ - 1]) +
                        int64_t{chunk_digits} * (chunk_count_ - 1);
  }

  void drop_zero_low_words() {
    while (fraction_low_ < fraction_words_ && fraction_[fraction_low_] == 0) ++fraction_low_;
  }

  // Multiplies the fraction by 10^19 and returns the whole part that leaves it: the next 19 digits.
  uint64_t next_fraction_chunk() {
    uint64_t carry = 0;
    for (int i = fraction_low_; i < fraction_words_; ++i) {
      const uint128 product = static_cast<uint128>(fraction_[i]) * chunk_base + carry;
      fraction_[i] = static_cast<uint64_t>(product);
      carry = static_cast<uint64_t>(product >> 64);
    }
    drop_zero_low_words();
    return carry;
  }

  // Fills the block with the next chunk's digits; false when no digit is left.
  bool refill() {
    if (next_chunk_ > 0) {
      --next_chunk_;
      write_chunk(chunks_[next_chunk_], block_);
      block_end_ = chunk_digits;
      // The top chunk starts at its first significant digit.
      block_at_ = next_chunk_ == chunk_count_ - 1
                      ? chunk_digits - decimal_digit_count(chunks_[next_chunk_])
                      : 0;
      return true;
    }
    if (fraction_low_ == fraction_words_) return false;
    write_chunk(next_fraction_chunk(), block_);
    block_at_ = 0;
    block_end_ = chunk_digits;
    return true;
  }

  // Decimal digits of a number below 2^(64 × Words), in chunks of 19, with room to spare.
  static constexpr int chunk_capacity = (Words * 64 * 30103 / 100000 + 1) / chunk_digits + 2;

  uint64_t chunks_[chunk_capacity];
  int chunk_count_ = 0;
  int64_t integer_digits_ = 0;
  int next_chunk_ = 0;  // chunks_[next_chunk_ - 1] is the next one to write out
  uint64_t fraction_[Words];
  int fraction_low_ = 0;  // the words below it are zero
  int fraction_words_ = 0;
  char block_[chunk_digits];
  int block_at_ = 0;
  int block_end_ = 0;
};

// Whether the digits kept end one unit higher: the first digit left out is above 5, or 5 with
// anything non-zero after it, or exactly 5 after an odd digit (a tie goes to the even digit).
template <typename Digits>
bool rounds_up(Digits& digits, char last_kept) {
  const char first_left_out = digits.next();
  if (first_left_out != '5') return first_left_out > '5';
  return (last_kept - '0') % 2 == 1 || digits.rest_nonzero();
}

// Adds one unit at the last digit of [lead, end), passing over the point; true when the carry
// leaves the first digit (all nines, now zeros).
bool carry_into(char* lead, char* end) {
  while (end != lead) {
    --end;
    if (*end == '.') continue;
    if (*end != '9') {
      ++*end;
      return false;
    }
    *end = '0';
  }
  return true;
}

// "e", the exponent's sign and its digits (at least two); nullptr when they do not fit.
char* write_exponent(char* out, char* last, int64_t exponent) {
  uint64_t magnitude = exponent < 0 ? uint64_t{0} - static_cast<uint64_t>(exponent)
                                    : static_cast<uint64_t>(exponent);
  const int count = std::max(2, decimal_digit_count(magnitude));
  if (last - out < count + 2) return nullptr;
  out[0] = 'e';
  out[1] = exponent < 0 ? '-' : '+';
  for (int at = count + 1; at >= 2; --at, magnitude /= 10)
    out[at] = static_cast<char>('0' + magnitude % 10);
  return out + 2 + count;
}

constexpr std::to_chars_result too_large(char* last) { return {last, std::errc::value_too_large}; }

// Length of a mantissa or fixed text: sign, digits before the point, point and decimals.
int64_t text_length(bool negative, int64_t integer_digits, int precision) {
  return (negative ? 1 : 0) + integer_digits + (precision > 0 ? int64_t{precision} + 1 : 0);
}

template <typename Digits>
std::to_chars_result write_scientific(char* first, char* last, Digits& digits, bool negative,
                                      int precision) {
  // The shortest exponent, "e+00", must fit as well.
  if (text_length(negative, 1, precision) + 4 > last - first) return too_large(last);
  char* out = first;
  if (negative) *out++ = '-';
  int64_t exponent = digits.integer_digits() - 1;
  if (digits.integer_digits() == 0) exponent = -1 - digits.skip_leading_zeros();
  char* const lead = out;
  *out++ = digits.next();
  if (precision > 0) {
    *out++ = '.';
    digits.take(out, precision);
    out += precision;
  }
  if (rounds_up(digits, out[-1]) && carry_into(lead, out)) {
    *lead = '1';  // 9.99 became 10.0: the digits after the carry are already zeros
    ++exponent;
  }
  out = write_exponent(out, last, exponent);
  return out ? std::to_chars_result{out, std::errc{}} : too_large(last);
}

template <typename Digits>
std::to_chars_result write_fixed(char* first, char* last, Digits& digits, bool negative,
                                 int precision) {
  const int64_t integer_digits = std::max<int64_t>(digits.integer_digits(), 1);
  if (text_length(negative, integer_digits, precision) > last - first) return too_large(last);
  char* out = first;
  if (negative) *out++ = '-';
  char* const lead = out;
  if (digits.integer_digits() == 0)
    *out++ = '0';
  else
    digits.take(out, integer_digits);
  out = lead + integer_digits;
  if (precision > 0) {
    *out++ = '.';
    digits.take(out, precision);
    out += precision;
  }
  if (rounds_up(digits, out[-1]) && carry_into(lead, out)) {
    // 99.9 became 00.0: one more digit in front.
    if (out == last) return too_large(last);
    std::memmove(lead + 1, lead, static_cast<size_t>(out - lead));
    *lead = '1';
    ++out;
  }
  return {out, std::errc{}};
}

std::to_chars_result write_zero(char* first, char* last, bool negative, Form form, int precision) {
  const int64_t length = text_length(negative, 1, precision) + (form == Form::scientific ? 4 : 0);
  if (length > last - first) return too_large(last);
  char* out = first;
  if (negative) *out++ = '-';
  *out++ = '0';
  if (precision > 0) {
    *out++ = '.';
    std::memset(out, '0', static_cast<size_t>(precision));
    out += precision;
  }
  if (form == Form::scientific) {
    std::memcpy(out, "e+00", 4);
    out += 4;
  }
  return {out, std::errc{}};
}

template <int Words>
std::to_chars_result write_with(char* first, char* last, uint128 significand, int64_t exponent,
                                bool negative, Form form, int precision) {
  ExactDigits<Words> digits(significand, exponent);
  return form == Form::scientific ? write_scientific(first, last, digits, negative, precision)
                                  : write_fixed(first, last, digits, negative, precision);
}

// Picks the smallest working storage that holds the value's integer part and fraction.
std::to_chars_result write_value(char* first, char* last, const BinaryValue& value, Form form,
                                 int precision) {
  if (precision < 0) precision = 6;
  uint128 significand = static_cast<uint128>(value.high) << 64 | value.low;
  if (significand == 0) return write_zero(first, last, value.negative, form, precision);
  const int zeros = trailing_zero_bits(significand);
  significand >>= zeros;
  const int64_t exponent = int64_t{value.exponent} + zeros;
  const int64_t top_bit = exponent + bit_width(significand);  // the value is below 2^top_bit
  if (exponent < -decimal_text_max_bits || top_bit > decimal_text_max_bits)
    return {last, std::errc::invalid_argument};
  const int64_t words =
      exponent >= 0 ? (top_bit + 63) / 64 : std::max<int64_t>((63 - exponent) / 64, 2);
  if (words <= 4)
    return write_with<4>(first, last, significand, exponent, value.negative, form, precision);
  if (words <= 18)
    return write_with<18>(first, last, significand, exponent, value.negative, form, precision);
  return write_with<max_words>(first, last, significand, exponent, value.negative, form, precision);
}

// Infinities and NaNs, as std::to_chars names them.
std::to_chars_result write_non_finite(char* first, char* last, bool negative, bool nan) {
  if (last - first < (negative ? 4 : 3)) return too_large(last);
  if (negative) *first++ = '-';
  std::memcpy(first, nan ? "nan" : "inf", 3);
  return {first + 3, std::errc{}};
}

template <typename Float>
std::to_chars_result write_float(char* first, char* last, Float value, Form form, int precision) {
  if (!std::isfinite(value))
    return write_non_finite(first, last, std::signbit(value), std::isnan(value));
  return write_value(first, last, binary_value_of(value), form, precision);
}

}  // namespace

BinaryValue binary_value_of(double value) {
  static_assert(std::numeric_limits<double>::is_iec559, "double is IEEE binary64");
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  BinaryValue result;
  result.negative = bits >> 63;
  const auto biased_exponent = static_cast<int>(bits >> 52 & 0x7ff);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  // Subnormals have no hidden bit and the exponent of the smallest normal numbers.
  result.low = biased_exponent ? fraction | uint64_t{1} << 52 : fraction;
  result.exponent = (biased_exponent ? biased_exponent : 1) - 1075;
  return result;
}

BinaryValue binary_value_of(long double value) {
  constexpr int digits = std::numeric_limits<long double>::digits;
  static_assert(std::numeric_limits<long double>::radix == 2 && digits <= 128);
  BinaryValue result;
  result.negative = std::signbit(value);
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(value), &exponent);  // in [0.5, 1) or 0
  if (fraction == 0) return result;
  // Scaling by powers of two and taking whole parts are exact on every binary format.
  const long double significand = std::ldexp(fraction, digits);
  const long double high = std::floor(std::ldexp(significand, -64));
  result.high = static_cast<uint64_t>(high);
  result.low = static_cast<uint64_t>(significand - std::ldexp(high, 64));
  result.exponent = exponent - digits;
  return result;
}

std::to_chars_result decimal_scientific(char* first, char* last, const BinaryValue& value,
                                        int precision) {
  return write_value(first, last, value, Form::scientific, precision);
}
std::to_chars_result decimal_scientific(char* first, char* last, double value, int precision) {
  return write_float(first, last, value, Form::scientific, precision);
}
std::to_chars_result decimal_scientific(char* first, char* last, long double value, int precision) {
  return write_float(first, last, value, Form::scientific, precision);
}

std::to_chars_result decimal_fixed(char* first, char* last, const BinaryValue& value,
                                   int precision) {
  return write_value(first, last, value, Form::fixed, precision);
}
std::to_chars_result decimal_fixed(char* first, char* last, double value, int precision) {
  return write_float(first, last, value, Form::fixed, precision);
}
std::to_chars_result decimal_fixed(char* first, char* last, long double value, int precision) {
  return write_float(first, last, value, Form::fixed, precision);
}
