// Keyboard input: key codes, the keyboard ring in emulated memory, held keys and port 0x60.
//
// The host's window thread turns its key events into key codes (host_seam.h), which end in
// keydown/keyup; the
// program thread reads keys with zqs_inkey, func__keyhit, func__keydown and port 0x60.
//
// Key codes: 1..255 characters (code page 437; 0 is carried as 200013), scan * 256 extended keys
// (0x4800 Up, 0x3B00 F1, ...), 100303/100304 right/left Shift, 100305/100306 right/left Ctrl,
// 100307/100308 right/left Alt, 100300..100302 Num/Caps/Scroll Lock, 100019 Pause, 100318 Break,
// 100256..100271 keypad keys, 200000..200010 keypad navigation (Num Lock off), 200011/200012
// held-list markers for scroll lock on / insert mode on.
//
// Sharing between the two threads:
// - The keyboard ring at 0x41A..0x43D of cmem is a lock-free single-producer single-consumer
//   ring: the window thread writes a slot, then publishes the tail byte (0x41C) with release; the
//   program thread reads the tail with acquire, reads the slot, then publishes the head byte
//   (0x41A) with release. Both bytes are reached through AtomicRef.
// - The held-key list, the key-hit ring and the port queue sit behind one small mutex owned by
//   keyboard.cpp (each is bigger than a flag and is changed from both ends).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

struct zqs;

// Key codes by name (see the list above).
// clang-format off
namespace keycode {
inline constexpr int32_t enter = 13, escape = 27;
inline constexpr int32_t insert = 0x5200;  // an extended key: scan code 0x52 * 256
inline constexpr int32_t pause = 100019, break_key = 100318, ctrl_break_alt = 100296;
inline constexpr int32_t sysreq = 100317;
inline constexpr int32_t num_lock = 100300, caps_lock = 100301, scroll_lock = 100302;
inline constexpr int32_t right_shift = 100303, left_shift = 100304;
inline constexpr int32_t right_ctrl  = 100305, left_ctrl  = 100306;
inline constexpr int32_t right_alt   = 100307, left_alt   = 100308;
// Keypad keys: the digits 0 to 9 are keypad_first to keypad_first + 9, then the rest.
inline constexpr int32_t keypad_first  = 100256;
inline constexpr int32_t keypad_period = 100266;
inline constexpr int32_t keypad_slash  = 100267;
inline constexpr int32_t keypad_star   = 100268;
inline constexpr int32_t keypad_minus  = 100269;
inline constexpr int32_t keypad_plus   = 100270;
inline constexpr int32_t keypad_enter  = 100271;
inline constexpr int32_t keypad_last   = keypad_enter;
// Keypad navigation with Num Lock off (Insert, End, Down, ... Delete).
inline constexpr int32_t keypad_nav_first = 200000, keypad_nav_last = 200010;
// Held-list markers: scroll lock on, insert mode on.
inline constexpr int32_t marker_scroll_lock_on = 200011, marker_insert_on = 200012;
// The character 0, which cannot travel as itself.
inline constexpr int32_t zero_character = 200013;
}  // namespace keycode
// clang-format on

// Key translation table: rows 0..255 by character, 256 + scan for extended keys, 512..527 keypad.
// Columns: key code, scan code, result with no modifier, Shift, Ctrl, Alt, four keypad columns.
// A result of 0 is "no key"; a result above 255 is extended (0, result / 256).
inline constexpr int scancode_lookup_rows = 528;
extern const std::array<std::array<int32_t, 10>, scancode_lookup_rows> scancode_lookup;

// Sets the ring head and tail to 0x1E and the port value to 129 (runtime_init).
void keyboard_init();

void keydown(int32_t code);
void keyup(int32_t code);
void keydown_ascii(int32_t code);
void keydown_vk(int32_t code);
void keyup_ascii(int32_t code);
void keyup_vk(int32_t code);

// Keys enter from the host through host_character_key and host_key (host_seam.h), which release
// the modifiers the event shows let go and apply the Ctrl column, then call keydown or keyup.

// Releases through keyup every held modifier code (100303..100313) except the Shift, Ctrl and Alt
// codes whose key_modifier bit is in still_down: with 0, every one, as when the pointer leaves the
// window or the window loses the keyboard focus (window thread).
void keyboard_release_held_modifiers(int32_t still_down = 0);

// 1 if code is held (keypad keys also count for their main-keyboard equivalents), else 0.
int32_t keyheld(int32_t code);
void keyheld_add(int32_t code);
void keyheld_remove(int32_t code);
// Rebuilds the status bytes at 0x417, 0x418 and 0x496 from the held keys.
void update_shift_state();

// Next key of the ring as a 0-, 1- or 2-byte temporary string (program thread).
zqs* zqs_inkey();
// Takes the key at the head of the ring; false when the ring is empty (program thread).
bool keyboard_ring_pop(uint8_t* character, uint8_t* scan);
// True when the keyboard ring holds no key.
bool keyboard_ring_empty();

// Empties the keyboard ring (1), the key-hit ring (2), the port queue (3) or all (nothing passed).
enum keyclear_passed : int32_t { keyclear_buffer = 1 };
void sub__keyclear(int32_t buffer, int32_t passed);
// Next key-hit code (negative for a release), 0 when none.
int32_t func__keyhit();
// -1 if code is held, else 0; a code below 1 is error 5.
int32_t func__keydown(int32_t code);

// Port queue: a scan code for a press, s + 128 for a release; repeats of the last value collapse.
void scancodedown(uint8_t s);
void scancodeup(uint8_t s);
// Next queued scan code for a read of port 0x60.
int32_t keyboard_port60h_read();
