// Formatted number output: see print_using.h.
#include "runtime/core/print_using.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/core/decimal_text.h"
#include "runtime/core/error.h"

char pu_dig[pu_dig_capacity];
int32_t pu_ndig = 0;
int64_t pu_dp = 0;
int32_t pu_neg = 0;
char pu_exp_char = 'E';

namespace {

// What the scan of a numeric field found. Positions before the point include those of "**",
// "$$" and ","; the currency sign itself is printed in addition to them.
struct NumericField {
  bool leading_plus = false;
  bool dollar_sign = false;
  bool asterisk_spaces = false;
  bool commas = false;
  bool decimal_point = false;
  bool trailing_plus = false;
  bool trailing_minus = false;
  int64_t digits_before_point = 0;
  int64_t digits_after_point = 0;
  int exponent_digits = 0;  // 0, 2 or 3
  size_t end = 0;           // position after the field

  bool has_sign_mark() const { return leading_plus || trailing_plus || trailing_minus; }
};

enum class Stage { start, after_leading_plus, integer_part, after_point, after_exponent };

bool starts_with(std::string_view format, size_t at, std::string_view what) {
  return format.substr(at, what.size()) == what;
}

// Reads a numeric field at position at. A field needs an integer-part or point stage and at least
// one digit position; anything less is left to the string-field and literal rules.
bool scan_numeric_field(std::string_view format, size_t at, NumericField& field) {
  field = NumericField{};
  Stage stage = Stage::start;
  size_t i = at;
  while (i < format.size()) {
    const char c = format[i];
    const bool in_number = stage == Stage::integer_part || stage == Stage::after_point;
    if ((in_number || stage == Stage::after_exponent) && (c == '+' || c == '-')) {
      (c == '+' ? field.trailing_plus : field.trailing_minus) = true;
      ++i;
      break;
    }
    if (in_number && starts_with(format, i, "^^^^^")) {
      field.exponent_digits = 3;
      i += 5;
      stage = Stage::after_exponent;
      continue;
    }
    if (in_number && starts_with(format, i, "^^^^")) {
      field.exponent_digits = 2;
      i += 4;
      stage = Stage::after_exponent;
      continue;
    }
    if (stage == Stage::after_point && c == '#') {
      ++field.digits_after_point;
      ++i;
      continue;
    }
    if (stage == Stage::integer_part && c == ',') {
      field.commas = true;
      ++field.digits_before_point;
      ++i;
      continue;
    }
    const bool before_point =
        stage == Stage::start || stage == Stage::after_leading_plus || stage == Stage::integer_part;
    if (before_point && c == '#') {
      ++field.digits_before_point;
      stage = Stage::integer_part;
      ++i;
      continue;
    }
    if (before_point && c == '.') {
      field.decimal_point = true;
      stage = Stage::after_point;
      ++i;
      continue;
    }
    if (stage == Stage::start || stage == Stage::after_leading_plus) {
      if (starts_with(format, i, "**$")) {
        field.asterisk_spaces = field.dollar_sign = true;
        field.digits_before_point += 2;
        stage = Stage::integer_part;
        i += 3;
        continue;
      }
      if (starts_with(format, i, "**")) {
        field.asterisk_spaces = true;
        field.digits_before_point += 2;
        stage = Stage::integer_part;
        i += 2;
        continue;
      }
      if (starts_with(format, i, "$$")) {
        field.dollar_sign = true;
        field.digits_before_point += 1;
        stage = Stage::integer_part;
        i += 2;
        continue;
      }
    }
    if (stage == Stage::start && c == '+') {
      field.leading_plus = true;
      stage = Stage::after_leading_plus;
      ++i;
      continue;
    }
    break;
  }
  field.end = i;
  const bool reached_number =
      stage == Stage::integer_part || stage == Stage::after_point || stage == Stage::after_exponent;
  return reached_number && field.digits_before_point + field.digits_after_point > 0;
}

// Reads a string field at position at; width is 0 for "&" (the whole string).
bool scan_string_field(std::string_view format, size_t at, size_t& width, size_t& end) {
  const char c = format[at];
  if (c == '&' || c == '!') {
    width = c == '!' ? 1 : 0;
    end = at + 1;
    return true;
  }
  if (c != '\\') return false;
  size_t i = at + 1;
  while (i < format.size() && format[i] == ' ') ++i;
  if (i >= format.size() || format[i] != '\\') return false;
  end = i + 1;
  width = end - at;
  return true;
}

// The digit at index k of the digit string; indexes outside it are zeros.
char digit_at(const NumberDigits& n, int64_t k) {
  return k >= 0 && k < static_cast<int64_t>(n.digits.size()) ? n.digits[static_cast<size_t>(k)]
                                                             : '0';
}

// Rounds the digit string up at index last (the last digit printed): later digits are dropped,
// a carry may add a new leading digit. An index before the first digit rounds to a single 1 in
// that place.
void round_up_at(NumberDigits& n, int64_t last) {
  const auto count = static_cast<int64_t>(n.digits.size());
  n.last_digit_power += count - (last + 1);
  if (last < 0) {
    n.digits = "1";
    return;
  }
  n.digits.resize(static_cast<size_t>(last + 1));
  int64_t i = last;
  while (i >= 0 && n.digits[static_cast<size_t>(i)] == '9')
    n.digits[static_cast<size_t>(i--)] = '0';
  if (i < 0)
    n.digits.insert(n.digits.begin(), '1');
  else
    ++n.digits[static_cast<size_t>(i)];
}

// With no positions before the point, an integer part that is a lone "0" (a value below 1 in
// a fixed rendering) needs no position: drop it. The value is unchanged.
void drop_lone_zero(NumberDigits& n, int64_t positions_before_point) {
  const auto count = static_cast<int64_t>(n.digits.size());
  if (positions_before_point <= 0 && count > 0 && n.last_digit_power + count == 1 &&
      n.digits[0] == '0')
    n.digits.erase(n.digits.begin());
}

int decimal_length(uint64_t value) {
  int length = 1;
  while (value >= 10) {
    value /= 10;
    ++length;
  }
  return length;
}

// Renders n into a field without an exponent. Returns the index of the first digit not printed.
int64_t render_fixed(const NumericField& field, NumberDigits& n, std::string& out) {
  int64_t before = field.digits_before_point;
  const bool minus_takes_position = n.negative && !field.has_sign_mark();
  if (minus_takes_position) --before;
  int64_t width = before;  // characters of the integer part, commas included
  if (field.commas) before -= before / 4;
  drop_lone_zero(n, before);
  const int64_t integer_digits = n.last_digit_power + static_cast<int64_t>(n.digits.size());
  // A negative value in a field of nothing but decimals has no room for its sign.
  const bool fits = before >= 0 && integer_digits <= before;
  if (!fits) {
    before = integer_digits > 0 ? integer_digits : 0;
    width = field.commas && before > 0 ? before + (before - 1) / 3 : before;
  }

  if (!fits) out += '%';
  if (field.leading_plus) out += n.negative ? '-' : '+';
  const int64_t integer_chars =
      integer_digits <= 0 ? 0 : integer_digits + (field.commas ? (integer_digits - 1) / 3 : 0);
  const bool lone_zero = integer_digits <= 0 && before >= 1;
  const int64_t fill = width - integer_chars - (lone_zero ? 1 : 0);
  if (fill > 0) out.append(static_cast<size_t>(fill), field.asterisk_spaces ? '*' : ' ');
  if (minus_takes_position) out += '-';
  if (field.dollar_sign) out += '$';
  if (lone_zero) out += '0';
  int64_t k = 0;
  for (int64_t remaining = integer_chars; remaining > 0; --remaining) {
    if (field.commas && remaining % 4 == 0)
      out += ',';
    else
      out += digit_at(n, k++);
  }
  if (field.decimal_point) out += '.';
  // Fraction digit j is digit index integer_digits + j; negative indexes are its leading zeros.
  for (int64_t j = 0; j < field.digits_after_point; ++j) out += digit_at(n, integer_digits + j);
  return integer_digits + field.digits_after_point;
}

// Renders n into a field with an exponent. Returns the index of the first digit not printed.
int64_t render_exponent(const NumericField& field, NumberDigits& n, std::string& out) {
  int64_t before = field.digits_before_point;
  int64_t after = field.digits_after_point;
  bool point = field.decimal_point;
  bool sign_position = !field.has_sign_mark();
  if (sign_position && --before == -1) {
    // No position before the point is left for the sign: take one after it instead; when that
    // was the last one, the point's own place becomes the digit position.
    before = 0;
    if (--after == 0) {
      point = false;
      before = 1;
    }
  }
  drop_lone_zero(n, before);
  bool zero_position = false;
  if (sign_position && !n.negative && before == 0) {
    // A non-negative value needs no sign: the position goes back to the digits, and shows a
    // "0" before the point when digits follow the point.
    sign_position = false;
    before = 1;
    if (after > 0) {
      before = 0;
      zero_position = true;
    }
  }
  bool fits = true;
  if (before == 0 && after == 0) {
    fits = false;
    before = 1;
  }
  const int64_t value_exponent = n.last_digit_power + static_cast<int64_t>(n.digits.size()) - 1;
  const int64_t exponent = before > 0 ? value_exponent - (before - 1) : value_exponent + 1;
  const uint64_t exponent_magnitude = exponent < 0 ? uint64_t{0} - static_cast<uint64_t>(exponent)
                                                   : static_cast<uint64_t>(exponent);
  int exponent_digits = field.exponent_digits;
  if (decimal_length(exponent_magnitude) > exponent_digits) {
    fits = false;
    exponent_digits = decimal_length(exponent_magnitude);
  }

  if (!fits) out += '%';
  if (field.leading_plus) out += n.negative ? '-' : '+';
  if (field.dollar_sign) out += '$';
  if (sign_position)
    out += n.negative ? '-' : ' ';
  else if (zero_position)
    out += '0';
  for (int64_t k = 0; k < before; ++k) out += digit_at(n, k);
  if (point) out += '.';
  for (int64_t k = before; k < before + after; ++k) out += digit_at(n, k);
  out += n.exponent_letter;
  out += exponent < 0 ? '-' : '+';
  char text[24];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, exponent_magnitude);
  (void)ec;  // 20 digits at most
  const auto length = static_cast<int>(end - text);
  out.append(static_cast<size_t>(exponent_digits - length), '0');
  out.append(text, static_cast<size_t>(length));
  return before + after;
}

