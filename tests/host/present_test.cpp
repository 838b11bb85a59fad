// Frame preparation on hand-made page records and the frame hand-over between preparation and the
// window.
#include "runtime/host/frame_handover.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/window_geometry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "runtime/screen/palettes.h"

namespace {

// A page record with its own pixel and palette storage.
struct TestPage {
  img_struct rec{};
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256);

  // Graphics page of one byte per pixel.
  static TestPage indexed(int w, int h, int bits, int mode = 13) {
    TestPage p;
    p.rec.width = static_cast<uint16_t>(w);
    p.rec.height = static_cast<uint16_t>(h);
    p.rec.bits_per_pixel = static_cast<uint8_t>(bits);
    p.rec.mode = static_cast<uint16_t>(mode);
    p.pixels.assign(static_cast<size_t>(w) * h, 0);
    for (int i = 0; i < 256; ++i) p.palette[i] = 0xFF000000u | (i * 0x010203u);
    p.bind();
    return p;
  }
  static TestPage rgb32(int w, int h) {
    TestPage p;
    p.rec.width = static_cast<uint16_t>(w);
    p.rec.height = static_cast<uint16_t>(h);
    p.rec.bits_per_pixel = 32;
    p.rec.mode = 32;
    p.pixels.assign(static_cast<size_t>(w) * h * 4, 0);
    p.bind();
    return p;
  }
  // Text page of columns x rows cells, all spaces on attribute 0x07.
  static TestPage text(int columns, int rows, int font) {
    TestPage p;
    p.rec.text = 1;
    p.rec.width = static_cast<uint16_t>(columns);
    p.rec.height = static_cast<uint16_t>(rows);
    p.rec.bits_per_pixel = 0;
    p.rec.font = static_cast<uint32_t>(font);
    p.rec.cursor_x = 1;
    p.rec.cursor_y = 1;
    p.rec.cursor_firstvalue = 4;
    p.rec.cursor_lastvalue = 4;
    p.pixels.assign(static_cast<size_t>(columns) * rows * 2, 0);
    for (size_t i = 0; i < p.pixels.size(); i += 2) {
      p.pixels[i] = ' ';
      p.pixels[i + 1] = 0x07;
    }
    for (int i = 0; i < 16; ++i) p.palette[i] = 0xFF000000u | (0x111111u * i);
    p.bind();
    return p;
  }
  void bind() {
    rec.pixels = pixels.data();
    rec.palette = palette.data();
  }
  void put_cell(int x, int y, uint8_t c, uint8_t a) {
    size_t at = (static_cast<size_t>(y) * rec.width + x) * 2;
    pixels[at] = c;
    pixels[at + 1] = a;
  }
};

// The frame most recently made ready.
const display_frame_struct* newest_frame() {
  const display_frame_struct* best = nullptr;
  for (const auto& f : display_frame) {
    int s = f.state.load();
    if ((s == frame_ready || s == frame_shown) && (!best || f.order.load() > best->order.load()))
      best = &f;
  }
  return best;
}

uint32_t pixel(const display_frame_struct* f, int x, int y) { return f->bgra[y * f->w + x]; }

// Shows the newest frame the way the window does, so that preparation has a free frame again.
void show_newest() {
  bool is_new = false;
  pick_frame_to_show(&is_new);
}

class Present : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fonts_init();
    build_default_palettes();
  }
  void SetUp() override {
    reset_display_frames();
    screen_last_valid.store(0);
    force_display_update.store(0);
    displayorder_screen = 1;
  }
  FrameResult prepare(const TestPage& page, uint32_t cycle = 0, int64_t ticks = 0,
                      bool blink = true) {
    FrameClock clock;
    clock.display_cycle = cycle;
    clock.ticks_ms = ticks;
    clock.blink_enable = blink;
    FrameResult r = prepare_frame_from_page(&page.rec, clock);
    if (r == FrameResult::Completed) show_newest();
    return r;
  }
};

// ---------------------------------------------------------------------------------------------
// Palette-based pages

