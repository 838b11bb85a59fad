// The random-number generator and its seeding statement.
#include "runtime/core/random.h"

#include <bit>

#include "runtime/core/bit_cast.h"
#include "runtime/core/error.h"

uint32_t rnd_seed = 0x50000;
uint32_t rnd_seed_first = 0x50000;
std::optional<int16_t> (*random_seed_prompt)() = nullptr;

namespace {

constexpr uint32_t rnd_multiplier = 16598013;  // 0xFD43FD
constexpr uint32_t rnd_increment = 12820163;   // 0xC39EC3
constexpr uint32_t rnd_mask = 0xFFFFFF;
constexpr float rnd_scale = 16777216.0f;  // 2^24

// Bits 8..23 of the state taken from a folded seed word.
uint32_t seed_bits(uint32_t word) { return (word << 8) & 0xFFFF00; }

}  // namespace

void sub_randomize(double seed, int32_t passed) {
  if (error_pending()) return;
  if (passed != randomize_seed && passed != (randomize_seed | randomize_reset)) {
    const std::optional<int16_t> value = random_seed_prompt ? random_seed_prompt() : std::nullopt;
    if (value) rnd_seed = (rnd_seed & 0xFF) | seed_bits(static_cast<uint32_t>(int32_t{*value}));
    return;
  }
  uint32_t m = static_cast<uint32_t>(vost::bit_cast<uint64_t>(seed) >> 32);
  m ^= m >> 16;
  const uint32_t low_byte = (passed & randomize_reset ? rnd_seed_first : rnd_seed) & 0xFF;
  rnd_seed = low_byte | seed_bits(m);
}

void randomize_state_bits(uint16_t bits) { rnd_seed = (rnd_seed & 0xFF) | seed_bits(bits); }

float func_rnd(float n, int32_t passed) {
  if (error_pending()) return 0;
  if (!(passed & rnd_argument)) n = 1.0f;
  if (n != 0) {
    if (n < 0) {
      const uint32_t b = vost::bit_cast<uint32_t>(n);
      rnd_seed = (b >> 24) + (b & 0xFFFFFF);
    }
    rnd_seed = (rnd_seed * rnd_multiplier + rnd_increment) & rnd_mask;
  }
  return static_cast<float>(rnd_seed) / rnd_scale;
}
