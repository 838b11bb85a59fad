// Numbers as text and text as numbers: see number_text.h.
#include "runtime/core/number_text.h"

#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/decimal_text.h"
#include "runtime/core/error.h"

namespace {

// Exponent-form rendering in a fixed layout: position 0 the sign or a space, 1 the first digit,
// 2 the point, then `decimals` digits, the letter "E", the exponent sign and three exponent
// digits. Widening the exponent to three digits keeps every position fixed, whatever the
// magnitude. Returns the length (decimals + 8). The value must be finite.
size_t render_exponent_layout(double value, int decimals, char* out) {
  char digits[64];
  auto [end, ec] = decimal_scientific(digits, digits + sizeof digits, std::fabs(value), decimals);
  (void)ec;  // 64 bytes hold any double with up to 16 decimals
  // digits holds "d.ddd...e+XX" (two or three exponent digits).
  const size_t mantissa_length = static_cast<size_t>(decimals) + 2;
  out[0] = std::signbit(value) ? '-' : ' ';
  std::memcpy(out + 1, digits, mantissa_length);
  const char* exponent = digits + mantissa_length + 1;  // past the "e"
  const size_t exponent_digits = static_cast<size_t>(end - exponent) - 1;
  char* tail = out + 1 + mantissa_length;
  tail[0] = 'E';
  tail[1] = exponent[0];
  tail[2] = '0';
  std::memcpy(tail + 5 - exponent_digits, exponent + 1, exponent_digits);
  return mantissa_length + 6;
}

// The three exponent digits at `at`, negated when the sign before them is "-".
int exponent_at(const char* layout, size_t sign_position) {
  const char* d = layout + sign_position + 1;
  const int magnitude = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
  return layout[sign_position] == '-' ? -magnitude : magnitude;
}

// Significant digits of an exponent layout: trailing zeros of the mantissa do not count; a
// mantissa of zeros only gives 0.
int significant_digits(const char* layout, int last_digit_position, int most) {
  int digits = most;
  for (int i = last_digit_position; i >= 1; --i) {
    if (layout[i] == '.') continue;
    if (layout[i] != '0') break;
    --digits;
  }
  return digits;
}

// "% .Nf": the value with `decimals` decimals after a sign or a space; a "0" before the point of
// a value below 1 is removed (0.5 gives " .5").
size_t render_fixed(double value, int decimals, char* out, size_t capacity) {
  out[0] = std::signbit(value) ? '-' : ' ';
  auto [end, ec] = decimal_fixed(out + 1, out + capacity, std::fabs(value), decimals);
  (void)ec;  // callers size the buffer for the longest fixed form they choose
  size_t length = static_cast<size_t>(end - out);
  if (length > 2 && out[1] == '0' && out[2] == '.') {
    std::memmove(out + 1, out + 2, length - 2);
    --length;
  }
  return length;
}

// Exponent form: sign, first digit, the further significant digits after a point, the letter,
// the exponent sign, and two exponent digits (three when the exponent needs them).
size_t render_exponent_form(const char* layout, int digits, char letter, size_t sign_position,
                            int exponent, char* out) {
  size_t n = 0;
  out[n++] = layout[0];
  out[n++] = layout[1];
  if (digits > 1) {
    out[n++] = '.';
    std::memcpy(out + n, layout + 3, static_cast<size_t>(digits - 1));
    n += static_cast<size_t>(digits - 1);
  }
  out[n++] = letter;
  out[n++] = layout[sign_position];
  const bool three = exponent > 99 || exponent < -99;
  const char* d = layout + sign_position + (three ? 1 : 2);
  const size_t count = three ? 3 : 2;
  std::memcpy(out + n, d, count);
  return n + count;
}

// Infinities and NaNs have no digits to count; they print as the C library names them.
size_t render_non_finite(double value, char* out) {
  out[0] = std::signbit(value) ? '-' : ' ';
  std::memcpy(out + 1, std::isnan(value) ? "NAN" : "INF", 3);
  return 4;
}

#if VOST_HARDWARE_EXTENDED
// The "C" locale, made once, for reading decimal text regardless of LC_NUMERIC.
locale_t c_numeric_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}
#endif

// A character buffer that keeps short texts inline and spills long ones to the heap.
class TextBuffer {
 public:
  void push(char c) {
    if (spilled_) {
      heap_.push_back(c);
    } else if (size_ < sizeof inline_) {
      inline_[size_++] = c;
    } else {
      heap_.assign(inline_, size_);
      heap_.push_back(c);
      spilled_ = true;
    }
  }
  void append(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) push(text[i]);
  }
  size_t size() const { return spilled_ ? heap_.size() : size_; }
  const char* data() const { return spilled_ ? heap_.data() : inline_; }
  char operator[](size_t i) const { return data()[i]; }
  // Terminates the text for the C library and returns it.
  const char* c_str() {
    push('\0');
    return data();
  }

 private:
  char inline_[96];
  size_t size_ = 0;
  bool spilled_ = false;
  std::string heap_;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// &H, &O, &B integers. text starts at the "&". Digits are read until the first character that is
