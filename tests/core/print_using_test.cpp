#include "runtime/core/print_using.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

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

// Formats values through the runtime entry points into a permanent destination string.
class PrintUsingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_strings();
    new_error = 0;
    zqevent = 0;
    base_ = zqs_tmp_list_nexti;
    destination_ = zqs_new(0, 0);
  }
  void TearDown() override {
    zqs_free(destination_);
    zqs_cleanup(base_, 0);
    new_error = 0;
    zqevent = 0;
  }
  zqs* literal(const std::string& text) {
    return zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size()));
  }
  // Clears the destination and returns what it held.
  std::string take() {
    std::string text = text_of(destination_);
    zqs_set(destination_, zqs_new_txt(""));
    return text;
  }
  std::string single(const std::string& format, float value) {
    print_using_single(literal(format), value, 0, destination_);
    return take();
  }
  std::string dbl(const std::string& format, double value) {
    print_using_double(literal(format), value, 0, destination_);
    return take();
  }
  std::string ext(const std::string& format, extended value) {
    print_using_float(literal(format), value, 0, destination_);
    return take();
  }
  std::string integer(const std::string& format, int64_t value) {
    print_using_integer64(literal(format), value, 0, destination_);
    return take();
  }
  std::string string_field(const std::string& format, const std::string& value) {
    print_using(literal(format), 0, destination_, literal(value));
    return take();
  }

  zqs* destination_ = nullptr;

 private:
  uint32_t base_ = 0;
};

TEST_F(PrintUsingTest, ListedExamples) {
  EXPECT_EQ(dbl("###.##", 3.14159), "  3.14");
  // 2.675 is 2.67499999999999982236431605997495353221893310546875 in binary.
  EXPECT_EQ(dbl("###.##", 2.675), "  2.67");
  EXPECT_EQ(integer("#,###", 1234), "1,234");
  EXPECT_EQ(integer("##", 1234), "%1234");
  EXPECT_EQ(single("**#.##", 1.5f), "**1.50");
  EXPECT_EQ(single("$$#.##", 1.5f), " $1.50");
  EXPECT_EQ(single("+#.#", -1.5f), "-1.5");
  EXPECT_EQ(single("#.#-", -1.5f), "1.5-");
  EXPECT_EQ(single("#.#-", 1.5f), "1.5 ");
  EXPECT_EQ(single("##.##^^^^", 1234.5f), " 1.23E+03");
  EXPECT_EQ(dbl("##.##^^^^", 1234.5), " 1.23D+03");
  EXPECT_EQ(string_field("!", "Hello"), "H");
  EXPECT_EQ(string_field("\\  \\", "Hi"), "Hi  ");
  EXPECT_EQ(string_field("&", "Hello"), "Hello");
  EXPECT_EQ(integer("_##", 5), "#5");
  EXPECT_EQ(new_error.load(), 0u);
  EXPECT_EQ(integer("Total: ", 5), "Total: ");
  EXPECT_EQ(new_error.load(), 5u);
}

TEST_F(PrintUsingTest, FixedFieldsPadAndSign) {
  EXPECT_EQ(integer("#####", 42), "   42");
  EXPECT_EQ(integer("#####", -42), "  -42");
  EXPECT_EQ(integer("##", -5), "-5");
  EXPECT_EQ(integer("##", -12), "%-12");
  EXPECT_EQ(dbl("##.##", 0.5), " 0.50");
  EXPECT_EQ(dbl("#.##", 0.5), "0.50");
  EXPECT_EQ(dbl("#.##", -0.5), "-.50");
  EXPECT_EQ(dbl("##.##", -0.5), "-0.50");
  EXPECT_EQ(dbl(".##", 0.25), ".25");
  EXPECT_EQ(dbl(".##", -0.25), "%-.25");
  EXPECT_EQ(dbl("#.###", 0.0005), "0.001");
  EXPECT_EQ(dbl("##.##", 0.0), " 0.00");
  EXPECT_EQ(integer("##.##", 0), " 0.00");
  EXPECT_EQ(integer(".##", 0), ".00");
  EXPECT_EQ(integer("#.", 7), "7.");
  EXPECT_EQ(dbl("###", 1e20), "%100000000000000000000");
  EXPECT_EQ(dbl("#.###", 1.0 / 3.0), "0.333");
}

