#include "app/drawing.h"

#include "app/state.h"
#include "app/statement.h"
#include "runtime/screen/draw.h"

namespace {
// passed for LINE: first point and colour given, no style.
constexpr int32_t line_first_point_and_colour = line_first_point | line_colour;
}  // namespace

void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, stroke kind) {
  if (kind == stroke::point) {
    sub_pset(static_cast<float>(x1), static_cast<float>(y1), colour, pset_colour);
    return;
  }
  const int32_t box = kind == stroke::line ? 0 : kind == stroke::outline ? 1 : 2;
  sub_line(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
           static_cast<float>(y2), colour, box, 0, line_first_point_and_colour);
}

void set_colour_for(int16_t display_class, int16_t colour, uint32_t line) {
  if (condition(VID == display_class)) C = colour;
  check_statement(line);
}

void draw_shape(std::span<const segment> shape, uint32_t first_line) {
  procedure_activation activation;
  uint32_t line = first_line;
  for (const segment& s : shape) {
    draw_line(X + s.dx1, Y + s.dy1, X + s.dx2, Y + s.dy2, static_cast<uint32_t>(C), s.kind);
    check_statement(line++);
  }
}
