// The runtime's numbers as text, one case per line, for comparing hosts byte for byte: the desktop
// (the x87's extended precision in hardware) and the browser (the same format in software) must
// print the same corpus. Covers number text (STR$ of single, double and extended values), text
// to number (VAL, as the extended result and as the double and single a program stores), PRINT
// USING, PSET's rounding through a WINDOW, the 6-bit to 8-bit palette conversion, and the pixels
// of circles, arcs and ellipses and of the drawing language's turned pen.
//
//   number_corpus            the corpus on stdout (about 110 000 lines)
//   number_corpus --time     median nanoseconds per VAL and per STR$ call, for comparing hosts
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/decimal_text.h"
#include "runtime/core/error.h"
#include "runtime/core/extended.h"
#include "runtime/core/number_text.h"
#include "runtime/core/print_using.h"
#include "runtime/core/strings.h"
#include "runtime/screen/circle.h"
#include "runtime/screen/color.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/draw_macro.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"
#include "tests/support/headless_runtime.h"

namespace {

// splitmix64: the same numbers on every host (the standard distributions are not).
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

std::string text_of(zqs* s) {
  return s ? std::string(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length))
           : std::string();
}

zqs* literal(const std::string& text) {
  return zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size()));
}

// One case's line: ends it with the error the case raised, if any, and frees the temporary
// strings, as the end of a statement does.
struct Statement {
  uint32_t base = zqs_tmp_list_nexti;
  ~Statement() {
    zqs_cleanup(base, 0);
    const uint32_t e = take_pending_error();
    if (e != 0) std::printf(" error %u", e);
    std::putchar('\n');
  }
};

struct ExtendedBits {
  uint64_t significand;
  uint16_t sign_exponent;
};

// The value as the x87 stores it in memory.
ExtendedBits extended_bits(extended value) {
#if VOST_HARDWARE_EXTENDED
  unsigned char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  ExtendedBits bits;
  std::memcpy(&bits.significand, bytes, 8);
  std::memcpy(&bits.sign_exponent, bytes + 8, 2);
  return bits;
#else
  return {value.significand(), value.sign_exponent()};
#endif
}

void print_extended(extended value) {
  const ExtendedBits bits = extended_bits(value);
  std::printf("%04x:%016" PRIx64, bits.sign_exponent, bits.significand);
}

uint64_t double_bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint32_t float_bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double random_double(Random& random) {
  double value;
  if (random.below(4) == 0) {
    const uint64_t bits = random.next();
    std::memcpy(&value, &bits, sizeof value);
  } else {
    // Everyday magnitudes, where the fixed-point forms and the digit limits meet.
    value = std::ldexp(static_cast<double>(random.next() >> 11), -53) *
            std::pow(10.0, static_cast<int>(random.below(50)) - 25);
    if (random.below(2)) value = -value;
  }
  return value;
}

extended random_extended(Random& random) {
  uint64_t significand = random.next() | (uint64_t{1} << 63);
  const uint32_t kind = random.below(8);
  uint16_t exponent;
  if (kind == 0) {
    exponent = static_cast<uint16_t>(random.below(0x7FFF));  // the whole range
  } else {
    exponent = static_cast<uint16_t>(16383 - 70 + random.below(140));  // everyday values
  }
  if (exponent == 0) significand &= ~(uint64_t{1} << 63);  // a denormal
  if (random.below(2)) exponent |= 0x8000;
  return vost::extended_constant(significand, exponent);
}

void str_cases(Random& random) {
  for (int i = 0; i < 15000; ++i) {
    const float value = static_cast<float>(random_double(random));
    Statement statement;
    std::printf("str single %08x %s", float_bits(value), text_of(zqs_str(value)).c_str());
  }
  for (int i = 0; i < 15000; ++i) {
    const double value = random_double(random);
    Statement statement;
    std::printf("str double %016" PRIx64 " %s", double_bits(value),
                text_of(zqs_str(value)).c_str());
  }
  for (int i = 0; i < 10000; ++i) {
    const extended value = random_extended(random);
    Statement statement;
    std::printf("str extended ");
    print_extended(value);
    std::printf(" %s", text_of(zqs_str(value)).c_str());
  }
}