TEST_F(PrintUsingTest, SignMarks) {
  EXPECT_EQ(single("+#.#", 1.5f), "+1.5");
  EXPECT_EQ(single("+##.#", 1.5f), "+ 1.5");
  EXPECT_EQ(single("##.#+", 1.5f), " 1.5+");
  EXPECT_EQ(single("##.#+", -1.5f), " 1.5-");
  EXPECT_EQ(single("##.#-", -1.5f), " 1.5-");
  EXPECT_EQ(integer("##-", -12), "12-");
  EXPECT_EQ(integer("+##", -123), "%-123");
}

TEST_F(PrintUsingTest, CommasEveryThreeDigits) {
  EXPECT_EQ(integer("#,###,###", 1234567), "1,234,567");
  EXPECT_EQ(integer("#,###,###", 1234), "    1,234");
  EXPECT_EQ(integer("#,###,###", 12), "       12");
  EXPECT_EQ(integer("##,###", 12345), "12,345");
  EXPECT_EQ(integer("###,###", 123456), "123,456");
  EXPECT_EQ(integer("###,###", 1234567), "%1,234,567");
  EXPECT_EQ(integer("#,###", -1234), "%-1,234");
  EXPECT_EQ(integer("##,###", -1234), "-1,234");
  EXPECT_EQ(dbl("#,###.##", 1234.5), "1,234.50");
}

TEST_F(PrintUsingTest, CurrencyAndAsteriskFill) {
  EXPECT_EQ(single("**#.##", -1.5f), "*-1.50");
  EXPECT_EQ(single("**##", 7.0f), "***7");
  EXPECT_EQ(single("$$#.##", -1.5f), "-$1.50");
  EXPECT_EQ(single("$$###", 12.0f), "  $12");
  EXPECT_EQ(single("**$#.##", 1.5f), "**$1.50");
  EXPECT_EQ(single("**$##", 12345.0f), "%$12345");
  EXPECT_EQ(integer("$$", 3), "$3");
}

TEST_F(PrintUsingTest, RoundingCarriesAndRendersAgain) {
  EXPECT_EQ(dbl("#.##", 9.999), "%10.00");
  EXPECT_EQ(dbl("##.##", 9.999), "10.00");
  EXPECT_EQ(dbl("##.##", -9.999), "%-10.00");
  EXPECT_EQ(dbl("#", 0.5), "1");
  EXPECT_EQ(dbl("#", 2.5), "3");
  EXPECT_EQ(dbl("#.##", 0.006), "0.01");
  // 0.005 is 0.005000000000000000104 in binary: it rounds up.
  EXPECT_EQ(dbl("#.##", 0.005), "0.01");
  EXPECT_EQ(single("#.#-", -1.96f), "2.0-");
  EXPECT_EQ(dbl("#,###", 999.5), "1,000");
  EXPECT_EQ(dbl("###", 999.5), "%1000");
}