// Renders a number into its field, rounding once at the last printed digit when the first digit
// left out is 5 or more and rendering again (the carry may move the point or the exponent).
void render_number(const NumericField& field, const NumberDigits& value, std::string& out) {
  NumberDigits n = value;
  const size_t start = out.size();
  bool rounded = false;
  for (;;) {
    const int64_t first_left_out =
        field.exponent_digits ? render_exponent(field, n, out) : render_fixed(field, n, out);
    if (rounded || first_left_out < 0 || first_left_out >= static_cast<int64_t>(n.digits.size()) ||
        n.digits[static_cast<size_t>(first_left_out)] < '5')
      break;
    round_up_at(n, first_left_out - 1);
    rounded = true;
    out.resize(start);
  }
  if (field.trailing_plus) out += n.negative ? '-' : '+';
  if (field.trailing_minus) out += n.negative ? '-' : ' ';
}

// Digits and exponent of a "d.ddd…e±x" rendering, as a digit form.
bool digits_of_scientific(std::string_view text, NumberDigits& out) {
  const size_t e = text.find('e');
  if (text.size() < 3 || text[1] != '.' || e == std::string_view::npos || e < 3 ||
      e + 1 >= text.size())
    return false;
  out.digits.assign(1, text[0]);
  out.digits.append(text.substr(2, e - 2));
  int64_t exponent = 0;
  const char* first = text.data() + e + 1;
  if (*first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, text.data() + text.size(), exponent);
  if (ec != std::errc{} || end != text.data() + text.size()) return false;
  out.last_digit_power = exponent - static_cast<int64_t>(e - 2);
  return true;
}

