// The program's tables: subscripts outside 0..8 raise error 9 and store nothing.
#include "tests/app/program_harness.h"

namespace {

using namespace program_test;

TEST(ProgramState, CreatedZero) {
  run_checked([] {
    VID = 5;
    DC3Y = 7;
    program_state_create();
    CHILD_EXPECT_EQ(VID, 0);
    CHILD_EXPECT_EQ(DC3Y, 0);
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) {
        CHILD_EXPECT_EQ(CHEBO.get(i, j), 0);
        CHILD_EXPECT_EQ(CHESSCOUNT.get(i, j), 0);
      }
  });
}

TEST(ProgramState, SubscriptOutOfRangeRaisesError9AndStoresNothing) {
  run_checked([] {
    program_state_create();
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) CHESSCOUNT.set(i, j, 10 * i + j);
    const int bad[][2] = {{9, 1}, {1, 9}, {-1, 4}, {4, -1}, {9, 9}};
    for (auto [i, j] : bad) {
      CHESSCOUNT.set(i, j, 99);
      CHILD_EXPECT_EQ(new_error.load(), 9u);
      new_error.store(0);
      zqevent.store(0);
      CHEBO.set(i, j, 99);
      CHILD_EXPECT_EQ(new_error.load(), 9u);
      new_error.store(0);
      zqevent.store(0);
    }
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) {
        CHILD_EXPECT_EQ(CHESSCOUNT.get(i, j), 10 * i + j);
        CHILD_EXPECT_EQ(CHEBO.get(i, j), 0);
      }
    // While an error is pending no store is made, even with good subscripts.
    error(5);
    CHESSCOUNT.set(2, 2, 77);
    CHILD_EXPECT_EQ(CHESSCOUNT.get(2, 2), 22);
  });
}

}  // namespace
