// Flood fill: borders and fill colours, the viewport, the start point, the three pixel variants,
// and fills whose rings outgrow any fixed frontier (a whole full-HD page, a branching maze).
#include "runtime/screen/paint.h"

#include <cstring>
#include <vector>

#include "runtime/screen/draw.h"
#include "tests/screen/page_fixture.h"

namespace {

constexpr int relative = 1, fill_given = 2, border_given = 4, background_given = 8;

class PaintTest : public PageTest {
 protected:
  static void paint(float x, float y, uint32_t fill, uint32_t border) {
    sub_paint(x, y, fill, border, nullptr, fill_given | border_given);
  }
  static void box_outline(float x1, float y1, float x2, float y2, uint32_t colour) {
    sub_line(x1, y1, x2, y2, colour, 1, 0, 1 | 8);
  }
  static bool inside(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return x >= x1 && x <= x2 && y >= y1 && y <= y2;
  }
  // Every pixel of the write page is `in` inside the box and `out` elsewhere.
  static void expect_box(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t in,
                         uint32_t out) {
    const img_struct& im = *write_page;
    int wrong = 0;
    for (int32_t y = 0; y < im.height; ++y)
      for (int32_t x = 0; x < im.width; ++x)
        if (pixel(x, y) != (inside(x, y, x1, y1, x2, y2) ? in : out) && ++wrong < 5)
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << pixel(x, y);
    EXPECT_EQ(wrong, 0);
  }
  // Every pixel of the box is `value`.
  static void expect_region(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t value) {
    for (int32_t y = y1; y <= y2; ++y)
      for (int32_t x = x1; x <= x2; ++x) ASSERT_EQ(pixel(x, y), value) << x << "," << y;
  }
};

// ---- Borders and colours ----

TEST_F(PaintTest, FillsInsideABoxOutlineAndKeepsTheOutline) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  paint(20, 12, 2, 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool on_outline = inside(x, y, 10, 5, 30, 20) && !inside(x, y, 11, 6, 29, 19);
      const uint32_t expected = on_outline ? 4 : inside(x, y, 11, 6, 29, 19) ? 2 : 0;
      ASSERT_EQ(pixel(x, y), expected) << x << "," << y;
    }
  EXPECT_EQ(write_page->draw_color, 2u);
}

TEST_F(PaintTest, WithoutABorderColourTheFillColourBounds) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  // Nothing is enclosed by colour 2: the fill runs over the outline to the page edges.
  sub_paint(2, 2, 2, 0, nullptr, fill_given);
  expect_box(0, 0, 39, 29, 2, 2);
}

TEST_F(PaintTest, DefaultFillColourIsThePagesColour) {
  canvas(20, 20, 13);
  write_page->color = 5;
  sub_paint(3, 3, 0, 0, nullptr, 0);
  expect_box(0, 0, 19, 19, 5, 5);
}

TEST_F(PaintTest, PixelsAlreadyInTheFillColourArePassedThrough) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  sub_line(11, 12, 29, 12, 2, 0, 0, 1 | 8);  // splits the inside with the fill colour
  paint(20, 8, 2, 4);
  expect_region(11, 6, 29, 19, 2);
  EXPECT_EQ(pixel(10, 12), 4u);
  EXPECT_EQ(pixel(0, 0), 0u);
}

TEST_F(PaintTest, StartingOnABorderPixelDrawsNothing) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  paint(10, 10, 2, 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) ASSERT_NE(pixel(x, y), 2u);
}

TEST_F(PaintTest, ColoursAreMaskedOnIndexedPages) {
  canvas(16, 16, 1);  // four colours
  paint(5, 5, 6, 7);  // fill 2, border 3
  EXPECT_EQ(pixel(0, 0), 2u);
  EXPECT_EQ(write_page->draw_color, 2u);
}

TEST_F(PaintTest, EachFillStartsWithAFreshVisitedMap) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  paint(20, 12, 2, 4);
  paint(20, 12, 3, 4);
  expect_region(11, 6, 29, 19, 3);
  EXPECT_EQ(pixel(0, 0), 0u);
  paint(0, 0, 7, 4);
  EXPECT_EQ(pixel(39, 29), 7u);
  EXPECT_EQ(pixel(20, 12), 3u);
}

