// Built-in bitmap fonts and the per-font metric tables.
//
// charset8x8 and charset8x16 hold one byte per pixel (0 background, 255 foreground), eight bytes
// per row, glyph c at c * 64 and c * 128. Font numbers: 8 (8x8), 9 (8x8 doubled in width),
// 14 (rows 1..14 of 8x16), 15 (14 doubled), 16 (8x16), 17 (8x16 doubled); 32..48 are slots for
// loadable fonts.
#pragma once

#include <cstdint>

inline constexpr int font_slots = 49;
extern int32_t fontwidth[font_slots];
extern int32_t fontheight[font_slots];
extern int32_t fontflags[font_slots];

extern uint8_t charset8x8[256 * 64];
extern uint8_t charset8x16[256 * 128];

// Sets the metric tables of the built-in fonts and expands the glyph bitmaps (runtime_init).
void fonts_init();
