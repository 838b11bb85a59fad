// The fixed picture: glyphs, pictograms, cells, the board of each display class and the reveal,
// checked pixel by pixel against the geometry and pictures the player is meant to see.
#include <array>
#include <string>
#include <vector>

#include "app/procedures.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/text.h"
#include "tests/app/shapes.h"

namespace {

using namespace program_test;

// A fresh 256-colour page with every pixel set to background.
void blank_page(uint32_t background) {
  zqg_screen(13, 0, 0, 0, 0, 1);
  fast_boxfill(0, 0, 319, 199, background);
}

// Every pixel of the rectangle has the colour.
bool area_is(int x1, int y1, int x2, int y2, int colour) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      if (pixel(x, y) != colour) return false;
  return true;
}

void (*const glyph_routines[])() = {SUB_NUMBER0, SUB_NUMBER1, SUB_NUMBER2, SUB_NUMBER3, SUB_NUMBER4,
                                    SUB_NUMBER5, SUB_NUMBER6, SUB_NUMBER7, SUB_NUMBER8, SUB_NUMBERA,
                                    SUB_NUMBERB, SUB_NUMBERC, SUB_NUMBERD, SUB_NUMBERE, SUB_NUMBERF,
                                    SUB_NUMBERG, SUB_NUMBERH};
const char glyph_characters[] = "012345678ABCDEFGH";

TEST(Glyphs, EachDrawsItsPictureInsideItsCellOnly) {
  run_checked([] {
    program_state_create();
    for (int i = 0; i < 17; ++i) {
      blank_page(7);
      X = 40;
      Y = 30;
      C = 12;
      glyph_routines[i]();
      const char character = glyph_characters[i];
      if (!glyph_shown(character, 40, 30, 12, 7))
        report(std::string("glyph ") + character + " differs from its picture");
      // Row Y, column X and everything beyond the 10 x 10 pixels stay untouched.
      if (!area_is(40, 30, 51, 30, 7) || !area_is(40, 30, 40, 41, 7) ||
          !area_is(51, 30, 51, 41, 7) || !area_is(40, 41, 51, 41, 7))
        report(std::string("glyph ") + character + " draws outside its cell");
      CHILD_EXPECT_EQ(X, 40);
      CHILD_EXPECT_EQ(Y, 30);
    }
    // The zero is two hollow rectangles: corners and centre untouched.
    blank_page(5);
    X = 100;
    Y = 100;
    C = 1;
    SUB_NUMBER0();
    for (auto [dx, dy] : {std::pair{1, 1}, {10, 1}, {1, 10}, {10, 10}})
      CHILD_EXPECT_EQ(pixel(100 + dx, 100 + dy), 5);
    CHILD_EXPECT(area_is(103, 103, 108, 108, 5));
  });
}

TEST(Pictograms, EachDrawsItsPictureInOneColour) {
  run_checked([] {
    program_state_create();
    void (*const routines[6])() = {nullptr, SUB_KING, SUB_QUEEN, SUB_BISHOP, SUB_KNIGHT, SUB_ROOK};
    for (int piece = 1; piece <= 5; ++piece) {
      blank_page(6);
      X = 60;
      Y = 50;
      C = 14;
      routines[piece]();
      if (!pictogram_shown(piece, 60, 50, 14, 6))
        report("pictogram " + std::to_string(piece) + " differs from its picture");
      // Nothing outside the 14 x 14 square.
      if (!area_is(59, 49, 74, 49, 6) || !area_is(59, 64, 74, 64, 6) ||
          !area_is(59, 49, 59, 64, 6) || !area_is(74, 49, 74, 64, 6))
        report("pictogram " + std::to_string(piece) + " draws outside its square");
      // Drawn again in the same colour, nothing changes.
      routines[piece]();
      if (!pictogram_shown(piece, 60, 50, 14, 6))
        report("pictogram " + std::to_string(piece) + " changes when drawn twice");
    }
    // Another colour over an old pictogram leaves the old one where the new shape is empty.
    blank_page(0);
    X = 10;
    Y = 10;
    C = 3;
    SUB_KING();
    C = 4;
    SUB_BISHOP();
    const picture& king = pictogram_of(1);
    const picture& bishop = pictogram_of(3);
    for (int dy = 0; dy < 14; ++dy)
      for (int dx = 0; dx < 14; ++dx) {
        const int expected = bishop[dy][dx] == '#' ? 4 : king[dy][dx] == '#' ? 3 : 0;
        CHILD_EXPECT_EQ(pixel(10 + dx, 10 + dy), expected);
      }
  });
}

