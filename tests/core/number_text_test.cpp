#include "runtime/core/number_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "tests/support/extended_literal.h"

namespace {

void ensure_strings() {
  static bool ready = false;
  if (!ready) {
    memory_init();
    strings_init();
    ready = true;
  }
}

std::string text_of(zqs* s) {
  return {reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length)};
}

class NumberTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_strings();
    new_error = 0;
    zqevent = 0;
    base_ = zqs_tmp_list_nexti;
  }
  void TearDown() override {
    zqs_cleanup(base_, 0);
    new_error = 0;
    zqevent = 0;
  }
  template <typename T>
  std::string str(T value) {
    return text_of(zqs_str(value));
  }
  extended val(const std::string& text) {
    zqs* s = zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size()));
    return func_val(s);
  }

 private:
  uint32_t base_ = 0;
};

struct SingleCase {
  float value;
  const char* text;
};
struct DoubleCase {
  double value;
  const char* text;
};

TEST_F(NumberTextTest, IntegersOfEveryWidth) {
  EXPECT_EQ(str(int8_t{0}), " 0");
  EXPECT_EQ(str(int8_t{-128}), "-128");
  EXPECT_EQ(str(int8_t{127}), " 127");
  EXPECT_EQ(str(uint8_t{0}), " 0");
  EXPECT_EQ(str(uint8_t{200}), " 200");
  EXPECT_EQ(str(uint8_t{255}), " 255");
  EXPECT_EQ(str(int16_t{-5}), "-5");
  EXPECT_EQ(str(int16_t{-32768}), "-32768");
  EXPECT_EQ(str(int16_t{32767}), " 32767");
  EXPECT_EQ(str(uint16_t{65535}), " 65535");
  EXPECT_EQ(str(int32_t{0}), " 0");
  EXPECT_EQ(str(std::numeric_limits<int32_t>::min()), "-2147483648");
  EXPECT_EQ(str(std::numeric_limits<int32_t>::max()), " 2147483647");
  EXPECT_EQ(str(std::numeric_limits<uint32_t>::max()), " 4294967295");
  EXPECT_EQ(str(int64_t{0}), " 0");
  EXPECT_EQ(str(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(str(std::numeric_limits<int64_t>::max()), " 9223372036854775807");
  EXPECT_EQ(str(std::numeric_limits<uint64_t>::max()), " 18446744073709551615");
}

TEST_F(NumberTextTest, ResultIsATemporaryString) {
  const uint32_t before = zqs_tmp_list_nexti;
  zqs* s = zqs_str(2.5);
  EXPECT_EQ(s->temporary, 1);
  EXPECT_EQ(zqs_tmp_list_nexti, before + 1);
  EXPECT_EQ(s->length, 4);
}

TEST_F(NumberTextTest, SingleListedExamples) {
  EXPECT_EQ(str(0.0f), " 0");
  EXPECT_EQ(str(1234567.0f), " 1234567");
  EXPECT_EQ(str(12345678.0f), " 1.234568E+07");
  EXPECT_EQ(str(0.1f), " .1");
  EXPECT_EQ(str(0.00001f), " .00001");
  EXPECT_EQ(str(0.000000001f), " 1E-09");
  EXPECT_EQ(str(2.5f), " 2.5");
  EXPECT_EQ(str(1.5e10f), " 1.5E+10");
  EXPECT_EQ(str(1e10f), " 1E+10");
}

// Around the switch between fixed and exponent forms: fixed while the exponent is below 7 and
// no more than 8 places separate the last significant digit from the units.
TEST_F(NumberTextTest, SingleAroundTheFormSwitch) {
  const SingleCase cases[] = {
      {-0.0f, " 0"},
      {1.0f, " 1"},
      {-1.0f, "-1"},
      {-0.25f, "-.25"},
      {0.5f, " .5"},
      {1e6f, " 1000000"},
      {9999999.0f, " 9999999"},
      {-9999999.0f, "-9999999"},
      {999999.9375f, " 999999.9"},
      {1e7f, " 1E+07"},
      {-1e7f, "-1E+07"},
      {10000001.0f, " 1E+07"},
      {123456.7f, " 123456.7"},
      {1.5e7f, " 1.5E+07"},
      {1e8f, " 1E+08"},
      {3.4e38f, " 3.4E+38"},
      {1e-7f, " .0000001"},
      {-1e-7f, "-.0000001"},
      {1.5e-6f, " .0000015"},
      {1.5e-7f, " 1.5E-07"},
      {-1.5e-7f, "-1.5E-07"},
      {1e-8f, " 1E-08"},
      {0.1234567f, " .1234567"},
      {0.01234567f, " 1.234567E-02"},
      {-1e-30f, "-1E-30"},
      // The float nearest a power of ten lies below it and rounds up to it in 7 digits.
      {1e-9f, " 1E-09"},
      {1e-6f, " .000001"},
      {1e-5f, " .00001"},
      {1e-4f, " .0001"},
      {1e-2f, " .01"},
      {-1e-2f, "-.01"},
      {1e11f, " 1E+11"},
      {1e13f, " 1E+13"},
      {1e17f, " 1E+17"},
  };
  for (const auto& c : cases) EXPECT_EQ(str(c.value), c.text) << "value " << c.value;
}

TEST_F(NumberTextTest, DoubleListedExamples) {
  EXPECT_EQ(str(0.0), " 0");
  EXPECT_EQ(str(1.0 / 3.0), " .3333333333333333");
  EXPECT_EQ(str(1e16), " 1D+16");
  EXPECT_EQ(str(1e20), " 1D+20");
  EXPECT_EQ(str(1.25e-300), " 1.25D-300");
}

// Fixed while the exponent is below 16 and no more than 17 places separate the last significant
// digit from the units; a 16th digit of 9 shows the value rounded to 15 digits.
TEST_F(NumberTextTest, DoubleAroundTheFormSwitch) {
  const DoubleCase cases[] = {
      {-0.0, " 0"},
      {100.0, " 100"},
      {123.456, " 123.456"},
      {-123.456, "-123.456"},
      {0.1, " .1"},
      {-0.1, "-.1"},
      {2.0 / 3.0, " .6666666666666666"},
      {1e-9, " .000000001"},
      {1e-10, " .0000000001"},
      {1e15, " 1000000000000000"},
      {1234567890123456.0, " 1234567890123456"},
      {-1234567890123456.0, "-1234567890123456"},
      {9999999999999998.0, " 9999999999999998"},
      {-1e16, "-1D+16"},
      {12345678901234567.0, " 1.234567890123457D+16"},
      {123456789012345678.0, " 1.234567890123457D+17"},
      {1e17, " 1D+17"},
      {1e-16, " .0000000000000001"},
      {-1e-16, "-.0000000000000001"},
      {1e-17, " 1D-17"},
      {1.5e-15, " .0000000000000015"},
      {1.5e-16, " 1.5D-16"},
      {1.2345678901234567e-5, " 1.234567890123457D-05"},
      {1e100, " 1D+100"},
      {-1e-100, "-1D-100"},
      {1.7976931348623157e308, " 1.797693134862316D+308"},
      {4.9406564584124654e-324, " 4.940656458412465D-324"},
      // 0.3 is 0.29999999999999998890 and rounds up in 16 digits.
      {0.3, " .3"},
      // 0.7999999999999999334 ends in a 9 at the 16th digit: shown with 15 digits.
      {0.1 + 0.7, " .8"},
      {-(0.1 + 0.7), "-.8"},
  };
  for (const auto& c : cases) EXPECT_EQ(str(c.value), c.text) << "value " << c.value;
}

// When the 15-digit rounding of a 16-nines mantissa carries into the next power of ten, the
// exponent follows the carry: 1e23 is 9.999999999999999161e22 and prints as 1D+23, not 1D+22.
TEST_F(NumberTextTest, DoubleNinesCarryIntoTheNextPower) {
  EXPECT_EQ(str(1e23), " 1D+23");
  EXPECT_EQ(str(-1e23), "-1D+23");
  EXPECT_EQ(str(0.9999999999999999), " 1");
  EXPECT_EQ(str(9.999999999999999e20), " 1D+21");
}

TEST_F(NumberTextTest, ExtendedIsWrittenAsDouble) {
  EXPECT_EQ(str(EXTENDED(0.1)), " .1");
  EXPECT_EQ(str(EXTENDED(1e16)), " 1D+16");
  EXPECT_EQ(str(-EXTENDED(2.5)), "-2.5");
  EXPECT_EQ(str(EXTENDED(1e15)), " 1000000000000000");
  EXPECT_EQ(str(-EXTENDED(1e16)), "-1D+16");
  EXPECT_EQ(str(EXTENDED(1e-16)), " .0000000000000001");
  EXPECT_EQ(str(-EXTENDED(1e-17)), "-1D-17");
  // Past the double range the value has no finite double.
  EXPECT_EQ(str(-EXTENDED(1e-400)), " 0");
}

TEST_F(NumberTextTest, NonFiniteValuesHaveNames) {
  EXPECT_EQ(str(std::numeric_limits<float>::infinity()), " INF");
  EXPECT_EQ(str(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(str(std::numeric_limits<double>::quiet_NaN()), " NAN");
  EXPECT_EQ(str(EXTENDED(1e400)), " INF");
}

// Selects a locale whose decimal separator is a comma: an installed one, or one compiled from the
// system's locale sources into a temporary directory. Returns false when neither is possible.
// The compiled locale's directory, if any, goes into compiled_directory.
bool select_decimal_comma_locale(std::string& compiled_directory) {
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") || setlocale(LC_NUMERIC, "fr_FR.UTF-8")) return true;
  char directory[] = "/tmp/number-text-locale-XXXXXX";
  if (mkdtemp(directory) == nullptr) return false;
  compiled_directory = directory;
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + compiled_directory + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", directory, 1);
  return setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

// The program never sets a locale, but a library it links might: output and input stay in the
// classic notation either way.
TEST_F(NumberTextTest, IndependentOfTheNumericLocale) {
  std::string compiled;
  const bool selected = select_decimal_comma_locale(compiled);
  if (selected) {
    EXPECT_EQ(*localeconv()->decimal_point, ',');
    EXPECT_EQ(str(2.5), " 2.5");
    EXPECT_EQ(str(0.25f), " .25");
    EXPECT_EQ(str(1.5e20), " 1.5D+20");
    EXPECT_EQ(val("1.5E3"), EXTENDED(1500.0));
    EXPECT_EQ(val("3.25"), EXTENDED(3.25));
  }
  setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  if (!compiled.empty()) std::filesystem::remove_all(compiled);
  if (!selected) GTEST_SKIP() << "no locale with a decimal comma available";
}

TEST_F(NumberTextTest, ValListedExamples) {
  EXPECT_EQ(val(""), 0);
  EXPECT_EQ(val("  12"), 12);
  EXPECT_EQ(val("-3.5"), -EXTENDED(3.5));
  EXPECT_EQ(val("1 2 3"), 123);
  EXPECT_EQ(val("12abc"), 12);
  EXPECT_EQ(val("1.5E3"), 1500);
  EXPECT_EQ(val("15E-3"), EXTENDED(0.015));
  EXPECT_EQ(val(".25"), EXTENDED(0.25));
  EXPECT_EQ(val("&H1F"), 31);
  EXPECT_EQ(val("&O17"), 15);
  EXPECT_EQ(val("&B101"), 5);
  EXPECT_EQ(val("&H"), 0);
  EXPECT_EQ(val("E5"), 0);
  EXPECT_EQ(new_error.load(), 0u);
  EXPECT_EQ(val("&H10000000000000000"), 0);
  EXPECT_EQ(new_error.load(), 6u);
}

TEST_F(NumberTextTest, ValScanning) {
  EXPECT_EQ(val("\t-\t4"), -4);
  EXPECT_EQ(val("1 e 2"), 100);
  EXPECT_EQ(val("1D2"), 100);
  EXPECT_EQ(val("1d-2"), EXTENDED(0.01));
  EXPECT_EQ(val("2e+1"), 20);
  EXPECT_EQ(val("1e"), 1);
  EXPECT_EQ(val("1e+"), 1);
  EXPECT_EQ(val("1.5.5"), EXTENDED(1.5));
  EXPECT_EQ(val("1e2e3"), 100);
  EXPECT_EQ(val("1e2+3"), 100);
  EXPECT_EQ(val("--1"), 0);
  EXPECT_EQ(val("+-1"), 0);
  EXPECT_EQ(val("+7"), 7);
  EXPECT_EQ(val("-0"), 0);
  EXPECT_FALSE(vost::signbit(val("-0")));
  EXPECT_EQ(val("0.000"), 0);
  EXPECT_EQ(val("000123"), 123);
  EXPECT_EQ(val("0.00125"), EXTENDED(0.00125));
  EXPECT_EQ(val("-.5"), -EXTENDED(0.5));
  EXPECT_EQ(val("12."), 12);
  EXPECT_EQ(val("12.50"), EXTENDED(12.5));
  EXPECT_EQ(val("1E-0000000000000000000000005"), EXTENDED(1e-5));
  EXPECT_EQ(val("x12"), 0);
  EXPECT_EQ(val(std::string("12\0"
                            "3",
                            4)),
            12);
  EXPECT_EQ(val("5E-6000"), 0);
  EXPECT_TRUE(vost::isinf(val("1E999999")));
  // The nineteenth exponent digit ends the scan: the exponent is the first eighteen.
  EXPECT_TRUE(vost::isinf(val("1E1234567890123456789")));
  EXPECT_EQ(val("1E-1234567890123456789"), 0);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(NumberTextTest, ValWholeNumbersAreExact) {
  EXPECT_EQ(val("123456789012345678"), EXTENDED(123456789012345678.0));
  EXPECT_EQ(val("-123456789012345678"), -EXTENDED(123456789012345678.0));
  EXPECT_EQ(val("999999999999999999"), EXTENDED(999999999999999999.0));
  // Nineteen digits take the decimal path, which is exact for them in extended precision too.
  EXPECT_EQ(val("1234567890123456789"), EXTENDED(1234567890123456789.0));
  EXPECT_EQ(val("1200"), 1200);
  EXPECT_EQ(val("12E0"), 12);
}

TEST_F(NumberTextTest, ValLongTexts) {
  // Many digits: the conversion sees all of them.
  std::string many = "0." + std::string(500, '0') + "1";
  EXPECT_EQ(val(many), EXTENDED(1e-501));
  std::string ones(400, '1');
  const extended big = val(ones);
  EXPECT_NEAR(static_cast<double>(big / EXTENDED(1.111111111111111111e399)), 1.0, 1e-15);
  EXPECT_EQ(val(std::string(10000, ' ') + "42"), 42);
}

TEST_F(NumberTextTest, ValPrefixedIntegers) {
  EXPECT_EQ(val("&h1f"), 31);
  EXPECT_EQ(val("  &H1F"), 31);
  EXPECT_EQ(val("&HFFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(val("&H7FFFFFFFFFFFFFFF"), EXTENDED(9223372036854775807.0));
  EXPECT_EQ(val("&H0000000000000000001F"), 31);
  EXPECT_EQ(val("&H1FG"), 31);
  EXPECT_EQ(val("&HG"), 0);
  EXPECT_EQ(val("&X12"), 0);
  EXPECT_EQ(val("&"), 0);
  EXPECT_EQ(val("&O"), 0);
  EXPECT_EQ(val("&O8"), 0);
  EXPECT_EQ(val("&o777"), 511);
  EXPECT_EQ(val("&O1777777777777777777777"), -1);
  EXPECT_EQ(val("&b11111111"), 255);
  EXPECT_EQ(val("&B12"), 1);
  EXPECT_EQ(val("&B" + std::string(64, '1')), -1);
  EXPECT_EQ(val("-&H1"), 0);
  EXPECT_EQ(val("1&H1"), 1);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(NumberTextTest, ValPrefixedOverflowRaisesError6) {
  const char* too_long[] = {
      "&H10000000000000000",
      "&HFFFFFFFFFFFFFFFFF",
      "&O2000000000000000000000",
      "&O17777777777777777777777",
  };
  for (const char* text : too_long) {
    new_error = 0;
    EXPECT_EQ(val(text), 0) << text;
    EXPECT_EQ(new_error.load(), 6u) << text;
  }
  new_error = 0;
  EXPECT_EQ(val("&B1" + std::string(64, '0')), 0);
  EXPECT_EQ(new_error.load(), 6u);
}

// The value the printed text stands for (D read as E), rounded once to extended precision.
extended printed_value(const std::string& text) { return extended_of_text(text); }

int significant_digit_count(const std::string& text) {
  int count = 0;
  bool started = false;
  for (char c : text) {
    if (c == 'D' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (c != '0') started = true;
    if (started) ++count;
  }
  return count;
}

// func_val reads back exactly the value that zqs_str printed, and printing that value again
// gives the same text.
TEST_F(NumberTextTest, DoublesRoundTripThroughText) {
  std::mt19937_64 random(20261207);
  std::uniform_int_distribution<int> exponent(-40, 40);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  const uint32_t base = zqs_tmp_list_nexti;
  for (int i = 0; i < 20000; ++i) {
    double x;
    if (i % 2 == 0) {
      uint64_t bits = random();
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x)) continue;
    } else {
      x = mantissa(random) * std::pow(10.0, exponent(random));
      if (i % 4 == 1) x = -x;
    }
    const std::string text = str(x);
    const extended back = val(text);
    ASSERT_EQ(back, printed_value(text)) << text;
    // A text of 16 digits names its double again; a shorter one may stand for a value whose 16th
    // digit was a 9, and the double nearest it need not print the same.
    if (significant_digit_count(text) == 16) {
      ASSERT_EQ(str(static_cast<double>(back)), text) << "value " << x;
    }
    // Sixteen significant digits, or fifteen when the sixteenth was a 9.
    if (x != 0) {
      ASSERT_LE(std::fabs((static_cast<double>(back) - x) / x), 6e-15) << text;
    }
    zqs_cleanup(base, 0);
  }
}

TEST_F(NumberTextTest, SinglesRoundTripThroughText) {
  std::mt19937 random(7);
  const uint32_t base = zqs_tmp_list_nexti;
  for (int i = 0; i < 20000; ++i) {
    uint32_t bits = random();
    float x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    const std::string text = str(x);
    const extended back = val(text);
    ASSERT_EQ(back, printed_value(text)) << text;
    // Seven significant digits: within half a unit of the seventh.
    if (x != 0) {
      ASSERT_LE(std::fabs((static_cast<double>(back) - x) / x), 5e-7) << text;
    }
    zqs_cleanup(base, 0);
  }
}

}  // namespace
