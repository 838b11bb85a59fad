// Keyboard input: translation tables, held keys, the keyboard ring, the key-hit ring and port 0x60.
#include "runtime/host/keyboard.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "runtime/core/atomic_ref.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/presentation.h"
#include "runtime/host/window_ops.h"

// ---------------------------------------------------------------------------------------------
// Translation table

namespace {

using lookup_row = std::array<int32_t, 10>;
using lookup_table = std::array<lookup_row, scancode_lookup_rows>;

enum lookup_column { col_code, col_scan, col_none, col_shift, col_ctrl, col_alt };

constexpr int32_t extended(int32_t scan) { return scan << 8; }

constexpr lookup_table build_scancode_lookup() {
  lookup_table t{};
  for (int32_t c = 0; c < 256; ++c) t[c][col_code] = c;
  for (int32_t s = 0; s < 256; ++s) t[256 + s][col_code] = extended(s);

  auto set = [&t](int32_t row, int32_t scan, int32_t none, int32_t shift, int32_t ctrl,
                  int32_t alt) {
    t[row][col_scan] = scan;
    t[row][col_none] = none;
    t[row][col_shift] = shift;
    t[row][col_ctrl] = ctrl;
    t[row][col_alt] = alt;
  };

  // Letters: the key's scan code; Ctrl gives the position in the alphabet, Alt the bare scan code.
  constexpr int32_t letter_scan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                       0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                       0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  for (int32_t i = 0; i < 26; ++i) {
    const int32_t scan = letter_scan[i];
    for (int32_t c : {'a' + i, 'A' + i}) set(c, scan, c, c, i + 1, extended(scan));
  }

  // Control keys.
  set(8, 0x0E, 8, 8, 127, extended(0x0E));
  set(9, 0x0F, 9, extended(0x0F), extended(0x94), 0);
  set(13, 0x1C, 13, 13, 10, 0);
  set(27, 0x01, 27, 27, 27, 0);
  set(32, 0x39, 32, 32, 32, 0);

  // Digits and punctuation: both characters of a key, its scan code, Alt and Ctrl results.
  struct key_pair {
    char plain, shifted;
    int32_t scan, alt, ctrl;
  };
  // clang-format off
  constexpr key_pair pairs[] = {
      {'1', '!', 0x02, extended(0x78), 0},         {'2', '@', 0x03, extended(0x79), extended(0x03)},
      {'3', '#', 0x04, extended(0x7A), 0},         {'4', '$', 0x05, extended(0x7B), 0},
      {'5', '%', 0x06, extended(0x7C), 0},         {'6', '^', 0x07, extended(0x7D), 30},
      {'7', '&', 0x08, extended(0x7E), 0},         {'8', '*', 0x09, extended(0x7F), 0},
      {'9', '(', 0x0A, extended(0x80), 0},         {'0', ')', 0x0B, extended(0x81), 0},
      {'-', '_', 0x0C, extended(0x82), 31},        {'=', '+', 0x0D, extended(0x83), 0},
      {'[', '{', 0x1A, extended(0x1A), 27},        {']', '}', 0x1B, extended(0x1B), 29},
      {';', ':', 0x27, extended(0x27), 0},         {'\'', '"', 0x28, extended(0x28), 0},
      {'`', '~', 0x29, extended(0x29), 0},         {'\\', '|', 0x2B, extended(0x2B), 28},
      {',', '<', 0x33, extended(0x33), 0},         {'.', '>', 0x34, extended(0x34), 0},
      {'/', '?', 0x35, extended(0x35), 0},
  };
  // clang-format on
  for (const key_pair& k : pairs) {
    for (int32_t c : {int32_t(k.plain), int32_t(k.shifted)}) set(c, k.scan, c, c, k.ctrl, k.alt);
  }

  // Extended keys (row 256 + scan code of the key code): no modifier, Shift, Ctrl, Alt.
  for (int32_t f = 0; f < 10; ++f) {
    const int32_t scan = 0x3B + f;
    set(256 + scan, scan, extended(scan), extended(0x54 + f), extended(0x5E + f),
        extended(0x68 + f));
  }
  set(256 + 0x85, 0x57, extended(0x85), extended(0x85), extended(0x89), extended(0x8B));  // F11
  set(256 + 0x86, 0x58, extended(0x86), extended(0x86), extended(0x8A), extended(0x8C));  // F12
  struct nav_key {
    int32_t scan, ctrl, alt;
  };
  constexpr nav_key nav[] = {
      {0x47, 0x77, 0x97},  // Home
      {0x48, 0x8D, 0x98},  // Up
      {0x49, 0x84, 0x99},  // Page Up
      {0x4B, 0x73, 0x9B},  // Left
      {0x4D, 0x74, 0x9D},  // Right
      {0x4F, 0x75, 0x9F},  // End
      {0x50, 0x91, 0xA0},  // Down
      {0x51, 0x76, 0xA1},  // Page Down
      {0x52, 0x92, 0xA2},  // Insert
      {0x53, 0x93, 0xA3},  // Delete
  };
  for (const nav_key& k : nav)
    set(256 + k.scan, k.scan, extended(k.scan), extended(k.scan), extended(k.ctrl),
        extended(k.alt));
  return t;
}

}  // namespace

