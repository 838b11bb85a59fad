// Plain loops the benchmarks measure the runtime against: what a job costs at the least, with no
// runtime around it. Every benchmark that needs one takes it from here.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

// A textbook integer Bresenham line into a byte buffer of `pitch` bytes per row.
template <int pitch>
void bare_bresenham(uint8_t* pixels, int x1, int y1, int x2, int y2, uint8_t colour) {
  const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
  const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    pixels[y1 * pitch + x1] = colour;
    if (x1 == x2 && y1 == y2) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x1 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y1 += sy;
    }
  }
}

// The line of the drawing statements as a bare loop: one pixel per step along the longer axis, a
// single-precision accumulator on the shorter one rounded half away from zero. No clipping.
template <int pitch>
void bare_dda_line(uint8_t* pixels, int x1, int y1, int x2, int y2, uint8_t colour) {
  const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
  auto round_away = [](float v) {
    return v < 0 ? static_cast<int>(v - 0.5f) : static_cast<int>(v + 0.5f);
  };
  if (dx <= dy) {
    const float step = dy > 0 ? static_cast<float>(x2 - x1) / static_cast<float>(dy) : 0.0f;
    const int direction = y2 < y1 ? -1 : 1;
    float xv = static_cast<float>(x1);
    for (int i = 0, y = y1; i <= dy; ++i, y += direction, xv += step)
      pixels[y * pitch + round_away(xv)] = colour;
  } else {
    const float step = static_cast<float>(y2 - y1) / static_cast<float>(dx);
    const int direction = x2 < x1 ? -1 : 1;
    float yv = static_cast<float>(y1);
    for (int i = 0, x = x1; i <= dx; ++i, x += direction, yv += step)
      pixels[round_away(yv) * pitch + x] = colour;
  }
}

// The same line drawn with a 16-bit style pattern: the pattern (style in both halves) is rotated
// left before every pixel and the pixel set when bit 0 is set, so bit 15 comes first.
template <int pitch>
void bare_bresenham_styled(uint8_t* pixels, int x1, int y1, int x2, int y2, uint8_t colour,
                           uint32_t style) {
  uint32_t pattern = (style & 0xFFFF) * 0x10001u;
  const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
  const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    pattern = (pattern << 1) | (pattern >> 31);
    if (pattern & 1) pixels[y1 * pitch + x1] = colour;
    if (x1 == x2 && y1 == y2) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x1 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y1 += sy;
    }
  }
}

// The angles of an arc: start..end, or everything but the angles between them when the arc runs
// through angle 0. The default is the whole outline.
struct BareArc {
  long double start = 0;
  long double end = 6.283185307179586;
  bool through_zero = false;
};

// The circle statement's outline trace as a bare loop into a byte buffer: a unit vector rotated in
// extended precision through one quadrant, one step per pixel of the quadrant's length (from the
// radius before the aspect), each point mirrored into the four quadrants, and a point set only once
// the trace has moved two pixels on from the last one set. With_arc tests each mirrored point's
// angle against the arc. No clipping: the shape lies inside the buffer. It sets the same pixels as
// the statement on an unclipped page.
template <bool with_arc, int pitch>
void bare_circle_trace(uint8_t* pixels, int cx, int cy, long double radius, long double x_radius,
                       long double y_radius, const BareArc& arc, uint8_t colour) {
  constexpr long double pi = std::numbers::pi;
  constexpr long double half_pi = std::numbers::pi / 2;
  const auto steps = static_cast<long>(6.283185307179586 * radius / 4 + 0.5L);
  const long double step = steps > 0 ? half_pi / static_cast<long double>(steps) : 0;
  const long double sin_step = std::sin(step), cos_step = std::cos(step);
  long double a1 = 0, a2 = pi, a3 = pi, a4 = 6.283185307179586;
  auto in_arc = [&](long double angle) {
    return arc.through_zero ? (angle <= arc.start || angle >= arc.end)
                            : (arc.start <= angle && angle <= arc.end);
  };
  auto set4 = [&](int x2, int y2) {
    if (!with_arc || in_arc(a1)) pixels[(cy + y2) * pitch + cx + x2] = colour;
    if (!with_arc || in_arc(a2)) pixels[(cy + y2) * pitch + cx - x2] = colour;
    if (!with_arc || in_arc(a3)) pixels[(cy - y2) * pitch + cx - x2] = colour;
    if (!with_arc || in_arc(a4)) pixels[(cy - y2) * pitch + cx + x2] = colour;
  };
  long double vx = 1, vy = 0;
  int plotted_x = -1, plotted_y = -1, checked_x = -1, checked_y = -1;
  for (long i = 0;;) {
    const int x2 = static_cast<int>(vx * x_radius + 0.5L);
    const int y2 = static_cast<int>(vy * y_radius - 0.5L);
    if (i > 0 && std::abs(x2 - plotted_x) < 2 && std::abs(y2 - plotted_y) < 2) {
      checked_x = x2;
      checked_y = y2;
      if (++i > steps) {
        set4(checked_x, checked_y);
        return;
      }
    } else {
      if (i == 0) {
        checked_x = x2;
        checked_y = y2;
      }
      set4(checked_x, checked_y);
      plotted_x = checked_x;
      plotted_y = checked_y;
      checked_x = x2;
      checked_y = y2;
      if (++i > steps) {
        set4(checked_x, checked_y);
        return;
      }
    }
    const long double turned_x = vx * cos_step + vy * sin_step;
    vy = vy * cos_step - vx * sin_step;
    vx = turned_x;
    a1 += step;
    a2 -= step;
    a3 += step;
    a4 -= step;
  }
}

// out[i] = palette[in[i]] for n pixels: the floor of converting an indexed page into a frame.
inline void bare_palette_lookup(uint32_t* out, const uint8_t* in, int n, const uint32_t* palette) {
  for (int i = 0; i < n; ++i) out[i] = palette[in[i]];
}

// Blends one colour over n 32-bit pixels the way the runtime's tables define it: each of blue,
// green and red through the component table of the colour's alpha, the alpha byte through the
// alpha table. The tables are the runtime's (blend.h); alpha must be 1..254 and not 127 or 128.
inline void bare_blend_words(uint32_t* pixels, int n, uint32_t colour, const uint8_t* component,
                             const uint8_t* alpha_table) {
  const uint32_t alpha = colour >> 24;
  const uint8_t* blue = component + (alpha << 16) + ((colour & 255) << 8);
  const uint8_t* green = component + (alpha << 16) + (((colour >> 8) & 255) << 8);
  const uint8_t* red = component + (alpha << 16) + (((colour >> 16) & 255) << 8);
  for (int i = 0; i < n; ++i) {
    const uint32_t d = pixels[i];
    pixels[i] = (static_cast<uint32_t>(alpha_table[((d >> 24) << 8) + alpha]) << 24) |
                (static_cast<uint32_t>(red[(d >> 16) & 255]) << 16) |
                (static_cast<uint32_t>(green[(d >> 8) & 255]) << 8) | blue[d & 255];
  }
}
