#include "tools/soak/model.h"

#include <cstdlib>

namespace soak {

namespace {

struct step {
  int dx, dy;
};
constexpr step orthogonal[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr step diagonal[4] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr step knight_jumps[8] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                  {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};

uint64_t bit(square s) { return uint64_t{1} << index_of(s); }

uint64_t rays(square from, const step (&directions)[4]) {
  uint64_t set = 0;
  for (step d : directions)
    for (square s{from.file + d.dx, from.row + d.dy}; on_board(s);
         s = {s.file + d.dx, s.row + d.dy})
      set |= bit(s);
  return set;
}

uint64_t jumps(square from, const step* steps, int count) {
  uint64_t set = 0;
  for (int i = 0; i < count; ++i) {
    const square s{from.file + steps[i].dx, from.row + steps[i].dy};
    if (on_board(s)) set |= bit(s);
  }
  return set;
}

// The differences of two square codes that may not occur between hidden pieces.
constexpr int excluded_differences[31] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                          14, 15, 16, 17, 18, 21, 24, 27, 28, 32, 35,
                                          36, 40, 42, 45, 48, 49, 54, 56, 63};

// attacked_squares for every piece and square, built once.
struct attack_table {
  std::array<std::array<uint64_t, 64>, 6> set{};
  attack_table() {
    for (int piece = king; piece <= rook; ++piece)
      for (int i = 0; i < 64; ++i) set[piece][i] = attacked_squares(piece, square_at(i));
  }
};
const attack_table& attacks() {
  static const attack_table table;
  return table;
}

// Counts 0..7 per square held as three bit planes, so that taking away one piece's attacks is a
// handful of word operations.
struct planes {
  uint64_t b0 = 0, b1 = 0, b2 = 0;

  // Subtracts 1 on every square of `set`; false (and no change) when a square would go below 0.
  bool take(uint64_t set) {
    const uint64_t n0 = b0 ^ set;
    uint64_t borrow = set & ~b0;
    const uint64_t n1 = b1 ^ borrow;
    borrow &= ~b1;
    const uint64_t n2 = b2 ^ borrow;
    borrow &= ~b2;
    if (borrow != 0) return false;
    b0 = n0, b1 = n1, b2 = n2;
    return true;
  }
  // The squares whose count is above `limit` (0..5).
  uint64_t above(int limit) const {
    switch (limit) {
      case 0:
        return b0 | b1 | b2;
      case 1:
        return b1 | b2;
      case 2:
        return b2 | (b1 & b0);
      case 3:
        return b2;
      case 4:
        return b2 & (b1 | b0);
      default:
        return b2 & b1;
    }
  }
};

// Pieces with the most attacks first: they leave the fewest squares for the rest.
constexpr int search_order[5] = {queen, rook, bishop, king, knight};

class search {
 public:
  search(bool spacing, const placement& hidden, int limit)
      : spacing_(spacing), hidden_(hidden), limit_(limit) {}

  solver_result run(const count_board& counts) {
    planes left;
    for (int i = 0; i < 64; ++i) {
      if (counts[i] > 5) return result_;  // no placement gives more than 5
      const uint64_t b = uint64_t{1} << i;
      if (counts[i] & 1) left.b0 |= b;
      if (counts[i] & 2) left.b1 |= b;
      if (counts[i] & 4) left.b2 |= b;
    }
    place(0, left);
    return result_;
  }

 private:
  void place(int depth, const planes& left) {
    if (depth == 5) {
      if (left.above(0) == 0) found();
      return;
    }
    const int piece = search_order[depth];
    const int pieces_after = 4 - depth;
    for (int i = 0; i < 64 && result_.placements < limit_; ++i) {
      const uint64_t b = uint64_t{1} << i;
      if (occupied_ & b) continue;
      const square s = square_at(i);
      if (spacing_ && clashes_with_placed(s, depth)) continue;
      planes next = left;
      // Counts only add up, and each remaining piece adds at most 1 to a square.
      if (!next.take(attacks().set[piece][i]) || next.above(pieces_after) != 0) continue;
      current_.at[piece] = s;
      occupied_ |= b;
      place(depth + 1, next);
      occupied_ &= ~b;
    }
  }

  bool clashes_with_placed(square s, int depth) const {
    for (int d = 0; d < depth; ++d)
      if (codes_clash(current_.at[search_order[d]], s)) return true;
    return false;
  }

  void found() {
    ++result_.placements;
    if (!result_.has_other && !(current_ == hidden_)) {
      result_.has_other = true;
      result_.other = current_;
    }
  }

  const bool spacing_;
  const placement hidden_;
  const int limit_;
  solver_result result_;
  placement current_;
  uint64_t occupied_ = 0;
};

}  // namespace

uint64_t attacked_squares(int piece, square from) {
  switch (piece) {
    case king: {
      constexpr step around[8] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                  {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
      return jumps(from, around, 8);
    }
    case queen:
      return rays(from, orthogonal) | rays(from, diagonal);
    case bishop:
      return rays(from, diagonal);
    case knight:
      return jumps(from, knight_jumps, 8);
    case rook:
      return rays(from, orthogonal);
    default:
      return 0;
  }
}

count_board counts_of(const placement& p) {
  count_board counts{};
  for (int piece = king; piece <= rook; ++piece) {
    const uint64_t set = on_board(p.at[piece]) ? attacks().set[piece][index_of(p.at[piece])] : 0;
    for (int i = 0; i < 64; ++i) counts[i] += (set >> i) & 1;
  }
  return counts;
}

int square_code(square s) { return 100 + 8 * (s.file - 1) + s.row; }

bool codes_clash(square a, square b) {
  const int difference = std::abs(square_code(a) - square_code(b));
  for (int excluded : excluded_differences)
    if (difference == excluded) return true;
  return false;
}

bool keeps_spacing_rule(const placement& p) {
  for (int m = king; m <= rook; ++m) {
    if (!on_board(p.at[m])) return false;
    for (int n = m + 1; n <= rook; ++n)
      if (codes_clash(p.at[m], p.at[n])) return false;
  }
  return true;
}

int next_coordinate(uint32_t& state) {
  state = (state * 16598013u + 12820163u) & 0xFFFFFFu;
  // RND is state / 2^24. RND * 8 + 1 = (state + 2^21) / 2^21 needs 25 significant bits, which
  // the game's extended precision holds exactly, so its integer part is the state's top three
  // bits plus one: always 1..8.
  return static_cast<int>(state >> 21) + 1;
}

placement placement_from_generator(uint32_t& state) {
  placement p;
  // Ten coordinates, one square per piece; only the king's is kept.
  for (int piece = king; piece <= rook; ++piece) {
    p.at[piece].file = next_coordinate(state);
    p.at[piece].row = next_coordinate(state);
  }
  // Queen, bishop, knight and rook again, each checked against the pieces before it; a clash
  // draws everything from the queen on afresh.
  for (bool clash = true; clash;) {
    clash = false;
    for (int piece = queen; piece <= rook && !clash; ++piece) {
      p.at[piece].file = next_coordinate(state);
      p.at[piece].row = next_coordinate(state);
      for (int before = king; before < piece && !clash; ++before)
        clash = codes_clash(p.at[before], p.at[piece]);
    }
  }
  return p;
}

solver_result count_placements(const count_board& counts, bool spacing, const placement& hidden,
                               int limit) {
  return search(spacing, hidden, limit).run(counts);
}

}  // namespace soak
