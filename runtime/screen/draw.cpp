// The drawing statements and the coordinate system of graphics pages: rounding and the mapping of
// program coordinates to pixels, lines and boxes in program coordinates (LINE), the point
// statements (PSET, PRESET, POINT), and the window, viewport and mapping statements (WINDOW, VIEW,
// PMAP). What they draw goes through the pixel layer of pixels.cpp.
#include "runtime/screen/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "runtime/core/error.h"
#include "runtime/screen/geometry.h"
#include "runtime/screen/image.h"

namespace {

// Rounds to nearest with halves to even (the default rounding mode), saturating values beyond the
// 32-bit range so that far-away coordinates stay far away; NaN lands off every page.
template <typename Real>
int64_t round_even_saturated(Real value, int64_t low, int64_t high) {
  using std::isnan, std::rint;  // vost's for the software extended type, found by argument
  if (isnan(value)) return low;
  const Real r = rint(value);  // the current (default) rounding mode: halves to even
  if (r <= static_cast<Real>(low)) return low;
  if (r >= static_cast<Real>(high)) return high;
  return static_cast<int64_t>(r);
}

int32_t round_even_32(double value) {
  return static_cast<int32_t>(round_even_saturated(value, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

// Adds the view offset to a rounded coordinate without leaving the 32-bit range.
int32_t offset_saturated(int32_t pixel, int32_t view_offset) {
  const int64_t sum = int64_t{pixel} + view_offset;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Pixel position of a coordinate on an axis: the mapping shared by lines, boxes and points.
// Products and sums are rounded to single precision before the final rounding.
int32_t map_axis(float c, uint8_t mode, float scale, float offset, int32_t view_offset) {
  switch (mode) {
    case 0:
      return zqr_float_to_long(c);
    case 1:
      return offset_saturated(zqr_float_to_long(c), view_offset);
    default: {
      const float scaled = c * scale;
      const float shifted = scaled + offset;
      return offset_saturated(zqr_float_to_long(shifted), view_offset);
    }
  }
}

// Adds the view offset to a pixel of the extended mapping. The rounding saturates infinite and
// far-away values at the 64-bit limits; they are held a little inside them, still off every page,
// so that the sum cannot overflow.
int64_t offset_extended(int64_t pixel, int32_t view_offset) {
  constexpr int64_t far_away = std::numeric_limits<int64_t>::max() / 2;
  return std::clamp(pixel, -far_away, far_away) + view_offset;
}

// The same mapping in extended precision, as the point statements evaluate it.
int64_t map_axis_extended(float c, uint8_t mode, float scale, float offset, int32_t view_offset) {
  switch (mode) {
    case 0:
      return zqr(c);
    case 1:
      return offset_extended(zqr(c), view_offset);
    default:
      return offset_extended(zqr(extended(c) * scale + offset), view_offset);
  }
}

}  // namespace

// ---- Rounding and mapping ----

int32_t zqr_float_to_long(float value) { return round_even_32(value); }

int32_t zqr_double_to_long(double value) { return round_even_32(value); }

int64_t zqr(extended value) {
  return round_even_saturated(value, std::numeric_limits<int64_t>::min(),
                              std::numeric_limits<int64_t>::max());
}

int32_t map_x(const img_struct& im, float x) {
  return map_axis(x, im.clipping_or_scaling, im.scaling_x, im.scaling_offset_x, im.view_offset_x);
}

int32_t map_y(const img_struct& im, float y) {
  return map_axis(y, im.clipping_or_scaling, im.scaling_y, im.scaling_offset_y, im.view_offset_y);
}

float cursor_pixel_x(const img_struct& im) {
  return im.clipping_or_scaling == 2 ? im.x * im.scaling_x + im.scaling_offset_x : im.x;
}

float cursor_pixel_y(const img_struct& im) {
  return im.clipping_or_scaling == 2 ? im.y * im.scaling_y + im.scaling_offset_y : im.y;
}

// ---- Lines and boxes ----

void zq32_line(float x1, float y1, float x2, float y2, uint32_t colour, uint32_t style) {
  const img_struct& im = *write_page;
  pixel_line(map_x(im, x1), map_y(im, y1), map_x(im, x2), map_y(im, y2), colour, style,
             DrawPath::Auto);
}

void zq32_boxfill(float x1, float y1, float x2, float y2, uint32_t colour) {
  const img_struct& im = *write_page;
  int32_t px1 = map_x(im, x1), py1 = map_y(im, y1);
  int32_t px2 = map_x(im, x2), py2 = map_y(im, y2);
  if (px1 > px2) std::swap(px1, px2);
  if (py1 > py2) std::swap(py1, py2);
  if (px2 < im.view_x1 || px1 > im.view_x2 || py2 < im.view_y1 || py1 > im.view_y2) return;
  fast_boxfill(std::max(px1, im.view_x1), std::max(py1, im.view_y1), std::min(px2, im.view_x2),
               std::min(py2, im.view_y2), colour);
}

// ---- Statements ----

void refuse_graphics_statement() { error(illegal_function_call); }

void sub_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box, uint32_t style,
              int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  if (refuse_text_page(im)) return;
  if (passed & line_first_point) {
    if (passed & line_first_relative) {
      x1 += im.x;
      y1 += im.y;
    }
    im.x = x1;
    im.y = y1;
  } else {
    x1 = im.x;
    y1 = im.y;
  }
  if (passed & line_second_relative) {
    x2 += im.x;
    y2 += im.y;
  }
  im.x = x2;
  im.y = y2;
  if (!(passed & line_colour)) colour = im.color;
  im.draw_color = colour;
  if (!(passed & line_style)) style = 0xFFFF;
  switch (box) {
    case 0:
      zq32_line(x1, y1, x2, y2, colour, style);
      break;
    case 1:
      // Each side restarts the pattern; the corners belong to two sides each.
      zq32_line(x1, y1, x2, y1, colour, style);
      zq32_line(x2, y1, x2, y2, colour, style);
      zq32_line(x2, y2, x1, y2, colour, style);
      zq32_line(x1, y2, x1, y1, colour, style);
      break;
    case 2:
      zq32_boxfill(x1, y1, x2, y2, colour);
      break;
    default:
      break;
  }
}

namespace {

// The pixel a point statement sets: the cursor mapped in extended precision, then held inside the
// viewport (with a viewport or window) or the image (without). False when it falls outside.
bool point_pixel(const img_struct& im, float x, float y, int32_t& px, int32_t& py) {
  const int64_t mx = map_axis_extended(x, im.clipping_or_scaling, im.scaling_x, im.scaling_offset_x,
                                       im.view_offset_x);
  const int64_t my = map_axis_extended(y, im.clipping_or_scaling, im.scaling_y, im.scaling_offset_y,
                                       im.view_offset_y);
  if (im.clipping_or_scaling) {
    if (!inside_viewport(im, mx, my)) return false;
  } else if (mx < 0 || mx >= im.width || my < 0 || my >= im.height) {
    return false;
  }
  px = static_cast<int32_t>(mx);
  py = static_cast<int32_t>(my);
  return true;
}

// A single-precision value rounded to nearest with halves to even (the default rounding mode);
// INT32_MIN for a value outside the 32-bit range and for NaN, which is what the processor's
// conversion gives.
inline int32_t round_float_or_min(float value) {
#if defined(__SSE2__)
  return _mm_cvtss_si32(_mm_set_ss(value));
#else
  const float r = std::rint(value);
  return std::fabs(r) < 2147483648.0f ? static_cast<int32_t>(r) : INT32_MIN;
#endif
}

// point_pixel() without a window: no product or sum comes before the rounding, so the
// single-precision coordinate rounded is the pixel before the view offset. A value off the 32-bit
// range becomes INT32_MIN, off every page as its saturated extended value would be (viewports and
// images start at 0 or right of it).
inline bool unscaled_point_pixel(const img_struct& im, float x, float y, int32_t& px, int32_t& py) {
  int64_t mx = round_float_or_min(x), my = round_float_or_min(y);
  if (im.clipping_or_scaling == 0) {
    if (mx < 0 || mx >= im.width || my < 0 || my >= im.height) return false;
  } else {
    mx += im.view_offset_x;
    my += im.view_offset_y;
    if (!inside_viewport(im, mx, my)) return false;
  }
  px = static_cast<int32_t>(mx);
  py = static_cast<int32_t>(my);
  return true;
}

// PSET and PRESET share everything but the default colour.
inline void point_statement(float x, float y, uint32_t colour, uint32_t fallback, int32_t passed,
                            DrawPath path) {
  img_struct& im = *write_page;
  if (passed & pset_relative) {
    x += im.x;
    y += im.y;
  }
  im.x = x;
  im.y = y;
  if (!(passed & pset_colour)) colour = fallback;
  im.draw_color = colour;
  int32_t px, py;
  const bool inside = path == DrawPath::Auto && im.clipping_or_scaling != 2
                          ? unscaled_point_pixel(im, x, y, px, py)
                          : point_pixel(im, x, y, px, py);
  if (inside) PixelPen(im, colour).store(px, py);
}

}  // namespace

void pset_statement(float x, float y, uint32_t colour, int32_t passed, DrawPath path) {
  if (error_pending()) return;
  if (refuse_text_page(*write_page)) return;
  point_statement(x, y, colour, write_page->color, passed, path);
}

void sub_pset(float x, float y, uint32_t colour, int32_t passed) {
  pset_statement(x, y, colour, passed, DrawPath::Auto);
}

void sub_preset(float x, float y, uint32_t colour, int32_t passed) {
  if (error_pending()) return;
  if (refuse_text_page(*write_page)) return;
  point_statement(x, y, colour, write_page->background_color, passed, DrawPath::Auto);
}

double func_point(float x, float y, int32_t passed) {
  if (error_pending()) return 0;
  if (passed) {
    const img_struct& im = *read_page;
    if (refuse_text_page(im)) return 0;
    const int32_t px = map_x(im, x), py = map_y(im, y);
    if (!inside_viewport(im, px, py)) return -1;
    uint32_t value = point(px, py);
    if (im.bytes_per_pixel == 1) value &= im.pixel_mask;
    return value;
  }
  const img_struct& im = *write_page;
  if (refuse_text_page(im)) return 0;
  switch (zqr_float_to_long(x)) {
    case 0:
      return zqr_float_to_long(cursor_pixel_x(im));
    case 1:
      return zqr_float_to_long(cursor_pixel_y(im));
    case 2:
      return im.x;
    case 3:
      return im.y;
    default:
      error(illegal_function_call);
      return 0;
  }
}

void zqg_sub_window(float x1, float y1, float x2, float y2, int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  const bool corners = passed & window_corners, screen_orientation = passed & window_screen;
  if (refuse_text_page(im)) return;
  if ((screen_orientation && !corners) || (corners && (x1 == x2 || y1 == y2))) {
    error(illegal_function_call);
    return;
  }
  const float cursor_x = cursor_pixel_x(im), cursor_y = cursor_pixel_y(im);
  if (corners) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (!screen_orientation) std::swap(y1, y2);  // y grows upward
    const float vw = static_cast<float>(im.view_x2 - im.view_x1);
    const float vh = static_cast<float>(im.view_y2 - im.view_y1);
    const float sx = vw / (x2 - x1), sy = vh / (y2 - y1);
    const float ox = -x1 * sx;
    const float oy = screen_orientation ? -y1 * sy : -y2 * sy + vh;
    const bool identity = x1 == 0 && y1 == 0 && x2 == static_cast<float>(im.width - 1) &&
                          y2 == static_cast<float>(im.height - 1) && sx == 1.0f && sy == 1.0f &&
                          ox == 0.0f && oy == 0.0f;
    if (!identity) {
      im.clipping_or_scaling = 2;
      im.scaling_x = sx;
      im.scaling_y = sy;
      im.scaling_offset_x = ox;
      im.scaling_offset_y = oy;
      im.window_x1 = x1;
      im.window_y1 = y1;
      im.window_x2 = x2;
      im.window_y2 = y2;
      im.x = (cursor_x - ox) / sx;
      im.y = (cursor_y - oy) / sy;
      return;
    }
  }
  im.clipping_or_scaling = 1;
  im.scaling_x = im.scaling_y = 1.0f;
  im.scaling_offset_x = im.scaling_offset_y = 0.0f;
  im.window_x1 = im.window_y1 = 0.0f;
  im.window_x2 = static_cast<float>(im.width - 1);
  im.window_y2 = static_cast<float>(im.height - 1);
  if (viewport_is_whole_image(im)) im.clipping_or_scaling = 0;
  im.x = cursor_x;
  im.y = cursor_y;
}

void zqg_sub_view(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border,
                  int32_t passed) {
  if (error_pending()) return;
  img_struct& im = *write_page;
  const bool corners = passed & view_corners;
  auto outside = [&](int32_t x, int32_t y) {
    return x < 0 || x >= im.width || y < 0 || y >= im.height;
  };
  if (refuse_text_page(im)) return;
  if ((corners && (outside(x1, y1) || outside(x2, y2))) ||
      (!corners && (passed & (view_screen | view_fill | view_border)))) {
    error(illegal_function_call);
    return;
  }
  im.draw_angle = 0.0;
  im.draw_scale = 1.0;
  if (corners) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    im.view_x1 = x1;
    im.view_y1 = y1;
    im.view_x2 = x2;
    im.view_y2 = y2;
    const bool screen_keyword = passed & view_screen;
    im.view_offset_x = screen_keyword ? 0 : x1;
    im.view_offset_y = screen_keyword ? 0 : y1;
    if (im.clipping_or_scaling == 0) im.clipping_or_scaling = 1;
  } else {
    reset_viewport(im);
    if (im.clipping_or_scaling == 1) im.clipping_or_scaling = 0;
  }
  if (im.clipping_or_scaling == 2) {
    im.scaling_x = static_cast<float>(im.view_x2 - im.view_x1) / (im.window_x2 - im.window_x1);
    im.scaling_y = static_cast<float>(im.view_y2 - im.view_y1) / (im.window_y2 - im.window_y1);
    im.scaling_offset_x = -im.window_x1 * im.scaling_x;
    im.scaling_offset_y = -im.window_y1 * im.scaling_y;
    // Upward y: the lowest window y lands on the viewport's last row, as the window statement
    // puts it (the height is added, the view offset does the rest).
    if (im.window_y1 > im.window_y2)
      im.scaling_offset_y =
          -im.window_y2 * im.scaling_y + static_cast<float>(im.view_y2 - im.view_y1);
  }
  if (passed & view_fill)
    zq32_boxfill(im.window_x1, im.window_y1, im.window_x2, im.window_y2, fill);
  if (passed & view_border) {
    auto frame_pixel = [&](int32_t x, int32_t y) {
      if (!outside(x, y)) pset(x, y, border);
    };
    for (int32_t x = im.view_x1 - 1; x <= im.view_x2; ++x) {
      frame_pixel(x, im.view_y1 - 1);
      frame_pixel(x, im.view_y2 + 1);
    }
    for (int32_t y = im.view_y1 - 1; y <= im.view_y2; ++y) frame_pixel(im.view_x1 - 1, y);
    for (int32_t y = im.view_y1 - 1; y <= im.view_y2 + 1; ++y) frame_pixel(im.view_x2 + 1, y);
  }
}

double func_pmap(float value, int32_t n) {
  if (error_pending()) return 0;
  const img_struct& im = *write_page;
  if (refuse_text_page(im)) return 0;
  if (n < 0 || n > 3) {
    error(illegal_function_call);
    return 0;
  }
  switch (n) {
    case 0:
      return zqr_float_to_long(value * im.scaling_x + im.scaling_offset_x);
    case 1:
      return zqr_float_to_long(value * im.scaling_y + im.scaling_offset_y);
    case 2:
      return (static_cast<float>(zqr_float_to_long(value)) - im.scaling_offset_x) / im.scaling_x;
    default:
      return (static_cast<float>(zqr_float_to_long(value)) - im.scaling_offset_y) / im.scaling_y;
  }
}
