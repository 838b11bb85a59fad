#include "runtime/core/decimal_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

enum class Form { scientific, fixed };

constexpr size_t text_capacity = 6000;  // LDBL_MAX with 255 decimals

// The C library's "%.*e", "%.*f", "%.*Le" or "%.*Lf" (the tests run in the "C" locale).
template <typename Float>
std::string_view reference(Float value, int precision, Form form, char (&text)[text_capacity]) {
  constexpr bool wide = std::is_same_v<Float, long double>;
  const char* format =
      form == Form::scientific ? (wide ? "%.*Le" : "%.*e") : (wide ? "%.*Lf" : "%.*f");
  const int length = std::snprintf(text, text_capacity, format, precision, value);
  return {text, static_cast<size_t>(length)};
}

// Compares both forms; true when they match, with a failure naming the value otherwise.
template <typename Float>
bool matches_printf(Float value, int precision, Form form) {
  char mine[text_capacity];
  char theirs[text_capacity];
  const auto [end, ec] = form == Form::scientific
                             ? decimal_scientific(mine, mine + text_capacity, value, precision)
                             : decimal_fixed(mine, mine + text_capacity, value, precision);
  const std::string_view actual(mine, ec == std::errc{} ? static_cast<size_t>(end - mine) : 0);
  if (actual == reference(value, precision, form, theirs)) return true;
  ADD_FAILURE() << (form == Form::scientific ? "scientific" : "fixed") << " precision " << precision
                << " of " << std::string(reference(value, 40, Form::scientific, theirs))
                << "\n  ours:   " << actual
                << "\n  printf: " << std::string(reference(value, precision, form, theirs));
  return false;
}

template <typename Float>
bool matches_printf(Float value, int precision) {
  return matches_printf(value, precision, Form::scientific) &&
         matches_printf(value, precision, Form::fixed);
}

const int chosen_precisions[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                 10, 11, 12, 13, 14, 15, 16, 17, 30, 255};

// Ties (0.125, 2.5, 0.5 at every precision around them), nines that carry into a new power of
// ten, the ends of each format and the powers of two and ten between.
TEST(DecimalText, ChosenValuesMatchPrintf) {
  std::vector<double> doubles = {0.0, 0.125, 0.375, 0.5, 1.5, 2.5, 3.5, 9.5, 0.05, 0.15, 0.25};
  doubles.insert(doubles.end(), {9.96, 99.95, 0.996, 999999.5, 123456.75, 0.1, 1e15, 1e16, 1e17});
  // 2^53 + 1 (rounded to 2^53) and 2^64 among them.
  doubles.insert(doubles.end(), {DBL_MAX, DBL_MIN, DBL_TRUE_MIN, DBL_EPSILON, 1e23,
                                 9007199254740993.0, 18446744073709551616.0});
  for (int e = -1074; e <= 1023; e += 7) doubles.push_back(std::ldexp(1.0, e));
  for (int e = -323; e <= 308; e += 3) doubles.push_back(std::pow(10.0, e));
  for (double x : doubles)
    for (int p : chosen_precisions)
      if (!matches_printf(x, p) || !matches_printf(-x, p)) return;

  // Long double's whole range; the fixed form of its large values only at a few precisions (each
  // has thousands of digits).
  const long double smallest = std::numeric_limits<long double>::denorm_min();
  std::vector<long double> extended = {0.125L, 2.5L, 0.1L, 9.995L, 1e4000L, DBL_TRUE_MIN};
  extended.insert(extended.end(), {LDBL_MAX, LDBL_MIN, LDBL_EPSILON, smallest});
  for (int e = -16440; e <= 16380; e += 997) extended.push_back(std::ldexp(1.0L, e));
  for (int e = -4900; e <= 4900; e += 301) extended.push_back(std::pow(10.0L, e));
  for (long double x : extended)
    for (int p : chosen_precisions) {
      const bool fixed = std::fabs(x) < 1e40L || p == 0 || p == 255;
      if (!matches_printf(x, p, Form::scientific) || (fixed && !matches_printf(-x, p, Form::fixed)))
        return;
    }
}

// Random bit patterns over the whole range, everyday magnitudes, and exact ties m / 2^n, whose
// last digit is a 5 that the rounding must send to the even digit.
TEST(DecimalText, RandomValuesMatchPrintf) {
  std::mt19937_64 random(1107);
  std::uniform_int_distribution<int> short_precision(0, 17);
  for (int i = 0; i < 60000; ++i) {
    const uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    const int precision = i % 50 == 0 ? 255 : short_precision(random);
    if (!matches_printf(x, precision, Form::scientific)) return;
    if (std::fabs(x) < 1e40 && !matches_printf(x, precision, Form::fixed)) return;
  }
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> decimal_exponent(-12, 18);
  for (int i = 0; i < 60000; ++i) {
    const double x = mantissa(random) * std::pow(10.0, decimal_exponent(random));
    if (!matches_printf(i % 2 ? -x : x, short_precision(random))) return;
  }
  for (int i = 0; i < 60000; ++i) {
    const int fraction_bits = 1 + static_cast<int>(random() % 60);
    const double x = std::ldexp(static_cast<double>(random() >> 11 | 1), -fraction_bits);
    char text[text_capacity];
    std::string digits(reference(x, fraction_bits, Form::fixed, text));
    digits.erase(digits.find('.'), 1);
    const auto significant = static_cast<int>(digits.size() - digits.find_first_not_of('0'));
    if (!matches_printf(x, fraction_bits - 1, Form::fixed) ||
        !matches_printf(x, std::max(significant - 2, 0), Form::scientific))
      return;
  }
  std::uniform_int_distribution<int> binary_exponent(-16445 - 63, 16383 - 63);
  for (int i = 0; i < 20000; ++i) {
    const long double x = std::ldexp(static_cast<long double>(random()), binary_exponent(random));
    const int precision = i % 100 == 0 ? 255 : short_precision(random);
    if (!matches_printf(x, precision, Form::scientific)) return;
    if (std::fabs(x) < 1e40L && !matches_printf(x, precision, Form::fixed)) return;
  }
}

