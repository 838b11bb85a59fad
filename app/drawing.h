// Drawing statements of the puzzle: lines, box outlines, filled boxes and points on the write
// page, and fixed shapes made of such segments at the origin (X, Y) in colour C.
#pragma once

#include <cstdint>
#include <span>

enum class stroke : uint8_t { line, outline, fill, point };

// One segment of a shape: corners (dx1, dy1) and (dx2, dy2) relative to the origin; a point uses
// the first corner only.
struct segment {
  stroke kind;
  int8_t dx1, dy1, dx2, dy2;
};

constexpr segment line_segment(int dx1, int dy1, int dx2, int dy2) {
  return {stroke::line, int8_t(dx1), int8_t(dy1), int8_t(dx2), int8_t(dy2)};
}
constexpr segment outline_segment(int dx1, int dy1, int dx2, int dy2) {
  return {stroke::outline, int8_t(dx1), int8_t(dy1), int8_t(dx2), int8_t(dy2)};
}
constexpr segment fill_segment(int dx1, int dy1, int dx2, int dy2) {
  return {stroke::fill, int8_t(dx1), int8_t(dy1), int8_t(dx2), int8_t(dy2)};
}
constexpr segment point_segment(int dx, int dy) {
  return {stroke::point, int8_t(dx), int8_t(dy), int8_t(dx), int8_t(dy)};
}

// LINE (x1, y1)-(x2, y2), colour[, B | BF]: a line, box outline or filled box with both corners
// included. Coordinates go to the runtime as single-precision floats of the integer values.
void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, stroke kind);

// IF VID = display_class THEN C = colour, as one statement at line.
void set_colour_for(int16_t display_class, int16_t colour, uint32_t line);

// A procedure that draws a fixed shape: each segment is one statement, checked with the lines
// first_line, first_line + 1, ... in order.
void draw_shape(std::span<const segment> shape, uint32_t first_line);