TEST_F(Present, IndexedPageConvertsThroughItsPalette) {
  TestPage page = TestPage::indexed(5, 3, 8);
  for (int i = 0; i < 15; ++i) page.pixels[i] = static_cast<uint8_t>(i * 17);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  const display_frame_struct* f = newest_frame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->w, 5);
  EXPECT_EQ(f->h, 3);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(f->bgra[i], page.palette[i * 17]) << "pixel " << i;
}

TEST_F(Present, IndexedPageRebuildsOnlyWhenPixelsOrColoursChange) {
  TestPage page = TestPage::indexed(4, 4, 8);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  int64_t shown_order = last_hardware_display_frame_order.load();
  EXPECT_EQ(prepare(page), FrameResult::Unchanged);
  // An unchanged page does not announce anything to the window.
  EXPECT_EQ(last_hardware_display_frame_order.load(), shown_order);

  page.pixels[15] = 3;
  EXPECT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(newest_frame()->bgra[15], page.palette[3]);

  page.palette[3] = 0xFF123456u;
  EXPECT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(newest_frame()->bgra[15], 0xFF123456u);

  force_display_update.store(1);
  EXPECT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(force_display_update.load(), 0);

  screen_last_valid.store(0);
  EXPECT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(screen_last_valid.load(), 1);
}

TEST_F(Present, IndexedPageIgnoresPaletteEntriesBeyondItsDepth) {
  TestPage page = TestPage::indexed(2, 2, 2, 1);  // four colours
  page.pixels = {0, 1, 2, 3};
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  page.palette[4] = 0xFFFFFFFFu;
  EXPECT_EQ(prepare(page), FrameResult::Unchanged);
  page.palette[3] = 0xFF00FF00u;
  EXPECT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(newest_frame()->bgra[3], 0xFF00FF00u);
}

TEST_F(Present, IndexedPageSizeChangeAlwaysRebuilds) {
  TestPage small = TestPage::indexed(4, 2, 8);
  ASSERT_EQ(prepare(small), FrameResult::Completed);
  TestPage large = TestPage::indexed(4, 3, 8);
  EXPECT_EQ(prepare(large), FrameResult::Completed);
  EXPECT_EQ(newest_frame()->h, 3);
}

TEST_F(Present, HiddenScreenLayerSkipsUnchangedSizes) {
  TestPage page = TestPage::indexed(3, 3, 8);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  displayorder_screen = 0;
  page.pixels[0] = 9;
  EXPECT_EQ(prepare(page), FrameResult::Unchanged);
}

TEST_F(Present, Mode10ColoursFollowTheBlinkPhase) {
  TestPage page = TestPage::indexed(4, 1, 2, 10);
  page.pixels = {0, 1, 2, 3};
  // Colours 0..3 show attributes 0, 2, 4 and 8.
  page.palette[4] = 0;
  page.palette[5] = 2;
  page.palette[6] = 4;
  page.palette[7] = 8;
  std::vector<uint32_t> before = page.palette;

  ASSERT_EQ(prepare(page, 0, 0), FrameResult::Completed);
  const display_frame_struct* f = newest_frame();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(f->bgra[i], pal_mode10[0][page.palette[4 + i]]) << "phase 0 colour " << i;

  // Still inside the same 512 ms phase: nothing to do.
  EXPECT_EQ(prepare(page, 0, 511), FrameResult::Unchanged);
  // Attribute 2 is black in phase 0 and white in phase 1; attribute 4 grey in both.
  ASSERT_EQ(prepare(page, 0, 512), FrameResult::Completed);
  f = newest_frame();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(f->bgra[i], pal_mode10[1][page.palette[4 + i]]) << "phase 1 colour " << i;
  EXPECT_NE(pal_mode10[0][2], pal_mode10[1][2]);
  // The page's own palette keeps the program's values.
  EXPECT_EQ(page.palette, before);
}

// ---------------------------------------------------------------------------------------------
// 32-bit pages

