// Points, lines and boxes on small pages, the line clipper, blending, the viewport and the window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/blend.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tests/screen/page_fixture.h"
#include "tests/support/extended_literal.h"
#include "tests/support/runtime_fixture.h"

namespace {

using Picture = std::vector<std::string>;

class DrawTest : public FreshScreenTest {
 protected:
  // Makes a small image of the mode and draws into and reads from it.
  static void canvas(int32_t width, int32_t height, int32_t mode = 13) {
    const int32_t h = func__newimage(width, height, mode, 1);
    ASSERT_LT(h, -1);
    sub__dest(h);
    sub__source(h);
  }
  // The write page as text: '.' for pixel 0, '#' for anything else.
  static Picture picture() {
    const img_struct& im = *write_page;
    Picture rows(im.height, std::string(im.width, '.'));
    for (int32_t y = 0; y < im.height; ++y)
      for (int32_t x = 0; x < im.width; ++x)
        if (pixel(x, y)) rows[y][x] = '#';
    return rows;
  }
  static uint32_t pixel(int32_t x, int32_t y) {
    const img_struct& im = *write_page;
    const size_t at = static_cast<size_t>(y) * im.width + x;
    return im.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(im.pixels)[at]
                                   : im.pixels[at];
  }
  static int count_set() {
    int n = 0;
    for (const std::string& row : picture())
      for (char c : row) n += c == '#';
    return n;
  }
  static void line(float x1, float y1, float x2, float y2, uint32_t colour = 1) {
    sub_line(x1, y1, x2, y2, colour, 0, 0, 1 | 8);
  }
  static void styled_line(float x1, float y1, float x2, float y2, uint32_t style) {
    sub_line(x1, y1, x2, y2, 1, 0, style, 1 | 8 | 16);
  }
  // Row y of the write page as text.
  static std::string row(int32_t y) { return picture()[y]; }
};

// ---- Rounding and mapping ----

TEST_F(DrawTest, RoundingIsToNearestWithHalvesToEven) {
  EXPECT_EQ(zqr_float_to_long(2.5f), 2);
  EXPECT_EQ(zqr_float_to_long(3.5f), 4);
  EXPECT_EQ(zqr_float_to_long(-2.5f), -2);
  EXPECT_EQ(zqr_float_to_long(-3.5f), -4);
  EXPECT_EQ(zqr_float_to_long(0.5f), 0);
  EXPECT_EQ(zqr_float_to_long(2.4999f), 2);
  EXPECT_EQ(zqr_double_to_long(1.5), 2);
  EXPECT_EQ(zqr_double_to_long(-0.5), 0);
  EXPECT_EQ(zqr(EXTENDED(2.5)), 2);
  EXPECT_EQ(zqr(EXTENDED(5000000000.5)), 5000000000LL);
  // Far-away values saturate instead of wrapping round.
  EXPECT_EQ(zqr_float_to_long(1e20f), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(zqr_double_to_long(-1e300), std::numeric_limits<int32_t>::min());
}

TEST_F(DrawTest, HalfCoordinatesMapToEvenPixels) {
  canvas(8, 8);
  sub_pset(2.5f, 3.5f, 1, 2);
  EXPECT_EQ(pixel(2, 4), 1u);
  EXPECT_EQ(count_set(), 1);
  line(2.5f, 0, 2.5f, 0);
  EXPECT_EQ(pixel(2, 0), 1u);
}

TEST_F(DrawTest, PointsMapInExtendedPrecisionLinesInSingle) {
  canvas(320, 200);
  zqg_sub_window(0, 0, 10, 10, 1 | 2);  // x scale 31.9f: 5 maps to 159.4999981 exactly,
  sub_pset(5, 0, 1, 2);                 // which a single-precision sum rounds up to 159.5
  line(5, 0, 5, 0, 2);
  EXPECT_EQ(pixel(159, 0), 1u);
  EXPECT_EQ(pixel(160, 0), 2u);
  EXPECT_EQ(count_set(), 2);
}

// ---- Points ----

TEST_F(DrawTest, PsetStoresTheColourMaskedToTheModesDepth) {
  screen_init();
  zqg_screen(1, 0, 0, 0, 0, 1);
  sub_pset(0, 0, 7, 2);
  EXPECT_EQ(write_page->pixels[0], 3) << "mode 1 keeps two bits";
  EXPECT_EQ(write_page->draw_color, 7u);
}

TEST_F(DrawTest, PsetMovesTheCursorAndTakesTheCurrentColour) {
  canvas(10, 10);
  write_page->color = 5;
  sub_pset(3, 4, 0, 0);
  EXPECT_EQ(pixel(3, 4), 5u);
  sub_pset(2, 1, 6, 1 | 2);  // relative to the last point
  EXPECT_EQ(pixel(5, 5), 6u);
  EXPECT_EQ(write_page->x, 5.0f);
  EXPECT_EQ(write_page->y, 5.0f);
}

TEST_F(DrawTest, PresetWithoutColourDrawsTheBackgroundColour) {
  canvas(4, 4);
  write_page->background_color = 9;
  sub_preset(1, 1, 0, 0);
  EXPECT_EQ(pixel(1, 1), 9u);
  sub_preset(2, 2, 4, 2);
  EXPECT_EQ(pixel(2, 2), 4u);
}

TEST_F(DrawTest, PointsOutsideTheImageOrViewportAreDropped) {
  canvas(4, 4);
  sub_pset(-1, 0, 1, 2);
  sub_pset(4, 0, 1, 2);
  sub_pset(0, 1e9f, 1, 2);
  EXPECT_EQ(count_set(), 0);
  EXPECT_EQ(write_page->x, 0.0f) << "the cursor still moves";
  zqg_sub_view(1, 1, 2, 2, 0, 0, 1 | 2);
  sub_pset(0, 0, 1, 2);
  sub_pset(3, 3, 1, 2);
  EXPECT_EQ(count_set(), 0);
  sub_pset(2, 2, 1, 2);
  EXPECT_EQ(pixel(2, 2), 1u);
}

TEST_F(DrawTest, PointReadsTheReadPage) {
  canvas(6, 6);
  sub_pset(4, 5, 200, 2);
  EXPECT_EQ(func_point(4, 5, 3), 200.0);
  EXPECT_EQ(func_point(6, 0, 3), -1.0) << "outside the viewport";
  EXPECT_EQ(func_point(-1, 0, 3), -1.0);
  zqg_sub_view(0, 0, 2, 2, 0, 0, 1 | 2);
  EXPECT_EQ(func_point(4, 5, 3), -1.0) << "outside the new viewport";
}

TEST_F(DrawTest, PointOfA32BitPageIsTheWholeColour) {
  canvas(2, 2, 32);
  sub_pset(1, 1, 0xFFFEDCBA, 2);
  EXPECT_EQ(func_point(1, 1, 3), static_cast<double>(0xFFFEDCBAu));
}

TEST_F(DrawTest, OneArgumentPointReportsTheCursor) {
  canvas(320, 200);
  sub_pset(10, 20, 1, 2);
  EXPECT_EQ(func_point(0, 0, 0), 10.0);
  EXPECT_EQ(func_point(1, 0, 0), 20.0);
  zqg_sub_window(0, 0, 100, 100, 1);
  // The cursor (10, 20) in pixels is now about (3.13, 89.45) in window coordinates.
  EXPECT_EQ(func_point(0, 0, 0), 10.0);
  EXPECT_EQ(func_point(1, 0, 0), 20.0);
  EXPECT_NEAR(func_point(2, 0, 0), 10.0 * 100 / 319, 1e-4);
  EXPECT_NEAR(func_point(3, 0, 0), 100.0 - 20.0 * 100 / 199, 1e-4);
  func_point(4, 0, 0);
  EXPECT_EQ(take_error(), 5u);
}

// ---- Lines ----

TEST_F(DrawTest, LinesFollowTheNearestPixels) {
  canvas(8, 6);
  line(0, 0, 7, 0);  // horizontal
  line(0, 1, 4, 5);  // diagonal
  line(7, 5, 5, 1);  // steep, drawn backwards: x = 7, 6.5, 6, 5.5, 5 (halves away from 0)
  // clang-format off
  const Picture expected = {
      "########",
      "#....#..",
      ".#....#.",
      "..#...#.",
      "...#...#",
      "....#..#",
  };
  // clang-format on
  EXPECT_EQ(picture(), expected);
}

TEST_F(DrawTest, ShallowLineStepsAlongX) {
  canvas(7, 3);
  line(0, 0, 6, 2);  // y = 0, .33, .67, 1, 1.33, 1.67, 2
  const Picture expected = {
      "##.....",
      "..###..",
      ".....##",
  };
  EXPECT_EQ(picture(), expected);
}

TEST_F(DrawTest, ZeroLengthLineDrawsOnePixelInsideTheViewportOnly) {
  canvas(5, 5);
  line(2.4f, 2.6f, 1.6f, 3.4f);  // both ends round to (2, 3)
  EXPECT_EQ(pixel(2, 3), 1u);
  EXPECT_EQ(count_set(), 1);
  line(7, 7, 7, 7);
  EXPECT_EQ(count_set(), 1);
}

TEST_F(DrawTest, StylePatternsStartWithBit15) {
  canvas(20, 3);
  styled_line(0, 0, 19, 0, 0xAAAA);
  styled_line(0, 1, 19, 1, 0x5555);
  styled_line(0, 2, 19, 2, 0xFF00);
  EXPECT_EQ(row(0), "#.#.#.#.#.#.#.#.#.#.");
  EXPECT_EQ(row(1), ".#.#.#.#.#.#.#.#.#.#");
  EXPECT_EQ(row(2), "########........####");
}

TEST_F(DrawTest, ClippedStartKeepsThePatternsPhase) {
  canvas(320, 200);
  // Cut off 10 pixels: the first drawn pixel uses bit 5 of the style.
  styled_line(-10, 5, 10, 5, 0x0020);
  EXPECT_EQ(pixel(0, 5), 1u);
  EXPECT_EQ(count_set(), 1);
  // Dashes of 8: pixel x has phase (x + 10) mod 16 and is drawn for phases 0..7.
  styled_line(-10, 9, 30, 9, 0xFF00);
  const std::string r = row(9);
  for (int x = 0; x <= 30; ++x) {
    const bool drawn = (x + 10) % 16 < 8;
    EXPECT_EQ(r[x] == '#', drawn) << x;
  }
}

TEST_F(DrawTest, LineStatementPointsAndCursor) {
  canvas(20, 5);
  write_page->color = 3;
  sub_line(2, 1, 5, 0, 0, 0, 0, 1 | 2);  // second point relative to the first: (7, 1)
  EXPECT_EQ(row(1), "..######............");
  EXPECT_EQ(pixel(2, 1), 3u);
  EXPECT_EQ(write_page->x, 7.0f);
  sub_line(0, 0, 10, 3, 4, 0, 0, 8);  // from the cursor (7, 1) to (10, 3)
  EXPECT_EQ(pixel(10, 3), 4u);
  EXPECT_EQ(pixel(7, 1), 4u);
  sub_line(1, 1, 0, 1, 5, 0, 0, 1 | 2 | 4 | 8);  // both relative: (11, 4) to (11, 5) clipped
  EXPECT_EQ(pixel(11, 4), 5u);
  EXPECT_EQ(write_page->draw_color, 5u);
  EXPECT_EQ(write_page->y, 5.0f);
}

TEST_F(DrawTest, UnknownBoxValueDrawsNothingButMovesTheCursor) {
  canvas(8, 8);
  sub_line(1, 1, 5, 5, 1, 3, 0, 1 | 8);
  EXPECT_EQ(count_set(), 0);
  EXPECT_EQ(write_page->x, 5.0f);
}

TEST_F(DrawTest, FarCoordinatesAreClipped) {
  canvas(320, 200);
  line(-1e9f, -1e9f, 1e9f, 1e9f);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(pixel(i, i), 1u) << i;
  EXPECT_EQ(count_set(), 200);
  line(std::nanf(""), 0, 10, 10);
  line(1e30f, 1e30f, -1e30f, 5);
  EXPECT_EQ(new_error.load(), 0u);
}

// ---- The clipper ----

TEST_F(DrawTest, ClipperMovesTheStartAndCountsSkippedPixels) {
  LineClip clip = lineclip(-10, 5, 10, 5, 0, 0, 319, 199);
  EXPECT_TRUE(clip.draw);
  EXPECT_EQ(clip.x1, 0);
  EXPECT_EQ(clip.y1, 5);
  EXPECT_EQ(clip.x2, 10);
  EXPECT_EQ(clip.skip_pixels, 10);

  clip = lineclip(-10, -20, 10, 20, 0, 0, 319, 199);  // reaches the left edge at the corner (0, 0)
  EXPECT_TRUE(clip.draw);
  EXPECT_EQ(clip.x1, 0);
  EXPECT_EQ(clip.y1, 0);
  EXPECT_EQ(clip.skip_pixels, 20) << "the larger of the two distances";

  clip = lineclip(5, 5, 400, 5, 0, 0, 319, 199);
  EXPECT_EQ(clip.x2, 319);
  EXPECT_EQ(clip.skip_pixels, 0);

  clip = lineclip(100, 250, 100, -50, 0, 0, 319, 199);  // vertical through both edges
  EXPECT_TRUE(clip.draw);
  EXPECT_EQ(clip.y1, 199);
  EXPECT_EQ(clip.y2, 0);
  EXPECT_EQ(clip.skip_pixels, 51);
}

TEST_F(DrawTest, ClipperRejectsLinesThatMissTheRectangle) {
  const int32_t misses[][4] = {{-5, 0, -1, 10},  {320, 0, 330, 5}, {0, -3, 10, -1},
                               {0, 200, 5, 300}, {-1, -1, -1, -1}, {-10, 5, 5, -10}};
  for (const auto& m : misses) {
    const LineClip clip = lineclip(m[0], m[1], m[2], m[3], 0, 0, 319, 199);
    EXPECT_FALSE(clip.draw) << m[0] << "," << m[1] << " " << m[2] << "," << m[3];
  }
  EXPECT_TRUE(lineclip(7, 7, 7, 7, 0, 0, 319, 199).draw) << "a single point inside";
}

TEST_F(DrawTest, FastLineClipsToTheViewportWithoutMapping) {
  canvas(10, 4);
  zqg_sub_view(2, 0, 7, 3, 0, 0, 1);  // with a view offset, which fast_line ignores
  fast_line(0, 1, 9, 1, 1);
  EXPECT_EQ(row(1), "..######..");
}

// ---- Boxes ----

TEST_F(DrawTest, OutlineBoxDrawsFourSides) {
  canvas(8, 6);
  sub_line(6, 4, 1, 1, 1, 1, 0, 1 | 8);
  const Picture expected = {
      "........", ".######.", ".#....#.", ".#....#.", ".######.", "........",
  };
  EXPECT_EQ(picture(), expected);
}

TEST_F(DrawTest, FilledBoxInEitherCornerOrderFillsTheSameArea) {
  canvas(12, 12);
  sub_line(10, 10, 5, 5, 1, 2, 0, 1 | 8);
  const Picture reversed = picture();
  sub_line(5, 5, 10, 10, 0, 2, 0, 1 | 8);
  EXPECT_EQ(count_set(), 0);
  sub_line(5, 5, 10, 10, 1, 2, 0, 1 | 8);
  EXPECT_EQ(picture(), reversed);
  EXPECT_EQ(count_set(), 36);
  EXPECT_EQ(pixel(5, 5), 1u);
  EXPECT_EQ(pixel(10, 10), 1u);
}

TEST_F(DrawTest, FilledBoxIsClampedToTheViewport) {
  canvas(6, 4);
  sub_line(-100, -100, 2, 100, 1, 2, 0xF0F0, 1 | 8 | 16);  // the style is ignored
  const Picture expected = {"###...", "###...", "###...", "###..."};
  EXPECT_EQ(picture(), expected);
  sub_line(10, 10, 20, 20, 1, 2, 0, 1 | 8);
  EXPECT_EQ(count_set(), 12);
}

// ---- 32-bit pixels and blending ----

// Expected blend results computed from the table definitions, in single precision.
uint32_t blended(uint32_t destination, uint32_t colour) {
  const float a = static_cast<float>(colour >> 24) / 255.0f;
  auto component = [&](int shift) {
    const float s = static_cast<float>((colour >> shift) & 255);
    const float d = static_cast<float>((destination >> shift) & 255);
    return static_cast<uint32_t>(std::nearbyint(a * s + (1.0f - a) * d)) << shift;
  };
  const float da = static_cast<float>(destination >> 24) / 255.0f;
  const uint32_t alpha =
      static_cast<uint32_t>(std::nearbyint((1.0f - (1.0f - da) * (1.0f - a)) * 255.0f));
  return (alpha << 24) | component(16) | component(8) | component(0);
}

// The average used for half transparency: per component (s + d) / 2 with the low bits dropped.
uint32_t averaged(uint32_t destination, uint32_t colour) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t s = (colour >> shift) & 0xFE, d = (destination >> shift) & 0xFE;
    out |= ((s + d) / 2) << shift;
  }
  return out;
}

