// Text output on text and graphics pages.
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
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/screen/color.h"
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

constexpr uint8_t blank_character = 32;
constexpr int32_t print_zone_columns = 14;
constexpr int32_t tab_stop_columns = 8;
constexpr auto bell_duration = std::chrono::milliseconds(250);
// Bytes of the line break that starts a TAB or SPC result moving to the next line: the screen's
// line break is the one character 13.
constexpr uint32_t tab_spc_cr_size = 1;
// Text memory of page 0 in an 80x25 screen, kept across the switch to 80x50.
constexpr uint32_t text_memory_offset = 0xB8000;
constexpr uint32_t text_80x25_bytes = 80 * 25 * 2;

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

// Font width and height of a graphics page, at least 1.
int32_t cell_width(const img_struct& im) { return font_cell_width(im.font); }
int32_t cell_height(const img_struct& im) { return font_cell_height(im.font); }

bool control_codes_active() { return !no_control_characters && !no_control_characters2; }

uint32_t row_bytes(const img_struct& im) {
  return static_cast<uint32_t>(im.width) * im.bytes_per_pixel;
}

// Fills count pixels of a graphics page starting at pixel index first, without blending.
void fill_pixels(img_struct& im, size_t first, size_t count, uint32_t colour) {
  if (im.bytes_per_pixel == 4) {
    uint32_t* pixel = reinterpret_cast<uint32_t*>(im.pixels) + first;
    std::fill(pixel, pixel + count, colour);
  } else {
    std::memset(im.pixels + first, static_cast<int>(colour & im.pixel_mask & 255), count);
  }
}

// Fills the cells of text rows first_row..last_row (1-based, clamped to the page).
void fill_text_rows(img_struct& im, int32_t first_row, int32_t last_row, uint8_t attribute) {
  first_row = std::max(first_row, 1);
  last_row = std::min(last_row, static_cast<int32_t>(im.height));
  for (int32_t row = first_row; row <= last_row; ++row) {
    uint8_t* cell = im.pixels + static_cast<size_t>(row - 1) * row_bytes(im);
    for (int32_t column = 0; column < im.width; ++column, cell += 2) {
      cell[0] = blank_character;
      cell[1] = attribute;
    }
  }
}

// Fills the pixel rows of text rows first_row..last_row of a graphics page.
void fill_graphics_text_rows(img_struct& im, int32_t first_row, int32_t last_row, uint32_t colour) {
  const int32_t height = cell_height(im);
  const int32_t first_y = std::max(0, (first_row - 1) * height);
  const int32_t end_y = std::min(static_cast<int32_t>(im.height), last_row * height);
  if (end_y <= first_y) return;
  fill_pixels(im, static_cast<size_t>(first_y) * im.width,
              static_cast<size_t>(end_y - first_y) * im.width, colour);
}

// Moves the text window's rows up by one row and blanks its last row.
void scroll_text_window(img_struct& im) {
  const int32_t top = std::max<int32_t>(im.top_row, 1);
  const int32_t bottom = std::min<int32_t>(im.bottom_row, text_rows(im));
  if (bottom < top) return;
  if (im.text) {
    const size_t pitch = row_bytes(im);
    std::memmove(im.pixels + (top - 1) * pitch, im.pixels + top * pitch, (bottom - top) * pitch);
    fill_text_rows(im, bottom, bottom, text_attribute(im, im.background_color & 7));
    return;
  }
  const size_t text_row_bytes = row_bytes(im) * cell_height(im);
  std::memmove(im.pixels + (top - 1) * text_row_bytes, im.pixels + top * text_row_bytes,
               (bottom - top) * text_row_bytes);
  fill_graphics_text_rows(im, bottom, bottom, im.background_color);
}

