// Built-in bitmap fonts and the per-font metric tables.
//
// charset8x8 and charset8x16 hold one byte per pixel (0 background, 255 foreground), eight bytes
// per row, glyph c at c * 64 and c * 128. Font numbers: 8 (8x8), 9 (8x8 doubled in width),
// 14 (rows 1..14 of 8x16), 15 (14 doubled), 16 (8x16), 17 (8x16 doubled); 32..48 are slots for
// loadable fonts.
#pragma once

#include <algorithm>
#include <cstdint>

inline constexpr int font_slots = 49;
extern int32_t fontwidth[font_slots];
extern int32_t fontheight[font_slots];
extern int32_t fontflags[font_slots];
// fontflags bit of a font that text pages accept; every built-in font has it.
inline constexpr int32_t font_flag_builtin = 16;

extern uint8_t charset8x8[256 * 64];
extern uint8_t charset8x16[256 * 128];

// Sets the metric tables of the built-in fonts and expands the glyph bitmaps (runtime_init).
void fonts_init();

// Glyph width and height of a font in pixels; 0 for a number that names no font.
inline int32_t font_width(uint32_t font) {
  return font < static_cast<uint32_t>(font_slots) ? fontwidth[font] : 0;
}
inline int32_t font_height(uint32_t font) {
  return font < static_cast<uint32_t>(font_slots) ? fontheight[font] : 0;
}
// The text cell of a font: its glyph size, but at least 1, so that a page size can be divided by
// it.
inline int32_t font_cell_width(uint32_t font) { return std::max(font_width(font), 1); }
inline int32_t font_cell_height(uint32_t font) { return std::max(font_height(font), 1); }
// The built-in fonts 8, 9, 14, 15, 16 and 17.
inline bool font_is_builtin(int32_t font) {
  return font == 8 || font == 9 || font == 14 || font == 15 || font == 16 || font == 17;
}
// The fonts drawn with every glyph pixel twice side by side: 9, 15 and 17.
inline bool font_is_doubled(int32_t font) { return font == 9 || font == 15 || font == 17; }

// First pixel of glyph c (taken modulo 256) of a built-in font: 8 bytes per row, fontheight[font]
// rows (font 14 and 15 start one row into the 8x16 glyph, dropping its top and bottom rows).
// The doubled fonts 9, 15 and 17 return the undoubled glyph. Null for any other font number.
inline const uint8_t* font_glyph(int32_t font, uint32_t c) {
  c &= 255;
  switch (font) {
    case 8:
    case 9:
      return charset8x8 + c * 64;
    case 14:
    case 15:
      return charset8x16 + c * 128 + 8;
    case 16:
    case 17:
      return charset8x16 + c * 128;
    default:
      return nullptr;
  }
}
