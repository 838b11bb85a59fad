// The random-number generator: a 24-bit linear congruential generator whose constants and seeding
// arithmetic fix the puzzles a seed produces. Program thread only.
#pragma once

#include <cstdint>
#include <optional>

// Generator state (24 bits) and the state at start-up (program thread only).
extern uint32_t rnd_seed;
extern uint32_t rnd_seed_first;
// Seeds from the upper 32 bits of seed: randomize_seed keeps the low byte of the state,
// randomize_seed | randomize_reset takes it from the start-up state; any other passed value asks
// the user for a number (random_seed_prompt).
enum randomize_passed : int32_t { randomize_seed = 1, randomize_reset = 2 };
void sub_randomize(double seed, int32_t passed);
// Puts bits directly where seeding puts its folded seed word (bits 8 to 23 of the state), the low
// byte kept: the state seeding would give for a seed whose folded word is bits. Every value is a
// state seeding can reach, and no two values give the same state.
void randomize_state_bits(uint16_t bits);
// Next number in [0, 1): n 0 repeats the last one, n negative reseeds from n first.
enum rnd_passed : int32_t { rnd_argument = 1 };
float func_rnd(float n, int32_t passed);
// Asks the user for a seed (the form of sub_randomize without one) and returns it, or nothing when
// an error became pending meanwhile. The host installs its keyboard prompt here at start-up
// (runtime_init); while none is installed, that form changes nothing.
extern std::optional<int16_t> (*random_seed_prompt)();
