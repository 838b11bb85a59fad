// The pixel layer under the drawing statements, in pixel coordinates: the pen's blend of a 32-bit
// colour, single pixels (pset, pset_and_clip, point), rows of pixels (fast_boxfill, fill_span) and
// lines (the clipper and the rasteriser with its style pattern).
#include "runtime/core/bit_cast.h"
#include "runtime/screen/draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "runtime/screen/blend.h"
#include "runtime/screen/geometry.h"
#include "runtime/screen/image.h"

namespace {

constexpr uint32_t solid_pattern = 0xFFFFFFFFu;

// Rounds a line's accumulator half away from zero, the way the line statements round it.
int32_t round_away(float value) {
  return value < 0 ? static_cast<int32_t>(value - 0.5f) : static_cast<int32_t>(value + 0.5f);
}

// A line's single-precision accumulator: it starts on the first pixel and adds the step once per
// pixel, each addition rounded to single precision. Its pixel is held between the end points, so
// that accumulated float error can never step outside the clipped line.
struct FloatAccumulator {
  float value, step;
  int32_t low, high;
  int32_t pixel() const { return std::clamp(round_away(value), low, high); }
  void advance() { value += step; }
};

// The same accumulator as a fixed-point number where that is exact (see exact_accumulator()):
// value + 1/2 in units of 2^-(shift + 1), never negative, so that its pixel (rounded half away
// from zero) is the integer part, and the integer additions need not wait on each other's
// rounding as the float ones do.
struct FixedAccumulator {
  int32_t value_and_half, step, shift;
  int32_t pixel() const { return value_and_half >> (shift + 1); }
  void advance() { value_and_half += step; }
};

// The fixed-point form of an accumulator that starts at start and adds step count times, when every
// float it computes is exact and no pixel needs holding: the step is a multiple of 2^-shift, every
// sum start + i * step (i up to count) and each of them plus one half is below 2^24 units of
// 2^-(shift + 1), so that no float operation rounds; the sums are never negative and the last
// one's pixel lies between low and high (the sums run straight from start, which does). That
// holds for 45-degree lines (step 1) and for steps of a few binary digits on pages of any usual
// size; other steps round at each addition and keep the float accumulator.
std::optional<FixedAccumulator> exact_accumulator(int32_t start, float step, int32_t count,
                                                  int32_t low, int32_t high) {
  int32_t shift = 0;
  int64_t units = 0;  // |step| in units of 2^-shift
  if (step != 0) {
    const auto bits = vost::bit_cast<uint32_t>(step);
    const int32_t biased_exponent = static_cast<int32_t>((bits >> 23) & 255);
    if (biased_exponent == 0 || biased_exponent == 255) return std::nullopt;  // tiny, not finite
    uint32_t mantissa = (bits & 0x7FFFFFu) | 0x800000u;
    int32_t power = biased_exponent - 150;  // |step| = mantissa * 2^power
    const int32_t zeros = std::countr_zero(mantissa);
    mantissa >>= zeros;
    power += zeros;
    // A line's step is at most 1 (it runs along the longer axis); a long fraction is not exact.
    if (power < -22 || power > 0) return std::nullopt;
    shift = -power;
    units = mantissa;
  }
  if (start < 0) return std::nullopt;
  const int64_t first = int64_t{start} << shift;
  const int64_t last = first + (step < 0 ? -units : units) * count;
  constexpr int64_t exact_limit = int64_t{1} << 24;
  if (last < 0 || 2 * (first + units * count) + (int64_t{1} << shift) >= exact_limit)
    return std::nullopt;
  const auto last_pixel = static_cast<int32_t>((2 * last + (int64_t{1} << shift)) >> (shift + 1));
  if (last_pixel < low || last_pixel > high) return std::nullopt;
  return FixedAccumulator{static_cast<int32_t>(2 * first + (int64_t{1} << shift)),
                          static_cast<int32_t>(2 * (step < 0 ? -units : units)), shift};
}

// Draws between two pixels that lie inside the viewport, one pixel per step along the longer
// axis with a single-precision accumulator on the shorter one. The pattern is rotated before
// every pixel and the pixel drawn when bit 0 is set. Auto counts the accumulator in fixed point
// where that is exact (exact_accumulator()) and tests no pattern bit on a solid line; General
// always adds floats and tests every bit.
void rasterise_line(const PixelPen& pen, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint32_t pattern, DrawPath path) {
  const int32_t dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
  const auto width = static_cast<ptrdiff_t>(pen.width());
  // Steps along the longer axis; set(i, pixel) sets pixel i of the line at the accumulator's
  // coordinate.
  auto walk = [&](auto accumulator, int32_t count, auto set) {
    if (path == DrawPath::Auto && pattern == solid_pattern) {
      for (int32_t i = 0; i <= count; ++i, accumulator.advance()) set(i, accumulator.pixel());
      return;
    }
    for (int32_t i = 0; i <= count; ++i, accumulator.advance()) {
      pattern = std::rotl(pattern, 1);
      if (pattern & 1) set(i, accumulator.pixel());
    }
  };
  // Walks with the fixed-point accumulator where it is exact, else with the float one.
  auto walk_either = [&](int32_t start, int32_t end, float step, int32_t count, auto set) {
    const int32_t low = std::min(start, end), high = std::max(start, end);
    const auto fixed =
        path == DrawPath::Auto ? exact_accumulator(start, step, count, low, high) : std::nullopt;
    if (fixed)
      walk(*fixed, count, set);
    else
      walk(FloatAccumulator{static_cast<float>(start), step, low, high}, count, set);
  };
  pen.with_store([&](auto put) {
    if (dx <= dy) {
      const float step = dy > 0 ? static_cast<float>(x2 - x1) / static_cast<float>(dy) : 0.0f;
      const ptrdiff_t row_step = y2 < y1 ? -width : width;
      const ptrdiff_t first_row = y1 * width;
      walk_either(x1, x2, step, dy, [&](int32_t i, int32_t x) {
        put(static_cast<size_t>(first_row + i * row_step + x));
      });
    } else {
      const float step = static_cast<float>(y2 - y1) / static_cast<float>(dx);
      const int32_t direction = x2 < x1 ? -1 : 1;
      walk_either(y1, y2, step, dx, [&](int32_t i, int32_t y) {
        put(static_cast<size_t>(y * width + x1 + i * direction));
      });
    }
  });
}

// Single-precision rounding of a clipper intersection; false when it is not a finite number.
bool round_intersection(double value, double& out) {
  const float f = static_cast<float>(value);
  if (!std::isfinite(f)) return false;
  out = std::nearbyint(f);
  return true;
}

// Moves point (px, py) of a line toward its other point, whose direction is given by mx (x change
// per unit of y) and my (y change per unit of x), onto the rectangle's border, trying the right,
// left, top and bottom edges in turn. Returns false when no edge is reached inside the rectangle.
bool move_onto_rectangle(double px, double py, double mx, double my, double left, double top,
                         double right, double bottom, double& nx, double& ny) {
  double v;
  if (px > right && mx < 0 && round_intersection(py + (px - right) * my, v) && v >= top &&
      v <= bottom) {
    nx = right;
    ny = v;
    return true;
  }
  if (px < left && mx > 0 && round_intersection(py + (left - px) * my, v) && v >= top &&
      v <= bottom) {
    nx = left;
    ny = v;
    return true;
  }
  if (py < top && my > 0 && round_intersection(px + (top - py) * mx, v) && v >= left &&
      v <= right) {
    nx = v;
    ny = top;
    return true;
  }
  if (py <= bottom || !(my < 0)) return false;
  if (!round_intersection(px + (py - bottom) * mx, v) || v < left || v > right) return false;
  nx = v;
  ny = bottom;
  return true;
}

// A clipped line that is drawn between two points of the rectangle (whole numbers in double).
LineClip clipped_line(double x1, double y1, double x2, double y2, int32_t skip_pixels) {
  return {.draw = true,
          .x1 = static_cast<int32_t>(x1),
          .y1 = static_cast<int32_t>(y1),
          .x2 = static_cast<int32_t>(x2),
          .y2 = static_cast<int32_t>(y2),
          .skip_pixels = skip_pixels};
}

// Fills rows y1..y2, columns x1..x2 of an image (already ordered and inside the image).
void fill_rectangle(img_struct& im, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint32_t colour) {
  const size_t span = static_cast<size_t>(x2 - x1 + 1);
  if (im.bytes_per_pixel == 1) {
    const uint8_t value = static_cast<uint8_t>(colour & im.pixel_mask);
    for (int32_t y = y1; y <= y2; ++y)
      std::memset(im.pixels + static_cast<size_t>(y) * im.width + x1, value, span);
    return;
  }
  if (im.bytes_per_pixel != 4) return;  // text cells are not pixels
  auto* words = reinterpret_cast<uint32_t*>(im.pixels);
  auto row_start = [&](int32_t y) { return words + static_cast<size_t>(y) * im.width + x1; };
  if (!im.alpha_disabled && (colour >> 24) != 255) {
    const ColourBlend blend(colour);
    if (blend.keeps_pixels()) return;
    for (int32_t y = y1; y <= y2; ++y) {
      uint32_t* p = row_start(y);
      for (size_t i = 0; i < span; ++i) p[i] = blend.over(p[i]);
    }
    return;
  }
  uint32_t* first = row_start(y1);
  std::fill(first, first + span, colour);
  for (int32_t y = y1 + 1; y <= y2; ++y) std::memcpy(row_start(y), first, span * sizeof(uint32_t));
}

}  // namespace