TEST(Cells, ClearTheInsideAndOutlineIt) {
  run_checked([] {
    program_state_create();
    blank_page(9);
    X = 271;
    Y = 89;
    C = 5;
    SUB_NUMBERC();
    X = 269;
    Y = 87;
    C = 2;
    SUB_CELLS();
    // The outline covers (268, 86) to (285, 103); the inside, the old glyph included, is cleared.
    CHILD_EXPECT(area_is(268, 86, 285, 86, 2));
    CHILD_EXPECT(area_is(268, 103, 285, 103, 2));
    CHILD_EXPECT(area_is(268, 86, 268, 103, 2));
    CHILD_EXPECT(area_is(285, 86, 285, 103, 2));
    CHILD_EXPECT(area_is(269, 87, 284, 102, 0));
    CHILD_EXPECT(area_is(267, 85, 286, 85, 9));
    CHILD_EXPECT(area_is(267, 104, 286, 104, 9));
    CHILD_EXPECT(area_is(267, 85, 267, 104, 9));
    CHILD_EXPECT(area_is(286, 85, 286, 104, 9));
  });
}

struct board_colours {
  int16_t display_class;
  int mode;
  int background, grid, squares, frame, label, cell;
  bool filled;
};
const board_colours class_1{1, 1, 2, 0, 1, 3, 3, 3, true};
const board_colours class_3{3, 13, 6, 0, 3, 7, 8, 2, true};
const board_colours class_5{5, 1, 0, 0, 1, 1, 1, 1, false};

// The whole screen as it must look after the board is drawn, except text row 2 (the prompt).
std::vector<int> expected_board_screen(const board_colours& colours) {
  std::vector<int> screen(320 * 200, 0);
  auto set = [&](int x, int y, int colour) { screen[y * 320 + x] = colour; };
  const int grid = colours.filled ? colours.grid : colours.squares;
  for (int c = 1; c <= 8; ++c)
    for (int r = 1; r <= 8; ++r) {
      const int inside = !colours.filled    ? 0
                         : (c + r) % 2 == 0 ? colours.squares
                                            : colours.background;
      for (int y = 26 + 17 * r; y <= 41 + 17 * r; ++y)
        for (int x = 82 + 17 * c; x <= 97 + 17 * c; ++x) set(x, y, inside);
    }
  for (int k = 0; k <= 8; ++k)
    for (int t = 42; t <= 178; ++t) {
      set(98 + 17 * k, t, grid);
      set(t + 56, 42 + 17 * k, grid);
    }
  for (int t = 97; t <= 235; ++t) {
    set(t, 41, colours.frame);
    set(t, 179, colours.frame);
  }
  for (int t = 41; t <= 179; ++t) {
    set(97, t, colours.frame);
    set(235, t, colours.frame);
  }
  auto label = [&](char character, int ox, int oy) {
    const glyph_picture& rows = glyph_of(character);
    for (int dy = 0; dy < 10; ++dy)
      for (int dx = 0; dx < 10; ++dx)
        if (rows[dy][dx] == '#') set(ox + 1 + dx, oy + 1 + dy, colours.label);
  };
  for (int r = 1; r <= 8; ++r) label(static_cast<char>('0' + 9 - r), 83, 45 + 17 * (r - 1));
  for (int c = 1; c <= 8; ++c) label(static_cast<char>('A' + c - 1), 101 + 17 * (c - 1), 182);
  return screen;
}

void expect_board(const board_colours& colours) {
  CHILD_EXPECT_EQ(write_page->mode, colours.mode);
  CHILD_EXPECT_EQ(write_page->width, 320);
  CHILD_EXPECT_EQ(write_page->height, 200);
  CHILD_EXPECT_EQ(C1, colours.background);
  CHILD_EXPECT_EQ(C2, colours.grid);
  CHILD_EXPECT_EQ(C3, colours.squares);
  CHILD_EXPECT_EQ(C4, colours.frame);
  // The game loop's cells come next, in the cell colour (never the label colour).
  CHILD_EXPECT_EQ(C, colours.cell);
  const std::vector<int> expected = expected_board_screen(colours);
  int differences = 0;
  for (int y = 0; y < 200; ++y) {
    if (y >= 8 && y < 16) continue;
    for (int x = 0; x < 320; ++x)
      if (pixel(x, y) != expected[y * 320 + x] && differences++ < 5)
        report("class " + std::to_string(colours.display_class) + ": pixel (" + std::to_string(x) +
               ", " + std::to_string(y) + ") is " + std::to_string(pixel(x, y)) + ", expected " +
               std::to_string(expected[y * 320 + x]));
  }
  // The prompt fills all 40 columns of text row 2.
  CHILD_EXPECT(text_shown(2, 1, "Select piece (1-5) and place (A-H, 1-8)."));
  CHILD_EXPECT_EQ(new_error.load(), 0u);
}