// Copies a prepared digit form into the pu_ globals.
bool publish_digits(const NumberDigits& n) {
  if (n.digits.size() > pu_dig_capacity - 1) return false;
  std::memcpy(pu_dig, n.digits.data(), n.digits.size());
  pu_ndig = static_cast<int32_t>(n.digits.size());
  pu_dp = n.last_digit_power;
  pu_neg = n.negative ? 1 : 0;
  pu_exp_char = n.exponent_letter;
  return true;
}

std::string_view view_of(const zqs* s) {
  if (s == nullptr || s->length <= 0) return {};
  return {reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length)};
}

// Appends text to a runtime string. The joined text is built in a new temporary that the
// destination takes over, so a destination that is itself temporary is never released midway.
void append_to(zqs* destination, const std::string& text) {
  if (text.empty()) return;
  const size_t kept = destination->length > 0 ? static_cast<size_t>(destination->length) : 0;
  if (text.size() > static_cast<size_t>(INT32_MAX) - kept) {
    error(out_of_string_space);
    return;
  }
  zqs* joined = zqs_new(static_cast<uint32_t>(kept + text.size()), 1);
  if (kept) std::memcpy(joined->data, destination->data, kept);
  std::memcpy(joined->data + kept, text.data(), text.size());
  zqs_set(destination, joined);
}