// ---- Pixels ----

void ColourBlend::choose_tables(uint32_t alpha) {
  // The blend tables (16 MiB) are built the first time something really blends, not before.
  if (!cblend) [[unlikely]]
    init_blend();
  if (alpha == 128 || alpha == 127) {
    // Half transparency: a shift-and-add average, no tables for the colour.
    kind_ = Kind::average;
    alpha_ = alpha == 128 ? ablend128 : ablend127;
    return;
  }
  kind_ = Kind::table;
  alpha_ = ablend + alpha;
  const uint8_t* by_source = cblend + (alpha << 16);
  blue_ = by_source + ((colour_ & 255) << 8);
  green_ = by_source + (((colour_ >> 8) & 255) << 8);
  red_ = by_source + (((colour_ >> 16) & 255) << 8);
}

uint32_t blend_pixel(uint32_t destination, uint32_t colour) {
  return ColourBlend(colour).over(destination);
}

void pset(int32_t x, int32_t y, uint32_t colour) { PixelPen(*write_page, colour).store(x, y); }

void pset_and_clip(int32_t x, int32_t y, uint32_t colour) {
  if (inside_viewport(*write_page, x, y)) pset(x, y, colour);
}

uint32_t point(int32_t x, int32_t y) {
  const img_struct& im = *read_page;
  const size_t at = static_cast<size_t>(x) + static_cast<size_t>(y) * im.width;
  switch (im.bytes_per_pixel) {
    case 1:
      return im.pixels[at];
    case 4:
      return reinterpret_cast<const uint32_t*>(im.pixels)[at];
    default:
      return im.pixels[at * 2] | (static_cast<uint32_t>(im.pixels[at * 2 + 1]) << 8);
  }
}

