// Exact decimal text of binary floating-point values.
//
// The functions write the text std::to_chars gives with chars_format::scientific or
// chars_format::fixed and a precision ("1.500e+00", "-0.25"), and that the C library's printf
// gives for "%.*e" and "%.*f" in the "C" locale: the digits are those of the exact binary value,
// rounded once at the last written digit, a tie going to the even digit. Not every standard
// library the runtime is built with has floating-point std::to_chars; this one conversion serves
// all of them, so every host prints the same digits.
//
// Like std::to_chars they write into [first, last) without a terminating zero and return the end
// of the text; a text that does not fit gives {last, errc::value_too_large}. A negative precision
// means 6. Negative values (-0.0 included) get a "-"; infinities and NaNs are written "inf" and
// "nan" after the sign. Nothing is allocated: the exact value is worked on in a stack buffer sized
// for its magnitude, a few words for everyday values and a few kilobytes for the extremes of long
// double.
//
// Every format reaches the same core through BinaryValue, a significand of up to 128 bits and a
// binary exponent, so double, the 80-bit extended format, a 128-bit quad long double and software
// formats built on them share one rounding rule.
#pragma once

#include <charconv>
#include <cstdint>

// A finite value: (-1)^negative × (high × 2^64 + low) × 2^exponent.
struct BinaryValue {
  uint64_t high = 0;
  uint64_t low = 0;
  int exponent = 0;
  bool negative = false;
};

// The value of a finite double or long double as significand and exponent (exact).
BinaryValue binary_value_of(double value);
BinaryValue binary_value_of(long double value);

// Exponents of the value's lowest and highest set bits may reach ±decimal_text_max_bits; values
// beyond (further than any hardware format reaches) give {last, errc::invalid_argument}.
inline constexpr int decimal_text_max_bits = 260 * 64;

// "d.ddde+XX": one digit before the point, precision digits after it, and an exponent of at least
// two digits.
std::to_chars_result decimal_scientific(char* first, char* last, const BinaryValue& value,
                                        int precision);
std::to_chars_result decimal_scientific(char* first, char* last, double value, int precision);
std::to_chars_result decimal_scientific(char* first, char* last, long double value, int precision);

// "ddd.ddd": every integer digit and precision digits after the point (no point for 0).
std::to_chars_result decimal_fixed(char* first, char* last, const BinaryValue& value,
                                   int precision);
std::to_chars_result decimal_fixed(char* first, char* last, double value, int precision);
std::to_chars_result decimal_fixed(char* first, char* last, long double value, int precision);
