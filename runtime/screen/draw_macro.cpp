// The drawing language: number reader, pen moves, colour, scale, turns, fills and sub-strings.
#include "runtime/screen/draw_macro.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/extended.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/geometry.h"
#include "runtime/screen/image.h"
#include "runtime/screen/paint.h"

namespace {

constexpr int32_t nesting_overflow = overflow;  // sub-strings nested too deep
// 0.0174532925199433 and 0.1 as the nearest extended values (the x87's rounding of the decimals).
constexpr extended degrees_to_radians = vost::extended_constant(0x8efa351294e9d26f, 0x3ff9);
constexpr extended one_tenth = vost::extended_constant(0xcccccccccccccccd, 0x3ffb);
constexpr uint8_t substring_reference = 3;

// The string being run and the read position in it.
struct Source {
  const uint8_t* text = nullptr;
  int32_t length = 0;
  int32_t position = 0;

  bool at_end() const { return position >= length; }
  uint8_t peek() const { return text[position]; }
};

Source source;                  // read by draw_num() and the command loop
std::vector<Source> suspended;  // sub-strings waiting to resume; capacity kept between runs

// What draw_num() found in the number it read last: undefined when no digit or variable was read,
// invalid when the number is malformed.
struct {
  bool undefined = true;
  bool invalid = false;
} last_number;

// Bytes [offset, offset + size) of the low-memory area, or null when they would leave cmem.
const uint8_t* low_memory_span(uint32_t offset, uint32_t size) {
  const size_t start = static_cast<size_t>(dblock - cmem) + offset;
  if (dblock < cmem || start > cmem_size || size > cmem_size - start) return nullptr;
  return cmem + start;
}

uint64_t read_le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The 80-bit extended format decoded by hand: 64-bit significand with an explicit integer bit,
// 15-bit exponent biased by 16383, sign on top.
extended decode_extended(const uint8_t* p) {
  const uint64_t significand = read_le(p, 8);
  const auto sign_exponent = static_cast<uint16_t>(read_le(p + 8, 2));
  const int exponent = sign_exponent & 0x7FFF;
  extended value;
  if (exponent == 0x7FFF) {
    value = (significand << 1) == 0 ? std::numeric_limits<extended>::infinity()
                                    : std::numeric_limits<extended>::quiet_NaN();
  } else {
    const int unbiased = exponent == 0 ? -16382 : exponent - 16383;
    value = vost::ldexp(extended(significand), unbiased - 63);
  }
  return (sign_exponent & 0x8000) ? -value : value;
}

// Reads a variable of the given type at offset in the low-memory area; false for an unknown type
// or bytes outside the emulated memory.
bool read_variable(uint8_t type, uint32_t offset, extended& value) {
  int size;
  switch (type) {
    case 1:
    case 129:
      size = 1;
      break;
    case 2:
    case 130:
      size = 2;
      break;
    case 20:
    case 148:
    case 4:
      size = 4;
      break;
    case 5:
    case 133:
    case 8:
      size = 8;
      break;
    case 6:
      size = 10;
      break;
    default:
      return false;
  }
  const uint8_t* p = low_memory_span(offset, static_cast<uint32_t>(size));
  if (!p) return false;
  const uint64_t bits = size <= 8 ? read_le(p, size) : 0;
  switch (type) {
    case 1:
      value = static_cast<int8_t>(bits);
      break;
    case 129:
      value = static_cast<uint8_t>(bits);
      break;
    case 2:
      value = static_cast<int16_t>(bits);
      break;
    case 130:
      value = static_cast<uint16_t>(bits);
      break;
    case 20:
      value = static_cast<int32_t>(bits);
      break;
    case 148:
      value = static_cast<uint32_t>(bits);
      break;
    case 5:
      value = static_cast<int64_t>(bits);
      break;
    case 133:
      value = bits;
      break;
    case 4: {
      float f;
      const auto word = static_cast<uint32_t>(bits);
      std::memcpy(&f, &word, sizeof f);
      value = f;
      break;
    }
    case 8: {
      double d;
      std::memcpy(&d, &bits, sizeof d);
      value = d;
      break;
    }
    default:
      value = decode_extended(p);
      break;
  }
  return true;
}

struct Vector {
  extended x = 0, y = 0;
};

// The pen and everything that shapes a move.
struct Pen {
  extended x = 0, y = 0;  // pixel position, not rounded between commands
  extended aspect = 1, inverse_aspect = 1;
  extended scale = 1;
  Vector up, right, up_right, down_right;  // unit moves, turned by the turn angle
  uint32_t colour = 0;
  bool skip_drawing = false;  // B: the next move does not draw
  bool stay = false;          // N: the next move returns to where it started