TEST_F(Present, Rgb32PageIsCopiedUnchanged) {
  TestPage page = TestPage::rgb32(3, 2);
  std::vector<uint32_t> words = {0x00000000u, 0xFFFF0000u, 0x8000FF00u,
                                 0xFF0000FFu, 0x12345678u, 0xFFFFFFFFu};
  std::memcpy(page.pixels.data(), words.data(), 24);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  const display_frame_struct* f = newest_frame();
  ASSERT_EQ(f->w * f->h, 6);
  EXPECT_EQ(std::vector<uint32_t>(f->bgra, f->bgra + 6), words);

  EXPECT_EQ(prepare(page), FrameResult::Unchanged);
  words[4] = 0xFF00AA00u;
  std::memcpy(page.pixels.data(), words.data(), 24);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_EQ(newest_frame()->bgra[4], 0xFF00AA00u);
}

// ---------------------------------------------------------------------------------------------
// Text pages

// Expected colour of pixel (px, py) of cell (cx, cy) drawn with glyph rows from the font.
uint32_t glyph_pixel(int font, uint8_t c, int px, int py, uint32_t fg, uint32_t bg) {
  bool doubled = font == 9 || font == 15 || font == 17;
  int gx = doubled ? px / 2 : px;
  const uint8_t* glyph = font == 8 || font == 9     ? charset8x8 + c * 64
                         : font == 14 || font == 15 ? charset8x16 + c * 128 + 8
                                                    : charset8x16 + c * 128;
  return glyph[py * 8 + gx] ? fg : bg;
}

TEST_F(Present, TextFrameSizeFollowsTheFont) {
  struct Case {
    int font, w, h;
  } cases[] = {{16, 640, 400}, {8, 640, 200}, {14, 640, 350}, {17, 1280, 400}, {9, 1280, 200}};
  for (const auto& c : cases) {
    reset_display_frames();
    screen_last_valid.store(0);
    TestPage page = TestPage::text(80, 25, c.font);
    int32_t w = 0, h = 0;
    page_frame_size(&page.rec, &w, &h);
    EXPECT_EQ(w, c.w) << "font " << c.font;
    EXPECT_EQ(h, c.h) << "font " << c.font;
    ASSERT_EQ(prepare(page), FrameResult::Completed);
    EXPECT_EQ(newest_frame()->w, c.w);
    EXPECT_EQ(newest_frame()->h, c.h);
  }
}

TEST_F(Present, TextCellsAreDrawnFromTheBuiltInFonts) {
  for (int font : {8, 9, 14, 15, 16, 17}) {
    reset_display_frames();
    screen_last_valid.store(0);
    TestPage page = TestPage::text(3, 2, font);
    page.put_cell(1, 1, 'A', 0x1E);  // yellow on blue
    page.put_cell(2, 0, 0xDB, 0x04);
    ASSERT_EQ(prepare(page), FrameResult::Completed);
    const display_frame_struct* f = newest_frame();
    int cw = fontwidth[font], ch = fontheight[font];
    for (int py = 0; py < ch; ++py) {
      for (int px = 0; px < cw; ++px) {
        ASSERT_EQ(pixel(f, cw + px, ch + py),
                  glyph_pixel(font, 'A', px, py, page.palette[14], page.palette[1]))
            << "font " << font << " at " << px << "," << py;
        ASSERT_EQ(pixel(f, 2 * cw + px, py),
                  glyph_pixel(font, 0xDB, px, py, page.palette[4], page.palette[0]));
      }
    }
  }
}

TEST_F(Present, BlinkingCellsAlternateWhenBlinkingIsEnabled) {
  TestPage page = TestPage::text(2, 1, 16);
  page.put_cell(0, 0, 'B', 0x9E);  // blinking yellow on blue
  // Phase off (bit 3 of the display cycle clear): the glyph shows.
  ASSERT_EQ(prepare(page, 0), FrameResult::Completed);
  const display_frame_struct* f = newest_frame();
  bool glyph_seen = false;
  for (int py = 0; py < 16; ++py)
    for (int px = 0; px < 8; ++px) {
      uint32_t want = glyph_pixel(16, 'B', px, py, page.palette[14], page.palette[1]);
      ASSERT_EQ(pixel(f, px, py), want);
      glyph_seen |= want == page.palette[14];
    }
  EXPECT_TRUE(glyph_seen);
  // Same phase: nothing changed.
  EXPECT_EQ(prepare(page, 7), FrameResult::Unchanged);
  // Phase on: a plain background cell.
  ASSERT_EQ(prepare(page, 8), FrameResult::Completed);
  f = newest_frame();
  for (int py = 0; py < 16; ++py)
    for (int px = 0; px < 8; ++px) ASSERT_EQ(pixel(f, px, py), page.palette[1]);
}

