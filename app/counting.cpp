// Attack counting.
//
// Each routine adds 1 to CHESSCOUNT for every square its hidden piece attacks on an otherwise
// empty board: nothing blocks a ray, and a piece never counts its own square. No target is
// computed and then tested against the board. Instead the position is classified, per
// coordinate, into classes (1, 2..7, 8 for king and ray pieces; 1, 2, 3..6, 7, 8 for the knight),
// and each class pair lists exactly the moves that stay on the board from every square of the
// pair. So for positions 1..8 no subscript ever leaves 1..8, and a position outside 1..8 matches
// no class and adds nothing.
//
// Statement lines: each class pair is an IF (one line), its body and an END IF (one line); a
// single-square move is one statement, a ray walk five (COUNT = 0, DO, COUNT = COUNT + 1, the
// addition, LOOP UNTIL the edge).
#include "app/procedures.h"
#include "app/state.h"
#include "app/statement.h"

namespace {

// The values first..last of one coordinate.
struct coordinate_class {
  int16_t first, last;
};

struct move {
  int8_t dx, dy;
};

enum class reach { one_square, to_the_edge };

// The interior class comes first, so the interior case is tested first.
constexpr coordinate_class three_classes[] = {{2, 7}, {1, 1}, {8, 8}};
constexpr coordinate_class five_classes[] = {{3, 6}, {1, 1}, {2, 2}, {7, 7}, {8, 8}};

// clang-format off
constexpr move king_steps[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                               {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr move knight_jumps[] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                 {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr move orthogonal_rays[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr move diagonal_rays[] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr move all_rays[] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                             {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
// clang-format on

struct piece_rule {
  const coordinate_class* classes;
  int class_count;
  const move* moves;
  int move_count;
  reach kind;
  uint32_t first_line;
};

// A move exists for a class pair when its first square is on the board from every square of the
// pair; for a one-square move that is its target, for a ray at least one square to walk.
constexpr bool move_exists(coordinate_class column, coordinate_class row, move m) {
  return column.first + m.dx >= 1 && column.last + m.dx <= 8 && row.first + m.dy >= 1 &&
         row.last + m.dy <= 8;
}

constexpr uint32_t lines_per_move(reach kind) { return kind == reach::one_square ? 1 : 5; }

constexpr uint32_t body_lines(const piece_rule& rule, coordinate_class column,
                              coordinate_class row) {
  uint32_t lines = 0;
  for (int m = 0; m < rule.move_count; ++m)
    if (move_exists(column, row, rule.moves[m])) lines += lines_per_move(rule.kind);
  return lines;
}

// Line of the last statement of a routine (the closing END IF carries none).
constexpr uint32_t last_statement_line(const piece_rule& rule) {
  uint32_t line = rule.first_line;
  for (int c = 0; c < rule.class_count; ++c)
    for (int r = 0; r < rule.class_count; ++r)
      line += 2 + body_lines(rule, rule.classes[c], rule.classes[r]);
  return line - 2;
}

constexpr piece_rule king_rule{three_classes, 3, king_steps, 8, reach::one_square, 943};
constexpr piece_rule queen_rule{three_classes, 3, all_rays, 8, reach::to_the_edge, 1005};
constexpr piece_rule bishop_rule{three_classes, 3, diagonal_rays, 4, reach::to_the_edge, 1227};
constexpr piece_rule knight_rule{five_classes, 5, knight_jumps, 8, reach::one_square, 1329};
constexpr piece_rule rook_rule{three_classes, 3, orthogonal_rays, 4, reach::to_the_edge, 1479};

static_assert(last_statement_line(king_rule) == 999);
static_assert(last_statement_line(queen_rule) == 1221);
static_assert(last_statement_line(bishop_rule) == 1323);
static_assert(last_statement_line(knight_rule) == 1473);
static_assert(last_statement_line(rook_rule) == 1615);

// CHESSCOUNT(column, row) = CHESSCOUNT(column, row) + 1
void add_attack(int32_t column, int32_t row, uint32_t line) {
  CHESSCOUNT.set(column, row, CHESSCOUNT.get(column, row) + 1);
  check_statement(line);
}

// Walks one ray from the piece to the board edge it heads for; a diagonal stops at the first of
// its two edges. The edge test follows the first step, so the walk always adds one square.
void walk_ray(const int16_t& column, const int16_t& row, move ray, uint32_t line) {
  COUNT = 0;
  check_statement(line);
  for (;;) {
    check_statement(line + 1);
    COUNT = static_cast<int16_t>(COUNT + 1);
    check_statement(line + 2);
    const int32_t target_column = column + COUNT * ray.dx;
    const int32_t target_row = row + COUNT * ray.dy;
    add_attack(target_column, target_row, line + 3);
    const bool at_edge = (ray.dx > 0 && target_column == 8) || (ray.dx < 0 && target_column == 1) ||
                         (ray.dy > 0 && target_row == 8) || (ray.dy < 0 && target_row == 1);
    check_statement(line + 4);
    if (at_edge || error_pending()) return;
  }
}

void count_attacks(const int16_t& column, const int16_t& row, const piece_rule& rule) {
  procedure_activation activation;
  uint32_t line = rule.first_line;
  for (int c = 0; c < rule.class_count; ++c) {
    for (int r = 0; r < rule.class_count; ++r) {
      const coordinate_class column_class = rule.classes[c];
      const coordinate_class row_class = rule.classes[r];
      const uint32_t if_line = line;
      line += 2 + body_lines(rule, column_class, row_class);
      const bool in_case = condition(column >= column_class.first && column <= column_class.last &&
                                     row >= row_class.first && row <= row_class.last);
      check_statement(if_line);
      if (!in_case) continue;
      uint32_t statement_line = if_line + 1;
      for (int m = 0; m < rule.move_count; ++m) {
        const move mv = rule.moves[m];
        if (!move_exists(column_class, row_class, mv)) continue;
        if (rule.kind == reach::one_square)
          add_attack(column + mv.dx, row + mv.dy, statement_line);
        else
          walk_ray(column, row, mv, statement_line);
        statement_line += lines_per_move(rule.kind);
      }
    }
  }
}

}  // namespace

void SUB_KINGCOUNT() { count_attacks(DC1X, DC1Y, king_rule); }
void SUB_QUEENCOUNT() { count_attacks(DC2X, DC2Y, queen_rule); }
void SUB_BISHOPCOUNT() { count_attacks(DC3X, DC3Y, bishop_rule); }
void SUB_KNIGHTCOUNT() { count_attacks(DC4X, DC4Y, knight_rule); }
void SUB_ROOKCOUNT() { count_attacks(DC5X, DC5Y, rook_rule); }
