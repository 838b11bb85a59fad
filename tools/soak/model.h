// The puzzle's rules written out on their own, to check the program against: the squares each
// piece attacks, the spacing rule between hidden pieces, the placement a generator state hides,
// and a solver that counts the placements a picture of counts admits. Nothing here calls the
// program's code.
#pragma once

#include <array>
#include <cstdint>

namespace soak {

// Piece numbers, as the player types them.
inline constexpr int king = 1, queen = 2, bishop = 3, knight = 4, rook = 5;

// A square: file 1..8 (A..H) and row 1..8 counted from the top (rank digit 9 - row).
struct square {
  int file = 0, row = 0;
  bool operator==(const square&) const = default;
};

inline bool on_board(square s) { return s.file >= 1 && s.file <= 8 && s.row >= 1 && s.row <= 8; }
// Square index 0..63, the bit of the square in a 64-bit set of squares.
inline int index_of(square s) { return (s.file - 1) * 8 + (s.row - 1); }
inline square square_at(int index) { return {index / 8 + 1, index % 8 + 1}; }

// The five pieces' squares by piece number (entry 0 unused).
struct placement {
  std::array<square, 6> at{};
  bool operator==(const placement&) const = default;
};

// How many pieces attack each square, by square index.
using count_board = std::array<uint8_t, 64>;

// The squares a piece on `from` attacks on an otherwise empty board, one bit per square index.
uint64_t attacked_squares(int piece, square from);
count_board counts_of(const placement& p);

// Square code 100 + 8 (file - 1) + row; two hidden squares may not have codes whose difference
// is in the exclusion table (0 among them, so hidden squares are distinct).
int square_code(square s);
bool codes_clash(square a, square b);
bool keeps_spacing_rule(const placement& p);

// One board coordinate from the generator: advances state and returns INT(RND * 8 + 1).
int next_coordinate(uint32_t& state);
// The placement the game hides starting from generator state `state`; leaves state after it.
placement placement_from_generator(uint32_t& state);

struct solver_result {
  int placements = 0;      // placements found, at most the limit asked for
  bool has_other = false;  // one of them differs from the hidden placement
  placement other{};
};
// Counts the placements of the five pieces on five distinct squares that produce `counts`,
// stopping at `limit`. With `spacing`, only placements that keep the spacing rule count.
solver_result count_placements(const count_board& counts, bool spacing, const placement& hidden,
                               int limit = 2);

}  // namespace soak