TEST_F(Present, BlinkBitSelectsBrightBackgroundWhenBlinkingIsDisabled) {
  TestPage page = TestPage::text(1, 1, 8);
  page.put_cell(0, 0, 'B', 0x9E);
  for (uint32_t cycle : {0u, 8u}) {
    reset_display_frames();
    screen_last_valid.store(0);
    ASSERT_EQ(prepare(page, cycle, 0, false), FrameResult::Completed);
    const display_frame_struct* f = newest_frame();
    for (int py = 0; py < 8; ++py)
      for (int px = 0; px < 8; ++px)
        ASSERT_EQ(pixel(f, px, py), glyph_pixel(8, 'B', px, py, page.palette[14], page.palette[9]))
            << "cycle " << cycle;
  }
}

TEST_F(Present, CursorShapeTable) {
  struct Case {
    int start, end, ch, first, count;
  } cases[] = {
      {6, 7, 16, 13, 2},  // two rows from the bottom; row 14 is the bottom of a 16-row cell
      {0, 7, 8, 0, 8},    // from row 0 to the bottom
      {0, 0, 16, 0, 1},   // row 0 only
      {1, 0, 16, 0, 0},   // no cursor
      {4, 4, 16, 14, 1},  // the mode 0 default: one row from the bottom
      {4, 4, 8, 7, 1},    //   of an 8-row cell
      {4, 4, 14, 13, 1},  //   of a 14-row cell
      {3, 3, 16, 3, 1},   // S = E <= 3
      {3, 5, 16, 12, 3},  // three rows from the bottom
      {3, 7, 16, 8, 8},   // half
      {3, 7, 8, 4, 4},    // half of 8
      {0, 3, 16, 0, 4},   // rows S to E
      {1, 2, 8, 1, 2},   {1, 12, 16, 1, 15},  // S to the bottom
      {2, 3, 16, 2, 2},  {2, 4, 16, 12, 3},
      {2, 9, 16, 2, 14}, {7, 2, 16, 2, 14},  // E < S: from E to the bottom
      {20, 10, 8, 0, 0},                     // starting below the cell: not drawn
  };
  for (const auto& c : cases) {
    CursorRows r = cursor_rows(c.start, c.end, c.ch);
    EXPECT_EQ(r.count, c.count) << c.start << "-" << c.end << " in " << c.ch;
    if (c.count) {
      EXPECT_EQ(r.first, c.first) << c.start << "-" << c.end << " in " << c.ch;
    }
  }
}

TEST_F(Present, CursorBlinksAtTheCursorCell) {
  TestPage page = TestPage::text(3, 2, 16);
  page.rec.cursor_show = 1;
  page.rec.cursor_x = 2;
  page.rec.cursor_y = 2;
  page.rec.cursor_firstvalue = 6;
  page.rec.cursor_lastvalue = 7;
  page.put_cell(1, 1, ' ', 0x1C);  // light red on blue
  auto cursor_row_lit = [&](int row) {
    const display_frame_struct* f = newest_frame();
    for (int px = 0; px < 8; ++px)
      if (pixel(f, 8 + px, 16 + row) != page.palette[12]) return false;
    return true;
  };
  ASSERT_EQ(prepare(page, 8), FrameResult::Completed);
  EXPECT_FALSE(cursor_row_lit(12));
  EXPECT_TRUE(cursor_row_lit(13));
  EXPECT_TRUE(cursor_row_lit(14));
  EXPECT_FALSE(cursor_row_lit(15));
  ASSERT_EQ(prepare(page, 16), FrameResult::Completed);  // phase off
  EXPECT_FALSE(cursor_row_lit(13));
  EXPECT_FALSE(cursor_row_lit(14));
  ASSERT_EQ(prepare(page, 24), FrameResult::Completed);
  EXPECT_TRUE(cursor_row_lit(13));

  // Moving the cursor clears the old cell.
  page.rec.cursor_x = 1;
  ASSERT_EQ(prepare(page, 24), FrameResult::Completed);
  EXPECT_FALSE(cursor_row_lit(13));
  const display_frame_struct* f = newest_frame();
  EXPECT_EQ(pixel(f, 0, 16 + 13), page.palette[7]);

  // A hidden cursor is never drawn.
  page.rec.cursor_show = 0;
  screen_last_valid.store(0);
  ASSERT_EQ(prepare(page, 24), FrameResult::Completed);
  EXPECT_EQ(pixel(newest_frame(), 0, 16 + 13), page.palette[0]);
}