TEST_F(DrawTest, BlendingFollowsTheTables) {
  canvas(5, 1, 32);
  const uint32_t destination = 0x80204060;
  const uint32_t rgb = 0x00C0A0E1;
  const uint32_t alphas[] = {0, 127, 128, 200, 255};
  for (int i = 0; i < 5; ++i) {
    reinterpret_cast<uint32_t*>(write_page->pixels)[i] = destination;
    pset(i, 0, (alphas[i] << 24) | rgb);
  }
  EXPECT_EQ(pixel(0, 0), destination) << "alpha 0 leaves the pixel";
  const uint32_t a127 = static_cast<uint32_t>(
      std::nearbyint((1.0f - (1.0f - 128.0f / 255.0f) * (1.0f - 127.0f / 255.0f)) * 255.0f));
  const uint32_t a128 = static_cast<uint32_t>(
      std::nearbyint((1.0f - (1.0f - 128.0f / 255.0f) * (1.0f - 128.0f / 255.0f)) * 255.0f));
  EXPECT_EQ(pixel(1, 0), (a127 << 24) | averaged(destination, rgb));
  EXPECT_EQ(pixel(2, 0), (a128 << 24) | averaged(destination, rgb));
  EXPECT_EQ(pixel(3, 0), blended(destination, (200u << 24) | rgb));
  EXPECT_EQ(pixel(4, 0), 0xFF000000u | rgb);
  // Spot values of the tables themselves.
  EXPECT_EQ(ablend[255 * 256 + 3], 255) << "an opaque destination stays opaque";
  EXPECT_EQ(ablend[0], 0);
  EXPECT_EQ(ablend[10 * 256 + 20], ablend[20 * 256 + 10]);
  EXPECT_EQ(cblend[(255 << 16) + (77 << 8) + 3], 77);
  EXPECT_EQ(cblend[(0 << 16) + (77 << 8) + 3], 3);
}