// not a digit of the base; leading zeros are not counted toward the 64-bit limit.
ValResult prefixed_to_number(std::string_view text) {
  ValResult result;
  if (text.size() < 3) return result;
  int shift = 0;
  switch (text[1]) {
    case 'H':
    case 'h':
      shift = 4;
      break;
    case 'O':
    case 'o':
      shift = 3;
      break;
    case 'B':
    case 'b':
      shift = 1;
      break;
    default:
      return result;
  }
  const int base = 1 << shift;
  uint64_t value = 0;
  int counted = 0;
  int first_counted = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      break;
    if (digit >= base) break;
    if (counted == 0 && digit == 0) continue;
    if (counted == 0) first_counted = digit;
    ++counted;
    value = (value << shift) | static_cast<uint64_t>(digit);
    // Stop counting once the limit is passed: the digits left cannot make the value fit again.
    if (counted > 64) break;
  }
  const bool too_long = (shift == 4 && counted > 16) || (shift == 1 && counted > 64) ||
                        (shift == 3 && (counted > 22 || (counted == 22 && first_counted > 1)));
  if (too_long) {
    result.overflow = true;
    return result;
  }
  result.value = extended(static_cast<int64_t>(value));
  return result;
}

zqs* temporary_text(const char* text, size_t length, uint32_t capacity) {
  zqs* s = zqs_new(capacity, 1);
  std::memcpy(s->data, text, length);
  s->length = static_cast<int32_t>(length);
  return s;
}

}  // namespace

size_t unsigned_to_text(uint64_t value, char* out) {
  out[0] = ' ';
  auto [end, ec] = std::to_chars(out + 1, out + integer_text_capacity, value);
  (void)ec;  // 20 digits at most
  return static_cast<size_t>(end - out);
}

size_t signed_to_text(int64_t value, char* out) {
  if (value >= 0) return unsigned_to_text(static_cast<uint64_t>(value), out);
  const uint64_t magnitude = uint64_t{0} - static_cast<uint64_t>(value);
  const size_t length = unsigned_to_text(magnitude, out);
  out[0] = '-';
  return length;
}

size_t single_to_text(float value, char (&out)[single_text_capacity]) {
  const double wide = value;
  if (!std::isfinite(wide)) return render_non_finite(wide, out);
  // Layout: 0 sign, 1 digit, 2 point, 3-8 decimals, 9 "E", 10 exponent sign, 11-13 exponent.
  char layout[16];
  render_exponent_layout(wide, 6, layout);
  const int digits = significant_digits(layout, 8, 7);
  if (digits == 0) {
    out[0] = ' ';
    out[1] = '0';
    return 2;
  }
  const int exponent = exponent_at(layout, 10);
  if (exponent < 7 && exponent - digits >= -8) {
    const int decimals = digits - exponent - 1 > 0 ? digits - exponent - 1 : 0;
    return render_fixed(wide, decimals, out, single_text_capacity);
  }
  return render_exponent_form(layout, digits, 'E', 10, exponent, out);
}

size_t double_to_text(double value, char (&out)[double_text_capacity]) {
  if (!std::isfinite(value)) return render_non_finite(value, out);
  // Layout: 0 sign, 1 digit, 2 point, 3-17 decimals, 18 letter, 19 exponent sign, 20-22 exponent.
  char layout[24];
  render_exponent_layout(value, 15, layout);
  if (layout[17] == '9') {
    // A 16th digit of 9 is usually the tail of a binary fraction (0.7999999999999999): show the
    // value rounded to 15 digits instead. When that rounding carries into a new power of ten the
    // shorter rendering's exponent is the right one, so both mantissa and exponent come from it.
    char shorter[24];
    render_exponent_layout(value, 14, shorter);
    std::memcpy(layout, shorter, 17);
    layout[17] = '0';
    std::memcpy(layout + 19, shorter + 18, 4);
  }
  layout[18] = 'D';
  const int digits = significant_digits(layout, 17, 16);
  if (digits == 0) {
    out[0] = ' ';
    out[1] = '0';
    return 2;
  }
  const int exponent = exponent_at(layout, 19);
  if (exponent < 16 && exponent - digits >= -17) {
    const int decimals = digits - exponent - 1 > 0 ? digits - exponent - 1 : 0;
    return render_fixed(value, decimals, out, double_text_capacity);
  }
  return render_exponent_form(layout, digits, 'D', 19, exponent, out);
}

