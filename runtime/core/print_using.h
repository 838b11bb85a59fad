// Formatted number output in the picture notation of the classic print-using statement.
//
// A format holds fields and literal text. Numeric fields: "#" digit positions, "." the point,
// "," thousands separators, "**" asterisk fill, "$$" a floating currency sign, "**$" both,
// "^^^^"/"^^^^^" an exponent with two or three digits, a leading "+" and a trailing "+" or "-".
// String fields: "!" the first character, "&" the whole string, "\  \" as many characters as
// the field is wide. "_" takes the next character literally; everything else is copied.
//
// Each call formats one value: it appends the literal text up to and including the value's
// field and the literal text after it, up to the next field, and returns the position where the
// next value's field starts (0 after the end of the format). A number too wide for its field is
// shown in full behind a "%".
//
// The typed entry points turn their value into a digit form (pu_dig, pu_ndig, pu_dp, pu_neg,
// pu_exp_char) and call print_using; print_using renders through format_using(), a plain
// function on views and std::string that the tests and the fuzz target drive directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/core/extended.h"
#include "runtime/core/strings.h"

// Room for the digits of any extended-precision value with 255 decimals, plus a carry digit.
inline constexpr size_t pu_dig_capacity = 8192;

// Digit form of the number being formatted (program thread only): the value is
// pu_dig[0 .. pu_ndig) × 10^pu_dp, negative when pu_neg is 1; pu_exp_char is the exponent letter.
extern char pu_dig[pu_dig_capacity];
extern int32_t pu_ndig;
extern int64_t pu_dp;
extern int32_t pu_neg;
extern char pu_exp_char;

// Formats one value at position in format and appends to destination. string_value is the
// value for a string field, or null when the digit form above holds a number. Returns the
// position of the next value's field. Errors: 13 when the value's type does not match its
// field, 5 when the format holds no field. Returns 0 at once while an error is pending.
int32_t print_using(zqs* format, int32_t position, zqs* destination, zqs* string_value);

int32_t print_using_integer64(zqs* format, int64_t value, int32_t position, zqs* destination);
int32_t print_using_uinteger64(zqs* format, uint64_t value, int32_t position, zqs* destination);
int32_t print_using_single(zqs* format, float value, int32_t position, zqs* destination);
int32_t print_using_double(zqs* format, double value, int32_t position, zqs* destination);
int32_t print_using_float(zqs* format, extended value, int32_t position, zqs* destination);

// A number as decimal digits: value = digits × 10^last_digit_power.
struct NumberDigits {
  std::string digits;  // most significant first
  int64_t last_digit_power = 0;
  bool negative = false;
  char exponent_letter = 'E';
};

// Digit forms of the typed values. Non-finite values have no digit form: they return false.
NumberDigits digits_of_integer(int64_t value);
NumberDigits digits_of_unsigned(uint64_t value);
bool digits_of_double(double value, char exponent_letter, NumberDigits& out);
bool digits_of_extended(extended value, NumberDigits& out);

// The value handed to one formatting call: a number, or a string when number is null.
struct UsingValue {
  const NumberDigits* number = nullptr;
  std::string_view text;
};

struct UsingResult {
  int32_t next_position = 0;
  int32_t error = 0;  // 0, or the error number to raise (text appended so far stays)
};

// Formats value at position in format, appending to out.
UsingResult format_using(std::string_view format, int32_t position, const UsingValue& value,
                         std::string& out);