TEST_F(DrawTest, BlendingOffStoresTheColour) {
  canvas(2, 1, 32);
  write_page->alpha_disabled = 1;
  sub_pset(0, 0, 0x10203040, 2);
  EXPECT_EQ(pixel(0, 0), 0x10203040u);
}

TEST_F(DrawTest, HalfTransparentOutlineBlendsItsCornersTwice) {
  canvas(4, 4, 32);
  sub_line(0, 0, 3, 3, 0xFF000000, 2, 0, 1 | 8);  // opaque black
  sub_line(0, 0, 3, 3, 0x80FFFFFF, 1, 0, 1 | 8);
  const uint32_t once = 0xFF000000 | averaged(0xFF000000, 0xFFFFFF);
  const uint32_t twice = 0xFF000000 | averaged(once, 0xFFFFFF);
  EXPECT_EQ(once, 0xFF7F7F7Fu);
  EXPECT_EQ(twice, 0xFFBEBEBEu);
  EXPECT_EQ(pixel(0, 0), twice);
  EXPECT_EQ(pixel(3, 0), twice);
  EXPECT_EQ(pixel(3, 3), twice);
  EXPECT_EQ(pixel(0, 3), twice);
  EXPECT_EQ(pixel(1, 0), once);
  EXPECT_EQ(pixel(3, 2), once);
  EXPECT_EQ(pixel(1, 1), 0xFF000000u);
}

