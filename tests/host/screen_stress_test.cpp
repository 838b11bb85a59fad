// The screen's structure changing while frames are prepared on another thread, as in the game:
// every kind of change a program can make (modes and pages, width, images made, copied and freed,
// page copies, fonts, palettes, drawing and printing; tests/support/screen_statements.h) in a
// fixed pseudo-random order, and the image table growing, while display() runs in a loop. The
// sanitizers catch a preparation that reads what a change freed or moved; the test checks that
// the displayed, write and read page stay valid images.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/screen_statements.h"

namespace {

// Statements in a fixed order: 6 KiB of them hold every kind about forty times.
std::vector<uint8_t> random_statements(uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> program(6144);
  for (uint8_t& b : program) b = static_cast<uint8_t>(generator());
  return program;
}

TEST(ScreenStress, ThreadedStructuralChangesWhilePreparing) {
  ScreenStatements statements(96);  // small images: the kinds of change matter, not the sizes
  PreparationThread preparation;
  for (uint32_t round = 0; round < 3; ++round) {
    statements.reset();
    preparation.resume();
    const std::vector<uint8_t> program = random_statements(round);
    EXPECT_TRUE(statements.run(program.data(), program.size())) << "round " << round;
    // A program that keeps making small images: the table grows twice more.
    for (int32_t i = 0; i < 8192; ++i) func__newimage(16, 16, 13, newimage_mode);
    preparation.park();
  }
  EXPECT_GT(preparation.passes(), 0u);
}

}  // namespace
