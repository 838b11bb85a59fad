// Prompts that read a line from the keyboard on the write page, echoing what is typed.
#pragma once

#include <cstdint>
#include <optional>

// The seed prompt of the random-number generator: asks "Random-number seed (-32768 to 32767)? "
// until a whole 16-bit number is entered ("Redo from start" after anything else); nothing when an
// error became pending meanwhile. runtime_init hands it to the generator (random_seed_prompt).
std::optional<int16_t> prompt_random_seed();
