// The software extended format against the processor's, bit for bit: every operation on a
// million operands (random bit patterns over the whole exponent range, and chosen ones: ties,
// the edges of the range, denormals, zeros, infinities, NaNs) must give the ten bytes the x87
// gives. Runs where long double is the x87's format.
#include "runtime/core/extended.h"

#if VOST_HARDWARE_EXTENDED

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using vost::SoftExtended;

constexpr int operand_count = 1'000'000;

// splitmix64: a fixed sequence on every run.
struct Random {
  uint64_t state = 0x5EED'0F'E87E'4DEDull;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

long double hardware(SoftExtended x) {
  return vost::extended_constant(x.significand(), x.sign_exponent());
}
SoftExtended software(long double x) {
  uint64_t significand;
  uint16_t sign_exponent;
  std::memcpy(&significand, &x, 8);
  std::memcpy(&sign_exponent, reinterpret_cast<const char*>(&x) + 8, 2);
  return SoftExtended::from_bits(significand, sign_exponent);
}
bool same(SoftExtended a, long double b) {
  const SoftExtended c = software(b);
  return a.significand() == c.significand() && a.sign_exponent() == c.sign_exponent();
}

// A value's bits (up to ten bytes), compared as they are and printed in hex on a mismatch.
struct Pattern {
  uint64_t low = 0;
  uint16_t high = 0;
  bool operator==(const Pattern&) const = default;
};
template <typename T>
Pattern hex_of(T value) {
  Pattern pattern;
  std::memcpy(&pattern.low, &value, std::min(sizeof value, size_t{8}));
  if constexpr (sizeof(T) > 8)
    std::memcpy(&pattern.high, reinterpret_cast<const char*>(&value) + 8, 2);
  return pattern;
}
Pattern hex(SoftExtended x) { return {x.significand(), x.sign_exponent()}; }
Pattern hex(long double x) { return hex(software(x)); }
std::ostream& operator<<(std::ostream& out, const Pattern& pattern) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%016llX", pattern.high,
                static_cast<unsigned long long>(pattern.low));
  return out << text;
}

// Chosen values: zeros, infinities, NaNs (quiet, signalling, the default one), denormals, the
// smallest and largest normals, ones and halves.
const SoftExtended chosen[] = {
    SoftExtended::from_bits(0, 0),
    SoftExtended::from_bits(0, 0x8000),
    SoftExtended::from_bits(1ull << 63, 0x7FFF),
    SoftExtended::from_bits(1ull << 63, 0xFFFF),
    SoftExtended::from_bits(0xC000000000000000, 0xFFFF),
    SoftExtended::from_bits(0xC000000000000001, 0x7FFF),
    SoftExtended::from_bits(0x8000000000000001, 0x7FFF),
    SoftExtended::from_bits(0xA000000000000000, 0xFFFF),
    SoftExtended::from_bits(0xC000000000000000, 0x7FFF),
    SoftExtended::from_bits(0xA000000000000000, 0x7FFF),
    SoftExtended::from_bits(0x8000000000000001, 0xFFFF),
    SoftExtended::from_bits(0xFFFFFFFFFFFFFFFF, 0x7FFF),
    SoftExtended::from_bits(1, 0),
    SoftExtended::from_bits(1, 0x8000),
    SoftExtended::from_bits(0x7FFFFFFFFFFFFFFF, 0),
    SoftExtended::from_bits(0x4000000000000000, 0x8000),
    SoftExtended::from_bits(1ull << 63, 1),
    SoftExtended::from_bits(0xFFFFFFFFFFFFFFFF, 0x7FFE),
    SoftExtended::from_bits(0xFFFFFFFFFFFFFFFF, 0xFFFE),
    SoftExtended::from_bits(1ull << 63, 0x3FFF),
    SoftExtended::from_bits(1ull << 63, 0x3FFE),
    SoftExtended::from_bits(0xC000000000000000, 0x3FFF),
    SoftExtended::from_bits(0x8000000000000001, 0x3FFF),
    SoftExtended::from_bits(0xFFFFFFFFFFFFFFFF, 0x3FFF),
    SoftExtended::from_bits(0x8000000000000400, 0x3FFF),  // a tie at double's precision
};

