// The fill statement: colours the region around a point that is bounded by a border colour.
//
// The region grows breadth-first from the start pixel, one ring of neighbours at a time, through
// the four orthogonal neighbours of each pixel. Each frontier entry carries a direction mask so
// that no pixel looks back at the pixel it came from, and a visited map makes every pixel count
// once: reached pixels of any colour but the border colour (the fill colour included) are painted
// and passed through. The fill stops at the border colour and at the viewport; pixels outside the
// viewport are never read or written. The frontiers grow as needed, so a fill of any page size
// completes; they and the visited map are kept from one fill to the next, so steady-state fills
// take nothing from the heap. Program thread only; nothing happens while an error is pending.
#pragma once

#include <cstdint>

struct zqs;

// PAINT: passed bit 1 point relative to the graphics cursor, 2 fill colour given, 4 border colour
// given, 8 background given (not accepted by this form: error 5, as is a text page). The border
// defaults to the fill colour, the fill colour to the page's colour. The graphics cursor moves to
// the point even when it lies outside the viewport (then nothing is drawn).
// clang-format off
enum paint_passed : int32_t {
  paint_relative = 1, paint_fill = 2, paint_border = 4, paint_background = 8,
};
// clang-format on
void sub_paint(float x, float y, uint32_t fill_colour, uint32_t border_colour, zqs* background,
               int32_t passed);
// The 32-bit forms that sub_paint chooses between: blending on (each reached pixel blended once
// with the fill colour) and blending off (the fill colour stored). Error 5 on pages that do not
// hold 32-bit pixels.
void sub_paint32(float x, float y, uint32_t fill_colour, uint32_t border_colour, int32_t passed);
void sub_paint32x(float x, float y, uint32_t fill_colour, uint32_t border_colour, int32_t passed);

// The largest ring (number of frontier entries) of the most recent fill, for tests and tuning.
uint32_t paint_last_ring_peak();
