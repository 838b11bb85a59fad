// The circle statement: circles, ellipses and arcs of either, optionally closed with radius lines.
//
// The outline is traced by rotating a unit vector in fixed angular steps through one quadrant and
// mirroring every point into the other three. A point is set only once the trace has moved on by
// two pixels or more from the last point set, so runs of steps landing on the same or
// neighbouring pixels set one pixel. Angles are radians, counter-clockwise from the positive x
// axis with y pointing up on the screen. Program thread only; nothing happens while an error is
// pending.
#pragma once

#include <cstdint>

#include "runtime/screen/draw.h"

// A full turn, as the program writes it (the double nearest to 2 pi).
inline constexpr double sub_circle_pi2 = 6.283185307179586;

// CIRCLE: passed bit 1 centre relative to the graphics cursor, 2 colour given, 4 start angle
// given, 8 end angle given, 16 aspect given. A negative angle adds a radius line to that end of
// the arc; a start above the end draws the arc through angle 0. Error 5 on a text page or for an
// angle beyond 2 pi. The graphics cursor moves to the centre even when nothing is visible.
// clang-format off
enum circle_passed : int32_t {
  circle_relative = 1, circle_colour = 2, circle_start = 4, circle_end = 8, circle_aspect = 16,
};
// clang-format on
void sub_circle(double x, double y, double radius, uint32_t colour, double start, double end,
                double aspect, int32_t passed);
// CIRCLE by the given path: Auto sets the points of a shape that lies wholly inside the viewport
// without the per-pixel clip (the same pixels).
void circle_statement(double x, double y, double radius, uint32_t colour, double start, double end,
                      double aspect, int32_t passed, DrawPath path);