// A significand: random, with few bits set (exact ties in sums and products), or all ones.
uint64_t random_significand(Random& random) {
  switch (random.below(6)) {
    case 0:
      return 1ull << 63 | 1ull << random.below(63);
    case 1:
      return 1ull << 63 | random.next() >> random.below(64) << random.below(10);
    case 2:
      return ~0ull << random.below(12);
    default:
      return random.next() | 1ull << 63;
  }
}

// An operand: a chosen value, a random pattern anywhere, or one near zero's, the denormals' or
// the largest exponents; near_field (if not negative) draws most exponents close to it.
SoftExtended random_operand(Random& random, int near_field = -1) {
  const uint16_t sign = random.below(2) ? 0x8000 : 0;
  const uint64_t kind = random.below(32);
  if (kind == 0) return chosen[random.below(std::size(chosen))];
  if (kind == 1) return SoftExtended::from_bits(random.next(), sign);  // denormal
  if (kind == 2)
    return SoftExtended::from_bits(random.next(), static_cast<uint16_t>(random.next()));
  int field;
  if (near_field >= 0 && kind < 20) {
    field = std::clamp(near_field + static_cast<int>(random.below(141)) - 70, 1, 0x7FFE);
  } else if (kind < 24) {
    field = 1 + static_cast<int>(random.below(0x7FFE));
  } else if (kind < 27) {
    field = 1 + static_cast<int>(random.below(80));
  } else if (kind < 29) {
    field = 0x7FFE - static_cast<int>(random.below(80));
  } else {
    field = 0x3FFF - 70 + static_cast<int>(random.below(141));
  }
  return SoftExtended::from_bits(random_significand(random), static_cast<uint16_t>(sign | field));
}

// Runs a binary operation on operand pairs; the first mismatches are reported in hex.
template <typename Soft, typename Hard>
void check_binary(const char* name, Soft soft, Hard hard) {
  Random random;
  int failures = 0;
  // Every pair of chosen values first, then random pairs.
  constexpr int chosen_pairs = std::size(chosen) * std::size(chosen);
  for (int i = 0; i < chosen_pairs + operand_count && failures < 5; ++i) {
    const bool is_chosen = i < chosen_pairs;
    const SoftExtended a = is_chosen ? chosen[i / std::size(chosen)] : random_operand(random);
    const SoftExtended b = is_chosen ? chosen[i % std::size(chosen)]
                                     : random_operand(random, a.sign_exponent() & 0x7FFF);
    const volatile long double hard_a = hardware(a), hard_b = hardware(b);
    const long double expected = hard(hard_a, hard_b);
    const SoftExtended got = soft(a, b);
    if (!same(got, expected)) {
      ++failures;
      ADD_FAILURE() << name << " " << hex(a) << ", " << hex(b) << ": expected " << hex(expected)
                    << ", got " << hex(got);
    }
  }
}

TEST(SoftExtendedTest, ArithmeticMatchesTheProcessor) {
  check_binary(
      "+", [](SoftExtended a, SoftExtended b) { return a + b; },
      [](long double a, long double b) { return a + b; });
  check_binary(
      "-", [](SoftExtended a, SoftExtended b) { return a - b; },
      [](long double a, long double b) { return a - b; });
  check_binary(
      "*", [](SoftExtended a, SoftExtended b) { return a * b; },
      [](long double a, long double b) { return a * b; });
  check_binary(
      "/", [](SoftExtended a, SoftExtended b) { return a / b; },
      [](long double a, long double b) { return a / b; });
  check_binary(
      "-a", [](SoftExtended a, SoftExtended) { return -a; },
      [](long double a, long double) { return -a; });
}

