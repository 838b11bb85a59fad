// Printing, cursor statements, text windows, clearing and reading the screen back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/color.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"
#include "tests/screen/page_fixture.h"
#include "tests/screen/text_fixture.h"

namespace {

// --- Printing, wrapping and the held cursor -------------------------------------------------

TEST_F(TextTest, FullLineWithNewLineBreaksOnce) {
  text_screen_80x25();
  print(std::string(80, 'x'), true);
  EXPECT_EQ(row_text(1), std::string(80, 'x'));
  EXPECT_EQ(write_page->cursor_y, 2);
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->holding_cursor, 0);
  EXPECT_EQ(row_text(2), std::string(80, ' '));
}

TEST_F(TextTest, FullLineWithoutNewLineHoldsTheCursor) {
  text_screen_80x25();
  print(std::string(80, 'x'), false);
  EXPECT_EQ(write_page->cursor_y, 1);
  EXPECT_EQ(write_page->cursor_x, 80);
  EXPECT_EQ(write_page->holding_cursor, 1);
  EXPECT_EQ(func_pos(0), 1);
  EXPECT_EQ(func_csrlin(), 2);
  // An empty print with a new line only lets the cursor go.
  print("", false);
  EXPECT_EQ(write_page->holding_cursor, 1);
  print("y", false);
  EXPECT_EQ(row_text(2).substr(0, 2), "y ");
  EXPECT_EQ(write_page->cursor_y, 2);
  EXPECT_EQ(write_page->cursor_x, 2);
  EXPECT_EQ(write_page->holding_cursor, 0);
}

TEST_F(TextTest, HeldCursorThenEmptyNewLineBreaksOnce) {
  text_screen_80x25();
  print(std::string(80, 'x'), false);
  print("", true);  // the usual way to end a full line: one line break in all
  EXPECT_EQ(write_page->holding_cursor, 0);
  EXPECT_EQ(write_page->cursor_y, 2);
  EXPECT_EQ(write_page->cursor_x, 1);
}

TEST_F(TextTest, LongTextWrapsInTheMiddle) {
  text_screen_80x25();
  locate(3, 75);
  print("abcdefghij", false);
  EXPECT_EQ(row_text(3).substr(74), "abcdef");
  EXPECT_EQ(row_text(4).substr(0, 5), "ghij ");
  EXPECT_EQ(write_page->cursor_y, 4);
  EXPECT_EQ(write_page->cursor_x, 5);
}

TEST_F(TextTest, CellsTakeTheAttributeOfTheCurrentColours) {
  text_screen_80x25();
  zqg_sub_color(20, 3, 0, 3);  // blinking red on cyan
  print("A", false);
  EXPECT_EQ(attribute_at(1, 1), 0x80 | (3 << 4) | 4);
  zqg_sub_color(14, 1, 0, 3);
  print("B", false);
  EXPECT_EQ(attribute_at(1, 2), (1 << 4) | 14);
}

TEST_F(TextTest, NothingPrintsWhileAnErrorIsPending) {
  text_screen_80x25();
  error(5);
  print("abc", true);
  clear_error();
  EXPECT_EQ(row_text(1), std::string(80, ' '));
  EXPECT_EQ(write_page->cursor_y, 1);
}

// --- Scrolling ------------------------------------------------------------------------------

TEST_F(TextTest, ScrollingKeepsTheLastRowOutsideTheDefaultWindow) {
  text_screen_80x25();
  fill_rows_with_letters();
  locate(24, 1);
  print("z", true);
  EXPECT_EQ(row_text(1), std::string(80, 'b'));
  EXPECT_EQ(row_text(22), std::string(80, 'w'));
  EXPECT_EQ(row_text(23), "z" + std::string(79, 'x'));
  EXPECT_EQ(row_text(24), std::string(80, ' '));
  EXPECT_EQ(attribute_at(24, 1), 7);
  EXPECT_EQ(row_text(25), std::string(80, 'y'));
  EXPECT_EQ(write_page->cursor_y, 24);
  EXPECT_EQ(write_page->cursor_x, 1);
}