  // Rebuilds the four unit moves from the mode's aspect, turned by angle degrees.
  void turn(extended angle) {
    up = {0, -1};
    right = {aspect, 0};
    up_right = {aspect, -1};
    down_right = {aspect, 1};
    if (angle == 0) return;
    const extended t = angle * degrees_to_radians;
    const extended c = vost::cos(t), s = vost::sin(t);
    for (Vector* v : {&up, &right, &up_right, &down_right})
      *v = {v->x * c + v->y * s, v->y * c - v->x * s};
  }
};

bool is_blank(uint8_t c) { return c == ' ' || c == '\t'; }

uint8_t upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

void skip_blanks() {
  while (!source.at_end() && is_blank(source.peek())) ++source.position;
}

// A number that must be present and well formed.
bool read_required(extended& value) {
  value = draw_num();
  return !last_number.undefined && !last_number.invalid;
}

// A number that must be a whole value, as colours are.
bool read_whole(int64_t& value) {
  extended n;
  if (!read_required(n)) return false;
  constexpr extended limit = 9223372036854775808.0;  // 2^63
  if (!(n >= -limit && n < limit) || vost::trunc(n) != n) return false;
  value = static_cast<int64_t>(n);
  return true;
}

// Draws (unless B) from the pen to the target and moves the pen there (unless N).
void move_pen(Pen& pen, extended target_x, extended target_y) {
  if (!pen.skip_drawing)
    fast_line(round_to_pixel(pen.x), round_to_pixel(pen.y), round_to_pixel(target_x),
              round_to_pixel(target_y), pen.colour);
  if (!pen.stay) {
    pen.x = target_x;
    pen.y = target_y;
  }
  pen.skip_drawing = pen.stay = false;
}

// A move by n unit moves in one of the eight directions (sign -1 for the opposite way).
int32_t move_by_length(Pen& pen, const Vector& unit, extended sign) {
  extended n = draw_num();
  if (last_number.invalid) return illegal_function_call;
  if (last_number.undefined) n = 1;
  const extended dx = sign * unit.x * n * pen.inverse_aspect;
  const extended dy = sign * unit.y * n;
  move_pen(pen, pen.x + dx * pen.scale, pen.y + dy * pen.scale);
  return 0;
}

// M x,y (absolute pixel) or M+x,y / M-x,y (relative, turned and scaled like the other moves).
int32_t move_to_point(Pen& pen) {
  skip_blanks();
  if (source.at_end()) return illegal_function_call;
  const bool relative = source.peek() == '+' || source.peek() == '-';
  extended x, y;
  if (!read_required(x)) return illegal_function_call;
  if (source.at_end() || source.peek() != ',') return illegal_function_call;
  ++source.position;
  if (!read_required(y)) return illegal_function_call;
  if (!relative) {
    move_pen(pen, x, y);
    return 0;
  }
  const extended dx = x * pen.inverse_aspect * pen.right.x - y * pen.inverse_aspect * pen.up.x;
  const extended dy = x * pen.right.y - y * pen.up.y;
  move_pen(pen, pen.x + dx * pen.scale, pen.y + dy * pen.scale);
  return 0;
}

// P fill,border: flood fill at the pen, through the fill statement.
int32_t fill_at_pen(Pen& pen, img_struct& im) {
  int64_t fill, border;
  if (!read_whole(fill)) return illegal_function_call;
  if (source.at_end() || source.peek() != ',') return illegal_function_call;
  ++source.position;
  if (!read_whole(border)) return illegal_function_call;
  sub_paint(to_cursor(unmap_extended_x(im, pen.x)), to_cursor(unmap_extended_y(im, pen.y)),
            static_cast<uint32_t>(fill), static_cast<uint32_t>(border), nullptr, 2 | 4);
  pen.colour = static_cast<uint32_t>(fill);
  return 0;
}

// X ref: suspends the current string and runs the referenced one from its start.
int32_t run_substring() {
  if (source.length - source.position < 3 || source.peek() != substring_reference)
    return illegal_function_call;
  const auto record_offset = static_cast<uint32_t>(read_le(source.text + source.position + 1, 2));
  const uint8_t* record = low_memory_span(record_offset, 4);
  if (!record) return illegal_function_call;
  const auto length = static_cast<uint32_t>(read_le(record, 2));
  const auto text_offset = static_cast<uint32_t>(read_le(record + 2, 2));
  const uint8_t* text = low_memory_span(text_offset, length);
  if (!text) return illegal_function_call;
  if (suspended.size() >= static_cast<size_t>(draw_stack_depth)) return nesting_overflow;
  if (suspended.capacity() == 0) suspended.reserve(draw_stack_depth);
  source.position += 3;
  suspended.push_back(source);
  source = {text, static_cast<int32_t>(length), 0};
  return 0;
}

// Runs the commands from source to the end of the outermost string; 0 or an error number.
int32_t run_commands(Pen& pen, img_struct& im) {
  for (;;) {
    if (source.at_end()) {
      if (suspended.empty()) return 0;
      source = suspended.back();
      suspended.pop_back();
      continue;
    }
    const uint8_t command = upper(source.peek());
    ++source.position;
    int32_t failure = 0;
    switch (command) {
      case ' ':
      case '\t':
      case ';':
        break;
      case 'U':
        failure = move_by_length(pen, pen.up, 1);
        break;
      case 'D':
        failure = move_by_length(pen, pen.up, -1);
        break;
      case 'L':
        failure = move_by_length(pen, pen.right, -1);
        break;
      case 'R':
        failure = move_by_length(pen, pen.right, 1);
        break;
      case 'E':
        failure = move_by_length(pen, pen.up_right, 1);
        break;
      case 'F':
        failure = move_by_length(pen, pen.down_right, 1);
        break;
      case 'G':
        failure = move_by_length(pen, pen.up_right, -1);
        break;
      case 'H':
        failure = move_by_length(pen, pen.down_right, -1);
        break;
      case 'M':
        failure = move_to_point(pen);
        break;
      case 'B':
        pen.skip_drawing = true;
        break;
      case 'N':
        pen.stay = true;
        break;
      case 'C': {
        int64_t colour;
        if (!read_whole(colour)) return illegal_function_call;
        pen.colour = static_cast<uint32_t>(colour);
        im.draw_color = pen.colour;
        break;
      }
      case 'S': {
        extended n;
        if (!read_required(n) || !(n >= 0)) return illegal_function_call;
        pen.scale = n / 4;
        im.draw_scale = static_cast<double>(pen.scale);
        break;
      }
      case 'A': {
        extended n;
        if (!read_required(n) || !(n == 0 || n == 1 || n == 2 || n == 3))
          return illegal_function_call;
        im.draw_angle = static_cast<double>(n * 90);
        pen.turn(n * 90);
        break;
      }
      case 'T': {
        skip_blanks();
        if (source.at_end() || upper(source.peek()) != 'A') return illegal_function_call;
        ++source.position;
        extended angle;
        if (!read_required(angle)) return illegal_function_call;
        im.draw_angle = static_cast<double>(angle);
        pen.turn(angle);
        break;
      }
      case 'P':
        failure = fill_at_pen(pen, im);
        break;
      case 'X':
        failure = run_substring();
        break;
      default:
        return illegal_function_call;
    }
    if (failure) return failure;
  }
}

// A number that is nothing but digits and ends at a byte that cannot continue it: its value as the
// general reader below would build it (value * 10 + digit is exact in extended precision for
// every whole number this short). False, with nothing read, for anything else.
bool read_plain_digits(extended& value) {
  constexpr int32_t most_digits = 18;  // below 2^63, so the sum is exact in 64 bits
  int32_t end = source.position;
  uint64_t whole = 0;
  while (end < source.length && end - source.position < most_digits && source.text[end] >= '0' &&
         source.text[end] <= '9')
    whole = whole * 10 + (source.text[end++] - '0');
  if (end == source.position || end - source.position == most_digits) return false;
  if (end < source.length) {
    const uint8_t next = source.text[end];
    if (is_blank(next) || next == '.' || next == '=') return false;  // the number may go on
  }
  source.position = end;
  value = extended(whole);
  return true;
}

}  // namespace

