// Built-in fonts: metric tables and the expanded glyph bitmaps.
#include "runtime/screen/font.h"

#include <cstring>

// Packed glyph rows (one byte per row, most significant bit leftmost), in font_data.cpp.
extern const uint8_t font_rows_8x8[256 * 8];
extern const uint8_t font_rows_8x16[256 * 16];

int32_t fontwidth[font_slots];
int32_t fontheight[font_slots];
int32_t fontflags[font_slots];

uint8_t charset8x8[256 * 64];
uint8_t charset8x16[256 * 128];

namespace {

// Expands packed rows into one byte per pixel, 0 for background and 255 for foreground.
void expand_rows(const uint8_t* rows, int row_count, uint8_t* pixels) {
  for (int row = 0; row < row_count; ++row) {
    for (int bit = 0; bit < 8; ++bit) {
      pixels[row * 8 + bit] = (rows[row] & (0x80 >> bit)) ? 255 : 0;
    }
  }
}

void set_font_metrics(int font, int width, int height) {
  fontwidth[font] = width;
  fontheight[font] = height;
  fontflags[font] = font_flag_builtin;
}

}  // namespace

void fonts_init() {
  std::memset(fontwidth, 0, sizeof fontwidth);
  std::memset(fontheight, 0, sizeof fontheight);
  std::memset(fontflags, 0, sizeof fontflags);
  // 8: 8x8; 9: 8x8 doubled in width; 14: the middle 14 rows of 8x16; 15: 14 doubled;
  // 16: 8x16; 17: 8x16 doubled. The doubled fonts only occur on text pages.
  set_font_metrics(8, 8, 8);
  set_font_metrics(9, 16, 8);
  set_font_metrics(14, 8, 14);
  set_font_metrics(15, 16, 14);
  set_font_metrics(16, 8, 16);
  set_font_metrics(17, 16, 16);

  for (int c = 0; c < 256; ++c) {
    expand_rows(font_rows_8x8 + c * 8, 8, charset8x8 + c * 64);
    expand_rows(font_rows_8x16 + c * 16, 16, charset8x16 + c * 128);
  }
}