// Draws one glyph of a built-in font into a graphics page at the cursor cell. Every pixel goes
// through pset() so that 32-bit pages blend; print_mode bit 0 draws foreground pixels, bit 1
// background pixels. The doubled fonts draw each glyph pixel twice side by side.
void draw_glyph(img_struct& im, uint32_t character) {
  const uint8_t* glyph = font_glyph(static_cast<int32_t>(im.font), character);
  if (!glyph) return;  // loadable fonts are not provided by this runtime
  const int32_t width = font_width(im.font);
  const int32_t height = font_height(im.font);
  const int32_t doubled = width > 8 ? 1 : 0;
  const int32_t x0 = width * (im.cursor_x - 1);
  const int32_t y0 = height * (im.cursor_y - 1);
  if (x0 < 0 || y0 < 0) return;
  // Only the part of the cell inside the page is drawn.
  const int32_t columns = std::min(width, im.width - x0);
  const int32_t rows = std::min(height, im.height - y0);
  const uint32_t foreground = im.color;
  const uint32_t background = im.background_color;
  const int32_t mode = im.print_mode & 3;
  for (int32_t row = 0; row < rows; ++row) {
    const uint8_t* bits = glyph + row * 8;
    const int32_t y = y0 + row;
    for (int32_t column = 0; column < columns; ++column) {
      const bool set = bits[column >> doubled] != 0;
      if (mode == 3) {
        pset(x0 + column, y, set ? foreground : background);
      } else if (set ? (mode & 1) : (mode & 2)) {
        pset(x0 + column, y, set ? foreground : background);
      }
    }
  }
}

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
    const int32_t width = cell_width(im);
    if (width * (im.cursor_x - 1) <= im.width - width) return false;
  }
  if (!new_line && last_byte) {
    im.cursor_x = im.text ? im.cursor_x - 1 : im.width / cell_width(im);
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

void request_key_line_redraw() {
  key_display_redraw = 1;
  key_update();
}

}  // namespace

int32_t text_columns(const img_struct& im) {
  if (im.text) return im.width;
  return im.width / cell_width(im);
}

int32_t text_rows(const img_struct& im) {
  if (im.text) return im.height;
  return im.height / cell_height(im);
}

uint8_t text_attribute(const img_struct& im, uint32_t background) {
  return static_cast<uint8_t>((im.color & 15) + 8 * (2 * background + (im.color & 16)));
}

void printchr(int32_t character) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console) return;
  if (im.text) {
    if (im.cursor_x < 1 || im.cursor_x > im.width || im.cursor_y < 1 || im.cursor_y > im.height) {
      return;
    }
    uint8_t* cell =
        im.pixels + (static_cast<size_t>(im.cursor_y - 1) * im.width + im.cursor_x - 1) * 2;
    cell[0] = static_cast<uint8_t>(character);
    cell[1] = text_attribute(im, im.background_color);
    return;
  }
  draw_glyph(im, static_cast<uint32_t>(character));
}

void newline() {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (im.console) return;
  ++im.cursor_y;
  im.cursor_x = 1;
  if (im.cursor_y > im.bottom_row) {
    scroll_text_window(im);
    im.cursor_y = im.bottom_row;
  }
}

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
  const int32_t width = cell_width(im);
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

int32_t chrwidth(uint32_t character) {
  (void)character;
  return cell_width(*write_page);
}

