#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/core/bit_cast.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/random.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/runtime.h"
#include "runtime/screen/text.h"
#include "tests/support/runtime_fixture.h"

namespace {

class Random : public ::testing::Test {
 protected:
  void SetUp() override {
    new_error = 0;
    zqevent = 0;
    rnd_seed = 0x50000;
    rnd_seed_first = 0x50000;
  }
  void TearDown() override {
    new_error = 0;
    zqevent = 0;
  }
};

TEST_F(Random, UnseededSequence) {
  EXPECT_EQ(double(func_rnd(0, 0)), 0.7055475115776062);
  EXPECT_EQ(rnd_seed, 11837123u);
  EXPECT_EQ(double(func_rnd(0, 0)), 0.5334240198135376);
  EXPECT_EQ(rnd_seed, 8949370u);
  EXPECT_EQ(double(func_rnd(0, 0)), 0.5795186161994934);
  EXPECT_EQ(rnd_seed, 9722709u);
  // A positive argument draws the next number too.
  EXPECT_EQ(func_rnd(7.5f, 1), float((9722709u * 16598013u + 12820163u) & 0xFFFFFF) / 16777216.0f);
}

TEST_F(Random, SeedingFromTheClock) {
  sub_randomize(43200.0, 1);  // TIMER at noon
  EXPECT_EQ(rnd_seed, 0x58E500u);
  EXPECT_EQ(double(func_rnd(0, 0)), 0.5505334734916687);
  EXPECT_EQ(rnd_seed, 9236419u);

  rnd_seed = 0x50000;
  sub_randomize(0.0, 1);
  EXPECT_EQ(rnd_seed, 0u);
  EXPECT_EQ(func_rnd(0, 0), 12820163.0f / 16777216.0f);
}

TEST_F(Random, SeedBitsGiveTheStateSeedingFromTheClockWould) {
  sub_randomize(43200.0, 1);  // TIMER at noon folds to 0x58E5
  const uint32_t from_clock = rnd_seed;
  rnd_seed = 0x50000;
  randomize_state_bits(0x58E5);
  EXPECT_EQ(rnd_seed, from_clock);
  // The low byte stays; bits 8 to 23 are the seed's, whatever they were.
  rnd_seed = 0xABCDEF;
  randomize_state_bits(0xFFFF);
  EXPECT_EQ(rnd_seed, 0xFFFFEFu);
  randomize_state_bits(0);
  EXPECT_EQ(rnd_seed, 0x0000EFu);
}

TEST_F(Random, SeedingChangesOnlyBits8To23) {
  rnd_seed = 0x1234AB;
  sub_randomize(43200.0, 1);
  EXPECT_EQ(rnd_seed, 0x58E5ABu);
  // The reset form takes the low byte from the start-up state.
  sub_randomize(43200.0, 3);
  EXPECT_EQ(rnd_seed, 0x58E500u);
  // Only the upper 32 bits of the seed count: seeds that differ below them seed alike.
  const double a = 43200.0546875;
  const double b = vost::bit_cast<double>(vost::bit_cast<uint64_t>(a) ^ 0xFFFFFFFFull);
  ASSERT_NE(a, b);
  sub_randomize(a, 1);
  const uint32_t state = rnd_seed;
  sub_randomize(b, 1);
  EXPECT_EQ(rnd_seed, state);
  // Negative seeds fold their sign into the state.
  sub_randomize(-1.0, 1);
  EXPECT_EQ(rnd_seed, 0xBFF000u);
}

TEST_F(Random, ZeroRepeatsAndNegativeRestarts) {
  const float first = func_rnd(0, 0);
  EXPECT_EQ(func_rnd(0.0f, 1), first);
  EXPECT_EQ(func_rnd(-0.0f, 1), first);
  EXPECT_EQ(rnd_seed, 11837123u);

  const float r1 = func_rnd(-1.0f, 1);
  const float r2 = func_rnd(0, 0);
  const float r3 = func_rnd(0, 0);
  // -1.0f is 0xBF800000: the state restarts from 0xBF + 0x800000.
  EXPECT_EQ(r1, float((0x8000BFu * 16598013u + 12820163u) & 0xFFFFFF) / 16777216.0f);
  EXPECT_EQ(func_rnd(-1.0f, 1), r1);
  EXPECT_EQ(func_rnd(0, 0), r2);
  EXPECT_EQ(func_rnd(0, 0), r3);
  // Another negative seed gives another sequence.
  EXPECT_NE(func_rnd(-2.0f, 1), r1);
}

TEST_F(Random, NotANumberDrawsTheNextNumber) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(double(func_rnd(nan, 1)), 0.7055475115776062);
}

TEST_F(Random, NothingChangesWhileAnErrorIsPending) {
  new_error = 5;
  EXPECT_EQ(func_rnd(0, 0), 0.0f);
  sub_randomize(43200.0, 1);
  EXPECT_EQ(rnd_seed, 0x50000u);
}

// The seed prompt reads a number typed on the keyboard; keys are in the ring before it starts.
class SeedPrompt : public Random {
 protected:
  static void SetUpTestSuite() { ensure_headless_runtime(); }
  void SetUp() override {
    Random::SetUp();
    keyboard_init();
    sub_cls(0, 0, 0);
  }
  static void type(const std::string& keys) {
    for (char c : keys) {
      keydown(static_cast<uint8_t>(c));
      keyup(static_cast<uint8_t>(c));
    }
  }
  // Characters of text row r (1-based) of the mode 0 page, trailing blanks removed.
  static std::string screen_row(int r) {
    std::string row;
    for (int c = 0; c < 80; ++c) row += char(cmem[0xB8000 + ((r - 1) * 80 + c) * 2]);
    row.erase(row.find_last_not_of(" \0", std::string::npos, 2) + 1);
    return row;
  }
};

TEST_F(SeedPrompt, TypedNumberSeeds) {
  type("-5\r");
  sub_randomize(0, 0);
  EXPECT_EQ(rnd_seed, 0xFFFB00u);
  EXPECT_EQ(screen_row(1), "Random-number seed (-32768 to 32767)? -5");
}

TEST_F(SeedPrompt, BackspaceAndRetryOnBadInput) {
  // Fourteen keys: the ring holds fifteen.
  type("x\r");       // not a number
  type("40000\r");   // out of range
  type("129\b3\r");  // 12, then 3
  rnd_seed = 0x500AA;
  sub_randomize(0, 4);
  EXPECT_EQ(rnd_seed, ((123u << 8) & 0xFFFF00u) | 0xAAu);
  EXPECT_EQ(screen_row(1), "Random-number seed (-32768 to 32767)? x");
  EXPECT_EQ(screen_row(2), "Redo from start");
  EXPECT_EQ(screen_row(4), "Redo from start");
  EXPECT_EQ(screen_row(5), "Random-number seed (-32768 to 32767)? 123");
}

}  // namespace
