// freeglut's special key numbers (its key callbacks' "special" keys) as the runtime's key codes.
// Kept apart from the toolkit's headers so that tests can check the table.
#pragma once

#include <cstdint>

#include "runtime/host/keyboard.h"

// The runtime's key code of a freeglut special key number; 0 for keys the runtime ignores.
constexpr int32_t glut_special_key_code(int key) {
  // freeglut: F1..F12 are 1..12; the arrows, page keys, Home, End and Insert 100..108; Shift,
  // Ctrl and Alt (left, right) 112..117.
  if (key >= 1 && key <= 10) return (0x3B + key - 1) << 8;  // F1..F10: scan codes 0x3B..0x44
  // clang-format off
  switch (key) {
    case 11: return 0x8500;  // F11
    case 12: return 0x8600;  // F12
    case 100: return 0x4B00;  // left
    case 101: return 0x4800;  // up
    case 102: return 0x4D00;  // right
    case 103: return 0x5000;  // down
    case 104: return 0x4900;  // page up
    case 105: return 0x5100;  // page down
    case 106: return 0x4700;  // home
    case 107: return 0x4F00;  // end
    case 108: return keycode::insert;
    case 112: return keycode::left_shift;
    case 113: return keycode::right_shift;
    case 114: return keycode::left_ctrl;
    case 115: return keycode::right_ctrl;
    case 116: return keycode::left_alt;
    case 117: return keycode::right_alt;
    default: return 0;
  }
  // clang-format on
}