TEST_F(PrintUsingTest, ExponentFields) {
  EXPECT_EQ(single("##.##^^^^", -1234.5f), "-1.23E+03");
  EXPECT_EQ(single("###.##^^^^", 1234.5f), " 12.35E+02");
  EXPECT_EQ(dbl("#.##^^^^^", 1234.5), "0.12D+004");
  EXPECT_EQ(dbl("##.##^^^^^", 1234.5), " 1.23D+003");
  EXPECT_EQ(dbl("+#.##^^^^", 1234.5), "+1.23D+03");
  EXPECT_EQ(dbl("#.##^^^^-", -1234.5), "1.23D+03-");
  EXPECT_EQ(dbl("##.##^^^^", 0.000125), " 1.25D-04");
  // A non-negative value gives back the sign position; with decimals it shows a leading 0.
  EXPECT_EQ(dbl("#.##^^^^", 0.5), "0.50D+00");
  EXPECT_EQ(dbl("#.##^^^^", -0.5), "-.50D+00");
  EXPECT_EQ(dbl("#^^^^", 0.5), "5D-01");
  EXPECT_EQ(dbl("#^^^^", -0.5), "%-5D-01");
  EXPECT_EQ(dbl(".##^^^^", 0.5), "0.5D+00");
  EXPECT_EQ(dbl(".##^^^^", -0.5), "-.5D+00");
  EXPECT_EQ(dbl(".#^^^^", 0.5), " 5D-01");
  EXPECT_EQ(dbl("##.##^^^^", 0.0), " 0.00D+00");
  // Rounding may carry into the exponent.
  EXPECT_EQ(dbl("##.##^^^^", 9.996), " 1.00D+01");
  // An exponent longer than the field's digits widens it.
  EXPECT_EQ(dbl("##.##^^^^", 1e100), "% 1.00D+100");
  EXPECT_EQ(dbl("##.##^^^^", -1e-100), "%-1.00D-100");
  EXPECT_EQ(dbl("##.##^^^^^", 1e100), " 1.00D+100");
  EXPECT_EQ(integer("##.##^^^^", 1234), " 1.23E+03");
}

TEST_F(PrintUsingTest, EveryNumericType) {
  EXPECT_EQ(integer("###################", std::numeric_limits<int64_t>::min()),
            "%-9223372036854775808");
  EXPECT_EQ(integer("####################", std::numeric_limits<int64_t>::min()),
            "-9223372036854775808");
  print_using_uinteger64(literal("####################"), std::numeric_limits<uint64_t>::max(), 0,
                         destination_);
  EXPECT_EQ(take(), "18446744073709551615");
  print_using_uinteger64(literal("##.#"), 7, 0, destination_);
  EXPECT_EQ(take(), " 7.0");
  EXPECT_EQ(single("#.#######", 0.1f), "0.1000000");
  EXPECT_EQ(single("#.##########", 0.1f), "0.1000000015");
  EXPECT_EQ(dbl("#.####################", 0.1), "0.10000000000000000555");
  // In extended precision 2.675 is 2.67499999999999999995663…: it rounds down too.
  EXPECT_EQ(ext("##.##", EXTENDED(2.675)), " 2.67");
  EXPECT_EQ(ext("##.###", EXTENDED(2.6755)), " 2.675");
  EXPECT_EQ(ext("##.##", -EXTENDED(0.5)), "-0.50");
  EXPECT_EQ(ext(".##", EXTENDED(0.5)), ".50");
  EXPECT_EQ(ext("##.##^^^^", EXTENDED(1234.5)), " 1.23F+03");
  EXPECT_EQ(ext("##.##^^^^^", EXTENDED(1e-300)), " 1.00F-300");
  EXPECT_EQ(ext("##.##^^^^^", EXTENDED(1e-4000)), "% 1.00F-4000");
  EXPECT_EQ(ext("#", EXTENDED(1e30)), "%1000000000000000000024696061952");
}

