// Taps on the picture: what a tap types is decided by the step the game is at.
//
// The game loop publishes a tap context while it waits at a prompt with no key in the ring: the
// step (piece, file, rank or a wait for any key) and, at the rank prompt, the chosen file. The
// translator (registered with the host seam's set_tap_translator) runs on the host's thread and
// turns a tap at a pixel of the screen page into the keys that step takes:
//   - piece prompt: a tap on a piece's cell in the column of pieces types its number 1..5;
//   - file prompt: a tap on a square types its file letter and then its rank digit (the rank
//     prompt follows and takes the digit);
//   - rank prompt: a tap on a square of the chosen file types its rank digit;
//   - a wait for any key: a tap anywhere types a space;
//   - anywhere else, or when no prompt waits (the menu, the program busy drawing): nothing.
// A tap that types keys takes the context back, and the program publishes it again only once it
// has read those keys and waits once more: a second tap before then types nothing, so it can never
// be read by a step it was not meant for (a rank digit read at the piece prompt would pick a
// piece).
//
// The context is one atomic word: the program thread writes it, the host's thread reads it and
// takes it back with a compare-exchange. The geometry is the board's and the piece column's,
// which are the same in every display class.
#pragma once

#include <cstdint>

enum class tap_step : uint32_t { none = 0, piece, file, rank, any_key };

struct tap_context {
  tap_step step = tap_step::none;
  int16_t file = 0;  // the chosen file 1..8 at the rank prompt
};

// Program thread: the program waits at step (the chosen file for the rank prompt).
void publish_tap_context(tap_step step, int16_t file = 0);
// Program thread: the program has read a key and leaves its wait; taps type nothing until it
// waits again.
void leave_tap_context();
// Any thread: the context published now.
tap_context current_tap_context();

// Any thread: the keys a tap at pixel (x, y) of the screen page types at the published step,
// written to keys (at most capacity of them; a tap that would need more types none). Returns
// how many. Takes the context back when it types any.
int32_t translate_tap(int32_t x, int32_t y, int32_t* keys, int32_t capacity);

// Hands translate_tap to the host seam.
void register_tap_translator();

// The wait of a prompt's key loop (pause_while_no_key): when no key was read, publishes the
// prompt's tap context before waiting. The loop calls leave_tap_context as it reads a key.
void pause_at_prompt(bool key_was_read, tap_step step, int16_t file = 0);
