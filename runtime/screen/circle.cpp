// Circles, ellipses and arcs traced by a rotating unit vector, mirrored into four quadrants.
#include "runtime/screen/circle.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <utility>

#include "runtime/core/error.h"
#include "runtime/core/extended.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/geometry.h"
#include "runtime/screen/image.h"

namespace {

// Angles in the program's double precision, so that an arc given as 0 to pi (or 2 pi) starts and
// ends exactly on the traced angles.
constexpr extended pi = std::numbers::pi;
constexpr extended half_pi = std::numbers::pi / 2;
constexpr extended half = 0.5;

// Which angles of the outline are drawn: start..end, or, for an arc running through angle 0,
// everything up to start and from end on.
struct ArcRange {
  extended start = 0;
  extended end = sub_circle_pi2;
  bool through_zero = false;

  bool contains(extended angle) const {
    return through_zero ? (angle <= start || angle >= end) : (start <= angle && angle <= end);
  }
};

// The traced shape in pixels: the rounded centre and the two radii after the aspect.
struct Ellipse {
  int32_t centre_x = 0, centre_y = 0;
  extended x_radius = 0, y_radius = 0;
};

// Halves away from zero, as the centre is rounded.
int32_t round_centre(extended value) {
  return truncate_to_pixel(value >= 0 ? value + half : value - half);
}

// The radius line from the centre to the outline point at angle.
void radius_line(const Ellipse& shape, extended angle, uint32_t colour) {
  const int32_t x2 = truncate_to_pixel(vost::cos(angle) * shape.x_radius + half);
  const int32_t y2 = truncate_to_pixel(vost::sin(angle) * shape.y_radius - half);
  fast_line(shape.centre_x, shape.centre_y, add_pixels(shape.centre_x, x2),
            add_pixels(shape.centre_y, -int64_t{y2}), colour);
}

// The angles of the four mirrored points in the current step: theta, pi - theta, pi + theta and
// 2 pi - theta, each advanced by its own sum, as the trace defines them.
struct QuadrantAngles {
  extended first = 0, second = pi, third = pi, fourth = sub_circle_pi2;
};

// Traces one quadrant in `steps` angular steps and calls set_mirrored(x2, y2, angles) for each
// point that survives the two-pixel rule, to be set in all four quadrants. The quadrant's offsets
// (x2, y2) have y2 <= 0 (above the centre). A point is set once the trace has moved two pixels or
// more from the last point set, and then it is the point computed one step earlier that is set;
// the last point computed is set at the end. A mirrored point is tested against the arc with the
// angles of the step in which it is set, which for a delayed point is one step later than the step
// that computed it. Bounded: the caller has made sure that every offset fits 32 bits (the shape
// lies inside the viewport), so the offsets need no saturation. With_angles: the setter reads the
// angles (an arc), else they are not kept.
template <bool bounded, bool with_angles, typename SetMirrored>
void trace_outline(const Ellipse& shape, int64_t steps, SetMirrored set_mirrored) {
  const extended step_angle = steps > 0 ? half_pi / static_cast<extended>(steps) : 0;
  const extended sin_step = vost::sin(step_angle), cos_step = vost::cos(step_angle);
  const extended x_radius = shape.x_radius, y_radius = shape.y_radius;
  QuadrantAngles angles;
  auto truncate = [](extended value) {
    if constexpr (bounded)
      return static_cast<int32_t>(value);
    else
      return truncate_to_pixel(value);
  };

  extended vx = 1, vy = 0;
  int32_t plotted_x = 0, plotted_y = 0;  // last point set
  int32_t checked_x = 0, checked_y = 0;  // last point computed, not yet set
  for (int64_t i = 0;;) {
    const int32_t x2 = truncate(vx * x_radius + half);
    const int32_t y2 = truncate(vy * y_radius - half);
    if (i == 0) {
      checked_x = x2;
      checked_y = y2;
    }
    const bool moved_on = i == 0 || std::llabs(int64_t{x2} - plotted_x) >= 2 ||
                          std::llabs(int64_t{y2} - plotted_y) >= 2;
    if (moved_on) {
      set_mirrored(checked_x, checked_y, angles);
      plotted_x = checked_x;
      plotted_y = checked_y;
    }
    checked_x = x2;
    checked_y = y2;
    if (++i > steps) break;
    const extended turned_x = vx * cos_step + vy * sin_step;
    vy = vy * cos_step - vx * sin_step;
    vx = turned_x;
    if constexpr (with_angles) {
      angles.first += step_angle;
      angles.second -= step_angle;
      angles.third += step_angle;
      angles.fourth -= step_angle;
    }
  }
  set_mirrored(checked_x, checked_y, angles);
}

// The general trace: every mirrored point tested against the arc and set with the viewport clip
// (pset_and_clip), its position held in the 32-bit range.
void trace_clipped(const Ellipse& shape, const ArcRange& arc, int64_t steps, uint32_t colour) {
  const int32_t cx = shape.centre_x, cy = shape.centre_y;
  trace_outline<false, true>(shape, steps, [&](int32_t x2, int32_t y2, const QuadrantAngles& a) {
    if (arc.contains(a.first)) pset_and_clip(add_pixels(cx, x2), add_pixels(cy, y2), colour);
    if (arc.contains(a.second))
      pset_and_clip(add_pixels(cx, -int64_t{x2}), add_pixels(cy, y2), colour);
    if (arc.contains(a.third))
      pset_and_clip(add_pixels(cx, -int64_t{x2}), add_pixels(cy, -int64_t{y2}), colour);
    if (arc.contains(a.fourth))
      pset_and_clip(add_pixels(cx, x2), add_pixels(cy, -int64_t{y2}), colour);
  });
}

// True when every traced point lands inside the viewport: the outline's box, widened by a pixel
// for the rounding of the trace and one more to spare, lies within it.
bool outline_inside_viewport(const Ellipse& shape, const img_struct& im) {
  const extended reach_x = shape.x_radius + 2, reach_y = shape.y_radius + 2;
  return shape.centre_x - reach_x >= im.view_x1 && shape.centre_x + reach_x <= im.view_x2 &&
         shape.centre_y - reach_y >= im.view_y1 && shape.centre_y + reach_y <= im.view_y2;
}

// The trace of a shape that lies inside the viewport: no clip, and the four points stored
// straight at their offsets from the centre's pixel. A whole outline (start 0, end 2 pi) needs no
// arc test either: every traced angle lies between 0 and 2 pi.
void trace_unclipped(const img_struct& im, const Ellipse& shape, const ArcRange& arc, int64_t steps,
                     uint32_t colour) {
  const PixelPen pen(im, colour);
  const auto width = static_cast<ptrdiff_t>(pen.width());
  const ptrdiff_t centre = shape.centre_y * width + shape.centre_x;
  const bool whole = !arc.through_zero && arc.start <= 0 && arc.end >= sub_circle_pi2;
  pen.with_store([&](auto put) {
    auto set = [&](int32_t x2, int32_t y2, bool first, bool second, bool third, bool fourth) {
      const ptrdiff_t below = centre - y2 * width, above = centre + y2 * width;
      if (first) put(static_cast<size_t>(above + x2));
      if (second) put(static_cast<size_t>(above - x2));
      if (third) put(static_cast<size_t>(below - x2));
      if (fourth) put(static_cast<size_t>(below + x2));
    };
    if (whole) {
      trace_outline<true, false>(shape, steps, [&](int32_t x2, int32_t y2, const QuadrantAngles&) {
        set(x2, y2, true, true, true, true);
      });
      return;
    }
    trace_outline<true, true>(shape, steps, [&](int32_t x2, int32_t y2, const QuadrantAngles& a) {
      set(x2, y2, arc.contains(a.first), arc.contains(a.second), arc.contains(a.third),
          arc.contains(a.fourth));
    });
  });
}

// True when the whole viewport lies well inside the outline, so that no traced point (each within
// about a pixel of the ellipse) can land in it. A huge circle around the page then costs nothing.
bool viewport_inside_outline(const Ellipse& shape, const img_struct& im) {
  const extended a = shape.x_radius - 2, b = shape.y_radius - 2;
  if (!(a > 0 && b > 0)) return false;
  for (const int32_t x : {im.view_x1, im.view_x2})
    for (const int32_t y : {im.view_y1, im.view_y2}) {
      const extended nx = (x - static_cast<extended>(shape.centre_x)) / a;
      const extended ny = (y - static_cast<extended>(shape.centre_y)) / b;
      if (nx * nx + ny * ny >= 1) return false;
    }
  return true;
}

}  // namespace