// A text for VAL: blanks, a sign, digits around a point, an exponent of either letter, or a
// prefixed integer; now and then a long run of digits or a halfway value of the 80-bit format.
std::string random_number_text(Random& random) {
  static const char digits[] = "0123456789";
  std::string text;
  if (random.below(20) == 0) {
    static const char* const prefixes[] = {"&H", "&h", "&O", "&B"};
    static const char* const alphabet[] = {"0123456789ABCDEFabcdef", "01234567", "01234567", "01"};
    const uint32_t base = random.below(4);
    text = prefixes[base];
    const uint32_t count = 1 + random.below(24);
    for (uint32_t i = 0; i < count; ++i)
      text += alphabet[base][random.below(static_cast<uint32_t>(std::strlen(alphabet[base])))];
    return text;
  }
  if (random.below(8) == 0) text += " ";
  if (random.below(3) == 0) text += random.below(2) ? "-" : "+";
  const uint32_t whole = random.below(4) == 0 ? random.below(40) : random.below(12);
  for (uint32_t i = 0; i < whole; ++i) text += digits[random.below(10)];
  if (random.below(2)) {
    text += '.';
    const uint32_t fraction = random.below(4) == 0 ? random.below(40) : random.below(12);
    for (uint32_t i = 0; i < fraction; ++i) text += digits[random.below(10)];
  }
  if (random.below(2)) {
    static const char letters[] = "EDed";
    text += letters[random.below(4)];
    if (random.below(2)) text += random.below(2) ? "-" : "+";
    const uint32_t kind = random.below(10);
    const int32_t exponent = kind == 0   ? static_cast<int32_t>(random.below(5000))
                             : kind == 1 ? 4920 + static_cast<int32_t>(random.below(80))
                                         : static_cast<int32_t>(random.below(320));
    text += std::to_string(exponent);
  }
  if (random.below(10) == 0) text += "x7";
  return text;
}

// The exact decimal text of the point halfway between an extended value and the next one up: VAL
// must round it to the even one of the two, and one digit more or less either way.
std::string halfway_text(Random& random) {
  const extended low = random_extended(random);
  const ExtendedBits bits = extended_bits(low);
  const uint16_t magnitude = bits.sign_exponent & 0x7FFF;
  if (magnitude == 0 || magnitude >= 0x7FFE) return "1";
  // low + half an ulp: a 65-bit significand, printed exactly.
  BinaryValue half;
  half.high = bits.significand >> 63;
  half.low = (bits.significand << 1) | 1;
  half.exponent = magnitude - 16383 - 64;
  half.negative = bits.sign_exponent & 0x8000;
  char text[6000];
  const auto [end, ec] = decimal_scientific(text, text + sizeof text, half, 60);
  if (ec != std::errc()) return "1";
  std::string result(text, end);
  const size_t e = result.find('e');
  // A digit less at the end of the mantissa now and then: just below or above the midpoint.
  if (random.below(3) == 0 && e > 3) result.erase(e - 1, 1);
  return result;
}

void val_cases(Random& random) {
  for (int i = 0; i < 30000; ++i) {
    const std::string text = i % 5 == 4 ? halfway_text(random) : random_number_text(random);
    Statement statement;
    const extended value = func_val(literal(text));
    std::printf("val \"%s\" ", text.c_str());
    print_extended(value);
    std::printf(" %016" PRIx64 " %08x", double_bits(static_cast<double>(value)),
                float_bits(static_cast<float>(value)));
  }
}

void print_using_cases(Random& random) {
  static const char* const formats[] = {"##.##",     "+#.###^^^^", "###,.##",    "**$##.##",
                                        "#.##^^^^^", "-##.####",   "#########.", ".#########^^^^"};
  zqs* destination = zqs_new(0, 0);
  for (int i = 0; i < 24000; ++i) {
    const char* format = formats[random.below(8)];
    const uint32_t type = random.below(3);
    Statement statement;
    zqs_set(destination, zqs_new_txt(""));
    if (type == 0) {
      const float value = static_cast<float>(random_double(random));
      print_using_single(literal(format), value, 0, destination);
      std::printf("using %s single %08x", format, float_bits(value));
    } else if (type == 1) {
      const double value = random_double(random);
      print_using_double(literal(format), value, 0, destination);
      std::printf("using %s double %016" PRIx64, format, double_bits(value));
    } else {
      const extended value = random_extended(random);
      print_using_float(literal(format), value, 0, destination);
      std::printf("using %s extended ", format);
      print_extended(value);
    }
    std::printf(" [%s]", text_of(destination).c_str());
  }
  zqs_free(destination);
}

