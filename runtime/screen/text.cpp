// Text cells, the cursor and the text window: what a character position holds and where the next
// one goes. Writing one character (printchr), the line break with its scrolling (newline), the
// cursor statements, the text window, clearing and reading the screen back (SCREEN). The print
// statement built on them is in print.cpp.
#include "runtime/screen/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/screen/color.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

namespace {

constexpr uint8_t blank_character = 32;
// Text memory of page 0 in an 80x25 screen, kept across the switch to 80x50.
constexpr uint32_t text_memory_offset = 0xB8000;
constexpr uint32_t text_80x25_bytes = 80 * 25 * 2;

// Font width and height of a graphics page, at least 1.
int32_t cell_width(const img_struct& im) { return font_cell_width(im.font); }
int32_t cell_height(const img_struct& im) { return font_cell_height(im.font); }

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

void request_key_line_redraw() {
  key_display_redraw = 1;
  key_update();
}

}  // namespace

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

void key_update() { key_display_redraw = 0; }
