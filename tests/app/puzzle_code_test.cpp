// Puzzle codes: every generator state has one, and a code names exactly one state.
#include "app/puzzle_code.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(PuzzleCode, EveryStateHasItsOwnShortCodeThatReadsBack) {
  std::set<std::string> seen;
  // Every state near the ends and the digit boundaries, and a stride through the rest.
  for (uint32_t state = 0; state < (1u << 24);
       state += (state < 1000 || state > 16776000) ? 1 : 4099) {
    const std::string code = puzzle_code(state);
    ASSERT_LE(code.size(), 8u);
    ASSERT_EQ(code.find_first_not_of(puzzle_code_alphabet), std::string::npos) << code;
    ASSERT_EQ(puzzle_state_of_code(code), state) << code;
    ASSERT_TRUE(seen.insert(code).second) << code << " names two states";
  }
  EXPECT_EQ(puzzle_code(0), "333333");
  EXPECT_EQ(puzzle_code(0xFFFFFF), puzzle_code(0x1FFFFFF));  // only the 24 state bits count
}

TEST(PuzzleCode, LowerCaseReadsAsUpperCase) {
  const std::string code = puzzle_code(0x58E500);
  std::string lower;
  for (char c : code) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  EXPECT_EQ(puzzle_state_of_code(lower), 0x58E500u);
}

TEST(PuzzleCode, CodesThatNameNoPuzzleAreRejected) {
  const char* rejected[] = {
      "",       "33333",  "3333333",                                   // wrong length
      "33333O", "33333o", "333330",  "333331", "33333I",    "33333L",  // look-alikes left out
      "33333B", "333338", "33333 ",  "-33333", "33333\xC9",
      "YYYYYY",  // beyond the 24-bit states
  };
  for (const char* code : rejected) EXPECT_FALSE(puzzle_state_of_code(code)) << code;
  // The largest code that names a state.
  EXPECT_EQ(puzzle_state_of_code(puzzle_code(0xFFFFFF)), 0xFFFFFFu);
}

}  // namespace
