// The puzzle's rules written the plain way, to check the program against: the squares each piece
// attacks, and the placement a given random-number state must hide.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace program_test {

using board = std::array<std::array<int, 9>, 9>;  // [file][row from top], 1..8 used

enum piece_kind { king = 1, queen, bishop, knight, rook };

struct step {
  int dx, dy;
};

inline bool on_board(int x, int y) { return x >= 1 && x <= 8 && y >= 1 && y <= 8; }

// Attacks of one piece on an empty board: every target tested against the board edges.
inline board expected_attacks(piece_kind kind, int x, int y) {
  static const std::vector<step> king_steps = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                               {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  static const std::vector<step> knight_steps = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                                 {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
  static const std::vector<step> rook_rays = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  static const std::vector<step> bishop_rays = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  board b{};
  auto jump = [&](const std::vector<step>& steps) {
    for (step s : steps)
      if (on_board(x + s.dx, y + s.dy)) ++b[x + s.dx][y + s.dy];
  };
  auto rays = [&](const std::vector<step>& directions) {
    for (step d : directions)
      for (int k = 1; on_board(x + k * d.dx, y + k * d.dy); ++k) ++b[x + k * d.dx][y + k * d.dy];
  };
  // clang-format off
  switch (kind) {
    case king: jump(king_steps); break;
    case knight: jump(knight_steps); break;
    case rook: rays(rook_rays); break;
    case bishop: rays(bishop_rays); break;
    case queen:
      rays(rook_rays);
      rays(bishop_rays);
      break;
  }
  // clang-format on
  return b;
}

// Square code of a file and row: 100 + 8 (file - 1) + row.
inline int square_code(int file, int row) { return 100 + 8 * (file - 1) + row; }

// Differences of two square codes that may not occur between hidden pieces.
inline const int exclusion_differences[31] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                              14, 15, 16, 17, 18, 21, 24, 27, 28, 32, 35,
                                              36, 40, 42, 45, 48, 49, 54, 56, 63};

inline bool excluded_difference(int difference) {
  for (int d : exclusion_differences)
    if (std::abs(difference) == d) return true;
  return false;
}

struct placement {
  std::array<int, 6> file{}, row{};  // by piece number 1..5

  bool operator==(const placement&) const = default;

  board attacks() const {
    board total{};
    for (int n = 1; n <= 5; ++n) {
      const board b = expected_attacks(static_cast<piece_kind>(n), file[n], row[n]);
      for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) total[i][j] += b[i][j];
    }
    return total;
  }
  // Rank digit of piece n as the player types it.
  int rank(int n) const { return 9 - row[n]; }
};

// The generator: state = (state * 16598013 + 12820163) mod 2^24, number = state / 2^24.
inline int next_coordinate(uint32_t& state) {
  state = (state * 16598013u + 12820163u) & 0xFFFFFFu;
  // The game works in extended precision; a float sum would round 1 - 2^-24 up to 9.
  const long double number = static_cast<long double>(state) / 16777216.0L;
  return static_cast<int>(std::floor(number * 8.0L + 1.0L));
}

// The placement the game hides from a generator state: ten coordinates for the five pieces,
// then queen, bishop, knight and rook drawn again until no two codes differ by an excluded
// difference; a clash redraws from the queen on. The king keeps its first square.
inline placement predict_placement(uint32_t& state) {
  placement p;
  for (int n = 1; n <= 5; ++n) {
    p.file[n] = next_coordinate(state);
    p.row[n] = next_coordinate(state);
  }
  for (bool clash = true; clash;) {
    clash = false;
    for (int n = 2; n <= 5 && !clash; ++n) {
      p.file[n] = next_coordinate(state);
      p.row[n] = next_coordinate(state);
      for (int m = 1; m < n && !clash; ++m)
        clash = excluded_difference(square_code(p.file[m], p.row[m]) -
                                    square_code(p.file[n], p.row[n]));
    }
  }
  return p;
}

}  // namespace program_test