TEST(SoftExtendedTest, ComparisonsMatchTheProcessor) {
  // The six results packed into one number, so one mismatch shows them all.
  auto pack = [](auto a, auto b) {
    return (a == b) | (a != b) << 1 | (a < b) << 2 | (a <= b) << 3 | (a > b) << 4 | (a >= b) << 5;
  };
  check_binary(
      "compare", [&](SoftExtended a, SoftExtended b) { return SoftExtended(pack(a, b)); },
      [&](long double a, long double b) { return static_cast<long double>(pack(a, b)); });
}

// Runs a unary operation on single operands drawn by make (the software and hardware values).
template <typename Make, typename Check>
void check_unary(const char* name, Make make, Check check) {
  Random random;
  int failures = 0;
  for (int i = 0; i < operand_count && failures < 5; ++i) {
    const auto [operand_text, expected, got] = check(make(random, i));
    if (expected != got) {
      ++failures;
      ADD_FAILURE() << name << " " << operand_text << ": expected " << expected << ", got " << got;
    }
  }
}

// An operand that is a chosen value for the first few, then random.
SoftExtended unary_operand(Random& random, int i) {
  return i < static_cast<int>(std::size(chosen)) ? chosen[i] : random_operand(random);
}

// Operands for conversions to integers: mostly in range of int64_t, some just out of it.
SoftExtended integer_operand(Random& random, int i) {
  if (i < static_cast<int>(std::size(chosen))) return chosen[i];
  const uint16_t sign = random.below(2) ? 0x8000 : 0;
  const auto field = static_cast<uint16_t>(0x3FFF - 3 + random.below(70));
  return SoftExtended::from_bits(random_significand(random), sign | field);
}

struct Outcome {
  Pattern operand, expected, got;
};

TEST(SoftExtendedTest, ConversionsMatchTheProcessor) {
  auto bits = [](uint64_t size_bits) {
    return [size_bits](Random& random, int) { return random.next() >> (64 - size_bits); };
  };
  check_unary("from int64", bits(64), [](uint64_t raw) {
    const auto value = static_cast<int64_t>(raw >> (raw & 63));
    return Outcome{hex_of(value), hex(static_cast<long double>(value)), hex(SoftExtended(value))};
  });
  check_unary("from uint64", bits(64), [](uint64_t raw) {
    const uint64_t value = raw >> (raw & 63);
    return Outcome{hex_of(value), hex(static_cast<long double>(value)), hex(SoftExtended(value))};
  });
  check_unary("from int", bits(32), [](uint64_t raw) {
    const auto value = static_cast<int>(raw);
    return Outcome{hex_of(value), hex(static_cast<long double>(value)), hex(SoftExtended(value))};
  });
  check_unary("from double", bits(64), [](uint64_t raw) {
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return Outcome{hex_of(value), hex(static_cast<long double>(value)), hex(SoftExtended(value))};
  });
  check_unary("from float", bits(32), [](uint64_t raw) {
    float value;
    const auto raw32 = static_cast<uint32_t>(raw);
    std::memcpy(&value, &raw32, sizeof value);
    return Outcome{hex_of(value), hex(static_cast<long double>(value)), hex(SoftExtended(value))};
  });
  check_unary("to double", unary_operand, [](SoftExtended x) {
    const volatile long double hard = hardware(x);
    return Outcome{hex(x), hex_of(static_cast<double>(hard)), hex_of(static_cast<double>(x))};
  });
  check_unary("to float", unary_operand, [](SoftExtended x) {
    const volatile long double hard = hardware(x);
    return Outcome{hex(x), hex_of(static_cast<float>(hard)), hex_of(static_cast<float>(x))};
  });
  check_unary("binary value", unary_operand, [](SoftExtended x) {
    // Finite values in the encodings the processor produces (no unnormals).
    const bool valid =
        vost::isfinite(x) && (x.significand() >> 63 || !(x.sign_exponent() & 0x7FFF));
    const BinaryValue expected = valid ? binary_value_of(hardware(x)) : BinaryValue{};
    const BinaryValue got = valid ? vost::binary_value_of(x) : BinaryValue{};
    auto pattern = [](const BinaryValue& v) {
      return Pattern{v.low ^ v.high, static_cast<uint16_t>(v.exponent * 2 + v.negative)};
    };
    return Outcome{hex(x), pattern(expected), pattern(got)};
  });
  // Truncating conversions to integer types, each as the compiled code converts.
  auto to_integer = [](const char* name, auto type) {
    using Integer = decltype(type);
    check_unary(name, integer_operand, [](SoftExtended x) {
      const volatile long double hard = hardware(x);
      return Outcome{hex(x), hex_of(static_cast<Integer>(hard)), hex_of(static_cast<Integer>(x))};
    });
  };
  to_integer("to int64", int64_t{});
  to_integer("to int32", int32_t{});
  to_integer("to int16", int16_t{});
  to_integer("to uint32", uint32_t{});
}