int32_t format_prepared(zqs* format, int32_t position, zqs* destination, const NumberDigits* number,
                        const zqs* string_value) {
  if (format == nullptr || destination == nullptr) {
    error(illegal_function_call);
    return 0;
  }
  UsingValue value;
  value.number = number;
  if (number == nullptr) value.text = view_of(string_value);
  std::string out;
  const UsingResult result = format_using(view_of(format), position, value, out);
  append_to(destination, out);
  if (result.error) {
    error(result.error);
    return 0;
  }
  return result.next_position;
}

int32_t format_typed(zqs* format, int32_t position, zqs* destination, const NumberDigits& n) {
  if (!publish_digits(n)) {
    error(illegal_function_call);
    return 0;
  }
  return print_using(format, position, destination, nullptr);
}

}  // namespace

NumberDigits digits_of_integer(int64_t value) {
  const uint64_t magnitude =
      value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  NumberDigits n = digits_of_unsigned(magnitude);
  n.negative = value < 0;
  return n;
}

NumberDigits digits_of_unsigned(uint64_t value) {
  NumberDigits n;
  char text[24];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  (void)ec;  // 20 digits at most
  n.digits.assign(text, end);
  return n;
}

bool digits_of_double(double value, char exponent_letter, NumberDigits& out) {
  if (!std::isfinite(value)) return false;
  char text[320];
  const auto [end, ec] = decimal_scientific(text, text + sizeof text, std::fabs(value), 255);
  if (ec != std::errc{} || !digits_of_scientific({text, static_cast<size_t>(end - text)}, out))
    return false;
  out.negative = value < 0;
  out.exponent_letter = exponent_letter;
  return true;
}

bool digits_of_extended(extended value, NumberDigits& out) {
  if (!vost::isfinite(value)) return false;
  const BinaryValue magnitude = [&] {
    BinaryValue exact = vost::binary_value_of(value);
    exact.negative = false;
    return exact;
  }();
  out.negative = value < 0;
  out.exponent_letter = 'F';
  if (vost::fabs(value) < 1) {
    // A fixed rendering with 255 decimals would turn small values into zeros; the exponent
    // rendering keeps 256 significant digits of them.
    char text[320];
    const auto [end, ec] = decimal_scientific(text, text + sizeof text, magnitude, 255);
    return ec == std::errc{} && digits_of_scientific({text, static_cast<size_t>(end - text)}, out);
  }
  // Values of 1 and more: every integer digit exactly, and 255 decimals.
  char text[6000];
  const auto [end, ec] = decimal_fixed(text, text + sizeof text, magnitude, 255);
  if (ec != std::errc{}) return false;
  const std::string_view rendering(text, static_cast<size_t>(end - text));
  const size_t point = rendering.find('.');
  if (point == std::string_view::npos || rendering.size() - point - 1 != 255) return false;
  out.digits.assign(rendering.substr(0, point));
  out.digits.append(rendering.substr(point + 1));
  out.last_digit_power = -255;
  return true;
}