void zqg_sub_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop,
                    int32_t passed) {
  if (error_pending()) return;
  img_struct* im = write_page;
  const bool has_row = passed & locate_row;
  const bool has_column = passed & locate_column;
  const bool has_visibility = passed & locate_cursor;
  const bool has_first_line = passed & locate_first_line;
  const bool has_last_line = passed & locate_last_line;

  if (im->console) {
    if (has_row && has_column) {
      std::printf("\033[%d;%dH", row, column);
      std::fflush(stdout);
    }
    return;
  }

  const int32_t rows = text_rows(*im);
  const int32_t columns = text_columns(*im);
  bool switch_to_80x50 = false;
  if (has_row) {
    if (row < im->top_row) {
      error(illegal_function_call);
      return;
    }
    if (row != rows && row > im->bottom_row) {
      if (!width8050switch) {
        error(illegal_function_call);
        return;
      }
      // The first cursor move below a start-up screen turns it into 80x50 (once).
      width8050switch = 0;
      if (row > 50) {
        error(illegal_function_call);
        return;
      }
      switch_to_80x50 = true;
    }
  }
  if ((has_column && (column < 1 || column > columns)) ||
      (has_visibility && (cursor < 0 || cursor > 1)) ||
      (has_first_line && (start < 0 || start > 31)) || (has_last_line && (stop < 0 || stop > 31))) {
    error(illegal_function_call);
    return;
  }

  if (switch_to_80x50) {
    uint8_t saved_cells[text_80x25_bytes];
    std::memcpy(saved_cells, cmem + text_memory_offset, sizeof saved_cells);
    const uint32_t color = im->color;
    const uint32_t background = im->background_color;
    zqsub_width(0, 80, 50, 0, 0, width_columns | width_rows);
    if (error_pending()) return;
    std::memcpy(img[page[0]].pixels, saved_cells, sizeof saved_cells);
    im = write_page;
    im->color = color;
    im->background_color = background;
  }

  if (has_row) {
    im->cursor_y = static_cast<uint16_t>(row);
    im->holding_cursor = 0;
  }
  if (has_column) {
    im->cursor_x = static_cast<uint16_t>(column);
    im->holding_cursor = 0;
  }
  if (!has_row && !has_column && im->holding_cursor) im->holding_cursor = 2;

  const bool screen_page = im->flags & IMG_SCREEN;
  if (has_visibility) {
    const uint8_t show = cursor ? 1 : 0;
    im->cursor_show = show;
    if (screen_page) for_each_screen_page([show](img_struct& p) { p.cursor_show = show; });
  }
  if (has_first_line) im->cursor_firstvalue = static_cast<uint8_t>(start);
  if (has_last_line) im->cursor_lastvalue = static_cast<uint8_t>(stop);
  if ((has_first_line || has_last_line) && screen_page) {
    const uint8_t first = im->cursor_firstvalue;
    const uint8_t last = im->cursor_lastvalue;
    for_each_screen_page([first, last](img_struct& p) {
      p.cursor_firstvalue = first;
      p.cursor_lastvalue = last;
    });
  }
}

int32_t func_csrlin() {
  if (error_pending()) return 0;
  const img_struct& im = *write_page;
  if (im.holding_cursor) return im.cursor_y < im.bottom_row ? im.cursor_y + 1 : im.bottom_row;
  return im.cursor_y;
}

int32_t func_pos(int32_t dummy) {
  (void)dummy;
  if (error_pending()) return 0;
  const img_struct& im = *write_page;
  return im.holding_cursor ? 1 : im.cursor_x;
}

void zqg_sub_view_print(int32_t top, int32_t bottom, int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  const int32_t rows = text_rows(im);
  if (passed) {
    if (top < 1 || top > rows || bottom < top || bottom > rows) {
      error(illegal_function_call);
      return;
    }
    im.top_row = static_cast<uint16_t>(top);
    im.bottom_row = static_cast<uint16_t>(bottom);
  } else {
    im.top_row = 1;
    im.bottom_row = static_cast<uint16_t>(std::max(rows, 1));
  }
  im.cursor_x = 1;
  im.cursor_y = im.top_row;
  im.holding_cursor = 0;
}

