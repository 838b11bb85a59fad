// Geometry shared by the circle, fill and drawing-language statements: the aspect of the classic
// display shapes, the mapping of program coordinates to pixels in extended precision (no rounding)
// and back, and the safe conversions from extended values to pixels and to the single-precision
// graphics cursor.
//
// The point, line and box statements round their coordinates at once (map_x/map_y in draw.h);
// circles and the drawing language keep the unrounded pixel position, which is why they map here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "runtime/core/extended.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"

// Height-to-width factor that makes a circle look round on the display shape of a screen mode:
// 5/6 on the 320 x 200 modes shown at 4:3, 5/12 on the 640 x 200 ones, 35/48 on 640 x 350, and 1
// everywhere else (square pixels). The factors are the double values a program would pass as an
// aspect (5/6 is 0.8333333333333334), not the nearer extended ones, so that a default circle is
// the same as one given that aspect.
inline extended default_aspect(uint16_t mode) {
  switch (mode) {
    case 1:
    case 7:
    case 13:
      return 5.0 / 6.0;
    case 2:
    case 8:
      return 5.0 / 12.0;
    case 9:
    case 10:
      return 35.0 / 48.0;
    default:
      return 1.0;
  }
}

// The viewport of an image without a viewport statement: the whole image, with no view offset.
inline void reset_viewport(img_struct& im) {
  im.view_x1 = 0;
  im.view_y1 = 0;
  im.view_x2 = im.width - 1;
  im.view_y2 = im.height - 1;
  im.view_offset_x = 0;
  im.view_offset_y = 0;
}
inline bool viewport_is_whole_image(const img_struct& im) {
  return im.view_x1 == 0 && im.view_y1 == 0 && im.view_x2 == im.width - 1 &&
         im.view_y2 == im.height - 1 && im.view_offset_x == 0 && im.view_offset_y == 0;
}
// The viewport test of the pixel writer and the point statements: (x, y) lies inside the viewport,
// bounds inclusive.
inline bool inside_viewport(const img_struct& im, int64_t x, int64_t y) {
  return x >= im.view_x1 && x <= im.view_x2 && y >= im.view_y1 && y <= im.view_y2;
}

// Program coordinate -> pixel position, unrounded: the window mapping (when active) and the view
// offset (when a viewport or window is set).
inline extended map_extended_x(const img_struct& im, extended x) {
  switch (im.clipping_or_scaling) {
    case 0:
      return x;
    case 1:
      return x + im.view_offset_x;
    default:
      return extended(im.scaling_x) * x + im.scaling_offset_x + im.view_offset_x;
  }
}
inline extended map_extended_y(const img_struct& im, extended y) {
  switch (im.clipping_or_scaling) {
    case 0:
      return y;
    case 1:
      return y + im.view_offset_y;
    default:
      return extended(im.scaling_y) * y + im.scaling_offset_y + im.view_offset_y;
  }
}

// Pixel position -> program coordinate: the inverse of map_extended_x/y.
inline extended unmap_extended_x(const img_struct& im, extended px) {
  switch (im.clipping_or_scaling) {
    case 0:
      return px;
    case 1:
      return px - im.view_offset_x;
    default:
      return (px - im.view_offset_x - im.scaling_offset_x) / im.scaling_x;
  }
}
inline extended unmap_extended_y(const img_struct& im, extended py) {
  switch (im.clipping_or_scaling) {
    case 0:
      return py;
    case 1:
      return py - im.view_offset_y;
    default:
      return (py - im.view_offset_y - im.scaling_offset_y) / im.scaling_y;
  }
}

// A value truncated toward zero and held in the 32-bit range, so that a position far off the page
// stays far off it instead of wrapping around; NaN lands off every page.
inline int32_t truncate_to_pixel(extended value) {
  if (vost::isnan(value)) return std::numeric_limits<int32_t>::min();
  const extended low = std::numeric_limits<int32_t>::min();
  const extended high = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(value, low, high));  // the conversion truncates
}

// 1.5 * 2^(digits - 1) of the extended type: a sum with it, for a value of the 32-bit range, has
// its last binary digit worth 1, so the addition rounds the value to a whole number.
inline constexpr extended whole_number_shifter =
    vost::extended_constant(uint64_t{3} << 62, 16383 + std::numeric_limits<extended>::digits - 1);

// A value rounded to nearest (halves to even) and held in the 32-bit range. Inside that range,
// adding and taking away whole_number_shifter rounds in the current (default) mode, as the
// library's conversion of an extended value does, without calling it. The whole number is then
// converted through double, which holds it exactly: a direct conversion of an extended value
// truncates, which on x86 switches the x87 rounding mode there and back, costing more than the
// rest.
inline int32_t round_to_pixel(extended value) {
  if (value >= extended(-2147483648.0) && value <= extended(2147483647.0)) {
    const extended whole = (value + whole_number_shifter) - whole_number_shifter;
    return static_cast<int32_t>(static_cast<double>(whole));
  }
  const int64_t rounded = zqr(value);
  return static_cast<int32_t>(std::clamp<int64_t>(rounded, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Sum of two pixel positions held in the 32-bit range.
inline int32_t add_pixels(int32_t a, int64_t b) {
  return static_cast<int32_t>(std::clamp<int64_t>(
      int64_t{a} + b, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// An extended value as the single-precision graphics cursor; magnitudes beyond the single range
// become the largest single value of that sign.
inline float to_cursor(extended value) {
  if (vost::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  const extended limit = std::numeric_limits<float>::max();
  return static_cast<float>(std::clamp(value, -limit, limit));
}