TEST(SoftExtendedTest, RoundingToIntegersMatchesTheCLibrary) {
  auto operand = [](Random& random, int i) {
    return random.below(2) ? integer_operand(random, i) : unary_operand(random, i);
  };
  auto outcome = [](SoftExtended x, long double expected, SoftExtended got) {
    return Outcome{hex(x), hex(expected), hex(got)};
  };
  check_unary("nearbyint", operand, [&](SoftExtended x) {
    return outcome(x, std::nearbyint(hardware(x)), vost::nearbyint(x));
  });
  check_unary("trunc", operand,
              [&](SoftExtended x) { return outcome(x, std::trunc(hardware(x)), vost::trunc(x)); });
  check_unary("floor", operand,
              [&](SoftExtended x) { return outcome(x, std::floor(hardware(x)), vost::floor(x)); });
  check_unary("ceil", operand,
              [&](SoftExtended x) { return outcome(x, std::ceil(hardware(x)), vost::ceil(x)); });
  check_unary("ldexp", operand, [&](SoftExtended x) {
    const int scale = static_cast<int>(x.significand() % 33000) - 16500;
    return outcome(x, std::ldexp(hardware(x), scale), vost::ldexp(x, scale));
  });
}

// A random decimal text "[-]d[.ddd]E[-]n": 1 to 40 digits, exponents everywhere (mostly inside
// the format's range, some near its ends, some at the ends of 64 bits).
std::string random_text(Random& random) {
  std::string text = random.below(2) ? "-" : "";
  const int digits = 1 + static_cast<int>(random.below(40));
  for (int i = 0; i < digits; ++i) {
    text += static_cast<char>('0' + random.below(10));
    if (i == 0 && digits > 1) text += '.';
  }
  int64_t exponent;
  switch (random.below(8)) {
    case 0:
      exponent = static_cast<int64_t>(random.below(60)) - 30;
      break;
    case 1:
      exponent = 4920 + static_cast<int64_t>(random.below(20));
      break;
    case 2:
      exponent = -4970 + static_cast<int64_t>(random.below(50));
      break;
    case 3:
      exponent = random.below(2) ? std::numeric_limits<int64_t>::min()
                                 : std::numeric_limits<int64_t>::max() - random.below(2);
      break;
    default:
      exponent = static_cast<int64_t>(random.below(9900)) - 4960;
      break;
  }
  return text + "E" + std::to_string(exponent);
}