const lookup_table scancode_lookup = build_scancode_lookup();

// ---------------------------------------------------------------------------------------------
// Key codes and emulated memory locations

namespace {

constexpr int32_t held_modifier_first = 100303, held_modifier_last = 100313;

constexpr uint32_t ring_head_address = 0x41A, ring_tail_address = 0x41C;
constexpr uint32_t ring_base = 0x400;
constexpr uint8_t ring_first = 0x1E, ring_end = 0x3E;
constexpr uint32_t status_byte_1 = 0x417, status_byte_2 = 0x418, status_byte_3 = 0x496;

constexpr size_t keyhit_capacity = 8192;
constexpr int32_t port_queue_capacity = 256;

// The extended codes that keypad navigation keys (200000..200010) stand for.
constexpr int32_t keypad_nav_extended[11] = {0x5200, 0x4F00, 0x5000, 0x5100, 0x4B00, 0x4C00,
                                             0x4D00, 0x4700, 0x4800, 0x4900, 0x5300};
// The characters of keypad keys 100256..100271.
constexpr int32_t keypad_characters[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                           '8', '9', '.', '/', '*', '-', '+', 13};

AtomicRef<uint8_t> ring_head() { return AtomicRef<uint8_t>(cmem[ring_head_address]); }
AtomicRef<uint8_t> ring_tail() { return AtomicRef<uint8_t>(cmem[ring_tail_address]); }

uint8_t ring_advance(uint8_t offset) {
  const uint8_t next = static_cast<uint8_t>(offset + 2);
  return next >= ring_end ? ring_first : next;
}

// Everything the two threads share besides the lock-free keyboard ring. keydown and keyup hold
// the mutex for a whole key event; the program-side queries hold it only to read or pop.
struct keyboard_state {
  std::mutex mutex;
  // Held keys in press order, each at most once.
  std::vector<int32_t> held;
  // Key-hit ring: code in the low 32 bits, 1 in the high 32 bits for a keypad key.
  uint64_t keyhit[keyhit_capacity] = {};
  size_t keyhit_next = 0, keyhit_nextfree = 0;
  // Port 0x60 queue; the first byte stays readable once the queue is empty.
  uint8_t port60h_event[port_queue_capacity] = {};
  int32_t port60h_events = 0;
};
keyboard_state kb;

using lock_guard = std::lock_guard<std::mutex>;

// --- Held list (mutex held) ---

bool held_locked(int32_t code) {
  for (int32_t c : kb.held)
    if (c == code) return true;
  return false;
}

void held_add_locked(int32_t code) {
  if (held_locked(code)) return;
  try {
    kb.held.push_back(code);
  } catch (const std::bad_alloc&) {
    // A key that cannot be recorded as held still reaches the rings.
  }
}

void held_remove_locked(int32_t code) {
  for (size_t i = 0; i < kb.held.size(); ++i) {
    if (kb.held[i] == code) {
      kb.held.erase(kb.held.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void held_toggle_locked(int32_t code) {
  if (held_locked(code))
    held_remove_locked(code);
  else
    held_add_locked(code);
}

bool shift_held() { return held_locked(keycode::left_shift) || held_locked(keycode::right_shift); }
bool ctrl_held() { return held_locked(keycode::left_ctrl) || held_locked(keycode::right_ctrl); }
bool alt_held() { return held_locked(keycode::left_alt) || held_locked(keycode::right_alt); }

// Held, or held through a keypad key that stands for the same character or extended key.
bool keyheld_locked(int32_t code) {
  if (held_locked(code)) return true;
  if (code >= '0' && code <= '9') return held_locked(keycode::keypad_first + (code - '0'));
  // clang-format off
  switch (code) {
    case '.': return held_locked(keycode::keypad_period);
    case '/': return held_locked(keycode::keypad_slash);
    case '*': return held_locked(keycode::keypad_star);
    case '-': return held_locked(keycode::keypad_minus);
    case '+': return held_locked(keycode::keypad_plus);
    case keycode::enter: return held_locked(keycode::keypad_enter);
    default: break;
  }
  // clang-format on
  if (code >= 256 && code <= 65535 && (code & 0xFF) == 0) {
    for (int32_t i = 0; i < 11; ++i)
      if (keypad_nav_extended[i] == code) return held_locked(keycode::keypad_nav_first + i);
  }
  return false;
}

void store_status_byte(uint32_t address, uint8_t value) {
  AtomicRef<uint8_t>(cmem[address]).store(value, std::memory_order_relaxed);
}

void rebuild_status_bytes_locked() {
  uint8_t b1 = 0, b2 = 0, b3 = 0x10;
  if (held_locked(keycode::right_shift)) b1 |= 1;
  if (held_locked(keycode::left_shift)) b1 |= 2;
  if (ctrl_held()) b1 |= 4;
  if (alt_held()) b1 |= 8;
  if (held_locked(keycode::marker_scroll_lock_on)) b1 |= 16;
  if (held_locked(keycode::num_lock)) b1 |= 32;
  if (held_locked(keycode::caps_lock)) b1 |= 64;
  if (held_locked(keycode::marker_insert_on)) b1 |= 128;
  if (held_locked(keycode::left_ctrl)) b2 |= 1;
  if (held_locked(keycode::left_alt)) b2 |= 2;
  if (held_locked(keycode::sysreq)) b2 |= 4;
  if (held_locked(keycode::pause)) b2 |= 8;
  if (held_locked(keycode::scroll_lock)) b2 |= 16;
  if (held_locked(keycode::insert)) b2 |= 128;
  if (held_locked(keycode::right_ctrl)) b3 |= 1;
  if (held_locked(keycode::right_alt)) b3 |= 2;
  store_status_byte(status_byte_1, b1);
  store_status_byte(status_byte_2, b2);
  store_status_byte(status_byte_3, b3);
}

// --- Key-hit ring and port queue (mutex held) ---

void keyhit_append_locked(int32_t x, bool keypad) {
  const size_t next_free = (kb.keyhit_nextfree + 1) % keyhit_capacity;
  if (next_free == kb.keyhit_next) kb.keyhit_next = (kb.keyhit_next + 1) % keyhit_capacity;
  kb.keyhit[kb.keyhit_nextfree] =
      static_cast<uint32_t>(x) | (static_cast<uint64_t>(keypad ? 1 : 0) << 32);
  kb.keyhit_nextfree = next_free;
}

void port_queue_locked(uint8_t value) {
  if (kb.port60h_events > 0 && kb.port60h_event[kb.port60h_events - 1] == value) return;
  if (kb.port60h_events == port_queue_capacity) {
    std::memmove(kb.port60h_event, kb.port60h_event + 1, port_queue_capacity - 1);
    --kb.port60h_events;
  }
  kb.port60h_event[kb.port60h_events++] = value;
}

void scancodedown_locked(uint8_t s) { port_queue_locked(s); }
void scancodeup_locked(uint8_t s) { port_queue_locked(static_cast<uint8_t>(s + 128)); }

// The modifier bit (key_modifier_*) a Shift, Ctrl or Alt code stands for; 0 for other codes.
int32_t modifier_bit(int32_t code) {
  // clang-format off
  switch (code) {
    case keycode::left_shift: case keycode::right_shift: return key_modifier_shift;
    case keycode::left_ctrl: case keycode::right_ctrl: return key_modifier_ctrl;
    case keycode::left_alt: case keycode::right_alt: return key_modifier_alt;
    default: return 0;
  }
  // clang-format on
}

// Scan code of a modifier or lock key, 0 for other codes above 65535.
uint8_t modifier_scan_code(int32_t code) {
  // clang-format off
  switch (code) {
    case keycode::left_shift: return 42;
    case keycode::right_shift: return 54;
    case keycode::left_alt:
    case keycode::right_alt: return 56;
    case keycode::left_ctrl:
    case keycode::right_ctrl: return 29;
    case keycode::num_lock: return 69;
    case keycode::caps_lock: return 58;
    case keycode::scroll_lock: return 70;
    default: return 0;
  }
  // clang-format on
}

// --- Keyboard ring (producer side under the mutex; the consumer is lock-free) ---

void ring_put_locked(uint8_t character, uint8_t scan) {
  const uint8_t tail = ring_tail().load(std::memory_order_relaxed);
  const uint8_t next = ring_advance(tail);
  if (next == ring_head().load(std::memory_order_acquire)) return;  // full: dropped silently
  cmem[ring_base + tail] = character;
  cmem[ring_base + tail + 1] = scan;
  ring_tail().store(next, std::memory_order_release);
}

void ring_reset_locked() {
  ring_head().store(ring_first, std::memory_order_release);
  ring_tail().store(ring_first, std::memory_order_release);
  cmem[ring_head_address + 1] = 0;
  cmem[ring_tail_address + 1] = 0;
}

// --- Key press steps ---

// The value a key reports to the key-hit ring: keypad keys become the character or extended code
// they stand for, flagged as keypad keys.
struct keyhit_value {
  int32_t code;
  bool keypad;
};

keyhit_value keyhit_value_of(int32_t code) {
  if (code >= keycode::keypad_first && code <= keycode::keypad_last)
    return {keypad_characters[code - keycode::keypad_first], true};
  if (code >= keycode::keypad_nav_first && code <= keycode::keypad_nav_last)
    return {keypad_nav_extended[code - keycode::keypad_nav_first], true};
  return {code, false};
}

// Codes outside the character and extended ranges that are not keypad keys: Shift, Ctrl, Alt, the
// lock keys and the rest of the code space. They change the status bytes but never the ring.
bool is_modifier_or_lock_code(int32_t code) {
  if (code >= 0 && code <= 65535) return false;
  if (code == keycode::zero_character) return false;
  if (code >= keycode::keypad_first && code <= keycode::keypad_last) return false;
  if (code >= keycode::keypad_nav_first && code <= keycode::keypad_nav_last) return false;
  return true;
}

// The result column for the modifiers held now: Alt before Ctrl before Shift before none.
int32_t modified_result_locked(const lookup_row& row) {
  if (alt_held()) return row[col_alt];
  if (ctrl_held()) return row[col_ctrl];
  if (shift_held()) return row[col_shift];
  return row[col_none];
}

// Pause is on while bit 0 of suspend_program is set; the next other key press only ends it.
bool handle_pause_locked(int32_t code) {
  if (code == keycode::pause || (code == keycode::num_lock && ctrl_held())) {
    suspend_program.fetch_or(1, std::memory_order_release);
    raise_event();
    return true;
  }
  if (suspend_program.load(std::memory_order_acquire) & 1) {
    suspend_program.fetch_and(static_cast<uint8_t>(~1u), std::memory_order_release);
    return true;
  }
  return false;
}

bool is_break(int32_t code) {
  return code == keycode::break_key ||
         ((code == keycode::scroll_lock || code == keycode::ctrl_break_alt) && ctrl_held());
}

// Steps 9 and 10 of a press: which slot, if any, a character or extended code buffers.
void buffer_key_locked(int32_t code, bool insert_repeat) {
  if (code >= 256) {
    const lookup_row& row = scancode_lookup[256 + code / 256];
    if (row[col_none] == 0) {
      ring_put_locked(0, static_cast<uint8_t>(code / 256));
      return;
    }
    scancodedown_locked(static_cast<uint8_t>(row[col_scan]));
    if (code == keycode::insert && !insert_repeat && !shift_held() && !ctrl_held() && !alt_held()) {
      held_toggle_locked(keycode::marker_insert_on);
      rebuild_status_bytes_locked();
    }
    const int32_t result = modified_result_locked(row);
    if (result == 0) return;
    if (result > 255)
      ring_put_locked(0, static_cast<uint8_t>(result >> 8));
    else
      ring_put_locked(static_cast<uint8_t>(result), static_cast<uint8_t>(row[col_scan]));
    return;
  }
  const lookup_row& row = scancode_lookup[code];
  uint8_t character = static_cast<uint8_t>(code);
  uint8_t scan = static_cast<uint8_t>(row[col_scan]);
  if (scan != 0) {
    scancodedown_locked(scan);
    const int32_t result = modified_result_locked(row);
    if (result == 0) return;
    if (result > 255) {
      character = 0;
      scan = static_cast<uint8_t>(result >> 8);
    } else {
      character = static_cast<uint8_t>(result);
    }
  }
  ring_put_locked(character, scan);
}

void keydown_locked(int32_t code) {
  if (code == 0) code = keycode::zero_character;
  const bool insert_repeat = code == keycode::insert && held_locked(keycode::insert);
  const bool scroll_repeat = code == keycode::scroll_lock && held_locked(keycode::scroll_lock);
  held_add_locked(code);

  if (is_break(code)) {
    request_break();
    return;
  }
  if (handle_pause_locked(code)) return;
  if (code == 13 && alt_held() && fullscreen_allowedmode >= 0) {
    cycle_presentation();
    return;
  }

  const keyhit_value hit = keyhit_value_of(code);
  // ON KEY traps and function-key macros would claim the key here; none can be armed in this
  // runtime, so every key goes on.
  keyhit_append_locked(hit.code, hit.keypad);

  if (is_modifier_or_lock_code(code)) {
    if (const uint8_t scan = modifier_scan_code(code)) scancodedown_locked(scan);
    if (code == keycode::scroll_lock && !scroll_repeat && !ctrl_held())
      held_toggle_locked(keycode::marker_scroll_lock_on);
    rebuild_status_bytes_locked();
    return;
  }
  const int32_t key = code == keycode::zero_character ? 0 : hit.code;
  buffer_key_locked(key, insert_repeat);
}

void keyup_locked(int32_t code) {
  if (code == 0) code = keycode::zero_character;
  held_remove_locked(code);
  const keyhit_value hit = keyhit_value_of(code);
  // A release whose press an ON KEY trap consumed would be swallowed here; no trap can be armed.
  keyhit_append_locked(-hit.code, hit.keypad);

  if (is_modifier_or_lock_code(code)) {
    if (const uint8_t scan = modifier_scan_code(code)) scancodeup_locked(scan);
    rebuild_status_bytes_locked();
    return;
  }
  const int32_t key = code == keycode::zero_character ? 0 : hit.code;
  if (key >= 256) {
    const lookup_row& row = scancode_lookup[256 + key / 256];
    if (row[col_none] == 0) return;
    scancodeup_locked(static_cast<uint8_t>(row[col_scan]));
    if (key == keycode::insert) rebuild_status_bytes_locked();
    return;
  }
  const lookup_row& row = scancode_lookup[key];
  if (row[col_none] != 0) scancodeup_locked(static_cast<uint8_t>(row[col_scan]));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points

void keyboard_init() {
  const lock_guard lock(kb.mutex);
  ring_reset_locked();
  kb.held.clear();
  kb.held.reserve(32);
  kb.keyhit_next = kb.keyhit_nextfree = 0;
  kb.port60h_events = 0;
  kb.port60h_event[0] = 129;
  rebuild_status_bytes_locked();
}

void keydown(int32_t code) {
  {
    const lock_guard lock(kb.mutex);
    keydown_locked(code);
  }
  sleep_break.store(1);
  // Whatever the key did (a key in the ring, the end of a pause), the program thread looks again.
  program_wakeup.notify();
}

void keyup(int32_t code) {
  const lock_guard lock(kb.mutex);
  keyup_locked(code);
}

void keydown_ascii(int32_t code) { keydown(code); }
void keydown_vk(int32_t code) { keydown(code); }
void keyup_ascii(int32_t code) { keyup(code); }
void keyup_vk(int32_t code) { keyup(code); }

void host_character_key(int32_t character, bool down, int32_t modifiers, int32_t plain) {
  keyboard_release_held_modifiers(modifiers);
  if (modifiers & key_modifier_ctrl) {
    // The table's Ctrl column decides what a Ctrl key gives, so it must see the key itself.
    if (plain >= 0)
      character = plain;
    else if (character == 10)
      character = 13;
    else if (character >= 1 && character <= 26)
      character += (modifiers & key_modifier_shift) ? 64 : 96;
  }
  if (character == 127) character = 0x5300;  // Delete
  if (down)
    keydown(character);
  else
    keyup(character);
}

void host_key(int32_t code, bool down, int32_t modifiers) {
  keyboard_release_held_modifiers(modifiers);
  if (down)
    keydown(code);
  else
    keyup(code);
}

void keyboard_release_held_modifiers(int32_t still_down) {
  int32_t held_modifiers[held_modifier_last - held_modifier_first + 1];
  int32_t count = 0;
  {
    const lock_guard lock(kb.mutex);
    for (int32_t code = held_modifier_first; code <= held_modifier_last; ++code)
      if (held_locked(code) && !(modifier_bit(code) & still_down)) held_modifiers[count++] = code;
  }
  for (int32_t i = 0; i < count; ++i) keyup(held_modifiers[i]);
}

int32_t keyheld(int32_t code) {
  const lock_guard lock(kb.mutex);
  return keyheld_locked(code) ? 1 : 0;
}

void keyheld_add(int32_t code) {
  const lock_guard lock(kb.mutex);
  held_add_locked(code);
}

void keyheld_remove(int32_t code) {
  const lock_guard lock(kb.mutex);
  held_remove_locked(code);
}

void update_shift_state() {
  const lock_guard lock(kb.mutex);
  rebuild_status_bytes_locked();
}

bool keyboard_ring_pop(uint8_t* character, uint8_t* scan) {
  const uint8_t head = ring_head().load(std::memory_order_relaxed);
  if (head == ring_tail().load(std::memory_order_acquire)) return false;
  *character = cmem[ring_base + head];
  *scan = cmem[ring_base + head + 1];
  ring_head().store(ring_advance(head), std::memory_order_release);
  return true;
}

zqs* zqs_inkey() {
  uint8_t character = 0, scan = 0;
  if (error_pending() || !keyboard_ring_pop(&character, &scan)) return zqs_new(0, 1);
  if (character == 0 && scan != 0) {
    zqs* s = zqs_new(2, 1);
    s->data[0] = 0;
    s->data[1] = scan;
    return s;
  }
  zqs* s = zqs_new(1, 1);
  s->data[0] = character;
  return s;
}

bool keyboard_ring_empty() {
  return ring_head().load(std::memory_order_acquire) == ring_tail().load(std::memory_order_acquire);
}

void sub__keyclear(int32_t buffer, int32_t passed) {
  if (error_pending()) return;
  const bool all = !(passed & keyclear_buffer);
  if (!all && (buffer < 1 || buffer > 3)) {
    error(illegal_function_call);
    return;
  }
  const lock_guard lock(kb.mutex);
  if (all || buffer == 1) ring_reset_locked();
  if (all || buffer == 2) kb.keyhit_next = kb.keyhit_nextfree;
  if (all || buffer == 3) kb.port60h_events = 0;
}

int32_t func__keyhit() {
  const lock_guard lock(kb.mutex);
  if (kb.keyhit_next == kb.keyhit_nextfree) return 0;
  const uint64_t entry = kb.keyhit[kb.keyhit_next];
  kb.keyhit_next = (kb.keyhit_next + 1) % keyhit_capacity;
  return static_cast<int32_t>(static_cast<uint32_t>(entry));
}

int32_t func__keydown(int32_t code) {
  if (code < 1) {
    error(illegal_function_call);
    return 0;
  }
  return keyheld(code) ? -1 : 0;
}

void scancodedown(uint8_t s) {
  const lock_guard lock(kb.mutex);
  scancodedown_locked(s);
}

void scancodeup(uint8_t s) {
  const lock_guard lock(kb.mutex);
  scancodeup_locked(s);
}

int32_t keyboard_port60h_read() {
  const lock_guard lock(kb.mutex);
  const int32_t value = kb.port60h_event[0];
  if (kb.port60h_events > 0) {
    std::memmove(kb.port60h_event, kb.port60h_event + 1,
                 static_cast<size_t>(kb.port60h_events - 1));
    --kb.port60h_events;
  }
  return value;
}
