// The PNG writer: pages rendered through their palettes, text cells through the font, and files
// that read back to the same pixels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "runtime/core/error.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "tests/support/runtime_fixture.h"
#include "tools/png/page_png.h"

namespace {

class PagePngTest : public FreshScreenTest {
 protected:
  void SetUp() override {
    FreshScreenTest::SetUp();
    path_ = "/tmp/page_png_test_" + std::to_string(getpid()) + ".png";
  }
  void TearDown() override { std::remove(path_.c_str()); }
  std::string path_;
};

TEST_F(PagePngTest, IndexedPageRoundTripsThroughItsPalette) {
  zqg_screen(13, 0, 0, 0, 0, 1);
  for (int c = 0; c < 256; ++c) {
    const float x = static_cast<float>((c % 16) * 20), y = static_cast<float>((c / 16) * 12);
    sub_line(x, y, x + 19, y + 11, static_cast<uint32_t>(c), 2, 0, 1 | 8);
  }
  ASSERT_TRUE(write_png(path_, *display_page.load()));
  const auto back = read_png(path_);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->width, 320);
  ASSERT_EQ(back->height, 200);
  for (int c = 0; c < 256; ++c) {
    const int x = (c % 16) * 20 + 10, y = (c / 16) * 12 + 6;
    EXPECT_EQ(back->at(x, y), palette_256[c]) << "colour " << c;
  }
  EXPECT_EQ(back->at(0, 199), palette_256[0]);
}

TEST_F(PagePngTest, Mode10GoesThroughTheAttributeTable) {
  zqg_screen(10, 0, 0, 0, 0, 1);
  sub_pset(0, 0, 3, 2);  // colour 3 has attribute 8: white in both phases
  sub_pset(1, 0, 1, 2);  // colour 1 has attribute 4: grey, then grey
  const RgbaImage picture = render_image(*display_page.load());
  EXPECT_EQ(picture.at(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(picture.at(1, 0), 0xFF808080u);
  EXPECT_EQ(picture.at(2, 0), 0xFF000000u);
}

TEST_F(PagePngTest, TextCellsAreDrawnWithTheFont) {
  uint8_t* cell = display_page.load()->pixels + (2 * 80 + 3) * 2;  // row 3, column 4
  cell[0] = 'A';
  cell[1] = 0x1E;  // yellow on blue
  const RgbaImage picture = render_image(*display_page.load());
  ASSERT_EQ(picture.width, 640);
  ASSERT_EQ(picture.height, 400);
  int foreground = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool set = charset8x16['A' * 128 + y * 8 + x] != 0;
      const uint32_t expected = set ? palette_256[14] : palette_256[1];
      EXPECT_EQ(picture.at(3 * 8 + x, 2 * 16 + y), expected) << x << "," << y;
      foreground += set;
    }
  EXPECT_GT(foreground, 10) << "the glyph has pixels";
}

TEST_F(PagePngTest, ThirtyTwoBitPagesAreWrittenAsTheyAre) {
  const int32_t h = func__newimage(3, 2, 32, 1);
  sub__dest(h);
  write_page->alpha_disabled = 1;
  sub_pset(0, 0, 0x80FF8040, 2);
  sub_pset(2, 1, 0xFF0000FF, 2);
  ASSERT_TRUE(write_png(path_, *write_page));
  const auto back = read_png(path_);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->at(0, 0), 0x80FF8040u);
  EXPECT_EQ(back->at(2, 1), 0xFF0000FFu);
  EXPECT_EQ(back->at(1, 0), 0u);
}

// Nearest-neighbour scaling takes the source pixel under each output pixel's centre: integer
// enlargements repeat pixels, reductions keep the first and last columns and rows.
TEST(ScaleNearest, SamplesTheSourcePixelUnderEachCentre) {
  RgbaImage source;
  source.width = 4;
  source.height = 4;
  for (uint32_t i = 0; i < 16; ++i) source.pixels.push_back(0xFF000000u | i);
  const auto sampled = [&](int32_t w, int32_t h) {
    RgbaImage out = scale_nearest(source, w, h);
    std::string text;
    for (uint32_t c : out.pixels) text += static_cast<char>('a' + (c & 0xFF));
    return text;
  };
  EXPECT_EQ(sampled(8, 2), "eeffgghhmmnnoopp");  // columns doubled; rows 1 and 3
  EXPECT_EQ(sampled(3, 3), "acdiklmop");         // columns and rows 0, 2, 3
  EXPECT_EQ(sampled(1, 1), "k");                 // the pixel at (2, 2)
  EXPECT_EQ(sampled(4, 4), "abcdefghijklmnop");
}

TEST_F(PagePngTest, UnwritablePathFails) {
  EXPECT_FALSE(write_png("/nonexistent-directory/x.png", *display_page.load()));
  EXPECT_FALSE(read_png("/nonexistent-directory/x.png").has_value());
}

}  // namespace
