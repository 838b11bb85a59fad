// Drawing primitives and the coordinate system of graphics pages.
//
// Everything here draws into write_page and reads from read_page (image.h). Coordinates given by
// the program go through the page's mapping before they reach pixels:
//   clipping_or_scaling 0: pixel = round(c)
//   clipping_or_scaling 1: pixel = round(c) + view offset
//   clipping_or_scaling 2: pixel = round(c * scaling + scaling offset) + view offset
// Rounding is to nearest with halves to even (2.5 -> 2, 3.5 -> 4). All drawing is clipped to the
// viewport (view_x1..view_x2, view_y1..view_y2, inclusive); drawing outside is silently dropped.
//
// One owner per rule: blend_pixel() owns the 32-bit blending of one pixel, pset() the store of one
// pixel, pset_and_clip() the viewport test, fast_boxfill() the filling of rows (and fill_span() is
// its one-row form with the viewport clip). Lines, boxes, circles, fills and glyphs go through
// these.
//
// Program thread only. Every statement (sub_*, func_*, zqg_*) does nothing while an error is
// pending; bad arguments raise error 5 (text pages, bad window or viewport corners).
#pragma once

#include <cstdint>

struct img_struct;

// Rounding to nearest, halves to even (the processor's default rounding).
int32_t zqr_float_to_long(float value);
int32_t zqr_double_to_long(double value);
int64_t zqr(long double value);

// Coordinate mapping of a page: program coordinate -> pixel (rounded in single precision).
int32_t map_x(const img_struct& im, float x);
int32_t map_y(const img_struct& im, float y);
// The graphics cursor in pixels before the view offset (window mapping applied when active).
float cursor_pixel_x(const img_struct& im);
float cursor_pixel_y(const img_struct& im);

// Blends a 32-bit colour over an existing 32-bit pixel through the blend tables (alpha 0 keeps
// the pixel, 255 replaces it, 127/128 average, anything else the per-component tables).
uint32_t blend_pixel(uint32_t destination, uint32_t colour);

// Writes one pixel of the write page without any check (indexed: colour AND pixel_mask; 32-bit:
// blended unless alpha_disabled).
void pset(int32_t x, int32_t y, uint32_t colour);
// pset() only inside the write page's viewport.
void pset_and_clip(int32_t x, int32_t y, uint32_t colour);
// Reads one pixel of the read page without any check.
uint32_t point(int32_t x, int32_t y);

// Results of lineclip().
extern int32_t lineclip_draw;
extern int32_t lineclip_x1, lineclip_y1, lineclip_x2, lineclip_y2;
extern int32_t lineclip_skippixels;
// Clips the line (x1,y1)-(x2,y2) against the inclusive rectangle; sets the lineclip_* results,
// lineclip_skippixels being the number of pixels cut off at the start.
void lineclip(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top,
              int32_t right, int32_t bottom);

// Maps, clips and draws a line with a 16-bit style pattern (bit 15 first).
void zq32_line(float x1, float y1, float x2, float y2, uint32_t colour, uint32_t style);
// Draws a solid line between pixel coordinates, clipped to the viewport.
void fast_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Maps, orders, clips and fills a box.
void zq32_boxfill(float x1, float y1, float x2, float y2, uint32_t colour);
// Fills an ordered pixel rectangle of the write page that already lies inside the page.
void fast_boxfill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Fills the pixels x1..x2 (any order) of row y of the write page, clipped to the viewport.
void fill_span(int32_t x1, int32_t x2, int32_t y, uint32_t colour);

// Graphics statements have no pixels to draw on a text page: raises error 5 and returns true when
// im is one. Every graphics statement asks this before it changes anything.
bool refuse_text_page(const img_struct& im);

// LINE: passed bit 1 first point given, 2 second point relative, 4 first point relative,
// 8 colour given, 16 style given. box 0 line, 1 outline, 2 filled.
// clang-format off
enum line_passed : int32_t {
  line_first_point = 1, line_second_relative = 2, line_first_relative = 4, line_colour = 8,
  line_style = 16,
};
// clang-format on
void sub_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box, uint32_t style,
              int32_t passed);
// PSET / PRESET: passed bit 1 relative to the cursor, 2 colour given.
enum pset_passed : int32_t { pset_relative = 1, pset_colour = 2 };
void sub_pset(float x, float y, uint32_t colour, int32_t passed);
void sub_preset(float x, float y, uint32_t colour, int32_t passed);
// POINT(x, y) with passed non-zero: colour of the read page at (x, y), -1 outside its viewport.
// POINT(n) with passed 0: n 0/1 cursor in pixels, 2/3 cursor as stored.
double func_point(float x, float y, int32_t passed);
// WINDOW: passed bit 1 corners given, 2 screen orientation (y grows downward).
enum window_passed : int32_t { window_corners = 1, window_screen = 2 };
void zqg_sub_window(float x1, float y1, float x2, float y2, int32_t passed);
// VIEW: passed bit 1 corners given, 2 screen keyword (no view offset), 4 fill, 8 border.
enum view_passed : int32_t { view_corners = 1, view_screen = 2, view_fill = 4, view_border = 8 };
void zqg_sub_view(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border,
                  int32_t passed);
// PMAP: n 0/1 window -> pixel, 2/3 pixel -> window.
double func_pmap(float value, int32_t n);