TEST_F(Present, HeldCursorShowsAtTheStartOfTheNextRow) {
  TestPage page = TestPage::text(4, 3, 8);
  page.rec.cursor_show = 1;
  page.rec.cursor_x = 4;
  page.rec.cursor_y = 1;
  page.rec.holding_cursor = 2;
  page.rec.cursor_firstvalue = 0;
  page.rec.cursor_lastvalue = 7;
  ASSERT_EQ(prepare(page, 8), FrameResult::Completed);
  EXPECT_EQ(frame_preparation().cx, 0);
  EXPECT_EQ(frame_preparation().cy, 1);
  EXPECT_EQ(pixel(newest_frame(), 0, 8), page.palette[7]);
  // On the last row the cursor stays where it is.
  page.rec.cursor_y = 3;
  ASSERT_EQ(prepare(page, 8), FrameResult::Completed);
  EXPECT_EQ(frame_preparation().cx, 3);
  EXPECT_EQ(frame_preparation().cy, 2);
}

TEST_F(Present, OnlyChangedTextCellsAreRedrawn) {
  TestPage page = TestPage::text(4, 2, 8);
  page.put_cell(0, 0, 'X', 0x07);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  // Mark a pixel of an unchanged cell in the frame on screen: a redraw of only the changed cells
  // copies it along, a full redraw would paint over it.
  display_frame_struct* shown = const_cast<display_frame_struct*>(newest_frame());
  shown->bgra[8 * 32 + 3] = 0xDEADBEEFu;  // cell (0, 1) of a 32-pixel-wide frame
  page.put_cell(3, 1, 'Y', 0x4F);
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  const display_frame_struct* f = newest_frame();
  ASSERT_NE(f, shown);
  EXPECT_EQ(f->bgra[8 * 32 + 3], 0xDEADBEEFu);
  for (int py = 0; py < 8; ++py)
    for (int px = 0; px < 8; ++px)
      ASSERT_EQ(pixel(f, 24 + px, 8 + py),
                glyph_pixel(8, 'Y', px, py, page.palette[15], page.palette[4]));

  // A palette change redraws everything.
  page.palette[7] = 0xFF00FF00u;
  ASSERT_EQ(prepare(page), FrameResult::Completed);
  EXPECT_NE(newest_frame()->bgra[8 * 32 + 3], 0xDEADBEEFu);
}

TEST_F(Present, UnchangedTextPageMakesNoFrame) {
  TestPage page = TestPage::text(80, 25, 16);
  ASSERT_EQ(prepare(page, 0), FrameResult::Completed);
  EXPECT_EQ(prepare(page, 1), FrameResult::Unchanged);
  EXPECT_EQ(prepare(page, 7), FrameResult::Unchanged);
  page.put_cell(79, 24, 'Z', 0x07);
  EXPECT_EQ(prepare(page, 7), FrameResult::Completed);
}

TEST_F(Present, LoadableFontsAreNotDrawn) {
  TestPage page = TestPage::text(2, 2, 32);
  EXPECT_EQ(prepare(page), FrameResult::Unchanged);
}

// ---------------------------------------------------------------------------------------------
// Frame hand-over

