// Padding a picture to a power-of-two size.
#include "runtime/host/texture_padding.h"

#include <cstring>
#include <new>

int32_t next_power_of_two(int32_t n) {
  int32_t p = 1;
  while (p < n && p <= (INT32_MAX >> 1)) p <<= 1;
  return p;
}

std::optional<PaddedPixels> pad_to_power_of_two(const uint32_t* pixels, int32_t width,
                                                int32_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  PaddedPixels out;
  out.width = next_power_of_two(width);
  out.height = next_power_of_two(height);
  if (out.width < width || out.height < height) return std::nullopt;
  const size_t pw = static_cast<size_t>(out.width);
  out.pixels.reset(new (std::nothrow) uint32_t[pw * static_cast<size_t>(out.height)]());
  if (!out.pixels) return std::nullopt;
  uint32_t* padded = out.pixels.get();
  const size_t w = static_cast<size_t>(width);
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    std::memcpy(padded + y * pw, pixels + y * w, w * 4);
    if (pw > w) padded[y * pw + w] = pixels[y * w + w - 1];
  }
  if (out.height > height)
    std::memcpy(padded + static_cast<size_t>(height) * pw,
                padded + static_cast<size_t>(height - 1) * pw, pw * 4);
  return out;
}