TEST_F(TextTest, ScrollingAfterViewPrintWithoutArgumentsMovesTheLastRowToo) {
  text_screen_80x25();
  zqg_sub_view_print(0, 0, 0);
  EXPECT_EQ(write_page->bottom_row, 25);
  fill_rows_with_letters();
  locate(25, 80);
  print("z", true);
  EXPECT_EQ(row_text(1), std::string(80, 'b'));
  EXPECT_EQ(row_text(24), std::string(79, 'y') + "z");
  EXPECT_EQ(row_text(25), std::string(80, ' '));
}

TEST_F(TextTest, ScrollingStaysInsideAViewPrintWindow) {
  text_screen_80x25();
  fill_rows_with_letters();
  zqg_sub_view_print(5, 7, 1);
  EXPECT_EQ(write_page->cursor_y, 5);
  print("1", true);
  print("2", true);
  print("3", true);
  print("4", true);
  EXPECT_EQ(row_text(4), std::string(80, 'd'));
  EXPECT_EQ(row_text(5).substr(0, 1), "3");
  EXPECT_EQ(row_text(6).substr(0, 1), "4");
  EXPECT_EQ(row_text(7), std::string(80, ' '));
  EXPECT_EQ(row_text(8), std::string(80, 'h'));
  EXPECT_EQ(write_page->cursor_y, 7);
}

TEST_F(TextTest, ScrollBlanksUseTheBackgroundWithoutBlink) {
  text_screen_80x25();
  zqg_sub_color(18, 5, 0, 3);
  locate(24, 1);
  print("", true);
  EXPECT_EQ(attribute_at(24, 1), 0x80 | (5 << 4) | 2);
}

TEST_F(TextTest, GraphicsPagesScrollByTextRowsOfPixels) {
  screen_mode(13);
  zqg_sub_color(14, 2, 0, 3);
  // Mark pixel rows 8 (text row 2) and 192 (text row 25, outside the window).
  std::memset(write_page->pixels + 8 * 320, 9, 320);
  std::memset(write_page->pixels + 192 * 320, 11, 320);
  locate(24, 1);
  print("", true);
  EXPECT_EQ(pixel(5, 0), 9u);  // text row 2 moved to row 1
  EXPECT_EQ(pixel(5, 8), 0u);
  EXPECT_EQ(pixel(5, 184), 2u);  // the new row 24 in the background colour
  EXPECT_EQ(pixel(5, 191), 2u);
  EXPECT_EQ(pixel(5, 192), 11u);  // row 25 untouched
  EXPECT_EQ(write_page->cursor_y, 24);
}

// --- Control characters ---------------------------------------------------------------------

TEST_F(TextTest, TabCharacterStopsEveryEightColumns) {
  text_screen_80x25();
  const std::string tab_char(1, '\t');
  for (auto [from, to] : {std::pair{1, 9}, {8, 9}, {9, 17}, {16, 17}}) {
    locate(2, from);
    print(tab_char + "q", false);
    EXPECT_EQ(write_page->cursor_x, to + 1) << "from column " << from;
    EXPECT_EQ(row_text(2)[to - 1], 'q') << "from column " << from;
  }
  // From column 73 the tab runs to the end of the line; the next byte starts a new line.
  locate(2, 73);
  print(tab_char + "q", false);
  EXPECT_EQ(write_page->cursor_y, 3);
  EXPECT_EQ(row_text(3)[0], 'q');
}

