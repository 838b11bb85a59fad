// The soak's own model of the rules: checked against the figures the rules state, since the soak
// judges the program by it.
#include "tools/soak/model.h"

#include <gtest/gtest.h>

#include <bit>

namespace soak {
namespace {

int attacked(int piece, int file, int row) {
  return std::popcount(attacked_squares(piece, {file, row}));
}

uint64_t squares(std::initializer_list<square> list) {
  uint64_t set = 0;
  for (square s : list) set |= uint64_t{1} << index_of(s);
  return set;
}

TEST(SoakModel, AttacksMatchTheStatedFigures) {
  EXPECT_EQ(attacked(king, 1, 1), 3);
  EXPECT_EQ(attacked(king, 1, 5), 5);
  EXPECT_EQ(attacked(king, 4, 5), 8);
  EXPECT_EQ(attacked(knight, 8, 8), 2);
  EXPECT_EQ(attacked(knight, 3, 6), 8);
  EXPECT_EQ(attacked(bishop, 1, 8), 7);
  EXPECT_EQ(attacked(bishop, 5, 4), 13);
  EXPECT_EQ(attacked(queen, 8, 1), 21);
  EXPECT_EQ(attacked(queen, 4, 4), 27);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(attacked(rook, square_at(i).file, square_at(i).row), 14);
  EXPECT_EQ(attacked_squares(king, {1, 1}), squares({{1, 2}, {2, 1}, {2, 2}}));
  EXPECT_EQ(attacked_squares(knight, {2, 7}), squares({{1, 5}, {3, 5}, {4, 6}, {4, 8}}));

  // Nothing blocks a ray, and a piece's own square counts only the others' attacks.
  placement p;
  p.at = {square{}, {1, 4}, {8, 8}, {8, 7}, {8, 6}, {1, 1}};
  const count_board counts = counts_of(p);
  // Rook and king give 0, 1, 2, 1, 2, 1, 1, 1; the queen on H1 adds its diagonal at A8 (row 1)
  // and its rank at A1 (row 8).
  const int column_a[8] = {1, 1, 2, 1, 2, 1, 1, 2};
  for (int row = 1; row <= 8; ++row)
    EXPECT_EQ(counts[index_of({1, row})], column_a[row - 1]) << row;
}

TEST(SoakModel, SpacingRuleByCodeDifference) {
  EXPECT_TRUE(codes_clash({1, 1}, {1, 2}));   // 1
  EXPECT_TRUE(codes_clash({1, 1}, {2, 1}));   // 8
  EXPECT_TRUE(codes_clash({2, 3}, {1, 1}));   // 10
  EXPECT_TRUE(codes_clash({3, 3}, {3, 3}));   // 0: the same square
  EXPECT_FALSE(codes_clash({1, 1}, {2, 4}));  // 11
  EXPECT_TRUE(codes_clash({1, 1}, {8, 8}));   // 63
}

TEST(SoakModel, GeneratorCoordinatesStayOnTheBoard) {
  // The state whose successor is 0xFFFFFF, the largest number: 1 - 2^-24 gives 8, not 9.
  uint32_t before_largest = 0;
  for (uint32_t s = 0; s < (1u << 24); ++s)
    if (((s * 16598013u + 12820163u) & 0xFFFFFFu) == 0xFFFFFFu) before_largest = s;
  uint32_t state = before_largest;
  EXPECT_EQ(next_coordinate(state), 8);
  EXPECT_EQ(state, 0xFFFFFFu);
  state = 0;
  EXPECT_EQ(next_coordinate(state), 7);  // 12820163 / 2^24 = 0.764...

  for (uint32_t seed = 0; seed < 200; ++seed) {
    state = seed * 83231u;
    EXPECT_TRUE(keeps_spacing_rule(placement_from_generator(state))) << seed;
  }
}

TEST(SoakModel, SolverFindsTheHiddenPlacementAndTheOtherOneWithTheSameCounts) {
  for (uint32_t seed = 0; seed < 200; ++seed) {
    uint32_t state = seed * 104729u;
    const placement hidden = placement_from_generator(state);
    const solver_result found = count_placements(counts_of(hidden), true, hidden, 2);
    EXPECT_EQ(found.placements, 1) << seed;
    EXPECT_FALSE(found.has_other) << seed;
  }

  // Queen and rook swap their squares and the bishop moves from B7 to H2: the same counts. The
  // queen and bishop on B8 and A7 break the spacing rule, so with it no placement fits.
  placement hidden, other;
  hidden.at = {square{}, {5, 1}, {2, 1}, {1, 2}, {6, 6}, {7, 8}};
  other.at = {square{}, {5, 1}, {7, 8}, {8, 7}, {6, 6}, {2, 1}};
  const count_board counts = counts_of(hidden);
  ASSERT_EQ(counts_of(other), counts);
  const solver_result any = count_placements(counts, false, hidden, 3);
  EXPECT_EQ(any.placements, 2);
  EXPECT_TRUE(any.has_other);
  EXPECT_EQ(any.other, other);
  EXPECT_EQ(count_placements(counts, true, hidden, 3).placements, 0);
}

}  // namespace
}  // namespace soak
