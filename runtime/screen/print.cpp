// The print statement: strings printed at the cursor with their control codes, wrapping at the
// right edge and holding the cursor there; runs of glyphs written at once; print zones (the comma),
// TAB and SPC, and the control-character switch. It writes through the cells and the cursor of
// text.cpp.
#include "runtime/screen/text.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

int32_t no_control_characters = 0;
int32_t no_control_characters2 = 0;

namespace {

// The permanent one-space string that the comma of PRINT prints. It lives in static storage: it is
// never released, never moved and never written, so it needs no string-area set-up.
uint8_t single_space_byte = ' ';
zqs single_space_descriptor = {
    .data = &single_space_byte,
    .length = 1,
    .in_low_memory = 0,
    .low_memory_slot = nullptr,
    .low_memory_slot_offset = 0,
    .area_index = 0,
    .temporary = 0,
    .temp_index = 0,
    .fixed_length = 1,
    .read_only = 1,
    .field_binding = nullptr,
};
zqs* const singlespace = &single_space_descriptor;

constexpr int32_t print_zone_columns = 14;
constexpr int32_t tab_stop_columns = 8;
constexpr auto bell_duration = std::chrono::milliseconds(250);
// Bytes of the line break that starts a TAB or SPC result moving to the next line: the screen's
// line break is the one character 13.
constexpr uint32_t tab_spc_cr_size = 1;

// Control codes acted upon while printing.
enum ControlCode : uint8_t {
  bell = 7,
  horizontal_tab = 9,
  line_feed = 10,
  home = 11,
  form_feed = 12,
  carriage_return = 13,
  cursor_right = 28,
  cursor_left = 29,
  cursor_up = 30,
  cursor_down = 31,
};

bool control_codes_active() { return !no_control_characters && !no_control_characters2; }

// How many of the count bytes print as glyphs from the cursor on to the row's last column at most,
// on a row inside the page: a run that print_glyph_run() draws at once. With control codes on,
// any byte below 32 ends the run (the control codes are among them; the byte-by-byte path sorts
// them out); the bytes are tested eight at a time.
int32_t glyph_run_length(const img_struct& im, const uint8_t* bytes, int32_t count,
                         bool control_codes) {
  const int32_t room = text_columns(im) - im.cursor_x + 1;
  if (im.cursor_x < 1 || room <= 0 || im.cursor_y < 1 || im.cursor_y > text_rows(im)) return 0;
  // Graphics pages: the cells of the 8-pixel built-in fonts (the doubled ones go byte by byte).
  if (!im.text && (font_width(im.font) != 8 || !font_glyph(static_cast<int32_t>(im.font), 0)))
    return 0;
  const int32_t limit = std::min(count, room);
  if (!control_codes) return limit;
  int32_t n = 0;
  constexpr uint64_t each_byte = 0x0101010101010101u;
  for (; n + 8 <= limit; n += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + n, 8);
    if ((word - 32 * each_byte) & ~word & (128 * each_byte)) break;  // a byte below 32
  }
  while (n < limit && bytes[n] >= 32) ++n;
  return n;
}

// A run of glyphs on an indexed page, for indexed_glyph_cells(): the first cell's top-left pixel,
// the font's glyphs and the colours and print mode as 64-bit words of eight pixels.
struct IndexedGlyphRun {
  uint8_t* cell;
  size_t pitch;
  const uint8_t* glyphs;
  size_t glyph_bytes;
  const uint8_t* bytes;
  int32_t count;
  uint64_t foreground, background;
  uint64_t foreground_drawn, background_drawn;  // all ones where the print mode draws
};