TEST_F(TextTest, TabAtTheEndOfAnOddWidthLineEndsWithAHeldCursor) {
  // 800 pixels / 8 = 100 columns, not a multiple of the tab width.
  const int32_t handle = func__newimage(800, 64, 13, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  locate(1, 98);
  print("\t", false);  // must not loop for ever
  EXPECT_EQ(write_page->cursor_x, 100);
  EXPECT_EQ(write_page->holding_cursor, 1);
  sub__dest(0);
  sub__freeimage(handle, 1);
}

TEST_F(TextTest, TabOnARowWithoutATabStopEndsOnTheNextRow) {
  // 40 pixels / 8 = 5 columns: no column is a multiple of eight, so no space reaches a tab stop.
  for (const int32_t width : {40, 4}) {  // five columns, and none at all
    const int32_t handle = func__newimage(width, 64, 13, 1);
    ASSERT_LT(handle, -1);
    sub__dest(handle);
    print("\tq", false);  // must not loop for ever
    // The spaces run to the end of row 1 and "q" lands on row 2.
    EXPECT_EQ(write_page->cursor_y, 2) << width;
    sub__dest(0);
    sub__freeimage(handle, 1);
  }
}

TEST_F(TextTest, GlyphRunsMatchPrintingByteByByte) {
  std::string every_code;  // every code, but no bell (a quarter-second wait) while codes act
  for (int c = 0; c < 256; ++c) every_code += static_cast<char>(c == 7 ? 'B' : c);
  const std::string texts[] = {"Hello, world", std::string(77, 'w') + "\tx\r\ny\x1C\x1Dz",
                               every_code};
  struct Page {
    int32_t width, height, mode, font, print_mode;
    uint32_t colour, background;
    bool blending_off;
  };
  const Page pages[] = {
      {80, 25, 0, 16, 3, 14, 1, false},
      {40, 25, 0, 17, 3, 0x1F, 6, false},
      {320, 200, 13, 8, 3, 0x1234567F, 0x180, false},
      {320, 200, 1, 8, 1, 6, 1, false},
      {320, 200, 1, 8, 2, 2, 7, false},
      {640, 350, 9, 14, 3, 12, 3, false},
      {640, 480, 12, 16, 0, 9, 4, false},
      {203, 61, 13, 8, 3, 5, 9, false},
      {160, 64, 32, 16, 3, 0xFF204060, 0x80FFFFFF, false},
      {160, 64, 32, 8, 1, 0xC8336699, 0x40000000, false},
      {160, 64, 32, 14, 2, 0x7F102030, 0x00ABCDEF, true},
      {64, 32, 13, 9, 3, 3, 4, false},
  };
  for (const Page& page : pages)
    for (const int32_t codes_off : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "mode " << page.mode << " font " << page.font
                                      << (codes_off ? ", control codes off" : ""));
      no_control_characters2 = codes_off;
      expect_paths_agree(page.width, page.height, page.mode, [&](DrawPath path) {
        img_struct& im = *write_page;
        selectfont(page.font, &im);
        im.print_mode = static_cast<uint8_t>(page.print_mode);
        im.color = page.colour;
        im.background_color = page.background;
        im.alpha_disabled = page.blending_off;
        for (const std::string& text : texts)
          for (const int32_t column : {1, 3, 30}) {
            zqg_sub_locate(2, std::min(column, text_columns(im)), 0, 0, 0, 3);
            for (const int32_t new_line : {0, 1})
              print_string(zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size())),
                           new_line, path);
          }
      });
      no_control_characters2 = 0;
    }
}

TEST_F(TextTest, BackspaceIsAGlyphAndBellOnlyWaits) {
  text_screen_80x25();
  print("\b", false);
  EXPECT_EQ(row_text(1)[0], '\b');
  const auto start = std::chrono::steady_clock::now();
  print("\a", false);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(240));
  EXPECT_EQ(row_text(1)[1], ' ');
  EXPECT_EQ(write_page->cursor_x, 2);
}