// The one set pixel of the page (cleared), or -1.
int64_t take_set_pixel(img_struct& im) {
  const size_t size = static_cast<size_t>(im.width) * im.height;
  for (size_t i = 0; i < size; ++i)
    if (im.pixels[i] != 0) {
      im.pixels[i] = 0;
      return static_cast<int64_t>(i);
    }
  return -1;
}

uint64_t page_hash(const img_struct& im) {
  uint64_t hash = 0xCBF29CE484222325u;
  const size_t size = static_cast<size_t>(im.width) * im.height * im.bytes_per_pixel;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ im.pixels[i]) * 0x100000001B3u;
  return hash;
}

float random_coordinate(Random& random, float range) {
  return static_cast<float>(static_cast<double>(random.next() >> 40) / (1 << 24) * 2 - 1) * range;
}

void pset_and_palette_cases(Random& random) {
  for (uint32_t c = 0; c < 64; ++c) std::printf("palette %u %u\n", c, dac_6bit_to_8bit(c));
  for (int i = 0; i < 4000; ++i) {
    const extended value = random_extended(random);
    Statement statement;
    std::printf("zqr ");
    print_extended(value);
    std::printf(" %" PRId64, zqr(value));
  }
  const int32_t page = func__newimage(64, 48, 13, 1);
  sub__dest(page);
  img_struct& im = *write_page;
  float x1 = 0, y1 = 0, x2 = 1, y2 = 1;
  for (int i = 0; i < 4000; ++i) {
    if (i % 100 == 0) {
      // A new WINDOW whose scale and offsets are rarely whole numbers.
      x1 = random_coordinate(random, 10);
      y1 = random_coordinate(random, 10);
      x2 = x1 + 0.5f + std::fabs(random_coordinate(random, 7));
      y2 = y1 + 0.5f + std::fabs(random_coordinate(random, 7));
      zqg_sub_window(x1, y1, x2, y2, window_corners | (random.below(2) ? window_screen : 0));
      take_set_pixel(im);
    }
    // Mostly inside the window, now and then just outside it.
    const float x = x1 + (x2 - x1) * (random_coordinate(random, 0.55f) + 0.5f);
    const float y = y1 + (y2 - y1) * (random_coordinate(random, 0.55f) + 0.5f);
    Statement statement;
    sub_pset(x, y, 7, pset_colour);
    std::printf("pset %08x %08x %" PRId64, float_bits(x), float_bits(y), take_set_pixel(im));
  }
  zqg_sub_window(0, 0, 0, 0, 0);
}

