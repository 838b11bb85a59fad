// A fixture for the shape statements (circles, fills, the drawing language): a fresh runtime
// with screen mode 0 for every test, images of a chosen mode as write and read page, and pixel
// access to them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tests/support/runtime_fixture.h"

// Draws the same thing by both paths of the drawing routines (DrawPath) on two images of the mode
// that start alike, every byte a different value (on 32-bit pages with varied alpha, so that
// blending shows), and expects the same pixels (or text cells), graphics and text cursors and
// drawing colour. draw(path) runs on the write page and may set up a viewport, window, font or
// colours first. Leaves the last image as the write page.
template <typename Draw>
void expect_paths_agree(int32_t width, int32_t height, int32_t mode, Draw draw) {
  struct Outcome {
    std::vector<uint8_t> pixels;
    float cursor[2];
    uint32_t draw_color, cursor_x, cursor_y, holding_cursor;
  };
  Outcome outcome[2];
  for (int run = 0; run < 2; ++run) {
    const int32_t handle = func__newimage(width, height, mode, 1);
    ASSERT_LT(handle, -1);
    sub__dest(handle);
    sub__source(handle);
    img_struct& im = *write_page;
    const size_t bytes = static_cast<size_t>(width) * height * im.bytes_per_pixel;
    for (size_t i = 0; i < bytes; ++i) im.pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    draw(run == 0 ? DrawPath::Auto : DrawPath::General);
    outcome[run] = {{im.pixels, im.pixels + bytes},
                    {im.x, im.y},
                    im.draw_color,
                    im.cursor_x,
                    im.cursor_y,
                    im.holding_cursor};
  }
  const Outcome &a = outcome[0], &b = outcome[1];
  size_t differences = 0, first = 0;
  for (size_t i = a.pixels.size(); i-- > 0;)
    if (a.pixels[i] != b.pixels[i]) {
      ++differences;
      first = i;
    }
  EXPECT_EQ(differences, 0u) << "bytes differ, the first at byte " << first << " (pixel "
                             << first / write_page->bytes_per_pixel << ")";
  EXPECT_EQ(std::memcmp(a.cursor, b.cursor, sizeof a.cursor), 0) << "the cursors differ";
  EXPECT_EQ(a.draw_color, b.draw_color);
  EXPECT_EQ(a.cursor_x, b.cursor_x);
  EXPECT_EQ(a.cursor_y, b.cursor_y);
  EXPECT_EQ(a.holding_cursor, b.holding_cursor);
}

class PageTest : public FreshScreenTest {
 protected:
  // Makes an image of the mode, all pixels 0, and draws into and reads from it.
  static void canvas(int32_t width, int32_t height, int32_t mode) {
    const int32_t h = func__newimage(width, height, mode, 1);
    ASSERT_LT(h, -1);
    sub__dest(h);
    sub__source(h);
  }
  static uint32_t pixel(int32_t x, int32_t y) {
    const img_struct& im = *write_page;
    const size_t at = static_cast<size_t>(y) * im.width + x;
    return im.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(im.pixels)[at]
                                   : im.pixels[at];
  }
  static void set_pixel(int32_t x, int32_t y, uint32_t value) {
    img_struct& im = *write_page;
    const size_t at = static_cast<size_t>(y) * im.width + x;
    if (im.bytes_per_pixel == 4)
      reinterpret_cast<uint32_t*>(im.pixels)[at] = value;
    else
      im.pixels[at] = static_cast<uint8_t>(value);
  }
  static bool is_set(int32_t x, int32_t y) {
    const img_struct& im = *write_page;
    return x >= 0 && y >= 0 && x < im.width && y < im.height && pixel(x, y) != 0;
  }
  struct Pixel {
    int32_t x, y;
  };
  // Every non-zero pixel of the write page, row by row.
  static std::vector<Pixel> set_pixels() {
    std::vector<Pixel> out;
    const img_struct& im = *write_page;
    for (int32_t y = 0; y < im.height; ++y)
      for (int32_t x = 0; x < im.width; ++x)
        if (pixel(x, y)) out.push_back({x, y});
    return out;
  }
  static void set_cursor(float x, float y) {
    write_page->x = x;
    write_page->y = y;
  }
};