// ---- Rows ----

void fast_boxfill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  fill_rectangle(*write_page, x1, y1, x2, y2, colour);
}

void fill_span(int32_t x1, int32_t x2, int32_t y, uint32_t colour) {
  const img_struct& im = *write_page;
  if (x1 > x2) std::swap(x1, x2);
  if (y < im.view_y1 || y > im.view_y2 || x2 < im.view_x1 || x1 > im.view_x2) return;
  fast_boxfill(std::max(x1, im.view_x1), y, std::min(x2, im.view_x2), y, colour);
}

// ---- Line clipping ----

namespace {

// lineclip() of a line with an end outside the rectangle.
LineClip clip_line_across(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top,
                          int32_t right, int32_t bottom) {
  constexpr LineClip not_drawn{};
  // All arithmetic in double: 32-bit coordinates differ by up to 2^32.
  double sx = x1, sy = y1;
  const double ex = x2, ey = y2;
  const double l = left, t = top, r = right, b = bottom;
  auto inside = [&](double x, double y) { return x >= l && x <= r && y >= t && y <= b; };

  int32_t skip_pixels = 0;
  if (inside(sx, sy)) {
    if (sx == ex && sy == ey) return clipped_line(sx, sy, sx, sy, 0);
  } else {
    if (sx == ex && sy == ey) return not_drawn;
    if ((sx < l && ex < l) || (sx > r && ex > r) || (sy < t && ey < t) || (sy > b && ey > b))
      return not_drawn;
    const double mx = (ex - sx) / std::fabs(ey - sy);
    const double my = (ey - sy) / std::fabs(ex - sx);
    double nx, ny;
    if (!move_onto_rectangle(sx, sy, mx, my, l, t, r, b, nx, ny)) return not_drawn;
    const double moved_x = std::fabs(nx - sx), moved_y = std::fabs(ny - sy);
    skip_pixels = static_cast<int32_t>(std::min(std::max(moved_x, moved_y), 2147483647.0));
    sx = nx;
    sy = ny;
  }

  if (inside(ex, ey)) return clipped_line(sx, sy, ex, ey, skip_pixels);
  const double mx = (sx - ex) / std::fabs(sy - ey);
  const double my = (sy - ey) / std::fabs(sx - ex);
  double nx, ny;
  if (!move_onto_rectangle(ex, ey, mx, my, l, t, r, b, nx, ny)) return not_drawn;
  return clipped_line(sx, sy, nx, ny, skip_pixels);
}

// lineclip(): the common case (both ends inside) is decided without the arithmetic of
// clip_line_across(), and inline, so that the lines drawn below take the result without a call and
// a copy through memory.
inline LineClip clip_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top,
                          int32_t right, int32_t bottom) {
  if (x1 >= left && x1 <= right && y1 >= top && y1 <= bottom && x2 >= left && x2 <= right &&
      y2 >= top && y2 <= bottom)
    return {.draw = true, .x1 = x1, .y1 = y1, .x2 = x2, .y2 = y2, .skip_pixels = 0};
  return clip_line_across(x1, y1, x2, y2, left, top, right, bottom);
}

}  // namespace