TEST_F(DrawTest, BoxFillOn32BitPages) {
  canvas(4, 3, 32);
  sub_line(1, 0, 2, 2, 0xFF112233, 2, 0, 1 | 8);
  EXPECT_EQ(pixel(1, 0), 0xFF112233u);
  EXPECT_EQ(pixel(2, 2), 0xFF112233u);
  EXPECT_EQ(pixel(0, 0), 0u);
  EXPECT_EQ(pixel(3, 2), 0u);
  sub_line(0, 0, 3, 2, 0x00FFFFFF, 2, 0, 1 | 8);  // alpha 0: nothing
  EXPECT_EQ(pixel(1, 1), 0xFF112233u);
  sub_line(0, 0, 3, 2, 0xC8FFFFFF, 2, 0, 1 | 8);
  EXPECT_EQ(pixel(1, 1), blended(0xFF112233, 0xC8FFFFFF));
  EXPECT_EQ(pixel(0, 0), blended(0, 0xC8FFFFFF));
}

// ---- Fast paths against the general ones ----

// Pages and colours for the comparisons: indexed (with a mask) and 32-bit, opaque, blended by the
// tables, half transparent, invisible, and with blending off.
struct PathCase {
  int32_t mode;
  uint32_t colour;
  bool blending_off;
};
constexpr PathCase path_cases[] = {
    {13, 0x1234567A, false}, {1, 6, false},           {32, 0xFF102030, false},
    {32, 0xC8336699, false}, {32, 0x80FFEEDD, false}, {32, 0x7F010203, false},
    {32, 0x00ABCDEF, false}, {32, 0x40506070, true},
};

