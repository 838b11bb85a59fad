// The drawing statement: a small language of one-letter commands that move a pen over the write
// page, drawing lines as it goes.
//
//   U D L R E F G H [n]   move n (default 1) up, down, left, right or diagonally
//   M x,y  /  M+x,y       move to the pixel (x, y), or by (x, y) when a sign leads
//   B  N                  prefixes for the next move: do not draw / come back afterwards
//   C n   S n   A n       colour; scale n/4; turn angle n * 90 degrees (n 0 to 3)
//   TA n                  turn angle n degrees
//   P fill,border         flood fill at the pen
//   X ref                 run a sub-string, like a subroutine
//
// Numbers may be written in the text or taken from variables in the low-memory area: "=" followed
// by a type byte and a 16-bit little-endian offset from dblock. A sub-string reference is the
// byte 3 and the offset of a (16-bit length, 16-bit text offset) record there. Command strings
// are untrusted: every read stays inside the string or the emulated memory, and sub-strings nest
// at most draw_stack_depth deep. Horizontal lengths are stretched by the inverse of the mode's
// aspect so that shapes keep their proportions on the classic display shapes.
//
// The pen starts at the graphics cursor and leaves it where it ends. The turn angle and scale
// live in the page (draw_angle, draw_scale) and the colour in draw_color, from one statement to
// the next. Program thread only; nothing happens while an error is pending.
#pragma once

#include <cstdint>

#include "runtime/core/extended.h"

struct zqs;

// How many sub-strings may be suspended at once.
inline constexpr int32_t draw_stack_depth = 8192;

// DRAW: runs the commands. Error 5 for a malformed command (or a text page), error 6 when
// sub-strings nest deeper than draw_stack_depth; either stops at once, keeping what was drawn and
// the colour, scale and angle set so far, but leaving the graphics cursor where it was.
void sub_draw(zqs* commands);
// Reads a number at the current position of the command being run, noting for the commands whether
// a digit or variable was read and whether the number is well formed.
extended draw_num();