std::string text_of(std::to_chars_result result, const char* first) {
  if (result.ec != std::errc{}) return "(failed)";
  return std::string(first, static_cast<const char*>(result.ptr));
}

// Significands wider than any double: whole numbers against their own decimal digits, and the
// same value split differently between the two words.
TEST(DecimalText, WideSignificandsAreExact) {
  __extension__ typedef unsigned __int128 uint128;
  std::mt19937_64 random(3);
  const auto decimal = [](uint128 v) {
    std::string digits;
    do digits.insert(digits.begin(), static_cast<char>('0' + v % 10));
    while ((v /= 10) != 0);
    return digits;
  };
  char text[200];
  for (int i = 0; i < 2000; ++i) {
    const uint128 wide = static_cast<uint128>(random()) << 64 | random() | 1;
    BinaryValue value{static_cast<uint64_t>(wide >> 64), static_cast<uint64_t>(wide), 0, false};
    ASSERT_EQ(text_of(decimal_fixed(text, text + sizeof text, value, 3), text),
              decimal(wide) + ".000");
    // wide × 2^-70 has exactly 70 decimals, the last a 5, after the whole part wide >> 70.
    value.exponent = -70;
    const std::string exact = text_of(decimal_fixed(text, text + sizeof text, value, 80), text);
    ASSERT_EQ(exact, decimal(wide >> 70) + exact.substr(exact.find('.'), 71) + "0000000000");
    ASSERT_EQ(exact[exact.size() - 11], '5');
    // The same value with its bits moved between the words.
    const uint128 narrow = wide >> 16;
    value = {static_cast<uint64_t>(narrow >> 64), static_cast<uint64_t>(narrow), -70, false};
    const BinaryValue shifted{static_cast<uint64_t>(narrow >> 48),
                              static_cast<uint64_t>(narrow << 16), -86, false};
    ASSERT_EQ(text_of(decimal_scientific(text, text + sizeof text, shifted, 40), text),
              text_of(decimal_scientific(text, text + sizeof text, value, 40), text));
  }
  // A 113-bit significand, as a quad long double has: (2^113 - 1) × 2^-1 ends in .5.
  const BinaryValue quad{(uint64_t{1} << 49) - 1, ~uint64_t{0}, -1, true};
  EXPECT_EQ(text_of(decimal_fixed(text, text + sizeof text, quad, 1), text),
            "-5192296858534827628530496329220095.5");
  EXPECT_EQ(text_of(decimal_fixed(text, text + sizeof text, quad, 0), text),
            "-5192296858534827628530496329220096");
  EXPECT_EQ(text_of(decimal_scientific(text, text + sizeof text, quad, 3), text), "-5.192e+33");
}

// The exact length fits and one less does not, whatever the carry of the rounding adds; other
// edges of the interface.
TEST(DecimalText, TextThatDoesNotFitIsRefused) {
  struct Case {
    double value;
    int precision;
    Form form;
    const char* text;
  } cases[] = {
      {9.96, 1, Form::fixed, "10.0"},
      {-9.96, 1, Form::fixed, "-10.0"},
      {9.96e99, 1, Form::scientific, "1.0e+100"},
      {1.5, 3, Form::scientific, "1.500e+00"},
      {0.0, 2, Form::scientific, "0.00e+00"},
      {-0.0, 0, Form::fixed, "-0"},
      {-0.001, 2, Form::fixed, "-0.00"},
      {0.5, 0, Form::fixed, "0"},
      {1e-300, -1, Form::scientific, "1.000000e-300"},
      {std::numeric_limits<double>::infinity(), 2, Form::fixed, "inf"},
      {-std::numeric_limits<double>::infinity(), 2, Form::scientific, "-inf"},
      {-std::numeric_limits<double>::quiet_NaN(), 2, Form::fixed, "-nan"},
  };
  for (const Case& c : cases) {
    const size_t length = std::strlen(c.text);
    char text[64];
    for (size_t room : {length, length - 1}) {
      const auto result = c.form == Form::scientific
                              ? decimal_scientific(text, text + room, c.value, c.precision)
                              : decimal_fixed(text, text + room, c.value, c.precision);
      if (room == length) {
        EXPECT_EQ(text_of(result, text), c.text);
      } else {
        EXPECT_EQ(result.ec, std::errc::value_too_large) << c.text;
        EXPECT_EQ(result.ptr, text + room) << c.text;
      }
    }
  }
  char text[64];
  EXPECT_EQ(decimal_fixed(text, text + sizeof text, 1.0, std::numeric_limits<int>::max()).ec,
            std::errc::value_too_large);
  const BinaryValue beyond{0, 1, decimal_text_max_bits, false};
  EXPECT_EQ(decimal_scientific(text, text + sizeof text, beyond, 2).ec,
            std::errc::invalid_argument);
  const BinaryValue largest{0, 1, decimal_text_max_bits - 1, false};
  EXPECT_EQ(decimal_scientific(text, text + sizeof text, largest, 2).ec, std::errc{});
}

}  // namespace