TEST_F(Present, FramesMoveThroughTheirStates) {
  TestPage page = TestPage::indexed(2, 2, 8);
  FrameClock clock;
  // Preparation takes the highest-index free frame.
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  EXPECT_EQ(display_frame[2].state.load(), frame_ready);
  EXPECT_EQ(display_frame[2].order.load(), 1);
  page.pixels[0] = 1;
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  EXPECT_EQ(display_frame[1].state.load(), frame_ready);
  page.pixels[0] = 2;
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  EXPECT_EQ(display_frame[0].state.load(), frame_ready);
  // None free: the oldest ready frame is reused.
  page.pixels[0] = 3;
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  EXPECT_EQ(display_frame[2].state.load(), frame_ready);
  EXPECT_EQ(display_frame[2].order.load(), 4);
  EXPECT_EQ(last_hardware_display_frame_order.load(), 4);

  // The window shows the newest and frees the older ones.
  bool is_new = false;
  EXPECT_EQ(pick_frame_to_show(&is_new), 2);
  EXPECT_TRUE(is_new);
  EXPECT_EQ(display_frame[2].state.load(), frame_shown);
  EXPECT_EQ(display_frame[1].state.load(), frame_free);
  EXPECT_EQ(display_frame[0].state.load(), frame_free);
  // Nothing newer: the same frame, not new.
  EXPECT_EQ(pick_frame_to_show(&is_new), 2);
  EXPECT_FALSE(is_new);

  // The next frame goes to a free one; the shown frame is left alone until it is replaced.
  page.pixels[0] = 4;
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  EXPECT_EQ(display_frame[1].state.load(), frame_ready);
  EXPECT_EQ(pick_frame_to_show(&is_new), 1);
  EXPECT_TRUE(is_new);
  EXPECT_EQ(display_frame[2].state.load(), frame_free);
}

// A mode change leaves no buffer of the old size behind: the retired frames give theirs back.
TEST_F(Present, FramesOfAnOldSizeGiveTheirBuffersBack) {
  FrameClock clock;
  TestPage small = TestPage::indexed(2, 2, 8);
  ASSERT_EQ(prepare_frame_from_page(&small.rec, clock), FrameResult::Completed);
  bool is_new = false;
  const int32_t first = pick_frame_to_show(&is_new);
  TestPage large = TestPage::indexed(4, 3, 8);
  ASSERT_EQ(prepare_frame_from_page(&large.rec, clock), FrameResult::Completed);
  ASSERT_NE(pick_frame_to_show(&is_new), first);
  EXPECT_EQ(display_frame[first].state.load(), frame_free);
  EXPECT_EQ(display_frame[first].bgra, nullptr);
}

// A redraw the window could not show (the program is paused, so the buffers are not swapped) stays
// due: once the pause ends the window shows the picture instead of keeping a stale one.
TEST_F(Present, ARedrawNotShownStaysDue) {
  TestPage page = TestPage::indexed(2, 2, 8);
  FrameClock clock;
  ASSERT_EQ(prepare_frame_from_page(&page.rec, clock), FrameResult::Completed);
  bool is_new = false;
  pick_frame_to_show(&is_new);
  ASSERT_TRUE(redraw_due(is_new, false));
  redraw_finished(false);
  pick_frame_to_show(&is_new);
  EXPECT_FALSE(is_new);
  EXPECT_TRUE(redraw_due(is_new, false));
  redraw_finished(true);
  EXPECT_FALSE(redraw_due(false, false));
  // An exposed or resized window asks for one redraw, frame or none.
  host_window_resized(320, 200);
  EXPECT_TRUE(redraw_due(false, false));
  redraw_finished(true);
  EXPECT_FALSE(redraw_due(false, false));
  EXPECT_TRUE(redraw_due(false, true));
}

TEST_F(Present, WindowHasNothingToShowBeforeTheFirstFrame) {
  bool is_new = true;
  EXPECT_EQ(pick_frame_to_show(&is_new), -1);
  EXPECT_FALSE(is_new);
}

TEST_F(Present, DisplayAnswersTheLockAndPreparesNothingWhileLocked) {
  TestPage page = TestPage::indexed(2, 2, 8);
  img_struct* saved_page = display_page.load();
  display_page = &page.rec;
  screen_hide.store(0);

  lock_display.store(1);
  display_called.store(0);
  display();
  EXPECT_EQ(lock_display.load(), 2);
  EXPECT_EQ(display_called.load(), 1);
  EXPECT_EQ(last_hardware_display_frame_order.load(), 0);

  lock_display.store(0);
  autodisplay.store(-1);
  display();
  EXPECT_EQ(autodisplay.load(), 0);
  EXPECT_EQ(last_hardware_display_frame_order.load(), 1);

  screen_hide.store(1);
  page.pixels[0] = 5;
  display_called.store(0);
  display();
  EXPECT_EQ(display_called.load(), 1);
  EXPECT_EQ(last_hardware_display_frame_order.load(), 1);

  screen_hide.store(0);
  autodisplay.store(1);
  display_page = saved_page;
}