TEST_F(TextTest, CursorMovementCodesRespectTheWindow) {
  text_screen_80x25();
  zqg_sub_view_print(3, 10, 1);
  locate(3, 1);
  print("\x1d", false);  // left at column 1 of the top row: ignored
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->cursor_y, 3);
  print("\x1e", false);  // up on the top row: ignored
  EXPECT_EQ(write_page->cursor_y, 3);
  print("\x1f\x1f", false);
  EXPECT_EQ(write_page->cursor_y, 5);
  print("\x1d", false);  // left from column 1 goes to the end of the previous row
  EXPECT_EQ(write_page->cursor_x, 80);
  EXPECT_EQ(write_page->cursor_y, 4);
  print("\x1c", false);  // right from the last column goes to the next row
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->cursor_y, 5);
  locate(10, 80);
  print("\x1c\x1f", false);  // bottom right corner: both ignored, nothing scrolls
  EXPECT_EQ(write_page->cursor_x, 80);
  EXPECT_EQ(write_page->cursor_y, 10);
  print("\x0b", false);  // home
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->cursor_y, 3);
  EXPECT_EQ(row_text(3), std::string(80, ' '));
}

TEST_F(TextTest, CarriageReturnAndLineFeedStartNewLines) {
  text_screen_80x25();
  print("ab\rcd\nef", false);
  EXPECT_EQ(row_text(1).substr(0, 2), "ab");
  EXPECT_EQ(row_text(2).substr(0, 2), "cd");
  EXPECT_EQ(row_text(3).substr(0, 2), "ef");
}

TEST_F(TextTest, FormFeedClearsTheScreen) {
  text_screen_80x25();
  fill_rows_with_letters();
  locate(5, 5);
  print("\x0cok", false);
  EXPECT_EQ(row_text(1).substr(0, 3), "ok ");
  EXPECT_EQ(row_text(25), std::string(80, ' '));
}

TEST_F(TextTest, ControlCharactersOffPrintsThemAsGlyphs) {
  text_screen_80x25();
  sub__controlchr(2);
  EXPECT_EQ(func__controlchr(), -1);
  print("\r\t\x0c", false);
  EXPECT_EQ(row_text(1).substr(0, 3), "\r\t\x0c");
  EXPECT_EQ(write_page->cursor_x, 4);
  sub__controlchr(0);
  EXPECT_EQ(func__controlchr(), 0);
  no_control_characters = 1;
  print("\n", false);
  EXPECT_EQ(row_text(1)[3], '\n');
}

// --- Print zones, TAB and SPC ---------------------------------------------------------------

TEST_F(TextTest, CommaZonesOnAnEightyColumnPage) {
  text_screen_80x25();
  tab();
  EXPECT_EQ(write_page->cursor_x, 15);
  locate(1, 20);
  tab();
  EXPECT_EQ(write_page->cursor_x, 29);
  // From column 60 the zone at 71 is skipped: spaces to column 79, cursor on 80.
  locate(2, 60);
  write_page->pixels[(80 + 79) * 2] = 'k';
  tab();
  EXPECT_EQ(write_page->cursor_x, 80);
  EXPECT_EQ(write_page->cursor_y, 2);
  EXPECT_EQ(row_text(2)[79], 'k');
  // A held cursor: the comma only starts a new line.
  locate(3, 1);
  print(std::string(80, 'x'), false);
  tab();
  EXPECT_EQ(write_page->cursor_y, 4);
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->holding_cursor, 0);
}

TEST_F(TextTest, CommaZonesOnAFortyColumnGraphicsPage) {
  screen_mode(13);
  tab();
  EXPECT_EQ(write_page->cursor_x, 15);
  tab();  // 29 is not below 40 - 12: spaces to the last column
  EXPECT_EQ(write_page->cursor_x, 40);
  EXPECT_EQ(write_page->cursor_y, 1);
  tab();  // from the last column: one space, and the cursor is held there
  EXPECT_EQ(write_page->cursor_x, 40);
  EXPECT_EQ(write_page->holding_cursor, 1);
  tab();  // a held cursor: only a new line
  EXPECT_EQ(write_page->cursor_x, 1);
  EXPECT_EQ(write_page->cursor_y, 2);
}

