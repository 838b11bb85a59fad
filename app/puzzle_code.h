// Puzzles a player can pass on: a seed for the start-up, and a short code naming one puzzle.
//
// Every random choice of the game comes from the 24-bit generator, so a puzzle is fixed by the
// generator state at the moment its hiding begins; the code is that state written with an
// alphabet that leaves out characters easily taken for one another (0 and O, 1, I and L, 2 and
// Z, 5 and S, 8 and B, U and V, D and Q). The generator and the hiding rules never change, so a
// code names the same puzzle in every release that keeps them.
//
// The start options are written by main before any thread starts (thread creation orders the
// writes before every read) and read afterwards on the program thread only; the program thread
// alone takes the first puzzle's state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Characters of every code; a code holds puzzle_code_length of them, the first the most
// significant digit.
inline constexpr std::string_view puzzle_code_alphabet = "34679ACEFGHJKMNPRTWXY";
inline constexpr size_t puzzle_code_length = 6;

// The code of a generator state (its low 24 bits).
std::string puzzle_code(uint32_t generator_state);
// The generator state a code names; nothing for a code of the wrong length, with a character
// outside the alphabet (lower case is read as upper case), or beyond the 24-bit states.
std::optional<uint32_t> puzzle_state_of_code(std::string_view code);

// Start-up choices from the command line.
struct PuzzleStart {
  std::optional<uint16_t> seed;          // --seed: replaces the clock when seeding at start-up
  std::optional<uint32_t> first_puzzle;  // --puzzle: the state the first hiding starts from
};
extern PuzzleStart puzzle_start;

// True when the window title names the puzzle in front of the player (--seed or --puzzle given).
bool puzzle_codes_shown();

// The program's seeding from the clock at start-up: with --seed, bits 8 to 23 of the state
// become the seed instead.
void seed_at_start_up();

// The hiding of a new puzzle begins: the first one starts from the --puzzle state, and while
// codes are shown the title names the puzzle.
void puzzle_begins();