TEST_F(DrawTest, SolidRowsAndColumnsMatchTheRasteriser) {
  struct Line {
    int32_t x1, y1, x2, y2;
  };
  const Line lines[] = {{3, 2, 17, 2}, {17, 4, 3, 4},  {-30, 5, 40, 5}, {8, 6, 8, 6},
                        {0, 0, 19, 0}, {5, 9, 60, 9},  {-5, 7, 2, 7},   {2, 1, 12, 3},
                        {4, 1, 4, 8},  {6, 9, 6, -20}, {18, 0, 18, 9},  {0, 3, 0, 5}};
  for (const PathCase& c : path_cases) {
    SCOPED_TRACE(c.colour);
    expect_paths_agree(20, 10, c.mode, [&](DrawPath path) {
      write_page->alpha_disabled = c.blending_off;
      zqg_sub_view(1, 0, 18, 9, 0, 0, 1 | 2);
      for (const Line& l : lines) pixel_line(l.x1, l.y1, l.x2, l.y2, c.colour, 0xFFFF, path);
      pixel_line(0, 8, 19, 8, c.colour, 0xF0F0, path);  // styled: never a row fill
    });
  }
}

// Every slope that a 40 x 24 page holds, from corners, edges and inside, solid and styled, one
// line at a time: the fixed-point accumulator takes the steps of few binary digits (45 degrees,
// 1/2, 3/8, ...) and must round them as the float one does, halves included, and leave the rest
// (17/18 from the corner reaches a sum of 8.5 that only the float rounding makes) to it.
TEST_F(DrawTest, FixedPointLinesMatchTheFloatAccumulator) {
  canvas(40, 24);
  img_struct& im = *write_page;
  auto drawn = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t style, DrawPath path) {
    std::memset(im.pixels, 0, 40 * 24);
    pixel_line(x1, y1, x2, y2, 1, style, path);
    return picture();
  };
  const int32_t starts[][2] = {{0, 0}, {39, 23}, {17, 0}, {0, 11}, {21, 9}};
  for (const auto& start : starts)
    for (int32_t y = 0; y < 24; ++y)
      for (int32_t x = 0; x < 40; ++x)
        for (const uint32_t style : {0xFFFFu, 0xC3A5u})
          ASSERT_EQ(drawn(start[0], start[1], x, y, style, DrawPath::Auto),
                    drawn(start[0], start[1], x, y, style, DrawPath::General))
              << start[0] << "," << start[1] << " - " << x << "," << y << " style " << style;
}