void check_board_of(const board_colours& colours) {
  run_checked([&] {
    program_state_create();
    VID = colours.display_class;
    SUB_CHESSBOARD();
    expect_board(colours);
  });
}

TEST(Board, Class1) { check_board_of(class_1); }
TEST(Board, Class3) { check_board_of(class_3); }
TEST(Board, Class5) { check_board_of(class_5); }

TEST(Board, PortWriteOfClass1ChangesNothingOnScreen) {
  run_checked([] {
    program_state_create();
    VID = 5;
    SUB_CHESSBOARD();
    std::array<uint32_t, 4> palette_before{};
    for (int i = 0; i < 4; ++i) palette_before[i] = write_page->palette[i];
    VID = 1;
    SUB_CHESSBOARD();
    for (int i = 0; i < 4; ++i) CHILD_EXPECT_EQ(write_page->palette[i], palette_before[i]);
    expect_board(class_1);
  });
}

TEST(Board, RedrawnOverItselfStaysTheSame) {
  run_checked([] {
    program_state_create();
    VID = 3;
    SUB_CHESSBOARD();
    SUB_CHESSBOARD();
    expect_board(class_3);
  });
}

struct hidden {
  int file, row;
};
const hidden placement[6] = {{0, 0}, {1, 1}, {8, 8}, {4, 5}, {2, 7}, {6, 3}};

void hide_fixed_placement() {
  int16_t* squares[6][2] = {{nullptr, nullptr}, {&DC1X, &DC1Y}, {&DC2X, &DC2Y},
                            {&DC3X, &DC3Y},     {&DC4X, &DC4Y}, {&DC5X, &DC5Y}};
  for (int n = 1; n <= 5; ++n) {
    *squares[n][0] = static_cast<int16_t>(placement[n].file);
    *squares[n][1] = static_cast<int16_t>(placement[n].row);
  }
}

void check_reveal(int16_t display_class, int colour, int16_t colour_after) {
  run_checked([=] {
    program_state_create();
    VID = display_class;
    SUB_CHESSBOARD();
    hide_fixed_placement();
    // Something in the squares first: a count digit in the king's square.
    X = 17 * 1 + 84;
    Y = 17 * 1 + 28;
    C = 1;
    SUB_NUMBER3();
    for (int pass = 0; pass < 2; ++pass) {
      SUB_SOLUTION();
      CHILD_EXPECT_EQ(C, colour_after);
      for (int n = 1; n <= 5; ++n) {
        const int x = 83 + 17 * placement[n].file, y = 27 + 17 * placement[n].row;
        if (!pictogram_shown(n, x, y, colour, 0))
          report("revealed piece " + std::to_string(n) + " differs");
        // The square's whole inside was cleared first: its border pixels are 0.
        if (!area_is(x - 1, y - 1, x + 14, y - 1, 0) || !area_is(x - 1, y + 14, x + 14, y + 14, 0))
          report("square of piece " + std::to_string(n) + " not cleared");
      }
    }
    // The king on file 1, row 1 has its top-left corner at (100, 44).
    CHILD_EXPECT(pictogram_shown(1, 100, 44, colour, 0));
    CHILD_EXPECT_EQ(pixel(99, 43), 0);
    CHILD_EXPECT_EQ(pixel(114, 58), 0);
    // Nothing of the game changes.
    CHILD_EXPECT_EQ(DC1X, 1);
    CHILD_EXPECT_EQ(DC2Y, 8);
    CHILD_EXPECT_EQ(DC5X, 6);
  });
}

TEST(Reveal, Class1DrawsInColour3) { check_reveal(1, 3, 3); }
TEST(Reveal, Class3DrawsInColour2AndLeavesHighlightColour) { check_reveal(3, 2, 10); }
TEST(Reveal, Class5DrawsInColour1) { check_reveal(5, 1, 1); }

}  // namespace
