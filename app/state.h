// The puzzle's shared state: module-level 16-bit variables and the two 9 x 9 tables.
//
// Every puzzle procedure takes no arguments and returns nothing; they talk through these names.
// Drawing procedures draw at (X, Y) in colour C, which the caller sets first. Board squares are
// addressed by file (1..8 for A..H, left to right) and row counted from the top (1..8; row r shows
// the rank digit 9 - r). Pieces are numbered 1 king, 2 queen, 3 bishop, 4 knight, 5 rook.
//
// Program thread only. program_state_create() makes everything zero; ZQMAIN calls it first, and
// tests call it before driving single procedures.
#pragma once

#include <cstdint>

// Display class from the menu: 1, 3 or 5. Selects the screen mode and every colour.
extern int16_t VID;
// Origin and colour of the next cell, glyph or pictogram.
extern int16_t X, Y, C;
// Board colours (background, grid, alternate squares, frame), set from VID by SUB_CHESSBOARD.
extern int16_t C1, C2, C3, C4;
// Menu: text column of the menu box. Puzzle: the piece being placed, 1..5.
extern int16_t Z;
// Hidden squares (file, row from top) of king, queen, bishop, knight and rook.
extern int16_t DC1X, DC1Y, DC2X, DC2Y, DC3X, DC3Y, DC4X, DC4Y, DC5X, DC5Y;
// Loop counters and the running number.
extern int16_t ROW, COL, INDEX;
// Step counter of the ray walks in the attack counting.
extern int16_t COUNT;

// A two-dimensional table of 16-bit entries with subscripts 0..8 in both dimensions. Every
// subscript goes through array_check, so one outside 0..8 raises error 9; a store is made only
// while no error is pending, which leaves the target unchanged after a bad subscript.
class program_table {
 public:
  static constexpr int32_t lower_bound = 0;
  static constexpr int32_t extent = 9;

  // Allocates the zero-filled entries from the scratch area (with a table lock).
  void create();
  bool exists() const { return entries_ != nullptr; }

  // table(i, j) as an expression: a bad subscript raises error 9 and reads entry (0, 0).
  int16_t get(int32_t i, int32_t j) const { return entries_[element(i, j)]; }
  // table(i, j) = value as a statement.
  void set(int32_t i, int32_t j, int32_t value);

 private:
  uint32_t element(int32_t i, int32_t j) const;
  int16_t* entries_ = nullptr;
};

// Square codes: CHEBO(i, j) = 100 + 8 * (i - 1) + j for i, j in 1..8 after start-up.
extern program_table CHEBO;
// Attack counts per square (file, row from top), 0..5 while a puzzle is shown.
extern program_table CHESSCOUNT;

// Makes every variable zero and creates both tables zero-filled.
void program_state_create();