// The exact text of the point halfway between a random extended value and the next one up
// (or, one time in three, that text one unit lower or higher in its last digit).
// The exact value as "d.dddE[-]n" (no trailing zeros), split at the "E".
struct ExactText {
  std::string mantissa, exponent;
};
ExactText exact_text(const BinaryValue& value) {
  // Digits enough for the exact value: its decimal places, less its leading zeros.
  const int places = std::max(-value.exponent, 0);
  const int precision = places + static_cast<int>((66 + value.exponent) * 0.302) + 2;
  static char buffer[13000];
  auto [end, ec] = decimal_scientific(buffer, buffer + sizeof buffer, value, precision);
  EXPECT_EQ(ec, std::errc{});
  const std::string text(buffer, end);
  const auto e = text.find('e');
  std::string mantissa = text.substr(0, e);
  mantissa.erase(mantissa.find_last_not_of('0') + 1);
  if (mantissa.back() == '.') mantissa.pop_back();
  const std::string exponent = text.substr(e + 1);
  return {mantissa, "E" + (exponent[0] == '-' ? exponent : exponent.substr(1))};
}

// The exact text of the point halfway between a random extended value and the next one up
// (or, one time in three, that text one unit lower or higher in its last digit).
std::string halfway_text(Random& random) {
  // Mostly everyday magnitudes (short texts), a few from anywhere in the range and a few
  // denormals (long texts, up to 11 521 digits).
  const uint64_t kind = random.below(64);
  const bool denormal = kind == 0;
  const uint64_t significand = random_significand(random) >> (denormal ? 1 + random.below(60) : 0);
  const int field = kind > 1 ? 0x3FFF - 200 + static_cast<int>(random.below(400))
                             : static_cast<int>(random.below(0x7FFF));
  BinaryValue midpoint;
  midpoint.high = significand >> 63;
  midpoint.low = significand << 1 | 1;
  midpoint.exponent = (denormal ? 1 : std::max(field, 1)) - 16383 - 64;
  midpoint.negative = random.below(2);
  ExactText text = exact_text(midpoint);
  const int adjust = static_cast<int>(random.below(3)) - 1;
  char& last = text.mantissa.back();
  if (adjust != 0 && last >= '1' && last <= '8') last = static_cast<char>(last + adjust);
  return text.mantissa + text.exponent;
}

