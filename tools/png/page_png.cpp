// PNG output of image records through libpng.
#include "tools/png/page_png.h"

#include <png.h>

#include <cstdio>
#include <memory>

#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

namespace {

constexpr uint32_t opaque = 0xFF000000u;

// Glyph row of a built-in font: 8 bytes (0 or 255), for fonts 8/9 from the 8x8 set, 14/15 from
// rows 1..14 of the 8x16 set, everything else from the 8x16 set.
const uint8_t* glyph_row(uint32_t font, uint8_t character, int32_t row) {
  switch (font) {
    case 8:
    case 9:
      return charset8x8 + character * 64 + row * 8;
    case 14:
    case 15:
      return charset8x16 + character * 128 + (row + 1) * 8;
    default:
      return charset8x16 + character * 128 + row * 8;
  }
}

int32_t cell_width(uint32_t font) { return font == 9 || font == 15 || font == 17 ? 16 : 8; }
int32_t cell_height(uint32_t font) {
  return font == 8 || font == 9 ? 8 : font == 14 || font == 15 ? 14 : 16;
}

RgbaImage render_text(const img_struct& im) {
  const int32_t cw = cell_width(im.font), ch = cell_height(im.font);
  RgbaImage out;
  out.width = im.width * cw;
  out.height = im.height * ch;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, opaque);
  for (int32_t row = 0; row < im.height; ++row) {
    for (int32_t column = 0; column < im.width; ++column) {
      const uint8_t* cell = im.pixels + (static_cast<size_t>(row) * im.width + column) * 2;
      const uint8_t attribute = cell[1];
      const uint32_t fg = (im.palette ? im.palette[attribute & 15] : 0xFFFFFF) | opaque;
      const uint32_t bg = (im.palette ? im.palette[(attribute >> 4) & 7] : 0) | opaque;
      for (int32_t y = 0; y < ch; ++y) {
        const uint8_t* bits = glyph_row(im.font, cell[0], y);
        uint32_t* line = &out.pixels[static_cast<size_t>(row * ch + y) * out.width + column * cw];
        for (int32_t x = 0; x < cw; ++x) line[x] = bits[cw == 16 ? x / 2 : x] ? fg : bg;
      }
    }
  }
  return out;
}

}  // namespace

RgbaImage render_image(const img_struct& im) {
  if (im.text) return render_text(im);
  RgbaImage out;
  out.width = im.width;
  out.height = im.height;
  const size_t count = static_cast<size_t>(im.width) * im.height;
  out.pixels.resize(count);
  if (im.bytes_per_pixel == 4) {
    const auto* words = reinterpret_cast<const uint32_t*>(im.pixels);
    out.pixels.assign(words, words + count);
    return out;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t index = im.pixels[i] & im.pixel_mask;
    uint32_t colour = im.palette ? im.palette[index] : 0;
    if (im.mode == 10) {
      const uint32_t attribute = im.palette ? im.palette[4 + (index & 3)] : 0;
      colour = pal_mode10[0][attribute < 9 ? attribute : 0];
    }
    out.pixels[i] = colour | opaque;
  }
  return out;
}

bool write_png(const std::string& path, const RgbaImage& picture) {
  if (picture.width < 1 || picture.height < 1) return false;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(picture.width) * 4);
  for (int32_t y = 0; y < picture.height; ++y) {
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint32_t c = picture.at(x, y);
      row[x * 4 + 0] = static_cast<png_byte>(c >> 16);
      row[x * 4 + 1] = static_cast<png_byte>(c >> 8);
      row[x * 4 + 2] = static_cast<png_byte>(c);
      row[x * 4 + 3] = static_cast<png_byte>(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool write_png(const std::string& path, const img_struct& im) {
  return write_png(path, render_image(im));
}

std::optional<RgbaImage> read_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  RgbaImage out;
  out.width = static_cast<int32_t>(image.width);
  out.height = static_cast<int32_t>(image.height);
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const png_byte* p = &bytes[i * 4];
    out.pixels[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  return out;
}

RgbaImage scale_nearest(const RgbaImage& picture, int32_t width, int32_t height) {
  RgbaImage out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t source_y =
        static_cast<int32_t>((2 * int64_t{y} + 1) * picture.height / (2 * int64_t{height}));
    for (int32_t x = 0; x < width; ++x) {
      const int32_t source_x =
          static_cast<int32_t>((2 * int64_t{x} + 1) * picture.width / (2 * int64_t{width}));
      out.pixels[static_cast<size_t>(y) * width + x] = picture.at(source_x, source_y);
    }
  }
  return out;
}
