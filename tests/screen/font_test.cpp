// The built-in fonts: metric tables and glyph shapes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "runtime/screen/font.h"

namespace {

class FontTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { fonts_init(); }

  // Row bits of glyph c of an expanded table (most significant bit leftmost).
  static std::vector<uint8_t> rows_of(const uint8_t* glyph, int rows) {
    std::vector<uint8_t> packed(rows, 0);
    for (int row = 0; row < rows; ++row) {
      for (int x = 0; x < 8; ++x) {
        if (glyph[row * 8 + x]) packed[row] |= static_cast<uint8_t>(0x80 >> x);
      }
    }
    return packed;
  }
  static std::vector<uint8_t> glyph8x8(int c) { return rows_of(charset8x8 + c * 64, 8); }
  static std::vector<uint8_t> glyph8x16(int c) { return rows_of(charset8x16 + c * 128, 16); }
};

TEST_F(FontTest, MetricTablesOfTheBuiltInFonts) {
  const struct {
    int font, width, height;
  } builtin[] = {{8, 8, 8}, {9, 16, 8}, {14, 8, 14}, {15, 16, 14}, {16, 8, 16}, {17, 16, 16}};
  for (const auto& f : builtin) {
    EXPECT_EQ(fontwidth[f.font], f.width) << f.font;
    EXPECT_EQ(fontheight[f.font], f.height) << f.font;
    EXPECT_EQ(fontflags[f.font], 16) << f.font;
  }
  for (const auto& f : builtin) {
    const auto font = static_cast<uint32_t>(f.font);
    EXPECT_EQ(font_width(font), f.width) << f.font;
    EXPECT_EQ(font_cell_height(font), f.height) << f.font;
    EXPECT_TRUE(font_is_builtin(f.font)) << f.font;
    EXPECT_EQ(font_is_doubled(f.font), f.width == 16) << f.font;
  }
  // Everything else, the loadable-font slots 32..48 included, is empty; a cell is still 1 x 1.
  for (int font : {-1, 0, 7, 10, 13, 18, 31, 32, 40, 48, 49, 1000}) {
    const auto number = static_cast<uint32_t>(font);
    if (font >= 0 && font < font_slots) {
      EXPECT_EQ(fontwidth[font], 0) << font;
      EXPECT_EQ(fontheight[font], 0) << font;
      EXPECT_EQ(fontflags[font], 0) << font;
    }
    EXPECT_EQ(font_width(number), 0) << font;
    EXPECT_EQ(font_height(number), 0) << font;
    EXPECT_EQ(font_cell_width(number), 1) << font;
    EXPECT_EQ(font_cell_height(number), 1) << font;
    EXPECT_FALSE(font_is_builtin(font)) << font;
  }
}

TEST_F(FontTest, GlyphShapesOf8x8) {
  using Rows = std::vector<uint8_t>;
  EXPECT_EQ(glyph8x8(0x01), (Rows{0x7E, 0x81, 0xA5, 0x81, 0xBD, 0x99, 0x81, 0x7E}));
  EXPECT_EQ(glyph8x8('A'), (Rows{0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00}));
  EXPECT_EQ(glyph8x8(0xC9), (Rows{0x00, 0x00, 0x3F, 0x30, 0x37, 0x36, 0x36, 0x36}));
  EXPECT_EQ(glyph8x8(0xCD), (Rows{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(glyph8x8(0xBA), Rows(8, 0x36));
  EXPECT_EQ(glyph8x8(0xDB), Rows(8, 0xFF));
  EXPECT_EQ(glyph8x8(0xB0), (Rows{0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88}));
}

TEST_F(FontTest, GlyphShapesOf8x16) {
  using Rows = std::vector<uint8_t>;
  EXPECT_EQ(glyph8x16('A'), (Rows{0x00, 0x00, 0x10, 0x38, 0x6C, 0xC6, 0xC6, 0xFE, 0xC6, 0xC6, 0xC6,
                                  0xC6, 0x00, 0x00, 0x00, 0x00}));
  Rows shade;
  for (int i = 0; i < 8; ++i) shade.insert(shade.end(), {0x11, 0x44});
  EXPECT_EQ(glyph8x16(0xB0), shade);
  EXPECT_EQ(glyph8x16(0xDB), Rows(16, 0xFF));
}

TEST_F(FontTest, OnlyNullSpaceAnd255AreBlank) {
  for (const auto& [table, bytes] : {std::pair{charset8x8, 64}, {charset8x16, 128}}) {
    int blank = 0;
    for (int c = 0; c < 256; ++c) {
      bool any = false;
      for (int i = 0; i < bytes; ++i) {
        const uint8_t value = table[c * bytes + i];
        ASSERT_TRUE(value == 0 || value == 255) << "glyph " << c;
        any = any || value;
      }
      if (!any) {
        ++blank;
        EXPECT_TRUE(c == 0 || c == 32 || c == 255) << "glyph " << c << " is blank";
      }
    }
    EXPECT_EQ(blank, 3);
  }
}

TEST_F(FontTest, GlyphLookupByFontNumber) {
  for (int c : {0, int('A'), 0xBA, 255}) {
    EXPECT_EQ(font_glyph(8, c), charset8x8 + c * 64);
    EXPECT_EQ(font_glyph(9, c), charset8x8 + c * 64);
    EXPECT_EQ(font_glyph(16, c), charset8x16 + c * 128);
    EXPECT_EQ(font_glyph(17, c), charset8x16 + c * 128);
    // The 14-row font skips the top row of the 16-row glyph (and ends before its last row).
    EXPECT_EQ(font_glyph(14, c), charset8x16 + c * 128 + 8);
    EXPECT_EQ(font_glyph(15, c), charset8x16 + c * 128 + 8);
  }
  EXPECT_EQ(font_glyph(8, 256 + 'A'), font_glyph(8, 'A'));
  EXPECT_EQ(font_glyph(12, 'A'), nullptr);
  EXPECT_EQ(font_glyph(32, 'A'), nullptr);
}

}  // namespace