TEST_F(TextTest, TabAndSpcStrings) {
  text_screen_80x25();
  locate(1, 5);
  zqs* s = func_tab(10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data), s->length), std::string(5, ' '));
  s = func_tab(3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data), s->length), "\r  ");
  s = func_tab(85);  // 85 mod 80 = 5: the cursor's own column
  EXPECT_EQ(s->length, 0);
  s = func_tab(-7);  // below 1 -> column 1, left of the cursor
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data), s->length), "\r");

  s = func_spc(3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data), s->length), "   ");
  locate(1, 78);  // 3 columns left
  s = func_spc(5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s->data), s->length), "\r  ");
  s = func_spc(-4);
  EXPECT_EQ(s->length, 0);
  EXPECT_EQ(pending_error(), 0u);

  s = func_tab(32768);
  EXPECT_EQ(s->length, 0);
  EXPECT_EQ(pending_error(), 6u);
  clear_error();
  s = func_spc(-32769);
  EXPECT_EQ(s->length, 0);
  EXPECT_EQ(pending_error(), 6u);
}

TEST_F(TextTest, MakefitStartsANewLineOnlyWhenTheItemDoesNotFit) {
  text_screen_80x25();
  locate(1, 75);
  zqs* six = zqs_new_txt("123456");
  makefit(six);
  EXPECT_EQ(write_page->cursor_y, 1);
  zqs* seven = zqs_new_txt("1234567");
  makefit(seven);
  EXPECT_EQ(write_page->cursor_y, 2);
  EXPECT_EQ(write_page->cursor_x, 1);
  makefit(zqs_new_txt(std::string(100, 'x').c_str()));  // column 1: never a new line
  EXPECT_EQ(write_page->cursor_y, 2);

  screen_mode(13);
  locate(1, 35);
  makefit(six);
  EXPECT_EQ(write_page->cursor_y, 1);
  makefit(seven);
  EXPECT_EQ(write_page->cursor_y, 2);
}

// --- Cursor statement and text window -------------------------------------------------------

TEST_F(TextTest, LocateChecksItsArgumentsBeforeChangingAnything) {
  text_screen_80x25();
  width8050switch = 0;
  locate(3, 4);
  const struct {
    int32_t row, column, cursor, start, stop, passed;
  } bad[] = {{0, 1, 0, 0, 0, 1}, {26, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 3},  {1, 81, 0, 0, 0, 2},
             {1, 1, 2, 0, 0, 4}, {1, 1, 0, 32, 0, 8}, {1, 1, 0, 0, -1, 16}};
  for (const auto& b : bad) {
    zqg_sub_locate(b.row, b.column, b.cursor, b.start, b.stop, b.passed);
    EXPECT_EQ(pending_error(), 5u) << "passed " << b.passed;
    clear_error();
  }
  EXPECT_EQ(write_page->cursor_y, 3);
  EXPECT_EQ(write_page->cursor_x, 4);
  EXPECT_EQ(write_page->height, 25);
  // Row 25 lies outside the window but is the screen's last row.
  zqg_sub_locate(25, 0, 0, 0, 0, 1);
  EXPECT_EQ(pending_error(), 0u);
  EXPECT_EQ(write_page->cursor_y, 25);
  EXPECT_EQ(write_page->cursor_x, 4);
}

TEST_F(TextTest, RowBelowTheStartUpScreenSwitchesTo80x50KeepingTheText) {
  text_screen_80x25();
  width8050switch = 1;  // as start-up leaves it
  print("kept", false);
  zqg_sub_color(4, 1, 0, 3);
  locate(26, 3);
  ASSERT_EQ(pending_error(), 0u);
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page->height, 50);
  EXPECT_EQ(write_page->font, 8u);
  EXPECT_EQ(row_text(1).substr(0, 4), "kept");
  EXPECT_EQ(write_page->color, 4u);
  EXPECT_EQ(write_page->background_color, 1u);
  EXPECT_EQ(write_page->cursor_y, 26);
  EXPECT_EQ(write_page->cursor_x, 3);
  EXPECT_EQ(width8050switch, 0);
  // Only once: the next row beyond the window of an 80x25 screen is an error.
  text_screen_80x25();
  locate(26, 1);
  EXPECT_EQ(pending_error(), 5u);
  EXPECT_EQ(write_page->height, 25);
}

