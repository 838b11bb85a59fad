// Colour statements, palette statements, the palette ports and the colour functions.
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/core/error.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/runtime.h"
#include "runtime/screen/color.h"
#include "runtime/screen/image.h"
#include "tests/support/runtime_fixture.h"

namespace {

class ColorTest : public RuntimeTest {
 protected:
  // A fresh screen in the given mode, default palette included.
  static void screen_mode(int32_t mode) {
    zqg_screen(mode == 1 ? 2 : 1, 0, 0, 0, 0, 1);
    zqg_screen(mode, 0, 0, 0, 0, 1);
    ASSERT_EQ(write_page->mode, mode);
  }
  static uint32_t rgb(uint32_t entry) { return entry & 0xFFFFFF; }
  // Expects error 5 from the last call, and clears it.
  static void expect_illegal_call(const char* what) {
    EXPECT_EQ(pending_error(), 5u) << what;
    clear_error();
  }
};

// --- 6-bit and 8-bit components -------------------------------------------------------------

TEST_F(ColorTest, SixBitComponentsSpreadOverTheWholeByte) {
  for (uint32_t c = 0; c < 63; ++c) EXPECT_EQ(dac_6bit_to_8bit(c), c * 256 / 63) << c;
  EXPECT_EQ(dac_6bit_to_8bit(0), 0u);
  EXPECT_EQ(dac_6bit_to_8bit(1), 4u);
  EXPECT_EQ(dac_6bit_to_8bit(31), 125u);
  EXPECT_EQ(dac_6bit_to_8bit(32), 130u);
  EXPECT_EQ(dac_6bit_to_8bit(62), 251u);
  EXPECT_EQ(dac_6bit_to_8bit(63), 255u);
  for (uint32_t c = 0; c < 64; ++c) EXPECT_EQ(dac_8bit_to_6bit(dac_6bit_to_8bit(c)), c) << c;
}

// --- Palette ports --------------------------------------------------------------------------

TEST_F(ColorTest, ThreeDataWritesFillOneEntryThenTheNext) {
  screen_mode(13);
  uint32_t* palette = write_page->palette;
  palette[5] = 0xFF123456;
  palette[6] = 0xFF000000;
  sub_out(0x3C8, 5);
  sub_out(0x3C9, 63);
  sub_out(0x3C9, 62);
  sub_out(0x3C9, 1);
  EXPECT_EQ(palette[5], 0xFFFFFB04u);  // alpha byte kept
  sub_out(0x3C9, 64 + 32);             // only the low six bits count
  EXPECT_EQ(palette[6], 0xFF820000u);
  EXPECT_EQ(H3C8_palette_register_index, 6);
  EXPECT_EQ(H3C9_next, 1);
  EXPECT_EQ(unsupported_port_accessed, 0);
}

TEST_F(ColorTest, WriteIndexWrapsAfterEntry255) {
  screen_mode(13);
  sub_out(0x3C8, 255);
  for (int i = 0; i < 4; ++i) sub_out(0x3C9, 63);
  EXPECT_EQ(rgb(write_page->palette[255]), 0xFFFFFFu);
  EXPECT_EQ(write_page->palette[0] & 0xFF0000, 0xFF0000u);
  EXPECT_EQ(H3C8_palette_register_index, 0);
}

TEST_F(ColorTest, ThreeDataReadsReturnOneEntryThenTheNext) {
  screen_mode(13);
  write_page->palette[5] = 0xFFFFFB04;
  write_page->palette[6] = 0xFF820000;
  sub_out(0x3C7, 5);
  EXPECT_EQ(func_inp(0x3C9), 63u);
  EXPECT_EQ(func_inp(0x3C9), 62u);
  EXPECT_EQ(func_inp(0x3C9), 1u);
  EXPECT_EQ(func_inp(0x3C9), 32u);
  // A port number below zero is taken modulo 65536.
  EXPECT_EQ(func_inp(0x3C9 - 65536), 0u);
  EXPECT_EQ(pending_error(), 0u);
}

TEST_F(ColorTest, PortDataWithoutAPaletteIsCountedButNotStored) {
  const int32_t handle = func__newimage(16, 16, 32, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  sub_out(0x3C8, 7);
  for (int i = 0; i < 3; ++i) sub_out(0x3C9, 10);
  EXPECT_EQ(H3C8_palette_register_index, 8);
  sub_out(0x3C7, 7);
  EXPECT_EQ(func_inp(0x3C9), 0u);
  sub__dest(0);
  sub__freeimage(handle, 1);
}

TEST_F(ColorTest, OtherPortsAreFlaggedAsUnsupported) {
  screen_mode(1);
  const uint32_t palette_before[4] = {write_page->palette[0], write_page->palette[1],
                                      write_page->palette[2], write_page->palette[3]};
  sub_out(0x3D8, 46);  // CGA mode control: not emulated
  EXPECT_EQ(unsupported_port_accessed, 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(write_page->palette[i], palette_before[i]);
  sub_out(0x3C8, 0);
  EXPECT_EQ(unsupported_port_accessed, 0);
  EXPECT_EQ(func_inp(0x378), 0u);
  EXPECT_EQ(unsupported_port_accessed, 1);
}

TEST_F(ColorTest, BlinkEnableFollowsBitThreeOfPort3C0) {
  sub_out(0x3C0, 0x08 | 0x20);
  EXPECT_EQ(H3C0_blink_enable.load(), 8);
  sub_out(0x3C0, 0xF7);
  EXPECT_EQ(H3C0_blink_enable.load(), 0);
  sub_out(0x3C0, 8);
}

// The display refreshes every 16 ms: a retrace that ended since the last read is reported once,
// and the last millisecond of each refresh is the retrace itself.
TEST_F(ColorTest, InputStatusReportsTheVerticalRetraceOnce) {
  struct Read {
    int64_t ticks;
    uint32_t status;
  };
  const Read reads[] = {
      {1000, 8},             // a first read: a retrace has happened since start-up
      {1000, 0},             // reported once
      {1006, 0},             // same refresh
      {1007, 8},             // 1007 = 62 * 16 + 15: in the retrace
      {1007, 8},             // still in it
      {1008, 8},             // the next refresh has begun: the retrace is over, and reported
      {1009, 0}, {1100, 8},  // refreshes went by unread: reported once
      {1100, 0},
  };
  static int64_t now = 0;
  set_tick_source([] { return now; });
  for (const Read& read : reads) {
    now = read.ticks;
    EXPECT_EQ(func_inp(0x3DA), read.status) << "at " << read.ticks;
  }
  set_tick_source(nullptr);
}

TEST_F(ColorTest, KeyboardPortReadsTheScanCodeQueue) {
  // With the queue empty the port keeps showing its first byte (129 from start-up).
  EXPECT_EQ(func_inp(0x60), static_cast<uint32_t>(keyboard_port60h_read()));
  EXPECT_EQ(unsupported_port_accessed, 0);
}

TEST_F(ColorTest, InputPortOutsideTheRangeIsAnOverflow) {
  EXPECT_EQ(func_inp(65536), 0u);
  EXPECT_EQ(pending_error(), 6u);
  clear_error();
  func_inp(-65537);
  EXPECT_EQ(pending_error(), 6u);
}

// --- Colour statement -----------------------------------------------------------------------

TEST_F(ColorTest, Mode1ColourStatementPicksTheCgaPalettes) {
  screen_mode(1);
  uint32_t* palette = write_page->palette;
  zqg_sub_color(1, 0, 0, 3);  // background blue, even palette
  EXPECT_EQ(rgb(palette[0]), 0x0000AAu);
  EXPECT_EQ(rgb(palette[1]), 0x00AA00u);
  EXPECT_EQ(rgb(palette[2]), 0xAA0000u);
  EXPECT_EQ(rgb(palette[3]), 0xAA5500u);
  EXPECT_EQ(write_page->color, 3u);  // not a foreground colour in this mode
  zqg_sub_color(0, 7, 0, 2);         // odd
  EXPECT_EQ(rgb(palette[0]), 0x0000AAu);
  EXPECT_EQ(rgb(palette[1]), 0x00AAAAu);
  EXPECT_EQ(rgb(palette[2]), 0xAA00AAu);
  EXPECT_EQ(rgb(palette[3]), 0xAAAAAAu);
  zqg_sub_color(16, 0, 0, 1);
  expect_illegal_call("background 16");
  zqg_sub_color(1, 0, 1, 4);
  expect_illegal_call("border");
  EXPECT_EQ(rgb(palette[0]), 0x0000AAu);
}

TEST_F(ColorTest, TextModeColourStatement) {
  screen_mode(0);
  zqg_sub_color(31, 9, 5, 7);  // a border is accepted and ignored
  EXPECT_EQ(pending_error(), 0u);
  EXPECT_EQ(write_page->color, 31u);
  EXPECT_EQ(write_page->background_color, 1u);
  zqg_sub_color(32, 0, 0, 1);
  expect_illegal_call("foreground 32");
  zqg_sub_color(0, 16, 0, 2);
  expect_illegal_call("background 16");
  zqg_sub_color(static_cast<uint32_t>(-1), 0, 0, 1);
  expect_illegal_call("foreground -1");
  EXPECT_EQ(write_page->color, 31u);
  zqg_sub_color(7, 0, 0, 3);
}

TEST_F(ColorTest, ColourStatementLimitsPerMode) {
  const struct {
    int32_t mode;
    uint32_t foreground_max, background_max;
  } modes[] = {{13, 255, 255}, {12, 15, 15}, {11, 1, 1},  {10, 3, 8},
               {9, 15, 63},    {8, 15, 15},  {7, 15, 15}, {2, 1, 15}};
  for (const auto& m : modes) {
    screen_mode(m.mode);
    zqg_sub_color(m.foreground_max, m.background_max, 0, 3);
    EXPECT_EQ(pending_error(), 0u) << "mode " << m.mode;
    EXPECT_EQ(write_page->color, m.foreground_max) << "mode " << m.mode;
    zqg_sub_color(m.foreground_max + 1, 0, 0, 1);
    expect_illegal_call("foreground");
    zqg_sub_color(0, m.background_max + 1, 0, 2);
    expect_illegal_call("background");
    zqg_sub_color(0, 0, 0, 4);
    expect_illegal_call("border");
    EXPECT_EQ(write_page->color, m.foreground_max) << "mode " << m.mode;
  }
}

TEST_F(ColorTest, BackgroundsOfTheOlderModesRewriteThePalette) {
  screen_mode(13);
  zqg_sub_color(20, 30, 0, 3);
  EXPECT_EQ(write_page->background_color, 30u);

  screen_mode(9);
  zqg_sub_color(2, 63, 0, 3);
  EXPECT_EQ(write_page->palette[0], palette_64[63]);
  EXPECT_EQ(write_page->background_color, 0u);

  screen_mode(8);
  zqg_sub_color(2, 4, 0, 3);
  EXPECT_EQ(write_page->palette[0], palette_256[4]);

  screen_mode(10);
  zqg_sub_color(3, 8, 0, 3);
  EXPECT_EQ(write_page->color, 3u);
  EXPECT_EQ(write_page->palette[4], 8u);  // attribute of colour 0
}

TEST_F(ColorTest, ThirtyTwoBitColourStatementTakesAnyValue) {
  const int32_t handle = func__newimage(8, 8, 32, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  zqg_sub_color(0x80FF0000, 0x12345678, 0, 3);
  EXPECT_EQ(write_page->color, 0x80FF0000u);
  EXPECT_EQ(write_page->background_color, 0x12345678u);
  zqg_sub_color(0, 0, 0, 4);
  expect_illegal_call("border");
  sub__dest(0);
  sub__freeimage(handle, 1);
}

// --- Palette statement ----------------------------------------------------------------------

TEST_F(ColorTest, PaletteStatementWithSixBitValues) {
  screen_mode(13);
  zqg_palette(7, 63 + 256 * 63 + 65536 * 63, 1);
  EXPECT_EQ(write_page->palette[7], 0x00FFFFFFu);
  zqg_palette(8, 1 + 256 * 32 + 65536 * 62, 1);
  EXPECT_EQ(write_page->palette[8], 0x000482FBu);
  zqg_palette(7, 64, 1);
  expect_illegal_call("colour 64");
  zqg_palette(7, -1, 1);
  expect_illegal_call("colour -1");
  EXPECT_EQ(write_page->palette[7], 0x00FFFFFFu);
  zqg_palette(0, 0, 0);  // restores the default palette
  EXPECT_EQ(write_page->palette[7], palette_256[7]);

  screen_mode(12);
  zqg_palette(256, 63, 1);  // attribute 256 is entry 0
  EXPECT_EQ(write_page->palette[0], 0x00FF0000u);
  zqg_palette(16, 63, 1);
  expect_illegal_call("mode 12 attribute 16");
}

TEST_F(ColorTest, PaletteStatementWithColourNumbers) {
  screen_mode(9);
  zqg_palette(3, 63, 1);
  EXPECT_EQ(write_page->palette[3], palette_64[63]);
  zqg_palette(3, 64, 1);
  expect_illegal_call("mode 9 colour 64");

  screen_mode(10);
  zqg_palette(3, 8, 1);
  EXPECT_EQ(write_page->palette[7], 8u);
  zqg_palette(4, 0, 1);
  expect_illegal_call("mode 10 attribute 4");
  zqg_palette(0, 9, 1);
  expect_illegal_call("mode 10 colour 9");

  screen_mode(1);
  zqg_palette(2, 15, 1);
  EXPECT_EQ(write_page->palette[2], palette_256[15]);
  zqg_palette(2, 16, 1);
  expect_illegal_call("mode 1 colour 16");

  screen_mode(2);
  zqg_palette(1, 4, 1);
  EXPECT_EQ(write_page->palette[1], palette_256[4]);
  zqg_palette(2, 4, 1);
  expect_illegal_call("mode 2 attribute 2");

  screen_mode(0);
  zqg_palette(15, 63, 1);
  EXPECT_EQ(write_page->palette[15], palette_64[63]);
  zqg_palette(0, 0, 0);
  EXPECT_EQ(write_page->palette[15], palette_256[15]);
}

TEST_F(ColorTest, PaletteStatementOnThirtyTwoBitPagesIsAnError) {
  const int32_t handle = func__newimage(8, 8, 32, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  zqg_palette(1, 1, 1);
  expect_illegal_call("32-bit");
  sub__dest(0);
  sub__freeimage(handle, 1);
}

// --- Colour functions -----------------------------------------------------------------------

TEST_F(ColorTest, RgbOnIndexedPagesFindsTheNearestEntry) {
  screen_mode(1);
  EXPECT_EQ(func__rgb(255, 255, 255, 0, 0), 3u);
  EXPECT_EQ(func__rgb(0, 170, 170, 0, 0), 1u);
  EXPECT_EQ(func__rgb(-20, -1, 0, 0, 0), 0u);
  screen_mode(13);
  EXPECT_EQ(func__rgb(255, 255, 85, 0, 0), 14u);
  // Equal distances: the first entry wins (0 and 16 are both black).
  EXPECT_EQ(matchcol(0, 0, 0), 0u);
  EXPECT_EQ(func__rgb(300, 300, 300, 0, 0), 15u);  // clamped to white
}

TEST_F(ColorTest, RgbOnThirtyTwoBitImages) {
  const int32_t handle = func__newimage(8, 8, 32, 1);
  ASSERT_LT(handle, -1);
  EXPECT_EQ(func__rgb(255, 255, 255, handle, 1), 0xFFFFFFFFu);
  EXPECT_EQ(func__rgb(1, 2, 3, handle, 1), 0xFF010203u);
  EXPECT_EQ(func__rgb(-5, 999, 3, handle, 1), 0xFF00FF03u);
  EXPECT_EQ(func__rgba(1, 2, 3, 128, handle, 1), 0x80010203u);
  EXPECT_EQ(func__rgba(1, 2, 3, -1, handle, 1), 0x00010203u);
  EXPECT_EQ(func__alpha(0x80010203u, handle, 1), 0x80);
  EXPECT_EQ(func__red(0x80010203u, handle, 1), 1);
  EXPECT_EQ(func__green(0x80010203u, handle, 1), 2);
  EXPECT_EQ(func__blue(0x80010203u, handle, 1), 3);
  func__palettecolor(0, handle, 1);
  expect_illegal_call("no palette");
  sub__freeimage(handle, 1);
}

TEST_F(ColorTest, RgbaWithZeroAlphaGivesTheTransparentIndex) {
  screen_mode(13);
  EXPECT_EQ(func__rgba(255, 255, 255, 0, 0, 0), 15u);  // no transparent colour yet
  write_page->transparent_color = 40;
  EXPECT_EQ(func__rgba(255, 255, 255, 0, 0, 0), 40u);
  EXPECT_EQ(func__rgba(255, 255, 255, 1, 0, 0), 15u);
  EXPECT_EQ(func__alpha(40, 0, 0), 0);
  EXPECT_EQ(func__alpha(41, 0, 0), 255);
  func__alpha(256, 0, 0);
  expect_illegal_call("alpha of 256");
  write_page->transparent_color = -1;
}

TEST_F(ColorTest, ComponentsOfPaletteEntries) {
  screen_mode(1);
  EXPECT_EQ(func__red(2, 0, 0), 0xAA);
  EXPECT_EQ(func__green(2, 0, 0), 0x00);
  EXPECT_EQ(func__blue(2, 0, 0), 0xAA);
  func__red(4, 0, 0);
  expect_illegal_call("mode 1 colour 4");
  func__blue(0, -4000, 1);
  EXPECT_EQ(pending_error(), 258u);
}

TEST_F(ColorTest, PaletteColourGetAndSet) {
  screen_mode(13);
  write_page->palette[9] = 0x00123456;
  EXPECT_EQ(func__palettecolor(9, 0, 0), 0xFF123456u);
  sub__palettecolor(9, 0x80ABCDEF, 0, 0);
  EXPECT_EQ(write_page->palette[9], 0x80ABCDEFu);
  sub__palettecolor(256, 0, 0, 0);
  expect_illegal_call("attribute 256");
  func__palettecolor(-1, 0, 0);
  expect_illegal_call("attribute -1");
  EXPECT_EQ(write_page->palette[9], 0x80ABCDEFu);
  // On an image of its own.
  const int32_t handle = func__newimage(8, 8, 13, 1);
  ASSERT_LT(handle, -1);
  sub__palettecolor(9, 0xFF010101, handle, 1);
  EXPECT_EQ(func__palettecolor(9, handle, 1), 0xFF010101u);
  EXPECT_EQ(write_page->palette[9], 0x80ABCDEFu);
  sub__freeimage(handle, 1);
}

TEST_F(ColorTest, NothingChangesWhileAnErrorIsPending) {
  screen_mode(13);
  const uint32_t entry = write_page->palette[3];
  error(5);
  zqg_sub_color(1, 2, 0, 3);
  zqg_palette(3, 0, 1);
  sub_out(0x3C8, 3);
  sub_out(0x3C9, 0);
  EXPECT_EQ(func__rgb(255, 255, 255, 0, 0), 0u);
  EXPECT_EQ(func_inp(0x3DA), 0u);
  clear_error();
  EXPECT_EQ(write_page->color, 15u);
  EXPECT_EQ(write_page->palette[3], entry);
}

}  // namespace