// Writes the glyph cells of a run, each glyph row as one 64-bit word: the glyph's bytes (0 or 255)
// select the foreground, the background or, where the print mode draws neither, the pixel already
// there. Rows is the font height, a constant so that the rows of a cell are unrolled; both_drawn
// is print mode 3, which keeps no pixel.
template <int32_t rows, bool both_drawn>
void indexed_glyph_cells(IndexedGlyphRun run) {
  // Taken by value: a byte store may alias anything, and the fields must stay in registers.
  const uint64_t difference = run.foreground ^ run.background;
  for (int32_t i = 0; i < run.count; ++i, run.cell += 8) {
    const uint8_t* glyph = run.glyphs + run.bytes[i] * run.glyph_bytes;
    uint8_t* row = run.cell;
    for (int32_t y = 0; y < rows; ++y, row += run.pitch) {
      uint64_t set, out;
      std::memcpy(&set, glyph + y * 8, 8);
      const uint64_t chosen = run.background ^ (set & difference);
      if constexpr (both_drawn) {
        out = chosen;
      } else {
        const uint64_t drawn = (set & run.foreground_drawn) | (~set & run.background_drawn);
        std::memcpy(&out, row, 8);
        out = (out & ~drawn) | (chosen & drawn);
      }
      std::memcpy(row, &out, 8);
    }
  }
}

// Draws a run of glyph_run_length() bytes from the cursor on and leaves the cursor on the run's
// last cell, for advance_cursor(). Text pages get their cells (interleaved eight at a time where
// the processor has the vector instructions); graphics pages get whole glyph cells, written row by
// row with the colours and the font chosen once: indexed pages by indexed_glyph_cells(), 32-bit
// pages pixel by pixel through the pen of each colour, so that they blend.
void print_glyph_run(img_struct& im, const uint8_t* bytes, int32_t count) {
  const int32_t first = im.cursor_x - 1;
  im.cursor_x = static_cast<uint16_t>(im.cursor_x + count - 1);
  if (im.text) {
    const uint8_t attribute = text_attribute(im, im.background_color);
    uint8_t* cell = im.pixels + (static_cast<size_t>(im.cursor_y - 1) * im.width + first) * 2;
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i attributes = _mm_set1_epi8(static_cast<char>(attribute));
    for (; i + 8 <= count; i += 8, cell += 16) {
      const __m128i characters = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cell), _mm_unpacklo_epi8(characters, attributes));
    }
#endif
    for (; i < count; ++i, cell += 2) {
      cell[0] = bytes[i];
      cell[1] = attribute;
    }
    return;
  }
  const auto font = static_cast<int32_t>(im.font);
  const int32_t height = font_height(im.font);
  const uint8_t* glyphs = font_glyph(font, 0);
  const size_t glyph_bytes = static_cast<size_t>(font_glyph(font, 1) - glyphs);
  const size_t pitch = im.width;
  const size_t origin = static_cast<size_t>(height) * (im.cursor_y - 1) * pitch + 8 * first;
  const int32_t mode = im.print_mode & 3;
  if (im.bytes_per_pixel == 1) {
    constexpr uint64_t bytes_of_one = 0x0101010101010101u;
    const IndexedGlyphRun run{
        .cell = im.pixels + origin,
        .pitch = pitch,
        .glyphs = glyphs,
        .glyph_bytes = glyph_bytes,
        .bytes = bytes,
        .count = count,
        .foreground = bytes_of_one * static_cast<uint8_t>(im.color & im.pixel_mask),
        .background = bytes_of_one * static_cast<uint8_t>(im.background_color & im.pixel_mask),
        .foreground_drawn = (mode & 1) ? ~uint64_t{0} : 0,
        .background_drawn = (mode & 2) ? ~uint64_t{0} : 0,
    };
    auto draw = [&]<int32_t rows>() {
      if (mode == 3)
        indexed_glyph_cells<rows, true>(run);
      else
        indexed_glyph_cells<rows, false>(run);
    };
    switch (height) {
      case 8:
        draw.template operator()<8>();
        break;
      case 14:
        draw.template operator()<14>();
        break;
      default:  // the runs take the 8-pixel built-in fonts only: 8, 14 or 16 rows
        assert(height == 16);
        draw.template operator()<16>();
        break;
    }
    return;
  }
  const PixelPen foreground(im, im.color), background(im, im.background_color);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* glyph = glyphs + bytes[i] * glyph_bytes;
    size_t row = origin + 8 * static_cast<size_t>(i);
    for (int32_t y = 0; y < height; ++y, row += pitch)
      for (int32_t x = 0; x < 8; ++x) {
        if (glyph[y * 8 + x]) {
          if (mode & 1) foreground.store(row + x);
        } else if (mode & 2) {
          background.store(row + x);
        }
      }
  }
}

