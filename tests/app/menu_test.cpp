// Start-up and the display-class menu, played through ZQMAIN.
#include <string>

#include "runtime/core/random.h"
#include "runtime/host/window_ops.h"
#include "tests/app/program_harness.h"

namespace {

using namespace program_test;

// The menu as the player sees it, row 2 to 23 from column 6, with the box characters of code
// page 437.
std::string menu_row(int row) {
  const std::string rows[22] = {
      "\xC9\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xBB",
      "\xBA       Vostrandelimerix      \xBA",
      "\xC8\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xBC",
      "\xC9\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xBB",
      "\xBA   Select graphics adapter   \xBA",
      "\xCC\xCD\xCD\xCD\xCD\xCD\xCB\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xB9",
      "\xBA     \xBA   CGA, Amstrad, PGC   \xBA",
      "\xBA     \xBA                       \xBA",
      "\xBA  1  \xBA Plantronics Colorplus \xBA",
      "\xBA     \xBA                       \xBA",
      "\xBA     \xBA       TGA, PCjr       \xBA",
      "\xCC\xCD\xCD\xCD\xCD\xCD\xCE\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xB9",
      "\xBA     \xBA     EGA, MCGA, VGA    \xBA",
      "\xBA  2  \xBA                       \xBA",
      "\xBA     \xBA       AX, 8514        \xBA",
      "\xCC\xCD\xCD\xCD\xCD\xCD\xCE\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xB9",
      "\xBA     \xBA  DCGA, Olivetti, GDC  \xBA",
      "\xBA  3  \xBA                       \xBA",
      "\xBA     \xBA     OGA, HGC, HICC    \xBA",
      "\xCC\xCD\xCD\xCD\xCD\xCD\xCE\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xB9",
      "\xBA Esc \xBA         Exit          \xBA",
      "\xC8\xCD\xCD\xCD\xCD\xCD\xCA\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD"
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xBC",
  };
  return rows[row - 2];
}

// The whole 40 x 25 screen: the menu box at rows 2..23, columns 6..36, blanks elsewhere.
void expect_menu_on_screen() {
  CHILD_EXPECT_EQ(write_page->mode, 1);
  CHILD_EXPECT_EQ(write_page->width, 320);
  CHILD_EXPECT_EQ(write_page->height, 200);
  const std::string blank_row(40, ' ');
  for (int row = 1; row <= 25; ++row) {
    std::string expected = blank_row;
    if (row >= 2 && row <= 23) expected.replace(5, 31, menu_row(row));
    if (!text_shown(row, 1, expected)) report("menu row " + std::to_string(row) + " differs");
  }
}

TEST(StartUp, FillsTheStateAndShowsTheMenu) {
  run_checked([] {
    start_program();
    wait_at_prompt();
    expect_menu_on_screen();
    CHILD_EXPECT_EQ(CHEBO.get(1, 1), 101);
    CHILD_EXPECT_EQ(CHEBO.get(1, 8), 108);
    CHILD_EXPECT_EQ(CHEBO.get(2, 1), 109);
    CHILD_EXPECT_EQ(CHEBO.get(8, 8), 164);
    CHILD_EXPECT_EQ(CHEBO.get(0, 5), 0);
    CHILD_EXPECT_EQ(CHEBO.get(5, 0), 0);
    for (int i = 1; i <= 8; ++i)
      for (int j = 1; j <= 8; ++j) {
        CHILD_EXPECT_EQ(CHEBO.get(i, j), 100 + 8 * (i - 1) + j);
        CHILD_EXPECT_EQ(CHESSCOUNT.get(i, j), 0);
      }
    CHILD_EXPECT_EQ(VID, 0);
    CHILD_EXPECT_EQ(Z, 6);
    // Both seedings from TIMER at noon leave the generator at the same state.
    CHILD_EXPECT_EQ(rnd_seed, 0x58E500u);
    CHILD_EXPECT_EQ(current_window_title(), std::string("Vostrandelimerix"));
    CHILD_EXPECT_EQ(func__fullscreen(), 1);
    CHILD_EXPECT_EQ(new_error.load(), 0u);
    stop_program_and_wait();
  });
}

TEST(StartUp, MenuIgnoresEveryOtherKey) {
  run_checked([] {
    start_program();
    // Digits other than 1 to 3, letters of both cases, Enter, space, control characters and
    // extended keys (cursor, function keys).
    type("0456789aAxX \t\r");
    press(1);
    press(8);
    for (int32_t extended : {0x4800, 0x5000, 0x4B00, 0x4D00, 0x3B00, 0x8600, 0x5300})
      press(extended);
    wait_at_prompt();
    CHILD_EXPECT_EQ(VID, 0);
    expect_menu_on_screen();
    stop_program_and_wait();
  });
}

void expect_menu_choice(char key, int16_t display_class, int mode) {
  run_checked([=] {
    start_program();
    type("q9");
    press(key);
    wait_at_prompt();
    CHILD_EXPECT_EQ(VID, display_class);
    CHILD_EXPECT_EQ(write_page->mode, mode);
    stop_program_and_wait();
  });
}

TEST(StartUp, Key1ChoosesClass1) { expect_menu_choice('1', 1, 1); }
TEST(StartUp, Key2ChoosesClass3) { expect_menu_choice('2', 3, 13); }
TEST(StartUp, Key3ChoosesClass5) { expect_menu_choice('3', 5, 1); }

TEST(StartUp, KeyAfterALongWaitIsStillSeen) {
  run_checked([] {
    start_program();
    wait_at_prompt();
    // Long enough for the key loop to settle into its longer idle pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    press('3');
    wait_at_prompt();
    CHILD_EXPECT_EQ(VID, 5);
    stop_program_and_wait();
  });
}

TEST(StartUp, EscInTheMenuEndsTheProgram) {
  run_checked([] {
    start_program();
    wait_at_prompt();
    quit([] {
      CHILD_EXPECT_EQ(close_program.load(), 1);
      CHILD_EXPECT_EQ(VID, 0);
    });
  });
}

}  // namespace
