// A browser's key events as the runtime's keys: what a KeyboardEvent feeds in, and whether the
// page keeps the browser from acting on it (preventDefault).
//
// Characters come from the event's `key`, so the player's layout decides them (AZERTY, AltGr
// layouts); keys that give none come from `key` as well ("ArrowUp", "F1"), and the keypad is told
// apart by the event's location. Ctrl combinations go to the runtime's key table with the
// character the key gives (the browser never turns Ctrl+3 into Esc), Alt+Enter too. The page
// keeps for itself only keys the game takes: plain characters, Enter, Esc, Backspace, Tab, the
// arrows and the keys beside them, Alt+Enter. Ctrl and Alt combinations and the function keys
// reach the runtime but stay the browser's (its shortcuts keep working).
#pragma once

#include <cstdint>
#include <string_view>

// What one key event means for the runtime.
struct WebKey {
  enum class Kind { none, character, key } kind = Kind::none;
  int32_t value = 0;      // a code page 437 character, or a runtime key code
  int32_t modifiers = 0;  // key_modifier bits
  bool prevent_default = false;
};

// The KeyboardEvent's `key` and `code`, its `location` (3 = keypad, 1 left, 2 right), and its
// Shift, Ctrl and Alt state (key_modifier bits; AltGr already taken out by the page).
WebKey web_key(std::string_view key, std::string_view code, int32_t location, int32_t modifiers);

// The code page 437 character of a Unicode code point; -1 when the code page has none.
int32_t code_page_437_of(char32_t code_point);