TEST_F(DrawTest, UnscaledPointsMatchTheExtendedMapping) {
  const float values[] = {0,      2.5f,  3.5f,   -0.5f,   -1.5f,    7.49f, 19.5f,    20.5f,
                          -1e10f, 1e10f, 2.1e9f, -2.2e9f, 65535.5f, NAN,   INFINITY, -INFINITY};
  auto points = [&](uint32_t colour, DrawPath path) {
    for (const float x : values)
      for (const float y : values) pset_statement(x, y, colour, pset_colour, path);
    pset_statement(2.5f, 1.5f, colour, pset_colour | pset_relative, path);
  };
  for (const PathCase& c : path_cases) {
    SCOPED_TRACE(c.colour);
    expect_paths_agree(20, 10, c.mode, [&](DrawPath path) {
      write_page->alpha_disabled = c.blending_off;
      points(c.colour, path);              // no viewport: the image bounds
      zqg_sub_view(3, 2, 15, 8, 0, 0, 1);  // a view offset
      points(c.colour ^ 1, path);
      zqg_sub_view(3, 2, 15, 8, 0, 0, 1 | 2);  // the screen keyword: no offset
      points(c.colour ^ 2, path);
      zqg_sub_window(-3, -2, 7, 9, 1);  // both paths map through the window
      points(c.colour ^ 3, path);
    });
  }
}

TEST_F(DrawTest, FillSpanClipsToTheViewport) {
  canvas(10, 3);
  zqg_sub_view(2, 0, 6, 2, 0, 0, 1 | 2);
  fill_span(9, -5, 1, 1);
  fill_span(0, 9, 5, 1);
  EXPECT_EQ(row(1), "..#####...");
  EXPECT_EQ(count_set(), 5);
}

