// Writing image records to PNG files, for tests and for looking at pages during development.
//
// render_image() turns any record into opaque-or-not 0xAARRGGBB pixels the way the screen shows
// it: indexed pages through their palette (mode 10 through the attribute table, blink phase 0),
// 32-bit pages as they are, text pages cell by cell with the page's built-in font. PNG files are
// compared by decoded pixels (read_png), never by their bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct img_struct;

struct RgbaImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top to bottom

  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The picture of an image record. Indexed and text pages come out opaque.
RgbaImage render_image(const img_struct& im);

// Writes a picture or an image record as an 8-bit RGBA PNG. False when the file cannot be written.
bool write_png(const std::string& path, const RgbaImage& picture);
bool write_png(const std::string& path, const img_struct& im);

// Reads a PNG back as 0xAARRGGBB pixels (any colour type is expanded to RGBA).
std::optional<RgbaImage> read_png(const std::string& path);

// The picture scaled to width x height (both at least 1) by nearest-neighbour sampling: every
// output pixel takes the source pixel under its centre, so the hard edges of a pixel-art bitmap
// stay hard at any size.
RgbaImage scale_nearest(const RgbaImage& picture, int32_t width, int32_t height);