extended draw_num() {
  extended plain;
  if (read_plain_digits(plain)) {
    last_number.undefined = last_number.invalid = false;
    return plain;
  }
  extended value = 0, sign = 1, multiplier = one_tenth;
  bool in_fraction = false, seen_digit = false, started = false;
  last_number.undefined = true;
  last_number.invalid = false;
  while (!source.at_end()) {
    const uint8_t c = source.peek();
    if (is_blank(c)) {
      ++source.position;
    } else if (c >= '0' && c <= '9') {
      const int digit = c - '0';
      if (in_fraction) {
        value += digit * multiplier;
        multiplier /= 10;
      } else {
        value = value * 10 + digit;
      }
      seen_digit = started = true;
      last_number.undefined = last_number.invalid = false;
      ++source.position;
    } else if (c == '-' || c == '+') {
      if (seen_digit || in_fraction) break;  // a sign after the number starts the next one
      if (c == '-') sign = -sign;
      last_number.invalid = true;
      started = true;
      ++source.position;
    } else if (c == '.') {
      if (in_fraction) break;
      in_fraction = true;
      if (seen_digit) last_number.invalid = true;  // "5." needs a digit after the point
      started = true;
      ++source.position;
    } else if (c == '=') {
      ++source.position;
      if (started) {  // a reference only stands alone
        last_number.invalid = true;
        return 0;
      }
      if (source.length - source.position < 3) {  // cut short: it takes the rest of the string
        source.position = source.length;
        last_number.invalid = true;
        return 0;
      }
      const uint8_t type = source.peek();
      const auto offset = static_cast<uint32_t>(read_le(source.text + source.position + 1, 2));
      source.position += 3;
      extended variable = 0;
      if (!read_variable(type, offset, variable)) {
        last_number.invalid = true;
        return 0;
      }
      last_number.undefined = last_number.invalid = false;
      return variable;
    } else {
      break;
    }
  }
  return value * sign;
}

void sub_draw(zqs* commands) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (refuse_text_page(im)) return;
  Pen pen;
  pen.aspect = default_aspect(im.mode);
  pen.inverse_aspect = 1 / pen.aspect;
  pen.scale = im.draw_scale;
  pen.turn(im.draw_angle);
  pen.x = map_extended_x(im, im.x);
  pen.y = map_extended_y(im, im.y);
  pen.colour = im.draw_color;

  const float cursor_x = im.x, cursor_y = im.y;  // a fill moves the cursor; an error puts it back
  source = {};
  if (commands && commands->data && commands->length > 0)
    source = {commands->data, commands->length, 0};
  suspended.clear();
  const int32_t failure = run_commands(pen, im);
  suspended.clear();
  source = {};
  if (failure) {
    im.x = cursor_x;
    im.y = cursor_y;
    error(failure);
    return;
  }
  im.x = to_cursor(unmap_extended_x(im, pen.x));
  im.y = to_cursor(unmap_extended_y(im, pen.y));
}