LineClip lineclip(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top,
                  int32_t right, int32_t bottom) {
  return clip_line(x1, y1, x2, y2, left, top, right, bottom);
}

// ---- Lines ----

void pixel_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t style,
                DrawPath path) {
  img_struct& im = *write_page;
  const LineClip clip = clip_line(x1, y1, x2, y2, im.view_x1, im.view_y1, im.view_x2, im.view_y2);
  if (!clip.draw) return;
  // The pattern (the style in both halves) is advanced past the pixels cut off at the start.
  const uint32_t pattern = std::rotl((style & 0xFFFF) * 0x10001u, clip.skip_pixels & 15);
  const PixelPen pen(im, colour);
  if (path == DrawPath::Auto && pattern == solid_pattern) {
    // A solid horizontal line sets every pixel of its row once: a row fill does the same.
    if (clip.y1 == clip.y2) {
      fill_rectangle(im, std::min(clip.x1, clip.x2), clip.y1, std::max(clip.x1, clip.x2), clip.y1,
                     colour);
      return;
    }
    // A solid vertical line: its accumulator never leaves the column, every pixel is set.
    if (clip.x1 == clip.x2) {
      const int32_t top = std::min(clip.y1, clip.y2);
      const int32_t bottom = std::max(clip.y1, clip.y2);
      pen.store_run(static_cast<size_t>(clip.x1) + static_cast<size_t>(top) * pen.width(),
                    bottom - top + 1, pen.width());
      return;
    }
  }
  rasterise_line(pen, clip.x1, clip.y1, clip.x2, clip.y2, pattern, path);
}

void fast_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  pixel_line(x1, y1, x2, y2, colour, 0xFFFF, DrawPath::Auto);
}