ValResult text_to_number(std::string_view text) {
  enum Step { nothing_yet, integer_part, fraction, exponent_letter, exponent_digits };
  ValResult result;
  Step step = nothing_yet;
  bool negative = false;
  bool exponent_negative = false;
  TextBuffer significant;         // significant digits, most significant first
  int64_t first_digit_power = 0;  // position of the most significant digit (1 = units)
  uint64_t integer_value = 0;     // the significant digits as an integer, while 18 or fewer
  bool fraction_digit_kept = false;
  int64_t exponent = 0;
  int exponent_digit_count = 0;

  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (is_blank(c)) continue;
    if (c == '+' || c == '-') {
      if (step == nothing_yet) {
        negative = c == '-';
        step = integer_part;
      } else if (step == exponent_letter) {
        exponent_negative = c == '-';
        step = exponent_digits;
      } else {
        break;
      }
    } else if (c == '.') {
      if (step != nothing_yet && step != integer_part) break;
      step = fraction;
    } else if (c >= '0' && c <= '9') {
      if (step == nothing_yet || step == integer_part) {
        step = integer_part;
        if (c == '0' && significant.size() == 0) continue;
        significant.push(c);
        ++first_digit_power;
        if (significant.size() <= 18)
          integer_value = integer_value * 10 + static_cast<uint64_t>(c - '0');
      } else if (step == fraction) {
        if (significant.size() == 0 && c == '0') {
          --first_digit_power;
        } else {
          significant.push(c);
          fraction_digit_kept = true;
        }
      } else {
        step = exponent_digits;
        if (c == '0' && exponent_digit_count == 0) continue;
        if (++exponent_digit_count > 18) break;
        exponent = exponent * 10 + (c - '0');
      }
    } else if (c == 'E' || c == 'D' || c == 'e' || c == 'd') {
      if (step == exponent_letter || step == exponent_digits) break;
      step = exponent_letter;
    } else if (c == '&') {
      if (step == nothing_yet) return prefixed_to_number(text.substr(i));
      break;
    } else {
      break;
    }
  }

  if (significant.size() == 0) return result;
  if (exponent == 0 && !fraction_digit_kept && significant.size() <= 18) {
    const auto whole = extended(integer_value);
    result.value = negative ? -whole : whole;
    return result;
  }
  // Normalised text: first digit, point, further digits, "E", exponent; read in the "C" locale.
  const int64_t normalised = (exponent_negative ? -exponent : exponent) + first_digit_power - 1;
  TextBuffer normal;
  if (negative) normal.push('-');
  normal.push(significant[0]);
  if (significant.size() > 1) {
    normal.push('.');
    normal.append(significant.data() + 1, significant.size() - 1);
  }
  char exponent_text[24] = {'E'};
  auto [end, ec] =
      std::to_chars(exponent_text + 1, exponent_text + sizeof exponent_text, normalised);
  (void)ec;  // any 64-bit value fits
  normal.append(exponent_text, static_cast<size_t>(end - exponent_text));
#if VOST_HARDWARE_EXTENDED
  // The "C" locale object is made once; should that ever fail, the normalised text has no
  // separator but the point, which the program's own (never changed) locale reads the same way.
  const locale_t c_locale = c_numeric_locale();
  result.value = c_locale ? strtold_l(normal.c_str(), nullptr, c_locale)
                          : std::strtold(normal.c_str(), nullptr);
#else
  // The same correctly rounded reading, done by the software extended type.
  result.value = vost::extended_from_text(normal.data(), normal.data() + normal.size());
#endif
  return result;
}

zqs* zqs_str(int8_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, signed_to_text(value, text), 4);
}
zqs* zqs_str(int16_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, signed_to_text(value, text), 6);
}
zqs* zqs_str(int32_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, signed_to_text(value, text), 11);
}
zqs* zqs_str(int64_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, signed_to_text(value, text), 20);
}
zqs* zqs_str(uint8_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, unsigned_to_text(value, text), 4);
}
zqs* zqs_str(uint16_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, unsigned_to_text(value, text), 6);
}
zqs* zqs_str(uint32_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, unsigned_to_text(value, text), 11);
}
zqs* zqs_str(uint64_t value) {
  char text[integer_text_capacity];
  return temporary_text(text, unsigned_to_text(value, text), 21);
}
zqs* zqs_str(float value) {
  char text[single_text_capacity];
  return temporary_text(text, single_to_text(value, text), single_text_capacity);
}
zqs* zqs_str(double value) {
  char text[double_text_capacity];
  return temporary_text(text, double_to_text(value, text), double_text_capacity);
}
zqs* zqs_str(extended value) { return zqs_str(static_cast<double>(value)); }

extended func_val(zqs* text) {
  if (text == nullptr || text->length <= 0) return 0;
  const ValResult result = text_to_number(
      {reinterpret_cast<const char*>(text->data), static_cast<size_t>(text->length)});
  if (result.overflow) {
    error(overflow);
    return 0;
  }
  return result.value;
}