TEST_F(TextTest, RowBeyondFiftyEndsTheSwitchWithAnError) {
  text_screen_80x25();
  width8050switch = 1;
  locate(51, 1);
  EXPECT_EQ(pending_error(), 5u);
  EXPECT_EQ(width8050switch, 0);
  EXPECT_EQ(write_page->height, 25);
}

TEST_F(TextTest, LocateWithoutPositionMarksAHeldCursor) {
  text_screen_80x25();
  print(std::string(80, 'x'), false);
  zqg_sub_locate(0, 0, 1, 0, 0, 4);
  EXPECT_EQ(write_page->holding_cursor, 2);
  locate(2, 2);
  EXPECT_EQ(write_page->holding_cursor, 0);
}

TEST_F(TextTest, CursorShapeAndVisibilityApplyToEveryScreenPage) {
  text_screen_80x25();
  validatepage(3);
  zqg_sub_locate(0, 0, 1, 6, 7, 28);
  for (uint32_t n : {0u, 3u}) {
    const img_struct& p = img[page[n]];
    EXPECT_EQ(p.cursor_show, 1);
    EXPECT_EQ(p.cursor_firstvalue, 6);
    EXPECT_EQ(p.cursor_lastvalue, 7);
  }
  zqg_sub_locate(0, 0, 0, 0, 0, 4);
  EXPECT_EQ(img[page[3]].cursor_show, 0);
}

TEST_F(TextTest, ViewPrintChecksItsRows) {
  text_screen_80x25();
  for (auto [top, bottom] : {std::pair{0, 5}, {3, 2}, {1, 26}, {26, 26}}) {
    zqg_sub_view_print(top, bottom, 1);
    EXPECT_EQ(pending_error(), 5u) << top << " to " << bottom;
    clear_error();
  }
  EXPECT_EQ(write_page->top_row, 1);
  EXPECT_EQ(write_page->bottom_row, 24);
  zqg_sub_view_print(25, 25, 1);
  EXPECT_EQ(write_page->top_row, 25);
  EXPECT_EQ(write_page->cursor_y, 25);
}

// --- Clearing -------------------------------------------------------------------------------

TEST_F(TextTest, ClearWithoutMethodClearsTheWindowAndTheLastRow) {
  text_screen_80x25();
  fill_rows_with_letters();
  zqg_sub_view_print(5, 10, 1);
  sub_cls(0, 3, 2);
  EXPECT_EQ(row_text(4), std::string(80, 'd'));
  EXPECT_EQ(row_text(5), std::string(80, ' '));
  EXPECT_EQ(attribute_at(5, 1), (3 << 4) | 7);
  EXPECT_EQ(row_text(10), std::string(80, ' '));
  EXPECT_EQ(row_text(11), std::string(80, 'k'));
  EXPECT_EQ(row_text(25), std::string(80, ' '));
  EXPECT_EQ(write_page->cursor_y, 5);
}

TEST_F(TextTest, ClearMethodsOnTextPages) {
  text_screen_80x25();
  fill_rows_with_letters();
  zqg_sub_view_print(5, 10, 1);
  sub_cls(2, 0, 1);
  EXPECT_EQ(row_text(5), std::string(80, ' '));
  EXPECT_EQ(row_text(25), std::string(80, 'y'));
  sub_cls(0, 0, 1);
  EXPECT_EQ(row_text(1), std::string(80, ' '));
  EXPECT_EQ(row_text(25), std::string(80, ' '));
  fill_rows_with_letters();
  sub_cls(1, 0, 1);  // text page: only the cursor moves
  EXPECT_EQ(row_text(5), std::string(80, 'e'));
  EXPECT_EQ(write_page->cursor_y, 5);
  sub_cls(3, 0, 1);
  EXPECT_EQ(pending_error(), 5u);
}

TEST_F(TextTest, ClearLetsAHeldCursorGo) {
  text_screen_80x25();
  print(std::string(80, 'x'), false);
  sub_cls(0, 0, 0);
  print("a", false);
  EXPECT_EQ(row_text(1)[0], 'a');
}