// Texts at the edges: no digits, zeros, the ends of the range, and the point halfway between
// zero and the smallest denormal written with more digits than are ever needed (20 000 zeros,
// then a 1 that rounds it up, or nothing more: a tie that goes to zero).
std::vector<std::string> edge_texts() {
  std::vector<std::string> texts = {"-",
                                    "-E5",
                                    "0E0",
                                    "-0E5",
                                    "0.000E-99999",
                                    "1E-4951",
                                    "1.8225E-4951",
                                    "1.8226E-4951",
                                    "1.18973149535723176502E4932",
                                    "1.18973149535723176508E4932",
                                    "1.2E4932",
                                    "1E-9223372036854775808",
                                    "-1E9223372036854775807",
                                    "1.0000000000000000000000000000000000000001E0",
                                    "9.99999999999999999999999999999E-1"};
  const ExactText half_denormal = exact_text(BinaryValue{0, 1, -16446, false});
  const std::string zeros(20'000, '0');
  texts.push_back(half_denormal.mantissa + zeros + "1" + half_denormal.exponent);
  texts.push_back(half_denormal.mantissa + zeros + half_denormal.exponent);
  return texts;
}

TEST(SoftExtendedTest, DecimalTextReadsAsTheCLibraryReadsIt) {
  const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
  ASSERT_NE(c_locale, locale_t{});
  Random random;
  int failures = 0;
  const std::vector<std::string> edges = edge_texts();
  const int edge_count = static_cast<int>(edges.size());
  for (int i = 0; i < edge_count + 200'000 && failures < 5; ++i) {
    const std::string text = i < edge_count ? edges[i]
                             : i % 3 == 2   ? halfway_text(random)
                                            : random_text(random);
    const long double expected = strtold_l(text.c_str(), nullptr, c_locale);
    const SoftExtended got = vost::parse_decimal(text.data(), text.data() + text.size());
    if (!same(got, expected) ||
        !same(software(vost::extended_from_text(text.data(), text.data() + text.size())),
              expected)) {
      ++failures;
      const std::string shown =
          text.size() <= 100
              ? text
              : text.substr(0, 100) + "... (" + std::to_string(text.size()) + " characters)";
      ADD_FAILURE() << shown << ": expected " << hex(expected) << ", got " << hex(got);
    }
  }
  freelocale(c_locale);
}

// The distance in units in the last place between two finite values.
int64_t ulps_between(SoftExtended a, SoftExtended b) {
  auto line = [](SoftExtended x) {
    const int field = x.sign_exponent() & 0x7FFF;
    const uint64_t fraction = x.significand() & ~(1ull << 63);
    const auto key = static_cast<__int128>(field) << 63 | (field ? fraction : x.significand());
    return (x.sign_exponent() & 0x8000) ? -key : key;
  };
  const __int128 distance = line(a) - line(b);
  return static_cast<int64_t>(distance < 0 ? -distance : distance);
}

// Sine and cosine need not equal the C library's bit for bit (neither is correctly rounded in
// every case), but must stay within one ulp of it over the angles the runtime uses (|x| <= 2 pi
// and a little beyond), and mostly agree exactly; larger angles are reduced exactly as well.
TEST(SoftExtendedTest, SineAndCosineStayWithinAnUlpOfTheCLibrary) {
  struct Function {
    const char* name;
    SoftExtended (*soft)(SoftExtended);
    long double (*hard)(long double);
  };
  const Function functions[] = {{"sin", vost::sin, sinl}, {"cos", vost::cos, cosl}};
  for (const Function& function : functions) {
    Random random;
    int differing = 0, large_differing = 0;
    int64_t worst = 0;
    constexpr int count = 1'000'000;
    for (int i = 0; i < count; ++i) {
      const bool large = i % 16 == 15;  // up to 2^40, then some anywhere in the range
      const int field = large ? (i % 64 == 63 ? 0x4001 + static_cast<int>(random.below(0x3FFD))
                                              : 0x4002 + static_cast<int>(random.below(38)))
                              : 0x3FFF - 64 + static_cast<int>(random.below(66));
      const uint16_t sign = random.below(2) ? 0x8000 : 0;
      SoftExtended x =
          SoftExtended::from_bits(random.next() | 1ull << 63, static_cast<uint16_t>(sign | field));
      if (!large && vost::fabs(x) > SoftExtended(6.2831853071795864769)) x = x * SoftExtended(0.5);
      const long double expected = function.hard(hardware(x));
      const SoftExtended got = function.soft(x);
      const int64_t distance = ulps_between(got, software(expected));
      if (distance == 0) continue;
      ++(large ? large_differing : differing);
      if (!large) worst = std::max(worst, distance);
      if (distance > 1) {
        ADD_FAILURE() << function.name << " " << hex(x) << ": expected " << hex(expected)
                      << ", got " << hex(got);
      }
    }
    std::printf(
        "%s: %d of %d arguments within 2 pi differ from the C library (by %lld ulp at most), "
        "%d of %d larger ones\n",
        function.name, differing, count - count / 16, static_cast<long long>(worst),
        large_differing, count / 16);
    EXPECT_LE(differing, (count - count / 16) / 100);
  }
  // Chosen arguments: zeros, infinities and NaNs give what the C library gives.
  for (const SoftExtended x : chosen) {
    for (const Function& function : functions) {
      const long double expected = function.hard(hardware(x));
      const SoftExtended got = function.soft(x);
      EXPECT_TRUE(std::isfinite(expected) ? ulps_between(got, software(expected)) <= 1
                                          : same(got, expected))
          << function.name << " " << hex(x) << ": expected " << hex(expected) << ", got "
          << hex(got);
    }
  }
}

}  // namespace

#endif