TEST_F(PaintTest, DiagonalGapsDoNotLeak) {
  canvas(20, 20, 13);
  // A diagonal line of border pixels: four-neighbour steps cannot cross it.
  sub_line(0, 19, 19, 0, 4, 0, 0, 1 | 8);
  paint(0, 0, 2, 4);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x)
      ASSERT_EQ(pixel(x, y), x + y < 19 ? 2u : x + y == 19 ? 4u : 0u) << x << "," << y;
}

// ---- Viewport and start point ----

TEST_F(PaintTest, RegionTouchingTheViewportEdgeIsCutThere) {
  canvas(40, 30, 13);
  // Pixels outside the viewport carry a pattern that must survive untouched.
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) set_pixel(x, y, (x * 7 + y) % 3 == 0 ? 9 : 0);
  const std::vector<uint8_t> before(write_page->pixels, write_page->pixels + 40 * 30);
  zqg_sub_view(5, 6, 25, 20, 0, 0, 1 | 2);
  paint(10, 10, 2, 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      if (inside(x, y, 5, 6, 25, 20))
        ASSERT_EQ(pixel(x, y), 2u) << x << "," << y;
      else
        ASSERT_EQ(pixel(x, y), before[y * 40 + x]) << x << "," << y;
    }
}

TEST_F(PaintTest, PointIsMappedThroughTheViewOffset) {
  canvas(40, 30, 13);
  zqg_sub_view(20, 10, 39, 29, 0, 0, 1);  // view offset (20, 10)
  sub_line(0, 5, 19, 5, 4, 0, 0, 1 | 8);  // pixel row 15 inside the viewport
  paint(3, 2, 2, 4);                      // pixel (23, 12)
  EXPECT_EQ(pixel(23, 12), 2u);
  EXPECT_EQ(pixel(39, 10), 2u);
  EXPECT_EQ(pixel(23, 16), 0u);
  EXPECT_EQ(pixel(19, 12), 0u);
}

TEST_F(PaintTest, StartOutsideTheViewportDrawsNothingButMovesTheCursor) {
  canvas(40, 30, 13);
  zqg_sub_view(5, 5, 20, 20, 0, 0, 1 | 2);
  paint(30, 25, 2, 4);
  EXPECT_EQ(take_error(), 0u);
  expect_box(0, 0, 39, 29, 0, 0);
  EXPECT_FLOAT_EQ(write_page->x, 30);
  EXPECT_FLOAT_EQ(write_page->y, 25);
}

TEST_F(PaintTest, RelativePointAddsTheCursor) {
  canvas(40, 30, 13);
  box_outline(10, 5, 30, 20, 4);
  set_cursor(15, 8);
  sub_paint(5, 4, 2, 4, nullptr, relative | fill_given | border_given);
  EXPECT_FLOAT_EQ(write_page->x, 20);
  EXPECT_FLOAT_EQ(write_page->y, 12);
  EXPECT_EQ(pixel(20, 12), 2u);
  EXPECT_EQ(pixel(0, 0), 0u);
}

// ---- 32-bit pages ----

TEST_F(PaintTest, HalfTransparentFillBlendsEveryPixelOnce) {
  canvas(40, 30, 32);
  box_outline(10, 5, 30, 20, 0xFFFFFFFFu);
  paint(20, 12, 0x80FF0000u, 0xFFFFFFFFu);
  for (int32_t y = 6; y <= 19; ++y)
    for (int32_t x = 11; x <= 29; ++x)
      ASSERT_EQ(pixel(x, y) & 0xFFFFFF, 0x7F0000u) << x << "," << y;  // once; twice is 0xBE
  EXPECT_EQ(pixel(10, 5), 0xFFFFFFFFu);
  EXPECT_EQ(pixel(0, 0), 0u);
}

TEST_F(PaintTest, BlendingOffStoresTheFillColour) {
  canvas(40, 30, 32);
  write_page->alpha_disabled = 1;
  box_outline(10, 5, 30, 20, 0xFFFFFFFFu);
  paint(20, 12, 0x80FF0000u, 0xFFFFFFFFu);
  expect_region(11, 6, 29, 19, 0x80FF0000u);
  EXPECT_EQ(pixel(10, 5), 0xFFFFFFFFu);
  EXPECT_EQ(pixel(0, 0), 0u);
}

TEST_F(PaintTest, BorderComparisonUsesTheWhole32BitValue) {
  canvas(20, 20, 32);
  write_page->alpha_disabled = 1;
  box_outline(5, 5, 15, 15, 0x00FFFFFFu);  // same colour, different alpha from the border
  paint(10, 10, 0xFF00FF00u, 0xFFFFFFFFu);
  expect_box(0, 0, 19, 19, 0xFF00FF00u, 0xFF00FF00u);
}