// ---- Window and viewport ----

TEST_F(DrawTest, WindowMapsLogicalCoordinatesUpward) {
  canvas(320, 200);
  zqg_sub_window(0, 0, 100, 100, 1);
  EXPECT_EQ(write_page->clipping_or_scaling, 2);
  EXPECT_EQ(map_x(*write_page, 0), 0);
  EXPECT_EQ(map_y(*write_page, 0), 199);
  EXPECT_EQ(map_x(*write_page, 100), 319);
  EXPECT_EQ(map_y(*write_page, 100), 0);
  sub_pset(0, 0, 1, 2);
  sub_pset(100, 100, 2, 2);
  EXPECT_EQ(pixel(0, 199), 1u);
  EXPECT_EQ(pixel(319, 0), 2u);
  EXPECT_EQ(func_pmap(100, 0), 319.0);
  EXPECT_EQ(func_pmap(0, 1), 199.0);
  EXPECT_NEAR(func_pmap(319, 2), 100.0, 1e-4);
  EXPECT_NEAR(func_pmap(199, 3), 0.0, 1e-4);
  EXPECT_EQ(write_page->window_y1, 100.0f) << "stored after the exchange";
}

TEST_F(DrawTest, ScreenOrientedWindowAndIdentity) {
  canvas(320, 200);
  zqg_sub_window(0, 0, 100, 100, 1 | 2);
  EXPECT_EQ(map_y(*write_page, 0), 0);
  EXPECT_EQ(map_y(*write_page, 100), 199);
  zqg_sub_window(319, 199, 0, 0, 1 | 2);  // the pixel grid itself
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
  EXPECT_EQ(write_page->scaling_x, 1.0f);
  zqg_sub_window(0, 0, 10, 10, 1);
  zqg_sub_window(0, 0, 0, 0, 0);  // WINDOW alone
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
  EXPECT_EQ(write_page->window_x2, 319.0f);
}

TEST_F(DrawTest, WindowKeepsTheCursorWhereItWas) {
  canvas(320, 200);
  sub_pset(160, 100, 1, 2);
  zqg_sub_window(0, 0, 319, 199, 1);  // upward y: pixel row 100 is y 99
  EXPECT_FLOAT_EQ(write_page->x, 160.0f);
  EXPECT_FLOAT_EQ(write_page->y, 99.0f);
  zqg_sub_window(0, 0, 0, 0, 0);
  EXPECT_FLOAT_EQ(write_page->y, 100.0f);
}

TEST_F(DrawTest, BadWindowsRaiseError5AndChangeNothing) {
  canvas(32, 20);
  zqg_sub_window(5, 0, 5, 10, 1);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_window(0, 3, 10, 3, 1);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_window(0, 0, 0, 0, 2);
  EXPECT_EQ(take_error(), 5u) << "screen orientation without corners";
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
  func_pmap(1, 4);
  EXPECT_EQ(take_error(), 5u);
}

TEST_F(DrawTest, ViewportOffsetsAndClipsDrawing) {
  canvas(10, 6);
  zqg_sub_view(2, 1, 6, 4, 0, 0, 1);
  EXPECT_EQ(write_page->view_offset_x, 2);
  EXPECT_EQ(write_page->clipping_or_scaling, 1);
  line(0, 0, 9, 0);  // viewport-relative: row 1 from x 2, clipped at 6
  sub_pset(0, 3, 1, 2);
  const Picture expected = {
      "..........", "..#####...", "..........", "..........", "..#.......", "..........",
  };
  EXPECT_EQ(picture(), expected);
  EXPECT_EQ(func_point(0, 3, 3), 1.0) << "points read through the same offset";
  zqg_sub_view(0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
  EXPECT_EQ(write_page->view_x2, 9);
}

TEST_F(DrawTest, ViewportFillAndBorder) {
  canvas(8, 6);
  zqg_sub_view(2, 2, 4, 3, 1, 2, 1 | 4 | 8);
  // Check the exact colours: border ring of 2 around a fill of 1.
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 3;
      const bool ring = !inside && x >= 1 && x <= 5 && y >= 1 && y <= 4;
      EXPECT_EQ(pixel(x, y), inside ? 1u : ring ? 2u : 0u) << x << "," << y;
    }
  // A border at the image edge is dropped where it falls outside.
  canvas(4, 4);
  zqg_sub_view(0, 0, 2, 2, 0, 3, 1 | 8);
  EXPECT_EQ(pixel(3, 0), 3u);
  EXPECT_EQ(pixel(0, 3), 3u);
  EXPECT_EQ(pixel(3, 3), 3u);
  EXPECT_EQ(pixel(1, 1), 0u);
}

