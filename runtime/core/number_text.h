// Numbers as text and text as numbers.
//
// zqs_str gives the text the print statement shows for a number: a space where the sign of a
// non-negative value would stand, integers in full, single precision with at most 7 significant
// digits and double precision with at most 16, switching to an exponent form ("E" for single,
// "D" for double) for large and small magnitudes. func_val reads a number out of a text: blanks
// anywhere, a sign, a point, an exponent after E or D, and the &H, &O and &B integer prefixes.
//
// The conversions are exact and locale-independent (decimal_text.h's digits of the exact binary
// value, and strtold_l in the "C" locale, or the software extended type's own exact reading where
// the platform has no 80-bit long double), so a program that changes LC_NUMERIC cannot change what
// is printed or read.
// The façade functions make temporary runtime strings; the plain functions below them work on
// caller buffers and views and are what the tests and the fuzz target drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/core/extended.h"
#include "runtime/core/strings.h"

zqs* zqs_str(int8_t value);
zqs* zqs_str(int16_t value);
zqs* zqs_str(int32_t value);
zqs* zqs_str(int64_t value);
zqs* zqs_str(uint8_t value);
zqs* zqs_str(uint16_t value);
zqs* zqs_str(uint32_t value);
zqs* zqs_str(uint64_t value);
zqs* zqs_str(float value);
zqs* zqs_str(double value);
zqs* zqs_str(extended value);  // long double on x86: through double

// The number at the start of text (0 when there is none). A prefixed integer that does not fit
// in 64 bits raises error 6 and gives 0.
extended func_val(zqs* text);

// Longest texts the renderers below produce (the capacities of the zqs_str results).
inline constexpr size_t single_text_capacity = 16;
inline constexpr size_t double_text_capacity = 32;
inline constexpr size_t integer_text_capacity = 21;

// Writes the printed text of value into out and returns its length.
size_t signed_to_text(int64_t value, char* out);
size_t unsigned_to_text(uint64_t value, char* out);
size_t single_to_text(float value, char (&out)[single_text_capacity]);
size_t double_to_text(double value, char (&out)[double_text_capacity]);

struct ValResult {
  extended value = 0;
  bool overflow = false;  // a prefixed integer too long for 64 bits; value is then 0
};

// Reads the number at the start of text, following the rules of func_val.
ValResult text_to_number(std::string_view text);