TEST_F(TextTest, ClearOnGraphicsPages) {
  screen_mode(13);
  std::memset(write_page->pixels, 5, 320 * 200);
  write_page->x = 7;
  write_page->y = 9;
  sub_cls(2, 4, 3);  // text window rows 1..24 only; graphics cursor stays
  EXPECT_EQ(pixel(0, 0), 4u);
  EXPECT_EQ(pixel(319, 191), 4u);
  EXPECT_EQ(pixel(0, 192), 5u);
  EXPECT_EQ(write_page->x, 7.0f);
  EXPECT_EQ(write_page->y, 9.0f);

  sub_cls(0, 0, 0);
  EXPECT_EQ(pixel(0, 199), 0u);
  EXPECT_EQ(write_page->x, 160.0f);
  EXPECT_EQ(write_page->y, 100.0f);

  screen_mode(1);
  sub_cls(0, 4, 2);  // above the mode's pixel mask
  EXPECT_EQ(pending_error(), 5u);
}

TEST_F(TextTest, ClearOnAGraphicsViewportFillsOnlyTheViewport) {
  screen_mode(13);
  std::memset(write_page->pixels, 5, 320 * 200);
  zqg_sub_view(10, 20, 29, 39, 0, 0, 1);
  sub_cls(0, 1, 2);
  EXPECT_EQ(pixel(9, 20), 5u);
  EXPECT_EQ(pixel(10, 20), 1u);
  EXPECT_EQ(pixel(29, 39), 1u);
  EXPECT_EQ(pixel(30, 39), 5u);
  EXPECT_EQ(write_page->x, 10.0f);
  EXPECT_EQ(write_page->y, 10.0f);
}

TEST_F(TextTest, ClearPutsTheCursorAtTheCentreOfAScreenViewport) {
  screen_mode(13);
  zqg_sub_view(100, 50, 199, 149, 0, 0, 1 | 2);  // screen keyword: no view offset
  sub_cls(0, 0, 0);
  EXPECT_EQ(write_page->x, 150.0f);
  EXPECT_EQ(write_page->y, 100.0f);
  sub_pset(0, 0, 7, 1 | 2);  // a relative point at the cursor
  EXPECT_EQ(pixel(150, 100), 7u);
}

TEST_F(TextTest, ClearPutsTheCursorAtTheCentreOfAWindow) {
  screen_mode(13);
  zqg_sub_window(-50, -50, 50, 50, 1);  // y grows upward
  sub_cls(0, 0, 0);
  EXPECT_NEAR(write_page->x, 0.0f, 0.5f);
  EXPECT_NEAR(write_page->y, 0.0f, 0.5f);
}

// --- Graphics pages and reading the screen back ---------------------------------------------

TEST_F(TextTest, LetterAInMode13AndReadBack) {
  screen_mode(13);
  zqg_sub_color(14, 0, 0, 1);
  // Background pixels of the cell are drawn too.
  std::memset(write_page->pixels, 3, 320 * 8);
  print("A", false);
  const uint8_t rows[8] = {0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(pixel(x, y), (rows[y] & (0x80 >> x)) ? 14u : 0u) << x << "," << y;
    }
  }
  EXPECT_EQ(pixel(8, 0), 3u);
  EXPECT_EQ(func_screen(1, 1, 0, 0), 65u);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 14u);
  EXPECT_EQ(func_screen(1, 1, 0, 1), 65u);  // a zero flag asks for the character
  EXPECT_EQ(func_screen(2, 1, 0, 0), 32u);
  EXPECT_EQ(func_screen(2, 1, 1, 1), 1u);
  // A cell with every pixel set matches the solid block, whatever its colours.
  EXPECT_EQ(func_screen(1, 2, 0, 0), 0xDBu);
  EXPECT_EQ(func_screen(1, 2, 1, 1), 3u);
}