void sub_cls(int32_t method, uint32_t colour, int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  const bool has_method = passed & cls_method;
  const bool has_colour = passed & cls_colour;

  if (im.console) {
    if (has_colour) zqg_sub_color(0, colour, 0, color_background);
    if (error_pending()) return;
    std::fputs("\033[2J", stdout);
    zqg_sub_locate(1, 1, 0, 0, 0, locate_row | locate_column);
    std::fflush(stdout);
    return;
  }

  if (!has_colour) colour = im.background_color;
  if ((has_colour && im.bytes_per_pixel == 1 && colour > im.pixel_mask) ||
      (has_method && (method < 0 || method > 2))) {
    error(illegal_function_call);
    return;
  }

  // The cursor goes home; a held cursor is let go with it, so the next print starts at the top.
  im.cursor_y = im.top_row;
  im.cursor_x = 1;
  im.holding_cursor = 0;
  im.draw_angle = 0.0;
  im.draw_scale = 1.0;

  if (im.text) {
    const uint8_t attribute = text_attribute(im, colour & 7);
    if (!has_method) {
      fill_text_rows(im, im.top_row, im.bottom_row, attribute);
      fill_text_rows(im, im.height, im.height, attribute);
      request_key_line_redraw();
    } else if (method == 0) {
      fill_text_rows(im, 1, im.height, attribute);
      request_key_line_redraw();
    } else if (method == 2) {
      fill_text_rows(im, im.top_row, im.bottom_row, attribute);
    }
    return;
  }

  if (has_method && method == 2) {
    fill_graphics_text_rows(im, im.top_row, im.bottom_row, colour);
    return;
  }
  if (has_method && method == 0) {
    fill_pixels(im, 0, static_cast<size_t>(im.width) * im.height, colour);
  } else if (im.clipping_or_scaling == 0) {
    // No viewport and no window: the viewport is the whole page.
    fill_pixels(im, 0, static_cast<size_t>(im.width) * im.height, colour);
  } else {
    const uint8_t alpha_disabled = im.alpha_disabled;
    im.alpha_disabled = 1;
    zq32_boxfill(im.window_x1, im.window_y1, im.window_x2, im.window_y2, colour);
    im.alpha_disabled = alpha_disabled;
  }

  // The graphics cursor goes to the centre pixel of the viewport, expressed in the page's own
  // coordinates: less the view offset (0 for a screen-keyword viewport), then through the window.
  const int32_t centre_x = im.view_x1 + (im.view_x2 - im.view_x1 + 1) / 2 - im.view_offset_x;
  const int32_t centre_y = im.view_y1 + (im.view_y2 - im.view_y1 + 1) / 2 - im.view_offset_y;
  if (im.clipping_or_scaling == 2) {
    im.x = (static_cast<float>(centre_x) - im.scaling_offset_x) / im.scaling_x;
    im.y = (static_cast<float>(centre_y) - im.scaling_offset_y) / im.scaling_y;
  } else {
    im.x = static_cast<float>(centre_x);
    im.y = static_cast<float>(centre_y);
  }
  request_key_line_redraw();
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

uint32_t func_screen(int32_t row, int32_t column, int32_t colourflag, int32_t passed) {
  if (error_pending()) return 0;
  const img_struct& im = *read_page;
  const bool want_colour = (passed & screen_colourflag) && colourflag != 0;
  if (im.text) {
    if (row < 1 || row > im.height || column < 1 || column > im.width) {
      error(illegal_function_call);
      return 0;
    }
    const uint8_t* cell = im.pixels + (static_cast<size_t>(row - 1) * im.width + column - 1) * 2;
    return want_colour ? cell[1] : cell[0];
  }

  const int32_t font = static_cast<int32_t>(im.font);
  if ((font != 8 && font != 14 && font != 16) || row < 1 || row > text_rows(im) || column < 1 ||
      column > text_columns(im)) {
    error(illegal_function_call);
    return 0;
  }
  const int32_t height = font_height(static_cast<uint32_t>(font));
  const int32_t x0 = 8 * (column - 1);
  const int32_t y0 = height * (row - 1);
  uint8_t bitmap[8 * 16];
  uint32_t first_set_value = 0;
  bool any_set = false;
  // Glyphs on 32-bit pages are printed on the opaque background colour, so that colour counts as
  // unset there, like the transparent 0 of a page never drawn on.
  const bool background_unset = im.bytes_per_pixel == 4;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const uint32_t value = point(x0 + x, y0 + y);
      const bool set = value != 0 && !(background_unset && value == im.background_color);
      bitmap[y * 8 + x] = set ? 255 : 0;
      if (set && !any_set) {
        any_set = true;
        first_set_value = value;
      }
    }
  }
  if (!any_set) return want_colour ? 1 : blank_character;
  const size_t glyph_bytes = static_cast<size_t>(8 * height);
  for (uint32_t c = 0; c < 256; ++c) {
    if (std::memcmp(bitmap, font_glyph(font, c), glyph_bytes) == 0) {
      return want_colour ? first_set_value : c;
    }
  }
  return want_colour ? 0 : blank_character;
}

void sub__controlchr(int32_t state) {
  if (error_pending()) return;
  no_control_characters2 = state == 2 ? 1 : 0;
}

int32_t func__controlchr() {
  if (error_pending()) return 0;
  return no_control_characters2 ? -1 : 0;
}

void key_update() { key_display_redraw = 0; }
