// Attack counting: the five routines against the counting rule, computed the plain way (every
// target tested against the board) for every square of the board.
#include <array>
#include <vector>

#include "app/procedures.h"
#include "tests/app/program_harness.h"
#include "tests/app/reference.h"

namespace {

using namespace program_test;

void place(piece_kind kind, int x, int y) {
  int16_t* positions[6][2] = {{nullptr, nullptr}, {&DC1X, &DC1Y}, {&DC2X, &DC2Y},
                              {&DC3X, &DC3Y},     {&DC4X, &DC4Y}, {&DC5X, &DC5Y}};
  *positions[kind][0] = static_cast<int16_t>(x);
  *positions[kind][1] = static_cast<int16_t>(y);
}

void count(piece_kind kind) {
  void (*const routines[6])() = {nullptr,         SUB_KINGCOUNT,   SUB_QUEENCOUNT,
                                 SUB_BISHOPCOUNT, SUB_KNIGHTCOUNT, SUB_ROOKCOUNT};
  routines[kind]();
}

void clear_counts() {
  for (int i = 0; i <= 8; ++i)
    for (int j = 0; j <= 8; ++j) CHESSCOUNT.set(i, j, 0);
}

board counts() {
  board b{};
  for (int i = 0; i <= 8; ++i)
    for (int j = 0; j <= 8; ++j) b[i][j] = CHESSCOUNT.get(i, j);
  return b;
}

int attacked_squares(const board& b) {
  int n = 0;
  for (int i = 1; i <= 8; ++i)
    for (int j = 1; j <= 8; ++j) n += b[i][j];
  return n;
}

// Only the listed squares hold 1; everything else (row and column 0 included) is 0.
void expect_only(const board& b, std::vector<std::pair<int, int>> squares) {
  board expected{};
  for (auto [x, y] : squares) expected[x][y] = 1;
  for (int i = 0; i <= 8; ++i)
    for (int j = 0; j <= 8; ++j) {
      if (b[i][j] == expected[i][j]) continue;
      report("count at (" + std::to_string(i) + ", " + std::to_string(j) + ") is " +
             std::to_string(b[i][j]) + ", expected " + std::to_string(expected[i][j]));
    }
}

TEST(AttackCounting, EveryPieceOnEverySquareFollowsTheRule) {
  run_checked([] {
    program_state_create();
    for (piece_kind kind : {king, queen, bishop, knight, rook}) {
      for (int x = 1; x <= 8; ++x) {
        for (int y = 1; y <= 8; ++y) {
          clear_counts();
          place(kind, x, y);
          count(kind);
          const board actual = counts();
          const board expected = expected_attacks(kind, x, y);
          if (actual != expected)
            report("piece " + std::to_string(kind) + " at (" + std::to_string(x) + ", " +
                   std::to_string(y) + ") counts differ from the rule");
        }
      }
    }
    CHILD_EXPECT_EQ(new_error.load(), 0u);
  });
}

TEST(AttackCounting, SquareTotalsByPositionClass) {
  run_checked([] {
    program_state_create();
    struct total_case {
      piece_kind kind;
      int x, y, squares;
    };
    const total_case cases[] = {
        {king, 1, 1, 3},    {king, 8, 8, 3},    {king, 1, 5, 5},    {king, 4, 1, 5},
        {king, 5, 4, 8},    {knight, 1, 1, 2},  {knight, 8, 1, 2},  {knight, 3, 3, 8},
        {knight, 6, 6, 8},  {knight, 2, 2, 4},  {knight, 1, 4, 4},  {rook, 1, 1, 14},
        {rook, 4, 5, 14},   {rook, 8, 3, 14},   {bishop, 1, 1, 7},  {bishop, 8, 1, 7},
        {bishop, 4, 4, 13}, {bishop, 5, 5, 13}, {bishop, 4, 5, 13}, {queen, 1, 8, 21},
        {queen, 8, 8, 21},  {queen, 4, 5, 27},  {queen, 5, 4, 27},
    };
    for (const total_case& c : cases) {
      clear_counts();
      place(c.kind, c.x, c.y);
      count(c.kind);
      const int total = attacked_squares(counts());
      if (total != c.squares)
        report("piece " + std::to_string(c.kind) + " at (" + std::to_string(c.x) + ", " +
               std::to_string(c.y) + ") attacks " + std::to_string(total) + " squares, expected " +
               std::to_string(c.squares));
    }
  });
}

TEST(AttackCounting, CornerAndEdgeCases) {
  run_checked([] {
    program_state_create();
    place(king, 1, 1);
    SUB_KINGCOUNT();
    expect_only(counts(), {{1, 2}, {2, 1}, {2, 2}});

    clear_counts();
    place(knight, 2, 7);
    SUB_KNIGHTCOUNT();
    expect_only(counts(), {{1, 5}, {3, 5}, {4, 6}, {4, 8}});

    clear_counts();
    place(knight, 1, 1);
    SUB_KNIGHTCOUNT();
    expect_only(counts(), {{2, 3}, {3, 2}});
  });
}

TEST(AttackCounting, RaysPassThroughOtherPieces) {
  run_checked([] {
    program_state_create();
    // Rook at (1, 1) and king at (1, 4): the rook's ray runs past the king to (1, 8).
    place(rook, 1, 1);
    place(king, 1, 4);
    SUB_KINGCOUNT();
    SUB_ROOKCOUNT();
    const int column_one[9] = {0, 0, 1, 2, 1, 2, 1, 1, 1};
    for (int row = 1; row <= 8; ++row) CHILD_EXPECT_EQ(CHESSCOUNT.get(1, row), column_one[row]);

    // Queen at (4, 4) and bishop at (6, 6) on one diagonal.
    clear_counts();
    place(queen, 4, 4);
    place(bishop, 6, 6);
    SUB_QUEENCOUNT();
    SUB_BISHOPCOUNT();
    CHILD_EXPECT_EQ(CHESSCOUNT.get(6, 6), 1);
    CHILD_EXPECT_EQ(CHESSCOUNT.get(4, 4), 1);
    CHILD_EXPECT_EQ(CHESSCOUNT.get(7, 7), 2);
    CHILD_EXPECT_EQ(CHESSCOUNT.get(8, 8), 2);
    CHILD_EXPECT_EQ(CHESSCOUNT.get(5, 5), 2);
  });
}

TEST(AttackCounting, RoutinesOnlyAdd) {
  run_checked([] {
    program_state_create();
    place(rook, 3, 6);
    SUB_ROOKCOUNT();
    SUB_ROOKCOUNT();
    board expected = expected_attacks(rook, 3, 6);
    for (auto& column : expected)
      for (int& v : column) v *= 2;
    CHILD_EXPECT(counts() == expected);

    // Five pieces that all attack (5, 5) give the largest count, 5.
    clear_counts();
    place(king, 4, 4);
    place(queen, 5, 1);
    place(bishop, 8, 8);
    place(knight, 3, 4);
    place(rook, 1, 5);
    SUB_KINGCOUNT();
    SUB_QUEENCOUNT();
    SUB_BISHOPCOUNT();
    SUB_KNIGHTCOUNT();
    SUB_ROOKCOUNT();
    CHILD_EXPECT_EQ(CHESSCOUNT.get(5, 5), 5);
  });
}

TEST(AttackCounting, PositionsOffTheBoardAddNothing) {
  run_checked([] {
    program_state_create();
    const int positions[][2] = {{0, 5}, {5, 0}, {9, 3}, {3, 9}, {-1, -1}, {0, 0}};
    for (auto [x, y] : positions) {
      for (piece_kind kind : {king, queen, bishop, knight, rook}) {
        place(kind, x, y);
        count(kind);
      }
    }
    CHILD_EXPECT(counts() == board{});
    CHILD_EXPECT_EQ(new_error.load(), 0u);
  });
}

}  // namespace