void sub_circle(double x, double y, double radius, uint32_t colour, double start, double end,
                double aspect, int32_t passed) {
  circle_statement(x, y, radius, colour, start, end, aspect, passed, DrawPath::Auto);
}

void circle_statement(double x, double y, double radius, uint32_t colour, double start, double end,
                      double aspect, int32_t passed, DrawPath path) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (refuse_text_page(im)) return;

  ArcRange arc;
  if (passed & circle_start) arc.start = start;
  if (passed & circle_end) arc.end = end;
  bool line_to_start = false, line_from_end = false;
  if (arc.start < 0) {
    line_to_start = true;
    arc.start = -arc.start;
  }
  if (arc.end < 0) {
    line_from_end = true;
    arc.end = -arc.end;
  }
  if (arc.start > sub_circle_pi2 || arc.end > sub_circle_pi2) {
    error(illegal_function_call);
    return;
  }
  if (arc.start > arc.end) {
    std::swap(arc.start, arc.end);
    std::swap(line_to_start, line_from_end);
    arc.through_zero = true;
  }

  extended cx = x, cy = y;
  if (passed & circle_relative) {
    cx += im.x;
    cy += im.y;
  }
  im.x = to_cursor(cx);
  im.y = to_cursor(cy);

  const extended px = map_extended_x(im, cx), py = map_extended_y(im, cy);
  const extended pixel_radius = vost::fabs(map_extended_x(im, cx + radius) - px);
  Ellipse shape;
  shape.centre_x = round_centre(px);
  shape.centre_y = round_centre(py);
  shape.x_radius = shape.y_radius = pixel_radius;

  const extended ratio =
      (passed & circle_aspect) ? static_cast<extended>(aspect) : default_aspect(im.mode);
  if (ratio >= 0 && ratio < 1) {
    shape.y_radius *= ratio;
  } else if (ratio > 1) {
    shape.x_radius /= ratio;
  } else if (ratio < 0 && ratio > -1) {
    shape.y_radius *= ratio + 1;
  }

  // A shape with no finite position or size has no pixels to set.
  if (!vost::isfinite(px) || !vost::isfinite(py) || !vost::isfinite(shape.x_radius) ||
      !vost::isfinite(shape.y_radius))
    return;
  // Nothing to do when the bounding box misses the viewport.
  if (im.view_x1 > px + shape.x_radius + half || im.view_y1 > py + shape.y_radius + half ||
      px - shape.x_radius - half > im.view_x2 || py - shape.y_radius - half > im.view_y2)
    return;

  if (!(passed & circle_colour)) colour = im.color;
  im.draw_color = colour;

  // One step per pixel of a quadrant's arc length.
  const extended quadrant_length = sub_circle_pi2 * pixel_radius / 4 + half;
  const int64_t steps = static_cast<int64_t>(
      std::min(quadrant_length, static_cast<extended>(std::numeric_limits<int32_t>::max())));

  if (line_to_start) radius_line(shape, arc.start, colour);
  if (path == DrawPath::Auto && outline_inside_viewport(shape, im))
    trace_unclipped(im, shape, arc, steps, colour);
  else if (!viewport_inside_outline(shape, im))
    trace_clipped(shape, arc, steps, colour);
  if (line_from_end) radius_line(shape, arc.end, colour);
}