TEST_F(Present, SwapPaldataExchangesRedAndBlue) {
  FramePreparation prep;
  prep.paldata[0] = 0x80112233u;
  prep.paldata[255] = 0xFFAABBCCu;
  prep.swap_paldata_BGRA_with_RGBA();
  EXPECT_EQ(prep.paldata[0], 0x80332211u);
  EXPECT_EQ(prep.paldata[255], 0xFFCCBBAAu);
}
// ---------------------------------------------------------------------------------------------
// Preparation and the window on their own threads while the program draws.

TEST(PresentThreaded, ShownFramesStayIntactWhileTheProgramDraws) {
  fonts_init();
  reset_display_frames();
  screen_last_valid.store(0);
  force_display_update.store(0);
  TestPage page = TestPage::indexed(64, 32, 8);
  std::atomic<bool> stop{false};
  std::atomic<int> frames_shown{0};
  std::atomic<int> torn_while_shown{0};

  std::thread program([&] {
    uint8_t v = 0;
    while (!stop.load()) {
      ++v;
      for (auto& b : page.pixels) b = v;  // races with preparation by design
    }
  });
  std::thread main_loop([&] {
    FrameClock clock;
    while (!stop.load()) {
      prepare_frame_from_page(&page.rec, clock);
      std::this_thread::yield();
    }
  });
  std::thread window([&] {
    std::vector<uint32_t> copy;
    while (frames_shown.load() < 300) {
      bool is_new = false;
      int32_t i = pick_frame_to_show(&is_new);
      if (i < 0 || !is_new) {
        std::this_thread::yield();
        continue;
      }
      const display_frame_struct& f = display_frame[i];
      copy.assign(f.bgra, f.bgra + f.w * f.h);
      std::this_thread::yield();
      // Preparation must not write into a frame while it is shown.
      if (std::memcmp(copy.data(), f.bgra, copy.size() * 4) != 0) torn_while_shown.fetch_add(1);
      frames_shown.fetch_add(1);
    }
  });
  window.join();
  stop.store(true);
  program.join();
  main_loop.join();
  EXPECT_EQ(torn_while_shown.load(), 0);
  int shown = 0;
  for (const auto& f : display_frame) shown += f.state.load() == frame_shown;
  EXPECT_EQ(shown, 1);
}

TEST(PresentThreaded, DisplayLockKeepsPreparationAwayFromReplacedPixels) {
  fonts_init();
  reset_display_frames();
  screen_last_valid.store(0);
  TestPage page = TestPage::indexed(320, 200, 8);
  img_struct* saved_page = display_page.load();
  display_page = &page.rec;
  screen_hide.store(0);
  lock_display.store(0);
  std::atomic<bool> stop{false};
  std::atomic<int> prepared{0};

  std::thread main_loop([&] {
    while (!stop.load()) {
      display();
      prepared.fetch_add(1);
      bool is_new = false;
      pick_frame_to_show(&is_new);
    }
  });
  // The program replaces the page's pixel buffer 200 times, each time under the display lock, as
  // a mode change does. Preparation reading the old buffer after it is freed would be caught by
  // the address sanitizer.
  for (int change = 0; change < 200; ++change) {
    int32_t free_lock = 0;
    ASSERT_TRUE(lock_display.compare_exchange_strong(free_lock, 1));
    while (lock_display.load() != 2) std::this_thread::yield();
    page.pixels = std::vector<uint8_t>(page.pixels.size(), static_cast<uint8_t>(change));
    page.rec.pixels = page.pixels.data();
    screen_last_valid.store(0);
    lock_display.store(0);
    std::this_thread::yield();
  }
  stop.store(true);
  main_loop.join();
  EXPECT_GT(prepared.load(), 0);
  display_page = saved_page;
}

}  // namespace
