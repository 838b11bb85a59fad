// Plain loops the benchmarks measure the runtime against: what a job costs at the least, with no
// runtime around it. Every benchmark that needs one takes it from here.
#pragma once

#include <cstdint>
#include <cstdlib>

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

// out[i] = palette[in[i]] for n pixels: the floor of converting an indexed page into a frame.
inline void bare_palette_lookup(uint32_t* out, const uint8_t* in, int n, const uint32_t* palette) {
  for (int i = 0; i < n; ++i) out[i] = palette[in[i]];
}
