#include "runtime/host/web/web_keys.h"

#include <array>

#include "runtime/host/host_seam.h"
#include "runtime/host/keyboard.h"

namespace {

// The Unicode code points of code page 437's characters 128 to 255.
constexpr std::array<char16_t, 128> upper_half = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// The one code point of a UTF-8 text that holds exactly one; 0 otherwise.
char32_t single_code_point(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  size_t length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3 : 4;
  if (length != text.size()) return 0;
  char32_t point = length == 1 ? first : first & (0x3F >> (length - 1));
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(i) & 0x3F);
  }
  return point;
}

struct NamedKey {
  std::string_view name;
  int32_t code;
};

// Keys that give no character, by their `key` name, as the runtime's key codes.
constexpr NamedKey named_keys[] = {
    {"ArrowLeft", 0x4B00},
    {"ArrowUp", 0x4800},
    {"ArrowRight", 0x4D00},
    {"ArrowDown", 0x5000},
    {"PageUp", 0x4900},
    {"PageDown", 0x5100},
    {"Home", 0x4700},
    {"End", 0x4F00},
    {"Insert", keycode::insert},
    {"F11", 0x8500},
    {"F12", 0x8600},
    {"Shift", keycode::left_shift},
    {"Control", keycode::left_ctrl},
    {"Alt", keycode::left_alt},
};

// Keys whose `key` name stands for a character.
constexpr NamedKey character_keys[] = {
    {"Enter", 13}, {"Escape", 27}, {"Backspace", 8}, {"Tab", 9}, {"Delete", 127},
};

// The keypad's keys with Num Lock off, in the order of the runtime's keypad navigation codes.
constexpr std::string_view keypad_navigation[] = {"Insert",    "End",    "ArrowDown",  "PageDown",
                                                  "ArrowLeft", "Clear",  "ArrowRight", "Home",
                                                  "ArrowUp",   "PageUp", "Delete"};

// The keypad's characters, in the order of the runtime's keypad codes after the digits.
constexpr std::string_view keypad_symbols = "./*-+";

// A key of the keypad (location 3) as its runtime code; 0 when it is not one.
int32_t keypad_code(std::string_view key) {
  if (key == "Enter") return keycode::keypad_enter;
  if (key.size() == 1 && key[0] >= '0' && key[0] <= '9')
    return keycode::keypad_first + key[0] - '0';
  if (key.size() == 1) {
    const size_t symbol = keypad_symbols.find(key[0]);
    if (symbol != std::string_view::npos)
      return keycode::keypad_period + static_cast<int32_t>(symbol);
  }
  for (size_t i = 0; i < std::size(keypad_navigation); ++i)
    if (key == keypad_navigation[i]) return keycode::keypad_nav_first + static_cast<int32_t>(i);
  return 0;
}

// The right-hand Shift, Ctrl and Alt have codes of their own.
int32_t right_hand(int32_t code) {
  if (code == keycode::left_shift) return keycode::right_shift;
  if (code == keycode::left_ctrl) return keycode::right_ctrl;
  if (code == keycode::left_alt) return keycode::right_alt;
  return code;
}

}  // namespace

int32_t code_page_437_of(char32_t point) {
  if (point < 0x80) return static_cast<int32_t>(point);
  for (size_t i = 0; i < upper_half.size(); ++i)
    if (upper_half[i] == point) return static_cast<int32_t>(0x80 + i);
  return -1;
}

WebKey web_key(std::string_view key, std::string_view code, int32_t location, int32_t modifiers) {
  WebKey result;
  result.modifiers = modifiers;
  const bool combination = (modifiers & (key_modifier_ctrl | key_modifier_alt)) != 0;
  const bool alt_enter = modifiers == key_modifier_alt && key == "Enter";
  if (location == 3 && code != "NumLock") {
    if (const int32_t keypad = keypad_code(key)) {
      result.kind = WebKey::Kind::key;
      result.value = keypad;
      result.prevent_default = !combination || alt_enter;
      return result;
    }
  }
  for (const NamedKey& named : character_keys) {
    if (key == named.name) {
      result.kind = WebKey::Kind::character;
      result.value = named.code;
      result.prevent_default = !combination || alt_enter;
      return result;
    }
  }
  if (key.size() >= 2 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
    // F1 to F10 (scan codes 0x3B to 0x44); the browser keeps its own uses of them.
    const int number = key.size() == 2 ? key[1] - '0' : key == "F10" ? 10 : 0;
    if (number >= 1) {
      result.kind = WebKey::Kind::key;
      result.value = (0x3B + number - 1) << 8;
      return result;
    }
  }
  for (const NamedKey& named : named_keys) {
    if (key == named.name) {
      result.kind = WebKey::Kind::key;
      result.value = location == 2 ? right_hand(named.code) : named.code;
      // Arrows and the page keys would scroll the page; modifier keys stay the browser's.
      result.prevent_default =
          !combination && named.code < 0x10000 && named.code != 0x8500 && named.code != 0x8600;
      return result;
    }
  }
  const char32_t point = single_code_point(key);
  if (point == 0) return result;
  const int32_t character = code_page_437_of(point);
  if (character < 0) return result;
  result.kind = WebKey::Kind::character;
  result.value = character;
  result.prevent_default = !combination;
  return result;
}
