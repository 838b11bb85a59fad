// Screen modes and pages, the width statement and page copies.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "tests/screen/image_fixture.h"

namespace {

// ---- Screen modes ----

TEST_F(ImageTest, ModeTableGeometryFontsAndColours) {
  struct Row {
    int32_t mode, width, height, bits, font;
    uint32_t color;
  };
  const Row rows[] = {
      {1, 320, 200, 2, 8, 3},   {2, 640, 200, 1, 8, 1},    {7, 320, 200, 4, 8, 15},
      {8, 640, 200, 4, 8, 15},  {9, 640, 350, 4, 14, 15},  {10, 640, 350, 2, 14, 3},
      {11, 640, 480, 1, 16, 1}, {12, 640, 480, 4, 16, 15}, {13, 320, 200, 8, 8, 15}};
  for (const Row& r : rows) {
    screen(r.mode);
    ASSERT_EQ(new_error.load(), 0u) << r.mode;
    const img_struct& p = *write_page;
    EXPECT_EQ(p.mode, r.mode);
    EXPECT_EQ(p.width, r.width) << r.mode;
    EXPECT_EQ(p.height, r.height) << r.mode;
    EXPECT_EQ(p.bits_per_pixel, r.bits) << r.mode;
    EXPECT_EQ(p.bytes_per_pixel, 1) << r.mode;
    EXPECT_EQ(p.pixel_mask, (1u << r.bits) - 1) << r.mode;
    EXPECT_EQ(p.font, static_cast<uint32_t>(r.font)) << r.mode;
    EXPECT_EQ(p.color, r.color) << r.mode;
    EXPECT_EQ(p.draw_color, r.color) << r.mode;
    EXPECT_EQ(p.background_color, 0u) << r.mode;
    EXPECT_EQ(p.bottom_row, r.height / r.font - 1) << r.mode;
    EXPECT_EQ(p.x, r.width / 2) << r.mode;
    EXPECT_EQ(p.y, r.height / 2) << r.mode;
    EXPECT_EQ(p.view_x2, r.width - 1) << r.mode;
    EXPECT_EQ(p.window_y2, r.height - 1) << r.mode;
    EXPECT_EQ(p.transparent_color, -1) << r.mode;
    EXPECT_EQ(pages, 1u) << "a graphics mode starts with one page";
  }
}

TEST_F(ImageTest, NonexistentModesAreRejectedAndChangeNothing) {
  screen(13);
  const uint32_t before = page[0];
  cmem[mode13_window + 5] = 9;
  for (int32_t mode : {3, 4, 5, 6, 14, 32, 256}) {
    screen(mode);
    EXPECT_EQ(take_error(), 5u) << mode;
    EXPECT_EQ(page[0], before);
    EXPECT_EQ(write_page->mode, 13);
    EXPECT_EQ(cmem[mode13_window + 5], 9) << "mode " << mode << " cleared the screen";
  }
}

TEST_F(ImageTest, SameModeAgainIsNoChange) {
  screen(13);
  cmem[mode13_window] = 4;
  screen(13);
  EXPECT_EQ(cmem[mode13_window], 4);
}

TEST_F(ImageTest, Mode1ColoursAreBlackCyanMagentaWhite) {
  screen(1);
  const uint32_t* pal = write_page->palette;
  EXPECT_EQ(pal[0], opaque | 0x000000);
  EXPECT_EQ(pal[1], opaque | 0x00AAAA);
  EXPECT_EQ(pal[2], opaque | 0xAA00AA);
  EXPECT_EQ(pal[3], opaque | 0xAAAAAA);
}

TEST_F(ImageTest, DefaultPalettesOfTheOtherModes) {
  screen(2);
  EXPECT_EQ(write_page->palette[0], 0x000000u);
  EXPECT_EQ(write_page->palette[1], 0xFFFFFFu);
  screen(9);
  const uint32_t ega_brown = opaque | 0xAA5500;  // EGA colour 20: red AA + green 55
  EXPECT_EQ(write_page->palette[6], ega_brown);
  EXPECT_EQ(write_page->palette[7], opaque | 0xAAAAAA);
  EXPECT_EQ(write_page->palette[8], opaque | 0x555555);
  EXPECT_EQ(write_page->palette[15], opaque | 0xFFFFFF);
  screen(10);
  EXPECT_EQ(write_page->palette[4], 0u);
  EXPECT_EQ(write_page->palette[5], 4u);
  EXPECT_EQ(write_page->palette[6], 6u);
  EXPECT_EQ(write_page->palette[7], 8u);
  screen(12);
  EXPECT_EQ(write_page->palette[14], opaque | 0xFFFF55);
  screen(13);
  EXPECT_EQ(std::memcmp(write_page->palette, palette_256, sizeof palette_256), 0);
}

TEST_F(ImageTest, Mode13PageLiesInEmulatedMemory) {
  screen(13);
  EXPECT_EQ(write_page->pixels, cmem + mode13_window);
  cmem[mode13_window + 7 * 320 + 11] = 200;
  EXPECT_EQ(func_point(11, 7, 1 | 2), 200.0);
  sub_pset(3, 2, 99, 2);
  EXPECT_EQ(cmem[mode13_window + 2 * 320 + 3], 99);
}

TEST_F(ImageTest, ModeChangeClearsMode13Memory) {
  screen(13);
  cmem[mode13_window + 100] = 5;
  screen(12);
  screen(13);
  EXPECT_EQ(cmem[mode13_window + 100], 0);
}

TEST_F(ImageTest, ActivePageCreatesPagesThatSharePage0sPalette) {
  screen(7);
  zqg_screen(7, 0, 2, 0, 0, 1 | 4 | 8);  // active page 2, visual page 0
  ASSERT_EQ(new_error.load(), 0u);
  ASSERT_GE(pages, 3u);
  EXPECT_EQ(write_page, &img[page[2]]);
  EXPECT_EQ(read_page, &img[page[2]]);
  EXPECT_EQ(display_page.load(), &img[page[0]]);
  EXPECT_EQ(page[1], 0u) << "pages appear only on first use";
  EXPECT_EQ(write_page->palette, img[page[0]].palette);
  EXPECT_FALSE(write_page->flags & IMG_FREEPALETTE);
  EXPECT_TRUE(write_page->flags & IMG_SCREEN);
  EXPECT_EQ(write_page->width, 320);
}

TEST_F(ImageTest, ActivePageWithoutVisualPageShowsIt) {
  screen(7);
  zqg_screen(0, 0, 1, 0, 0, 4);
  EXPECT_EQ(display_page.load(), &img[page[1]]);
  EXPECT_EQ(write_page, &img[page[1]]);
}

TEST_F(ImageTest, NegativePagesAreRejected) {
  screen(7);
  zqg_screen(0, 0, -1, 0, 0, 4);
  EXPECT_EQ(take_error(), 5u);
  zqg_screen(0, 0, 0, -2, 0, 8);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(write_page, &img[page[0]]);
}

TEST_F(ImageTest, ChangingTheActivePageCarriesTheGraphicsState) {
  screen(7);
  zqg_sub_view(10, 20, 100, 120, 0, 0, 1);
  zqg_screen(0, 0, 1, 0, 0, 4 | 8);
  EXPECT_EQ(write_page->view_x1, 10);
  EXPECT_EQ(write_page->view_y2, 120);
  EXPECT_EQ(write_page->view_offset_x, 10);
  EXPECT_EQ(write_page->clipping_or_scaling, 1);
}

TEST_F(ImageTest, VisualPageStatementResetsTheActivePagesColours) {
  screen(7);
  write_page->color = 4;
  write_page->background_color = 1;
  zqg_screen(0, 0, 0, 1, 0, 8);
  EXPECT_EQ(display_page.load(), &img[page[1]]);
  EXPECT_EQ(write_page, &img[page[0]]);
  EXPECT_EQ(write_page->color, 15u);
  EXPECT_EQ(write_page->background_color, 0u);
}

TEST_F(ImageTest, PageChangeKeepsTheCursorOnlyInsideTheWindow) {
  zqg_screen(0, 0, 1, 1, 0, 4 | 8);
  write_page->cursor_y = 25;
  zqg_screen(0, 0, 0, 0, 0, 4 | 8);
  zqg_screen(0, 0, 1, 1, 0, 4 | 8);
  EXPECT_EQ(write_page->cursor_y, 25) << "row 25 is on the screen";
  EXPECT_EQ(write_page->bottom_row, 24);
}

TEST_F(ImageTest, ModeChangeFreesEveryOldPage) {
  screen(7);
  zqg_screen(0, 0, 3, 0, 0, 4 | 8);
  const uint32_t page3 = page[3];
  const uint32_t page0 = page[0];
  screen(12);
  EXPECT_EQ(pages, 1u);
  EXPECT_EQ(img[page3].valid == 0 || page3 == page[0], true);
  EXPECT_TRUE(img[page0].valid == 0 || page0 == page[0]);
  EXPECT_EQ(write_page->mode, 12);
  EXPECT_EQ(display_page.load(), write_page);
}

TEST_F(ImageTest, NonPlainScreenStatementClearsTheWidthSwitch) {
  screen(0);
  EXPECT_EQ(width8050switch, 1) << "a plain SCREEN 0 keeps it";
  zqg_screen(0, 0, 0, 0, 0, 1 | 4);
  EXPECT_EQ(width8050switch, 0);
}

// ---- An image as the screen ----

TEST_F(ImageTest, ImageHandleBecomesTheScreenUntilTheNextModeChange) {
  const int32_t h = func__newimage(200, 100, 32, 1);
  zqg_screen(h, 0, 0, 0, 0, 1);
  ASSERT_EQ(new_error.load(), 0u);
  EXPECT_EQ(page[0], index_of(h));
  EXPECT_EQ(display_page.load(), &img[index_of(h)]);
  EXPECT_EQ(write_page, display_page.load());
  EXPECT_TRUE(img[index_of(h)].flags & IMG_SCREEN);
  sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 5u) << "a screen page cannot be freed";
  screen(13);
  EXPECT_EQ(img[index_of(h)].valid, 1) << "the image survives as a free-standing image";
  EXPECT_FALSE(img[index_of(h)].flags & IMG_SCREEN);
  sub__freeimage(h, 1);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(ImageTest, ScreenWithABadHandleRaises258) {
  zqg_screen(-3000, 0, 0, 0, 0, 1);
  EXPECT_EQ(take_error(), 258u);
  zqg_screen(-1, 0, 0, 0, 0, 1);
  EXPECT_EQ(take_error(), 258u);
}

TEST_F(ImageTest, AnotherPageOfTheScreenCannotBecomeTheScreen) {
  // The change would free that page while making it the screen.
  const int32_t page1 = -static_cast<int32_t>(page[1]);
  zqg_screen(page1, 0, 0, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(img[page[1]].valid, 1);
  EXPECT_EQ(write_page->mode, 0);
}

// ---- Text geometry and the width statement ----

TEST_F(ImageTest, Width40By25GivesFont17AndHalfSizePages) {
  width(40, 25, 3);
  ASSERT_EQ(new_error.load(), 0u);
  EXPECT_EQ(write_page->width, 40);
  EXPECT_EQ(write_page->height, 25);
  EXPECT_EQ(write_page->font, 17u);
  EXPECT_EQ(fontwidth[17], 16);
  EXPECT_EQ(fontheight[17], 16);
  for (uint32_t n = 0; n < 8; ++n)
    EXPECT_EQ(img[page[n]].pixels, cmem + text_window + n * 2048) << n;
  EXPECT_EQ(sub_screen_width_in_characters, -1) << "the pending geometry was consumed";
}

TEST_F(ImageTest, Width132By60PutsFourPagesInEmulatedMemory) {
  width(132, 60, 3);
  ASSERT_EQ(new_error.load(), 0u);
  EXPECT_EQ(write_page->width, 132);
  EXPECT_EQ(write_page->height, 60);
  EXPECT_EQ(write_page->font, 8u);
  for (uint32_t n = 0; n < 4; ++n)
    EXPECT_EQ(img[page[n]].pixels, cmem + text_window + n * 15840) << n;
  for (uint32_t n = 4; n < 8; ++n) {
    const uint8_t* p = img[page[n]].pixels;
    EXPECT_TRUE(p < cmem || p >= cmem + cmem_size) << "page " << n << " is a separate image";
    EXPECT_TRUE(img[page[n]].flags & IMG_FREEMEM);
    EXPECT_EQ(p[0], 32);
    EXPECT_EQ(p[1], 7);
  }
}

TEST_F(ImageTest, TextWidthRules) {
  width(80, 50, 3);
  EXPECT_EQ(write_page->font, 8u);
  width(40, 0, 1);  // width only, rows kept
  EXPECT_EQ(write_page->height, 50);
  EXPECT_EQ(write_page->font, 9u);
  width(0, 43, 2);  // height only, columns kept
  EXPECT_EQ(write_page->width, 40);
  EXPECT_EQ(write_page->font, 15u);
  screen(12);
  screen(0);  // 80x30 before: back to the standard screen
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page->height, 25);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(ImageTest, TextScreenAfterAGraphicsModeFollowsItsTextGrid) {
  screen(13);  // a 40x25 grid
  screen(0);
  EXPECT_EQ(write_page->width, 40);
  EXPECT_EQ(write_page->height, 25);
  EXPECT_EQ(write_page->font, 17u);
  screen(9);
  width(80, 43, 3);  // font 8 on 350 lines
  screen(0);
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page->height, 43);
  EXPECT_EQ(write_page->font, 8u) << "an 80x43 screen re-created by a mode change uses 8x8";
  screen(8);  // 80x25
  screen(0);
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page->font, 16u);
}