// Moves the cursor on from the glyph just printed. Returns true when it passed the right edge and a
// new line was started; at the end of a print without a new line the cursor is held on the last
// column instead.
bool advance_cursor(img_struct& im, bool last_byte, bool new_line) {
  ++im.cursor_x;
  if (im.text) {
    if (im.cursor_x <= im.width) return false;
  } else {
    const int32_t width = font_cell_width(im.font);
    if (width * (im.cursor_x - 1) <= im.width - width) return false;
  }
  if (!new_line && last_byte) {
    im.cursor_x = im.text ? im.cursor_x - 1 : im.width / font_cell_width(im.font);
    im.holding_cursor = 1;
    return false;
  }
  newline();
  return true;
}

// Prints one glyph at the cursor and advances it (advance_cursor()).
bool print_glyph(img_struct& im, uint8_t character, bool last_byte, bool new_line) {
  printchr(character);
  return advance_cursor(im, last_byte, new_line);
}

// Acts on a control code; false when the byte is to be printed as a glyph.
bool act_on_control_code(img_struct& im, uint8_t code) {
  const int32_t columns = text_columns(im);
  switch (code) {
    case cursor_right:
      if (im.cursor_y >= im.bottom_row && im.cursor_x >= columns) return true;
      if (++im.cursor_x > columns) {
        im.cursor_x = 1;
        ++im.cursor_y;
      }
      return true;
    case cursor_left:
      if (im.cursor_x == 1 && (im.cursor_y <= im.top_row || im.cursor_y > im.bottom_row)) {
        return true;
      }
      if (--im.cursor_x == 0) {
        im.cursor_x = static_cast<uint16_t>(columns);
        --im.cursor_y;
      }
      return true;
    case cursor_up:
      if (im.cursor_y > im.top_row && im.cursor_y <= im.bottom_row) --im.cursor_y;
      return true;
    case cursor_down:
      if (im.cursor_y >= im.top_row && im.cursor_y < im.bottom_row) ++im.cursor_y;
      return true;
    case form_feed:
      sub_cls(0, 0, 0);
      return true;
    case home:
      im.cursor_x = 1;
      im.cursor_y = im.top_row;
      return true;
    case bell:
      std::this_thread::sleep_for(bell_duration);
      return true;
    case line_feed:
    case carriage_return:
      newline();
      return true;
    default:
      return false;
  }
}

// A temporary string of an optional line break followed by spaces (TAB and SPC results).
zqs* spacing_string(bool line_break, int32_t spaces) {
  const uint32_t length =
      (line_break ? tab_spc_cr_size : 0u) + static_cast<uint32_t>(std::max(spaces, 0));
  zqs* result = zqs_new(length, 1);
  if (length) {
    uint8_t* data = result->data;
    if (line_break) *data++ = carriage_return;
    std::memset(data, ' ', static_cast<size_t>(std::max(spaces, 0)));
  }
  return result;
}

// Console image: text goes to standard output.
void console_print(const zqs* text, bool new_line) {
  if (text && text->length > 0)
    std::fwrite(text->data, 1, static_cast<size_t>(text->length), stdout);
  if (new_line) std::fputc('\n', stdout);
  std::fflush(stdout);
}

// TAB and SPC take a 16-bit argument: false (after error 6 for an argument outside that range)
// when the function must return an empty string.
bool spacing_argument_accepted(int32_t argument) {
  if (error_pending()) return false;
  if (argument < INT16_MIN || argument > INT16_MAX) {
    error(overflow);
    return false;
  }
  return true;
}

}  // namespace

void zqs_print(zqs* text, int32_t new_line) { print_string(text, new_line, DrawPath::Auto); }

