// Padding a picture to a power-of-two size, for OpenGL implementations that make textures only
// of such sizes: the column right of the picture repeats its last column and the row below
// repeats its last row, so that filtering at the edge sees no black; the rest is zero.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

struct PaddedPixels {
  int32_t width = 0, height = 0;  // the powers of two, at least the picture's size
  std::unique_ptr<uint32_t[]> pixels;
};

// The smallest power of two that is at least n (1 for n below 1).
int32_t next_power_of_two(int32_t n);

// The width x height picture padded; nothing when there is no memory for the copy (the caller
// treats it as a failed upload), or for a size that has no power of two in range.
std::optional<PaddedPixels> pad_to_power_of_two(const uint32_t* pixels, int32_t width,
                                                int32_t height);