UsingResult format_using(std::string_view format, int32_t position, const UsingValue& value,
                         std::string& out) {
  UsingResult result;
  size_t at = position < 0 ? 0 : static_cast<size_t>(position);
  if (at > format.size()) at = format.size();
  const bool started_at_beginning = at == 0;
  bool wrapped = false;
  bool used = false;
  NumericField numeric;
  for (;;) {
    if (at >= format.size()) {
      if (used) return result;
      // A format that holds no field at all: nothing can take the value.
      if (started_at_beginning || wrapped) {
        result.error = 5;
        return result;
      }
      wrapped = true;
      at = 0;
      continue;
    }
    if (scan_numeric_field(format, at, numeric)) {
      if (used) {
        result.next_position = static_cast<int32_t>(at);
        return result;
      }
      if (value.number == nullptr) {
        result.error = 13;
        return result;
      }
      render_number(numeric, *value.number, out);
      at = numeric.end;
      used = true;
      continue;
    }
    size_t width = 0;
    size_t end = 0;
    if (scan_string_field(format, at, width, end)) {
      if (used) {
        result.next_position = static_cast<int32_t>(at);
        return result;
      }
      if (value.number != nullptr) {
        result.error = 13;
        return result;
      }
      if (width == 0) {
        out.append(value.text);
      } else {
        const std::string_view shown = value.text.substr(0, width);
        out.append(shown);
        out.append(width - shown.size(), ' ');
      }
      at = end;
      used = true;
      continue;
    }
    if (format[at] == '_' && at + 1 < format.size()) ++at;
    out += format[at++];
  }
}

int32_t print_using(zqs* format, int32_t position, zqs* destination, zqs* string_value) {
  if (error_pending()) return 0;
  if (string_value != nullptr)
    return format_prepared(format, position, destination, nullptr, string_value);
  NumberDigits n;
  const int32_t count = pu_ndig < 0 ? 0 : pu_ndig;
  n.digits.assign(pu_dig,
                  count < int32_t{pu_dig_capacity} ? static_cast<size_t>(count) : pu_dig_capacity);
  n.last_digit_power = pu_dp;
  n.negative = pu_neg != 0;
  n.exponent_letter = pu_exp_char;
  return format_prepared(format, position, destination, &n, nullptr);
}

int32_t print_using_integer64(zqs* format, int64_t value, int32_t position, zqs* destination) {
  if (error_pending()) return 0;
  return format_typed(format, position, destination, digits_of_integer(value));
}

int32_t print_using_uinteger64(zqs* format, uint64_t value, int32_t position, zqs* destination) {
  if (error_pending()) return 0;
  return format_typed(format, position, destination, digits_of_unsigned(value));
}

int32_t print_using_single(zqs* format, float value, int32_t position, zqs* destination) {
  if (error_pending()) return 0;
  NumberDigits n;
  if (!digits_of_double(value, 'E', n)) {
    error(illegal_function_call);
    return 0;
  }
  return format_typed(format, position, destination, n);
}

int32_t print_using_double(zqs* format, double value, int32_t position, zqs* destination) {
  if (error_pending()) return 0;
  NumberDigits n;
  if (!digits_of_double(value, 'D', n)) {
    error(illegal_function_call);
    return 0;
  }
  return format_typed(format, position, destination, n);
}

int32_t print_using_float(zqs* format, extended value, int32_t position, zqs* destination) {
  if (error_pending()) return 0;
  NumberDigits n;
  if (!digits_of_extended(value, n)) {
    error(illegal_function_call);
    return 0;
  }
  return format_typed(format, position, destination, n);
}