TEST_F(PrintUsingTest, NonFiniteValuesAreIllegal) {
  EXPECT_EQ(dbl("##.##", std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  EXPECT_EQ(single("##.##", std::numeric_limits<float>::quiet_NaN()), "");
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  EXPECT_EQ(ext("##.##", -std::numeric_limits<extended>::infinity()), "");
  EXPECT_EQ(new_error.load(), 5u);
}

TEST_F(PrintUsingTest, StringFields) {
  EXPECT_EQ(string_field("\\\\", "Hello"), "He");
  EXPECT_EQ(string_field("\\   \\", "Hello"), "Hello");
  EXPECT_EQ(string_field("!", ""), " ");
  EXPECT_EQ(string_field("&", ""), "");
  EXPECT_EQ(string_field("[&]", "x"), "[x]");
  EXPECT_EQ(string_field("\\ x\\&", "ab"), "\\ x\\ab");
  EXPECT_EQ(string_field("a_&b&", "X"), "a&bX");
}

TEST_F(PrintUsingTest, Literals) {
  EXPECT_EQ(integer("__#", 4), "_4");
  EXPECT_EQ(integer("#_", 4), "4_");
  EXPECT_EQ(integer("$#", 4), "$4");
  EXPECT_EQ(integer("*#", 4), "*4");
  EXPECT_EQ(integer("+ #", 4), "+ 4");
  EXPECT_EQ(integer("^^^^#", 4), "^^^^4");
  EXPECT_EQ(integer(". #", 4), ". 4");
}

TEST_F(PrintUsingTest, TypeMismatchKeepsWhatWasAppended) {
  EXPECT_EQ(print_using_integer64(literal("a & b"), 5, 0, destination_), 0);
  EXPECT_EQ(new_error.load(), 13u);
  EXPECT_EQ(take(), "a ");
  new_error = 0;
  EXPECT_EQ(print_using(literal("x ## y"), 0, destination_, literal("s")), 0);
  EXPECT_EQ(new_error.load(), 13u);
  EXPECT_EQ(take(), "x ");
}

TEST_F(PrintUsingTest, EachCallFormatsOneValue) {
  zqs* format = zqs_new(0, 0);
  zqs_set(format, literal("A ## B \\ \\ C"));
  int32_t next = print_using_integer64(format, 5, 0, destination_);
  EXPECT_EQ(next, 7);
  EXPECT_EQ(text_of(destination_), "A  5 B ");
  next = print_using(format, next, destination_, literal("xyz"));
  EXPECT_EQ(next, 0);
  EXPECT_EQ(text_of(destination_), "A  5 B xyz C");
  // From the end of the format the next value starts over at its beginning.
  next = print_using_integer64(format, 12, 11, destination_);
  EXPECT_EQ(next, 7);
  EXPECT_EQ(text_of(destination_), "A  5 B xyz CCA 12 B ");
  zqs_free(format);
}

TEST_F(PrintUsingTest, AppendsToATemporaryDestination) {
  zqs* temporary = zqs_new(0, 1);
  zqs_set(temporary, literal("ab"));
  print_using_integer64(literal("[##]"), 7, 0, temporary);
  print_using(literal("<&>"), 0, temporary, literal("s"));
  EXPECT_EQ(text_of(temporary), "ab[ 7]<s>");
}

TEST_F(PrintUsingTest, PositionsOutsideTheFormat) {
  EXPECT_EQ(print_using_integer64(literal("##"), 3, 1000, destination_), 0);
  EXPECT_EQ(take(), " 3");
  EXPECT_EQ(print_using_integer64(literal("##"), 3, -4, destination_), 0);
  EXPECT_EQ(take(), " 3");
  // A format without fields entered past its start: one pass round, then error 5, no endless loop.
  EXPECT_EQ(print_using_integer64(literal("abc"), 3, 2, destination_), 0);
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_EQ(take(), "cabc");
}

TEST_F(PrintUsingTest, NothingHappensWhileAnErrorIsPending) {
  new_error = 9;
  EXPECT_EQ(print_using_integer64(literal("x##"), 5, 0, destination_), 0);
  EXPECT_EQ(print_using(literal("x&"), 0, destination_, literal("s")), 0);
  EXPECT_EQ(print_using_double(literal("x##"), 5, 0, destination_), 0);
  EXPECT_EQ(take(), "");
  EXPECT_EQ(new_error.load(), 9u);
}

TEST_F(PrintUsingTest, PreparedDigitFormIsUsedForNumbers) {
  const char digits[] = "12345";
  std::memcpy(pu_dig, digits, 5);
  pu_ndig = 5;
  pu_dp = -2;
  pu_neg = 1;
  pu_exp_char = 'E';
  EXPECT_EQ(print_using(literal("####.#"), 0, destination_, nullptr), 0);
  EXPECT_EQ(take(), "-123.5");
}

}  // namespace