TEST_F(ImageTest, SameTextGeometryChangesNothing) {
  cmem[text_window] = 'A';
  width(80, 25, 3);
  EXPECT_EQ(cmem[text_window], 'A');
}

TEST_F(ImageTest, BadWidthsRaiseError5AndChangeNothing) {
  const uint32_t before = page[0];
  width(0, 0, 0);
  EXPECT_EQ(take_error(), 5u);
  width(0, 25, 3);
  EXPECT_EQ(take_error(), 5u);
  width(80, -1, 3);
  EXPECT_EQ(take_error(), 5u);
  width(256, 25, 3);
  EXPECT_EQ(take_error(), 5u) << "text geometry is limited to 255 cells";
  zqsub_width(1, 80, 0, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u) << "unknown option";
  EXPECT_EQ(page[0], before);
  zqsub_width(2, 132, 0, 0, 0, 1);
  EXPECT_EQ(width_lprint, 132);
  zqsub_width(2, 300, 0, 0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  screen(12);
  width(50, 0, 1);
  EXPECT_EQ(take_error(), 5u) << "no font fits and 50 is no text width";
  EXPECT_EQ(write_page->mode, 12);
}

TEST_F(ImageTest, WidthInGraphicsModes) {
  screen(13);
  write_page->pixels[0] = 3;
  width(40, 0, 1);
  EXPECT_EQ(write_page->mode, 13);
  EXPECT_EQ(write_page->font, 8u);
  EXPECT_EQ(write_page->pixels[0], 3) << "already font 8: nothing happens";

  screen(12);
  width(40, 0, 1);
  EXPECT_EQ(write_page->mode, 0);
  EXPECT_EQ(write_page->width, 40);
  EXPECT_EQ(write_page->font, 17u);
}

TEST_F(ImageTest, WidthPicksTheFontThatTilesModes9To12) {
  screen(9);
  width(80, 43, 3);
  EXPECT_EQ(write_page->font, 8u);
  EXPECT_EQ(write_page->bottom_row, 350 / 8 - 1);
  width(80, 25, 3);
  EXPECT_EQ(write_page->font, 14u);
  screen(12);
  width(80, 60, 3);
  EXPECT_EQ(write_page->font, 8u);
  width(0, 30, 2);
  EXPECT_EQ(write_page->font, 16u);
  EXPECT_EQ(new_error.load(), 0u);
  screen(0);
  screen(11);
  width(80, 60, 3);
  screen(12);
  EXPECT_EQ(write_page->font, 8u) << "an 80x60 screen keeps its font across 11 -> 12";
}

TEST_F(ImageTest, WidthInAGraphicsModeRevertsThePageButKeepsColours) {
  screen(9);
  write_page->color = 4;
  write_page->background_color = 2;
  write_page->pixels[10] = 7;
  zqg_screen(0, 0, 1, 0, 0, 4 | 8);
  const uint32_t page1 = page[1];
  width(80, 43, 3);
  EXPECT_EQ(img[page1].valid == 0 || page[1] != page1, true) << "other pages were freed";
  EXPECT_EQ(page[1], 0u);
  EXPECT_EQ(write_page, &img[page[0]]);
  EXPECT_EQ(display_page.load(), &img[page[0]]);
  EXPECT_EQ(write_page->color, 4u) << "the write page fell back to page 0, colours kept";
  EXPECT_EQ(write_page->background_color, 2u);
  EXPECT_EQ(write_page->font, 8u);
  EXPECT_EQ(write_page->pixels[10], 0);
  EXPECT_EQ(write_page->clipping_or_scaling, 0);
}

TEST_F(ImageTest, WidthResizes32BitAnd256ColourImages) {
  const int32_t h = func__newimage(100, 100, 32, 1);
  sub__dest(h);
  write_page->color = 0xFF102030;
  width(10, 5, 3);
  ASSERT_EQ(new_error.load(), 0u);
  EXPECT_EQ(write_page->width, 10 * fontwidth[16]);
  EXPECT_EQ(write_page->height, 5 * fontheight[16]);
  EXPECT_EQ(write_page->color, 0xFF102030u);
  EXPECT_EQ(write_page->view_x2, 10 * fontwidth[16] - 1);
  width(0, 0, 1);
  EXPECT_EQ(take_error(), 5u);
  width(10000, 0, 1);
  EXPECT_EQ(take_error(), 5u) << "80000 pixels do not fit the record";
  EXPECT_EQ(write_page->width, 10 * fontwidth[16]);
  const int32_t g = func__newimage(64, 64, 256, 1);
  sub__dest(g);
  width(0, 2, 2);
  EXPECT_EQ(write_page->width, 64);
  EXPECT_EQ(write_page->height, 32);
}

// ---- Page copy ----

TEST_F(ImageTest, PcopyCopiesPixelsOnly) {
  screen(7);
  validatepage(1);
  img[page[0]].pixels[123] = 9;
  img[page[0]].color = 3;
  sub_pcopy(0, 1);
  EXPECT_EQ(img[page[1]].pixels[123], 9);
  EXPECT_EQ(img[page[1]].color, 15u);
}

TEST_F(ImageTest, PcopyChecksGeometryDepthAndHandles) {
  screen(13);
  const int32_t small = func__newimage(10, 10, 13, 1);
  const int32_t mode1 = func__newimage(320, 200, 1, 1);
  const int32_t mode13 = func__newimage(320, 200, 13, 1);
  sub_pcopy(small, 0);
  EXPECT_EQ(take_error(), 5u) << "different size";
  sub_pcopy(mode13, mode1);
  EXPECT_EQ(take_error(), 5u) << "8-bit colours do not fit a 2-bit page";
  sub_pcopy(mode1, mode13);
  EXPECT_EQ(take_error(), 0u) << "2-bit colours fit an 8-bit page";
  sub_pcopy(-4000, 0);
  EXPECT_EQ(take_error(), 5u) << "bad handles are error 5 here";
}

// ---- Pages whose memory cannot be obtained ----

TEST_F(ImageTest, UnobtainablePageRaisesError7AndChangesNothing) {
  screen(13);
  const uint32_t before = write_page_index;
  zqg_screen(0, 0, 100000, 0, 0, 4);
  EXPECT_EQ(take_error(), 7u);
  sub__dest(2000000000);
  EXPECT_EQ(take_error(), 7u);
  EXPECT_EQ(write_page_index, before);
  EXPECT_EQ(display_page_index, before);
  EXPECT_LE(pages, 65536u);
  sub__dest(65535);  // the highest page number is fine
  EXPECT_EQ(take_error(), 0u);
  EXPECT_EQ(write_page, &img[page[65535]]);
}

TEST_F(ImageTest, ModeChangeThatCannotBuildItsPagesFallsBackToTheTextScreen) {
  screen(13);
  // A text geometry the record cannot hold: page 0 cannot be made.
  sub_screen_width_in_characters = 70000;
  sub_screen_height_in_characters = 25;
  sub_screen_font = 16;
  screen(0);
  EXPECT_EQ(take_error(), 7u);
  ASSERT_NE(page[0], 0u);
  EXPECT_EQ(img[page[0]].valid, 1);
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page->height, 25);
  for (uint32_t n = 0; n < pages; ++n) {
    if (page[n] != 0) {
      EXPECT_EQ(img[page[n]].valid, 1) << n;
    }
  }
  EXPECT_EQ(display_page.load()->valid, 1);
  EXPECT_EQ(read_page->valid, 1);
  EXPECT_EQ(sub_screen_width_in_characters, -1);
}

// ---- Display lock ----

TEST_F(ImageTest, ModeChangeWaitsForTheDisplayLock) {
  // A stand-in for frame preparation: grants every request the way display() does, and counts
  // the grants.
  std::atomic<bool> running{true};
  std::atomic<int> grants{0};
  std::thread presenter([&] {
    while (running.load()) {
      if (lock_display.load() == 1) {
        grants.fetch_add(1);  // counted before the grant lets the program go on
        answer_display_lock();
      }
      std::this_thread::yield();
    }
  });
  const int32_t saved_autodisplay = autodisplay.load();
  autodisplay.store(1);
  lock_display_required.store(1);
  screen(13);
  EXPECT_EQ(grants.load(), 1);
  EXPECT_EQ(lock_display.load(), 0) << "released after the change";
  EXPECT_EQ(screen_last_valid.load(), 0);
  zqg_screen(0, 0, 0, 1, 0, 8);  // a page change takes no lock
  EXPECT_EQ(grants.load(), 1);
  lock_display_required.store(0);
  autodisplay.store(saved_autodisplay);
  running.store(false);
  presenter.join();
  EXPECT_EQ(write_page->mode, 13);
}

}  // namespace
