// Text output: printing, the text cursor and window, clearing and print zones (the font of a page
// is chosen in font_select.h).
//
// Everything prints into write_page (image.h). Text coordinates are 1-based: cursor_x is the
// column, cursor_y the row. A text page (mode 0) holds two bytes per cell, character then
// attribute; its columns and rows are width and height. A graphics page has width / font width
// columns and height / font height rows, and its glyphs are drawn pixel by pixel through pset().
//
// The text window is rows top_row..bottom_row; output that passes bottom_row scrolls the window.
// A fresh page's window stops one row short of the screen's last row. holding_cursor is 1 after a
// print without a final new line ended exactly at the right edge: the cursor stays on the last
// column and the next output first starts a new line; 2 when a cursor statement without row or
// column met a held cursor.
//
// Program thread only. Every statement does nothing while an error is pending; bad arguments raise
// error 5 (6 for the 16-bit range of TAB and SPC, 258 for fonts and handles) and change nothing.
// Frame preparation reads the cells, the cursor fields and the font tables without a lock.
//
// text.cpp holds the cells, the cursor, the text window, clearing and SCREEN; print.cpp the print
// statement on top of them, with print zones, TAB, SPC and the control-character switch.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

struct zqs;

// Set while control codes must print as glyphs: no_control_characters by the function-key line,
// no_control_characters2 by _CONTROLCHR OFF.
extern int32_t no_control_characters;
extern int32_t no_control_characters2;

// Number of text columns and rows of a page (at least 0). Inline, like text_attribute(): the
// print statement asks for them on every run of glyphs.
inline int32_t text_columns(const img_struct& im) {
  if (im.text) return im.width;
  return im.width / font_cell_width(im.font);
}
inline int32_t text_rows(const img_struct& im) {
  if (im.text) return im.height;
  return im.height / font_cell_height(im.font);
}
// The last row of a fresh text window on a page of the given number of rows: one short of the
// screen's last row, which thus lies outside the window, but at least row 1.
inline uint16_t default_bottom_row(int32_t rows) {
  return static_cast<uint16_t>(std::max(rows - 1, 1));
}
// Attribute byte of a page's current colours, with the given background.
inline uint8_t text_attribute(const img_struct& im, uint32_t background) {
  return static_cast<uint8_t>((im.color & 15) + 8 * (2 * background + (im.color & 16)));
}

// PRINT: prints a string; new_line non-zero ends the output with a line break.
void zqs_print(zqs* text, int32_t new_line);
// PRINT by the given path: Auto writes a run of glyphs that fit on the cursor's row at once (text
// cells, or whole glyph cells row by row), General each byte by itself and each glyph pixel by
// pset() (the same cells and pixels).
void print_string(zqs* text, int32_t new_line, DrawPath path);
// Draws one character at the cursor without moving it.
void printchr(int32_t character);
// Moves the cursor to column 1 of the next row, scrolling the text window when needed.
void newline();
// Starts a new line first when the string would not fit on the rest of the current line.
void makefit(zqs* text);
// The comma of PRINT: advances to the next print zone (14 columns).
void tab();
// Pixel width of a character in the write page's font (fixed for the built-in fonts).
int32_t chrwidth(uint32_t character);

// LOCATE: passed bit 1 row, 2 column, 4 cursor visibility, 8 first scan line, 16 last scan line.
// clang-format off
enum locate_passed : int32_t {
  locate_row = 1, locate_column = 2, locate_cursor = 4, locate_first_line = 8, locate_last_line = 16,
};
// clang-format on
void zqg_sub_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop,
                    int32_t passed);
// CSRLIN and POS.
int32_t func_csrlin();
int32_t func_pos(int32_t dummy);
// VIEW PRINT top TO bottom (passed non-zero), or VIEW PRINT alone (the whole screen).
void zqg_sub_view_print(int32_t top, int32_t bottom, int32_t passed);
// CLS: passed bit 1 method (0 whole page, 1 graphics viewport, 2 text window), bit 2 colour.
enum cls_passed : int32_t { cls_method = 1, cls_colour = 2 };
void sub_cls(int32_t method, uint32_t colour, int32_t passed);
// TAB(column) and SPC(count) as temporary strings to be printed.
zqs* func_tab(int32_t column);
zqs* func_spc(int32_t count);
// SCREEN(row, column[, colourflag]): the character (or its colour) at a text position of the read
// page; on graphics pages the cell's pixels are matched against the font's glyphs.
enum screen_function_passed : int32_t { screen_colourflag = 1 };
uint32_t func_screen(int32_t row, int32_t column, int32_t colourflag, int32_t passed);
// _CONTROLCHR: 2 turns control-character handling off, anything else on; the function reports -1
// while it is off.
void sub__controlchr(int32_t state);
int32_t func__controlchr();

// Function-key line: a statement that clears or rebuilds the screen sets key_display_redraw and
// calls key_update(). This program never turns the line on, so key_update() has nothing to draw
// and only takes the request.
extern int32_t key_display_redraw;
void key_update();