TEST_F(PaintTest, ThirtyTwoBitFormsRefuseIndexedPages) {
  canvas(20, 20, 13);
  sub_paint32(5, 5, 2, 4, fill_given | border_given);
  EXPECT_EQ(take_error(), 5u);
  sub_paint32x(5, 5, 2, 4, fill_given | border_given);
  EXPECT_EQ(take_error(), 5u);
  expect_box(0, 0, 19, 19, 0, 0);
}

// ---- Errors ----

TEST_F(PaintTest, TextPageOrBackgroundIsIllegalAndLeavesTheCursor) {
  ASSERT_TRUE(write_page->text);
  paint(1, 1, 2, 4);
  EXPECT_EQ(take_error(), 5u);
  canvas(20, 20, 13);
  set_cursor(3, 4);
  sub_paint(10, 10, 2, 4, nullptr, fill_given | border_given | background_given);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_FLOAT_EQ(write_page->x, 3);
  expect_box(0, 0, 19, 19, 0, 0);
}

TEST_F(PaintTest, NothingHappensWhileAnErrorIsPending) {
  canvas(20, 20, 13);
  error(9);
  paint(5, 5, 2, 4);
  EXPECT_EQ(take_error(), 9u);
  expect_box(0, 0, 19, 19, 0, 0);
}

// ---- Large fills ----

TEST_F(PaintTest, FillsAWholeFullHdPage) {
  canvas(1920, 1080, 32);
  write_page->alpha_disabled = 1;
  paint(960, 540, 0xFF102030u, 0xFFFFFFFFu);
  const auto* pixels = reinterpret_cast<const uint32_t*>(write_page->pixels);
  size_t filled = 0;
  for (size_t i = 0; i < 1920u * 1080u; ++i) filled += pixels[i] == 0xFF102030u;
  EXPECT_EQ(filled, 1920u * 1080u);
}

// Draws an H-tree of 1-pixel corridors in colour 0 into a page of walls (colour 4): every branch
// splits in two with equal lengths on both sides, so all 2^k leaves lie at the same distance
// from the root and the fill's ring reaches every leaf at once. Branches alternate between across
// and down. Leaves sit 4 pixels apart, which
// keeps one wall pixel between neighbouring corridors.
void h_tree(img_struct& im, int32_t x0, int32_t y0, int32_t w, int32_t h, bool across,
            size_t& path_pixels) {
  auto open = [&](int32_t x, int32_t y) {
    uint8_t& p = im.pixels[static_cast<size_t>(y) * im.width + x];
    if (p != 0) ++path_pixels;
    p = 0;
  };
  const int32_t cx = x0 + w / 2, cy = y0 + h / 2;
  if (w <= 4 && h <= 4) {
    open(cx, cy);
    return;
  }
  if (across) {
    for (int32_t x = x0 + w / 4; x <= x0 + 3 * w / 4; ++x) open(x, cy);
    h_tree(im, x0, y0, w / 2, h, false, path_pixels);
    h_tree(im, x0 + w / 2, y0, w / 2, h, false, path_pixels);
  } else {
    for (int32_t y = y0 + h / 4; y <= y0 + 3 * h / 4; ++y) open(cx, y);
    h_tree(im, x0, y0, w, h / 2, true, path_pixels);
    h_tree(im, x0, y0 + h / 2, w, h / 2, true, path_pixels);
  }
}

TEST_F(PaintTest, BranchingMazeWithRingsBeyond65536EntriesFillsCompletely) {
  canvas(2048, 1024, 13);
  img_struct& im = *write_page;
  std::memset(im.pixels, 4, 2048u * 1024u);
  size_t path_pixels = 0;
  h_tree(im, 0, 0, 2048, 1024, true, path_pixels);
  ASSERT_GT(path_pixels, 131072u);
  paint(1024, 512, 2, 4);
  // 512 x 256 leaves are reached in the same ring.
  EXPECT_GE(paint_last_ring_peak(), 131072u);
  size_t filled = 0, walls = 0;
  for (size_t i = 0; i < 2048u * 1024u; ++i) {
    filled += im.pixels[i] == 2;
    walls += im.pixels[i] == 4;
  }
  EXPECT_EQ(filled, path_pixels);
  EXPECT_EQ(walls, 2048u * 1024u - path_pixels);
}

}  // namespace