TEST_F(DrawTest, ViewportWithAWindowRescales) {
  canvas(320, 200);
  zqg_sub_window(0, 0, 10, 10, 1 | 2);
  zqg_sub_view(100, 50, 200, 150, 0, 0, 1 | 2);  // screen keyword: no offset
  EXPECT_EQ(write_page->clipping_or_scaling, 2);
  EXPECT_FLOAT_EQ(write_page->scaling_x, 10.0f);
  EXPECT_EQ(map_x(*write_page, 10), 100);
  sub_line(0, 0, 10, 10, 1, 2, 0, 1 | 8);  // maps to (0,0)-(100,100), clipped to the viewport
  EXPECT_EQ(pixel(100, 50), 1u);
  EXPECT_EQ(pixel(100, 100), 1u);
  EXPECT_EQ(pixel(99, 100), 0u);
  EXPECT_EQ(pixel(101, 101), 0u);
  EXPECT_EQ(write_page->draw_angle, 0.0);
}

TEST_F(DrawTest, UpwardWindowAndViewportMapAlikeInEitherOrder) {
  // The viewport statement recomputes the window's mapping exactly as the window statement
  // made it, whichever kind of viewport and whichever statement comes first.
  for (const int32_t view_passed : {1, 1 | 2}) {
    for (const bool window_first : {true, false}) {
      canvas(320, 200);
      if (window_first) zqg_sub_window(0, 0, 100, 100, 1);
      zqg_sub_view(10, 50, 109, 149, 0, 0, view_passed);
      if (!window_first) zqg_sub_window(0, 0, 100, 100, 1);
      const img_struct& im = *write_page;
      SCOPED_TRACE(std::to_string(view_passed) + (window_first ? " window first" : " view first"));
      EXPECT_FLOAT_EQ(im.scaling_y, -0.99f);
      EXPECT_FLOAT_EQ(im.scaling_offset_y, 99.0f);
      if (view_passed == 1) {
        EXPECT_EQ(map_y(im, 0), 149);
        EXPECT_EQ(map_y(im, 100), 50);
        sub_pset(0, 0, 1, 2);
        EXPECT_EQ(pixel(10, 149), 1u);
      }
    }
  }
}

TEST_F(DrawTest, BadViewportsRaiseError5AndChangeNothing) {
  canvas(10, 10);
  zqg_sub_view(0, 0, 10, 5, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_view(-1, 0, 5, 5, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_view(0, 0, 0, 0, 1, 0, 4);
  EXPECT_EQ(take_error(), 5u) << "fill without corners";
  EXPECT_EQ(write_page->view_x2, 9);
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
}

// ---- Text pages and pending errors ----

TEST_F(DrawTest, DrawingOnATextPageIsError5) {
  ASSERT_EQ(write_page->mode, 0);
  const uint8_t before = write_page->pixels[0];
  sub_line(0, 0, 5, 5, 1, 0, 0, 1 | 8);
  EXPECT_EQ(take_error(), 5u);
  sub_pset(0, 0, 1, 2);
  EXPECT_EQ(take_error(), 5u);
  sub_preset(0, 0, 1, 2);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(func_point(0, 0, 3), 0.0);
  EXPECT_EQ(take_error(), 5u);
  func_point(0, 0, 0);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_window(0, 0, 1, 1, 1);
  EXPECT_EQ(take_error(), 5u);
  func_pmap(0, 0);
  EXPECT_EQ(take_error(), 5u);
  zqg_sub_view(0, 0, 1, 1, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(write_page->pixels[0], before);
}

TEST_F(DrawTest, NothingIsDrawnWhileAnErrorIsPending) {
  canvas(4, 4);
  new_error.store(9);
  sub_line(0, 0, 3, 3, 1, 2, 0, 1 | 8);
  sub_pset(1, 1, 1, 2);
  zqg_sub_view(1, 1, 2, 2, 1, 1, 1 | 4 | 8);
  zqg_sub_window(0, 0, 1, 1, 1);
  EXPECT_EQ(func_point(0, 0, 3), 0.0);
  new_error.store(0);
  EXPECT_EQ(count_set(), 0);
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
}

}  // namespace
