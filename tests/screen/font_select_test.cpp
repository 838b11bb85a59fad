// The _FONT statement and the font queries.
#include "runtime/screen/font_select.h"

#include <gtest/gtest.h>

#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tests/screen/text_fixture.h"

namespace {

TEST_F(TextTest, FontStatementOnTextScreensAndImages) {
  text_screen_80x25();
  validatepage(2);
  locate(5, 6);
  sub__font(8, 0, 0);
  EXPECT_EQ(pending_error(), 0u);
  EXPECT_EQ(img[page[0]].font, 8u);
  EXPECT_EQ(img[page[2]].font, 8u);
  EXPECT_EQ(write_page->cursor_y, 5);  // cursor and window stay on a text screen
  EXPECT_EQ(func__font(0, 0), 8);
  EXPECT_EQ(func__fontheight(0, 0), 8);

  for (int32_t bad : {0, 7, 10, 18, 32, 48, 49, -1}) {
    sub__font(bad, 0, 0);
    EXPECT_EQ(pending_error(), 258u) << bad;
    clear_error();
  }
  sub__font(16, -4000, 1);
  EXPECT_EQ(pending_error(), 258u);
  clear_error();

  const int32_t handle = func__newimage(320, 200, 13, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  locate(3, 3);
  sub__font(16, handle, 1);
  EXPECT_EQ(write_page->font, 16u);
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->cursor_y, 1);
  EXPECT_EQ(write_page->bottom_row, 11);  // 200 / 16 = 12 rows
  EXPECT_EQ(func__font(handle, 1), 16);
  sub__dest(0);
  sub__freeimage(handle, 1);
}

TEST_F(TextTest, FontMetricQueries) {
  EXPECT_EQ(func__fontwidth(8, 1), 8);
  EXPECT_EQ(func__fontheight(14, 1), 14);
  EXPECT_EQ(func__fontheight(16, 1), 16);
  func__fontwidth(9, 1);
  EXPECT_EQ(pending_error(), 258u);
  clear_error();
  func__fontheight(33, 1);
  EXPECT_EQ(pending_error(), 258u);
  clear_error();
  screen_mode(9);
  EXPECT_EQ(func__fontheight(0, 0), 14);
  text_screen_80x25();
  zqsub_width(0, 40, 25, 0, 0, 3);
  EXPECT_EQ(func__fontwidth(0, 0), 16);
}

}  // namespace
