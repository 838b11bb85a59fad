// Decimal text to the extended format, correctly rounded: the software type's exact reading,
// and the C library's reading for the hardware's long double.
//
// parse_decimal works on the exact value digits × 10^exponent. Everyday texts (up to 19
// significant digits and exponents within ±27) take one 128-bit product or quotient. The others
// take big integers on the stack: the digits times a power of five for positive exponents, or the
// digits divided by a power of five, to 68 quotient bits and a sticky remainder, for negative ones.
// Digits beyond the 11600th only count as "not zero": no value halfway between two extended
// numbers has more than 11515 significant digits, so they cannot change a rounding.
#include <locale.h>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/core/extended.h"
#include "runtime/core/soft_extended_internal.h"

namespace vost {

using namespace soft_extended_detail;

namespace {

constexpr int max_significant_digits = 11600;
// Enough 64-bit words for 11601 digits (38 538 bits) and for 5^16552 (38 433 bits), with room.
constexpr int big_capacity = 640;

// A non-negative integer of up to big_capacity words, lowest word first.
struct BigInt {
  int size = 0;
  uint64_t words[big_capacity];

  void multiply_add(uint64_t factor, uint64_t addend) {
    uint64_t carry = addend;
    for (int i = 0; i < size; ++i) {
      const uint128 product = uint128{words[i]} * factor + carry;
      words[i] = static_cast<uint64_t>(product);
      carry = static_cast<uint64_t>(product >> 64);
    }
    if (carry) words[size++] = carry;
  }
  int bit_length() const { return size ? size * 64 - std::countl_zero(words[size - 1]) : 0; }
  void shift_left(int bits) {
    const int whole = bits / 64, part = bits % 64;
    if (size == 0) return;
    words[size] = 0;
    for (int i = size; i >= 0; --i) {
      const uint64_t high = words[i] << part;
      const uint64_t low = part && i > 0 ? words[i - 1] >> (64 - part) : 0;
      if (i + whole < big_capacity) words[i + whole] = high | low;
    }
    std::fill(words, words + whole, 0);
    size += whole + 1;
    trim();
  }
  void trim() {
    while (size > 0 && words[size - 1] == 0) --size;
  }
  bool at_least(const BigInt& other) const {
    if (size != other.size) return size > other.size;
    for (int i = size - 1; i >= 0; --i) {
      if (words[i] != other.words[i]) return words[i] > other.words[i];
    }
    return true;
  }
  void subtract(const BigInt& other) {  // *this >= other
    uint64_t borrow = 0;
    for (int i = 0; i < size; ++i) {
      const uint64_t subtrahend = i < other.size ? other.words[i] : 0;
      const uint64_t difference = words[i] - subtrahend - borrow;
      borrow = (words[i] < subtrahend) || (words[i] - subtrahend < borrow);
      words[i] = difference;
    }
    trim();
  }
  // The top 128 bits, with any lower bit that is set folded into the lowest; and their scale.
  uint128 top_bits(int& scale) const {
    const int length = bit_length();
    scale = std::max(length - 128, 0);
    uint128 top = 0;
    for (int bit = length - 1; bit >= scale && bit >= 0;) {
      // Take whole words where possible.
      const int word = bit / 64;
      const int low_bit = std::max(word * 64, scale);
      const int count = bit - low_bit + 1;
      const uint64_t piece = (words[word] >> (low_bit - word * 64)) &
                             (count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1);
      top = top << count | piece;
      bit = low_bit - 1;
    }
    bool sticky = false;
    for (int i = 0; i < scale / 64 && !sticky; ++i) sticky = words[i] != 0;
    if (scale % 64) sticky = sticky || (words[scale / 64] & ((uint64_t{1} << (scale % 64)) - 1));
    return top | uint128{sticky};
  }
};

// 10^(2^j) and 10^-(2^j) for j = 0..12, rounded to 128 bits: {high, low word, exponent}.
struct PowerOfTen {
  uint64_t high, low;
  int exponent;
  Wide wide() const { return {uint128{high} << 64 | low, exponent}; }
};
constexpr PowerOfTen powers_of_ten[13][2] = {
    {{0xA000000000000000, 0x0000000000000000, 3}, {0xCCCCCCCCCCCCCCCC, 0xCCCCCCCCCCCCCCCD, -4}},
    {{0xC800000000000000, 0x0000000000000000, 6}, {0xA3D70A3D70A3D70A, 0x3D70A3D70A3D70A4, -7}},
    {{0x9C40000000000000, 0x0000000000000000, 13}, {0xD1B71758E219652B, 0xD3C36113404EA4A9, -14}},
    {{0xBEBC200000000000, 0x0000000000000000, 26}, {0xABCC77118461CEFC, 0xFDC20D2B36BA7C3D, -27}},
    {{0x8E1BC9BF04000000, 0x0000000000000000, 53}, {0xE69594BEC44DE15B, 0x4C2EBE687989A9B4, -54}},
    {{0x9DC5ADA82B70B59D, 0xF020000000000000, 106}, {0xCFB11EAD453994BA, 0x67DE18EDA5814AF2, -107}},
    {{0xC2781F49FFCFA6D5, 0x3CBF6B71C76B25FB, 212}, {0xA87FEA27A539E9A5, 0x3F2398D747B36224, -213}},
    {{0x93BA47C980E98CDF, 0xC66F336C36B10137, 425}, {0xDDD0467C64BCE4A0, 0xAC7CB3F6D05DDBDF, -426}},
    {{0xAA7EEBFB9DF9DE8D, 0xDDBB901B98FEEAB8, 850}, {0xC0314325637A1939, 0xFA911155FEFB5309, -851}},
    {{0xE319A0AEA60E91C6, 0xCC655C54BC5058F9, 1700},
     {0x9049EE32DB23D21C, 0x7132D332E3F204D5, -1701}},
    {{0xC976758681750C17, 0x650D3D28F18B50CE, 3401},
     {0xA2A682A5DA57C0BD, 0x87A601586BD3F699, -3402}},
    {{0x9E8B3B5DC53D5DE4, 0xA74D28CE329ACE52, 6803},
     {0xCEAE534F34362DE4, 0x492512D4F2EAD2CC, -6804}},
    {{0xC46052028A20979A, 0xC94C153F804A4A92, 13606},
     {0xA6DD04C8D2CE9FDE, 0x2DE38123A1C3CFFC, -13607}},
};

// integer × 10^exponent (|exponent| < 8192) from at most 14 rounded products: off by less than
// 2^-122 of the value. The result when both ends of that margin round alike, else nothing.
std::optional<SoftExtended> approximate_value(bool negative, uint128 integer, int exponent) {
  const int shift = countl_zero128(integer);
  Wide value{integer << shift, 127 - shift};
  const unsigned magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  for (int j = 0; j < 13; ++j) {
    if (magnitude >> j & 1) value = multiply(value, powers_of_ten[j][exponent < 0].wide());
  }
  constexpr uint128 margin = 1024;  // units of the significand's 127th bit, 32 times the error
  const uint128 halved = value.significand >> 1;
  const SoftExtended low = round_pack(negative, halved - margin, value.exponent - 126);
  const SoftExtended high = round_pack(negative, halved + margin, value.exponent - 126);
  if (low.significand() != high.significand() || low.sign_exponent() != high.sign_exponent()) {
    return std::nullopt;
  }
  return low;
}

constexpr uint64_t pow5_27 = 7450580596923828125ull;  // 5^27, the largest power in 64 bits

uint64_t power_of_five(int k) {
  uint64_t power = 1;
  while (k-- > 0) power *= 5;
  return power;
}

void set_power_of_five(BigInt& big, int64_t k) {
  big.size = 1;
  big.words[0] = 1;
  for (; k >= 27; k -= 27) big.multiply_add(pow5_27, 0);
  big.multiply_add(power_of_five(static_cast<int>(k)), 0);
}

// digits × 10^exponent from big integers, for the texts the quick path cannot take.
SoftExtended big_value(bool negative, const char* digits, int count, bool more, int64_t exponent) {
  static thread_local BigInt value, divisor;
  value.size = 0;
  for (int i = 0; i < count;) {
    uint64_t chunk = 0, scale = 1;
    for (int j = 0; j < 19 && i < count; ++j, ++i) {
      chunk = chunk * 10 + static_cast<uint64_t>(digits[i] - '0');
      scale *= 10;
    }
    value.multiply_add(scale, chunk);
  }
  if (more) {  // the digits left off stand as one more non-zero digit
    value.multiply_add(10, 1);
    --exponent;
  }
  if (exponent >= 0) {
    for (int64_t k = exponent; k > 0; k -= std::min<int64_t>(k, 27)) {
      value.multiply_add(power_of_five(static_cast<int>(std::min<int64_t>(k, 27))), 0);
    }
    int scale = 0;
    const uint128 top = value.top_bits(scale);
    return round_pack(negative, top, scale + static_cast<int>(exponent));
  }
  // value / 5^k × 2^-k: both brought to the same length, then 68 quotient bits.
  const int64_t k = -exponent;
  set_power_of_five(divisor, k);
  const int length_difference = value.bit_length() - divisor.bit_length();
  if (length_difference > 0) divisor.shift_left(length_difference);
  if (length_difference < 0) value.shift_left(-length_difference);
  uint128 quotient = 0;
  for (int i = 0; i < 68; ++i) {
    quotient <<= 1;
    if (value.at_least(divisor)) {
      value.subtract(divisor);
      quotient |= 1;
    }
    value.shift_left(1);
  }
  const bool sticky = value.size != 0;
  return round_pack(negative, quotient << 1 | uint128{sticky},
                    length_difference - 67 - 1 - static_cast<int>(k));
}

}  // namespace

SoftExtended parse_decimal(const char* first, const char* last) {
  const char* p = first;
  bool negative = false;
  if (p != last && (*p == '-' || *p == '+')) negative = *p++ == '-';
  // The significant digits (leading zeros skipped), where they start, and how many follow the
  // point; trailing zeros are counted off later.
  const char* digits_begin = nullptr;
  int64_t fraction_digits = 0;
  int64_t significant = 0;
  bool in_fraction = false, any_digit = false;
  for (; p != last; ++p) {
    if (*p == '.' && !in_fraction) {
      in_fraction = true;
      continue;
    }
    if (*p < '0' || *p > '9') break;
    any_digit = true;
    if (in_fraction) ++fraction_digits;
    if (!digits_begin && *p == '0') continue;
    if (!digits_begin) digits_begin = p;
    ++significant;
  }
  const char* digits_end = p;
  // The exponent, saturated far beyond any value's reach.
  int64_t exponent = 0;
  if (p != last && (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd')) {
    ++p;
    bool exponent_negative = false;
    if (p != last && (*p == '-' || *p == '+')) exponent_negative = *p++ == '-';
    constexpr int64_t saturation = int64_t{1} << 50;
    for (; p != last && *p >= '0' && *p <= '9'; ++p) {
      exponent = std::min(exponent * 10 + (*p - '0'), saturation);
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (!any_digit) return SoftExtended();  // no number at all: +0, as strtold gives
  const SoftExtended zero = SoftExtended::from_bits(0, negative ? SoftExtended::sign_mask : 0);
  if (!digits_begin) return zero;
  // Copy the significant digits without the point, up to the limit; drop trailing zeros.
  char digits[max_significant_digits];
  int count = 0;
  bool more = false;
  int64_t dropped = 0;  // significant digits not copied
  for (const char* q = digits_begin; q != digits_end; ++q) {
    if (*q == '.') continue;
    if (count < max_significant_digits) {
      digits[count++] = *q;
    } else {
      more = more || *q != '0';
      ++dropped;
    }
  }
  while (!more && count > 0 && digits[count - 1] == '0') {
    --count;
    ++dropped;
  }
  // value = digits × 10^decimal_exponent
  const int64_t decimal_exponent = exponent - fraction_digits + dropped;
  // Beyond the format: below half the smallest denormal (about 1.8e-4951), or at least 10^4933.
  if (decimal_exponent + count <= -4951) return zero;
  if (decimal_exponent + count - 1 >= 4933) return infinity(negative);
  if (count <= 19 && decimal_exponent >= -27 && decimal_exponent <= 27) {
    uint64_t integer = 0;
    for (int i = 0; i < count; ++i) integer = integer * 10 + static_cast<uint64_t>(digits[i] - '0');
    const int e = static_cast<int>(decimal_exponent);
    if (e >= 0) return round_pack(negative, uint128{integer} * power_of_five(e), e);
    const int shift = countl_zero128(integer);
    const uint128 dividend = uint128{integer} << shift;
    const uint64_t divisor = power_of_five(-e);
    const uint128 quotient = dividend / divisor;
    const bool sticky = dividend % divisor != 0;
    return round_pack(negative, quotient << 1 | uint128{sticky}, e - shift - 1);
  }
  if (count <= 38) {  // below 2^127
    uint128 integer = 0;
    for (int i = 0; i < count; ++i) integer = integer * 10 + static_cast<uint64_t>(digits[i] - '0');
    const auto value = approximate_value(negative, integer, static_cast<int>(decimal_exponent));
    if (value) return *value;
  }
  return big_value(negative, digits, count, more, decimal_exponent);
}

#if VOST_HARDWARE_EXTENDED

namespace {
// The "C" locale object, made once (null should that fail: then the program's own locale reads,
// and the text has no separator but the point, which every locale the runtime runs in reads alike).
locale_t c_locale() {
  static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
  return locale;
}
}  // namespace

long double extended_from_text(const char* first, const char* last) {
  // The C library reads a terminated text: a copy on the stack, or on the heap for long ones.
  const auto length = static_cast<size_t>(last - first);
  char short_text[128];
  std::string long_text;
  const char* text = short_text;
  if (length < sizeof short_text) {
    std::copy(first, last, short_text);
    short_text[length] = '\0';
  } else {
    long_text.assign(first, last);
    text = long_text.c_str();
  }
  const locale_t locale = c_locale();
  return locale ? strtold_l(text, nullptr, locale) : std::strtold(text, nullptr);
}
#endif

}  // namespace vost