void print_string(zqs* text, int32_t new_line, DrawPath path) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console) {
    console_print(text, new_line != 0);
    return;
  }
  const int32_t length = text ? text->length : 0;
  if (im.holding_cursor) {
    if (length > 0) {
      im.holding_cursor = 0;
      newline();
    } else if (new_line) {
      im.holding_cursor = 0;
    }
  }

  bool wrapped = false;
  const bool control_codes = control_codes_active();
  for (int32_t i = 0; i < length; ++i) {
    if (path == DrawPath::Auto && !error_pending()) {
      const int32_t run = glyph_run_length(im, text->data + i, length - i, control_codes);
      if (run > 0) {
        print_glyph_run(im, text->data + i, run);
        i += run - 1;
        wrapped = advance_cursor(im, i == length - 1, new_line != 0);
        continue;
      }
    }
    const uint8_t character = text->data[i];
    const bool last_byte = i == length - 1;
    wrapped = false;
    if (control_codes) {
      if (character == horizontal_tab) {
        // Spaces up to the next tab stop (columns 9, 17, 25, ...). A held cursor ends the tab:
        // it cannot move further on this line. A row of fewer than eight columns has no tab
        // stop: the tab ends where its spaces wrap onto the next row.
        const bool no_tab_stop = text_columns(im) < tab_stop_columns;
        int32_t column_before = 0;
        do {
          wrapped = false;
          column_before = im.cursor_x;
          wrapped = print_glyph(im, ' ', last_byte, new_line != 0);
        } while (column_before % tab_stop_columns != 0 && !im.holding_cursor &&
                 !(wrapped && no_tab_stop));
        continue;
      }
      if (act_on_control_code(im, character)) continue;
    }
    wrapped = print_glyph(im, character, last_byte, new_line != 0);
  }
  // A line filled exactly to the edge has already wrapped: no second line break.
  if (new_line && !wrapped) newline();
}

void makefit(zqs* text) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console || im.holding_cursor || im.cursor_x == 1) return;
  const int32_t length = text ? text->length : 0;
  if (im.text) {
    if (im.cursor_x + length - 1 > im.width) newline();
    return;
  }
  const int32_t width = font_cell_width(im.font);
  if (width * (im.cursor_x - 1) + width * length > im.width) newline();
}

void tab() {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console) {
    zqs_print(singlespace, 0);
    return;
  }
  if (im.holding_cursor) {
    newline();
    im.holding_cursor = 0;
    return;
  }
  auto at_zone_start = [&im](int32_t columns) {
    return (im.cursor_x - 1) % print_zone_columns == 0 && im.cursor_x < columns - 12;
  };
  if (im.text) {
    do {
      zqs_print(singlespace, 0);
      if (im.cursor_x == 1 || at_zone_start(im.width)) return;
    } while (im.cursor_x < im.width);
    return;
  }
  const int32_t columns = text_columns(im);
  zqs_print(singlespace, 0);
  while (im.cursor_x != 1) {
    if (at_zone_start(columns) || im.cursor_x >= columns) return;
    zqs_print(singlespace, 0);
  }
}

zqs* func_tab(int32_t column) {
  if (!spacing_argument_accepted(column)) return zqs_new(0, 1);
  const img_struct& im = *write_page;
  const int32_t columns = std::max(1, text_columns(im));
  if (column > columns) column %= columns;
  if (column < 1) column = 1;
  if (column >= im.cursor_x) return spacing_string(false, column - im.cursor_x);
  return spacing_string(true, column - 1);
}

zqs* func_spc(int32_t count) {
  if (!spacing_argument_accepted(count)) return zqs_new(0, 1);
  const img_struct& im = *write_page;
  const int32_t columns = std::max(1, text_columns(im));
  count = std::max(count, 0) % columns;
  const int32_t left = columns - im.cursor_x + 1;
  if (count > left) return spacing_string(true, count - left);
  return spacing_string(false, count);
}

void sub__controlchr(int32_t state) {
  if (error_pending()) return;
  no_control_characters2 = state == 2 ? 1 : 0;
}

int32_t func__controlchr() {
  if (error_pending()) return 0;
  return no_control_characters2 ? -1 : 0;
}