TEST_F(TextTest, ScreenFunctionChecksPositionsAndFonts) {
  screen_mode(13);
  func_screen(26, 1, 0, 0);
  EXPECT_EQ(pending_error(), 5u);
  clear_error();
  func_screen(1, 41, 0, 0);
  EXPECT_EQ(pending_error(), 5u);
  clear_error();
  text_screen_80x25();
  print("Q", false);
  EXPECT_EQ(func_screen(1, 1, 0, 0), 81u);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 7u);
  func_screen(1, 81, 0, 0);
  EXPECT_EQ(pending_error(), 5u);
}

TEST_F(TextTest, PrintModesOnGraphicsPages) {
  screen_mode(13);
  zqg_sub_color(14, 2, 0, 3);
  std::memset(write_page->pixels, 9, 320 * 8);
  write_page->print_mode = 1;  // foreground only
  print(std::string(1, char(0xDB)) + "A", false);
  EXPECT_EQ(pixel(0, 0), 14u);
  EXPECT_EQ(pixel(8, 0), 9u);  // background of 'A' untouched
  EXPECT_EQ(pixel(10, 0), 14u);
  write_page->print_mode = 2;  // background only
  locate(1, 2);
  print("A", false);
  EXPECT_EQ(pixel(8, 0), 2u);
  EXPECT_EQ(pixel(10, 0), 14u);
}

TEST_F(TextTest, Font14DropsTheFirstAndLastGlyphRows) {
  screen_mode(9);
  ASSERT_EQ(write_page->font, 14u);
  zqg_sub_color(15, 0, 0, 1);
  const uint8_t box_chars[] = {0xC9, 0xCD, 0xBA, 0xB0};
  for (int i = 0; i < 4; ++i) {
    print(std::string(1, char(box_chars[i])), false);
    for (int y = 0; y < 14; ++y) {
      for (int x = 0; x < 8; ++x) {
        const uint8_t expected = charset8x16[box_chars[i] * 128 + (y + 1) * 8 + x] ? 15 : 0;
        ASSERT_EQ(pixel(i * 8 + x, y), expected) << int(box_chars[i]) << " " << x << "," << y;
      }
    }
    EXPECT_EQ(func_screen(1, i + 1, 0, 0), box_chars[i]);
  }
  // The next text row starts 14 pixels down.
  locate(2, 1);
  print(std::string(1, char(0xDB)), false);
  EXPECT_EQ(pixel(0, 13), 0u);
  EXPECT_EQ(pixel(0, 14), 15u);
  EXPECT_EQ(pixel(0, 27), 15u);
}

TEST_F(TextTest, ThirtyTwoBitPagesDrawOpaqueGlyphs) {
  const int32_t handle = func__newimage(64, 32, 32, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  EXPECT_EQ(write_page->font, 16u);
  print(std::string(1, char(0xDB)), false);
  const uint32_t* pixels = reinterpret_cast<uint32_t*>(write_page->pixels);
  EXPECT_EQ(pixels[0], 0xFFFFFFFFu);
  EXPECT_EQ(pixels[15 * 64 + 7], 0xFFFFFFFFu);
  EXPECT_EQ(pixels[8], 0u);
  locate(2, 1);
  print("", true);  // scrolls the one-row window: fills with the background colour
  EXPECT_EQ(pixels[0], 0xFF000000u);
  sub__dest(0);
  sub__freeimage(handle, 1);
}

TEST_F(TextTest, ThirtyTwoBitPagesReadBackTheirBackgroundAsUnset) {
  const int32_t handle = func__newimage(64, 32, 32, 1);
  ASSERT_LT(handle, -1);
  sub__dest(handle);
  sub__source(handle);
  print("A", false);  // white on the opaque black background
  EXPECT_EQ(func_screen(1, 1, 0, 0), 65u);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(func_screen(1, 2, 0, 0), 32u);  // never drawn: transparent pixels
  sub_cls(0, 0, 0);
  EXPECT_EQ(func_screen(1, 1, 0, 0), 32u);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 1u);
  sub__dest(0);
  sub__source(0);
  sub__freeimage(handle, 1);
}

}  // namespace