void shape_cases(Random& random) {
  const int32_t page = func__newimage(160, 120, 13, 1);
  sub__dest(page);
  img_struct& im = *write_page;
  constexpr double two_pi = 6.283185307179586;
  for (int i = 0; i < 6000; ++i) {
    std::memset(im.pixels, 0, static_cast<size_t>(im.width) * im.height);
    const double x = 80 + random_coordinate(random, 20), y = 60 + random_coordinate(random, 20);
    const double radius = 0.5 + random.below(9000) / 100.0;
    int32_t passed = circle_colour;
    double start = 0, end = 0, aspect = 0;
    if (random.below(2)) {
      const double start_step = random.below(10000), start_sign = random.below(4) ? 1 : -1;
      const double end_step = random.below(10000), end_sign = random.below(4) ? 1 : -1;
      start = start_step * two_pi / 10000 * start_sign;
      end = end_step * two_pi / 10000 * end_sign;
      passed |= circle_start | circle_end;
    }
    if (random.below(3) == 0) {
      aspect = 0.1 + random.below(400) / 100.0;
      passed |= circle_aspect;
    }
    Statement statement;
    sub_circle(x, y, radius, 15, start, end, aspect, passed);
    std::printf("circle %.17g %.17g %.17g %.17g %.17g %.17g %016" PRIx64, x, y, radius, start, end,
                aspect, page_hash(im));
  }
  for (int i = 0; i < 2000; ++i) {
    std::memset(im.pixels, 0, static_cast<size_t>(im.width) * im.height);
    // One draw from the generator per value, in order (the order in which a call's arguments
    // are evaluated differs between compilers).
    int values[9];
    for (int k = 0; k < 9; ++k) {
      const bool angle = k == 0 || k == 4;
      values[k] = angle ? static_cast<int>(random.below(721)) - 360
                        : static_cast<int>(random.below(k == 1   ? 12
                                                        : k >= 7 ? 20
                                                                 : 30)) +
                              (k == 1);
    }
    char commands[160];
    std::snprintf(commands, sizeof commands, "BM80,60 TA%d S%d U%d R%d TA%d D%d L%d E%d F%d",
                  values[0], values[1], values[2], values[3], values[4], values[5], values[6],
                  values[7], values[8]);
    Statement statement;
    sub_draw(literal(commands));
    std::printf("draw \"%s\" %016" PRIx64, commands, page_hash(im));
  }
}

// Median nanoseconds per call over repeated runs of `calls` calls.
template <typename Run>
double median_ns(int calls, Run run) {
  std::vector<double> times;
  for (int repeat = 0; repeat < 15; ++repeat) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    times.push_back(took.count() / calls);
  }
  std::nth_element(times.begin(), times.begin() + 7, times.end());
  return times[7];
}

// A decimal as a program would print one: up to 17 significant digits and an exponent now and
// then (" 3.25", "-1.234567890123D-07").
std::string printed_decimal(Random& random) {
  char text[40];
  const double value = random_double(random);
  const int digits = 1 + static_cast<int>(random.below(17));
  std::snprintf(text, sizeof text, random.below(2) ? "%.*G" : "%.*E", digits, value);
  return text;
}

// A string of the runtime's own that keeps a copy of the text.
zqs* kept_text(const std::string& text) {
  zqs* s = zqs_new(static_cast<uint32_t>(text.size()), 0);
  std::memcpy(s->data, text.data(), text.size());
  return s;
}

void time_calls() {
  Random random{7};
  std::vector<zqs*> decimals, wholes;
  std::vector<double> doubles;
  std::vector<extended> values;
  for (int i = 0; i < 1024; ++i) {
    const std::string decimal = printed_decimal(random);
    decimals.push_back(kept_text(decimal));
    wholes.push_back(kept_text(std::to_string(random.next() >> random.below(64))));
    doubles.push_back(random_double(random));
    values.push_back(random_extended(random));
  }
  volatile double sink = 0;
  constexpr int calls = 1024 * 20;
  auto val = [&](const std::vector<zqs*>& texts) {
    return median_ns(calls, [&] {
      for (int i = 0; i < calls; ++i) sink = sink + static_cast<double>(func_val(texts[i & 1023]));
    });
  };
  auto str = [&](const auto& numbers) {
    return median_ns(calls, [&] {
      for (int i = 0; i < calls; ++i) {
        const uint32_t base = zqs_tmp_list_nexti;
        sink = sink + zqs_str(numbers[i & 1023])->length;
        zqs_cleanup(base, 0);
      }
    });
  };
  std::printf("VAL of a decimal %.1f ns\n", val(decimals));
  std::printf("VAL of a whole number %.1f ns\n", val(wholes));
  std::printf("STR$ of a double %.1f ns\n", str(doubles));
  std::printf("STR$ of an extended value %.1f ns\n", str(values));
}

}  // namespace

int main(int argc, char** argv) {
  init_headless_runtime();
  if (argc > 1 && std::strcmp(argv[1], "--time") == 0) {
    time_calls();
    return 0;
  }
  Random random{20261208};
  str_cases(random);
  val_cases(random);
  print_using_cases(random);
  pset_and_palette_cases(random);
  shape_cases(random);
  return 0;
}
