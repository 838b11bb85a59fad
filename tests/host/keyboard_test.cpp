#include "runtime/host/keyboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/web/web_keys.h"
#include "runtime/host/window/glut_keys.h"
#include "runtime/runtime.h"
#include "tests/support/runtime_fixture.h"

namespace {

constexpr int32_t kLeftShift = 100304, kRightShift = 100303;
constexpr int32_t kLeftCtrl = 100306, kRightCtrl = 100305;
constexpr int32_t kLeftAlt = 100308, kRightAlt = 100307;
constexpr int32_t kScrollLock = 100302, kPause = 100019, kBreak = 100318;
constexpr int32_t kInsert = 0x5200, kUp = 0x4800, kF1 = 0x3B00;

// Everything zqs_inkey returns until the ring is empty, one string per key.
std::vector<std::string> drain_ring() {
  std::vector<std::string> keys;
  const uint32_t base = zqs_tmp_list_nexti;
  for (;;) {
    zqs* s = zqs_inkey();
    if (s->length == 0) break;
    keys.emplace_back(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length));
  }
  zqs_cleanup(base, 0);
  return keys;
}

// The one key a press leaves in the ring ("" when it left none); fails if it left more.
std::string ring_after(const std::vector<int32_t>& held, int32_t code) {
  for (int32_t m : held) keydown(m);
  keydown(code);
  keyup(code);
  for (int32_t m : held) keyup(m);
  const std::vector<std::string> keys = drain_ring();
  EXPECT_LE(keys.size(), 1u);
  return keys.empty() ? std::string() : keys.front();
}

std::string ext(uint8_t scan) { return std::string(1, '\0') + char(scan); }
std::string chr(uint8_t c) { return std::string(1, char(c)); }

std::vector<int32_t> drain_keyhit() {
  std::vector<int32_t> codes;
  while (int32_t c = func__keyhit()) codes.push_back(c);
  return codes;
}

std::vector<int32_t> drain_port() {
  std::vector<int32_t> values;
  for (int i = 0; i < 300; ++i) {
    const int32_t before = values.empty() ? -1 : values.back();
    const int32_t v = keyboard_port60h_read();
    // An empty queue keeps returning the value left in its first position.
    if (!values.empty() && v == before && keyboard_port60h_read() == v) break;
    values.push_back(v);
  }
  return values;
}

uint8_t status(uint32_t address) { return cmem[address]; }

class Keyboard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_headless_runtime(); }
  void SetUp() override {
    clear_pending_error();
    suspend_program = 0;
    close_program = 0;
    exit_value = 0;
    exit_blocked = 0;
    full_screen = 0;
    full_screen_set = -1;
    fullscreen_smooth = 0;
    fullscreen_allowedmode = 0;
    fullscreen_allowedsmooth = 0;
    force_display_update = 0;
    keyboard_init();
  }
  void TearDown() override {
    new_error = 0;
    zqevent = 0;
    suspend_program = 0;
    close_program = 0;
  }
};

TEST_F(Keyboard, CharactersAndExtendedKeysReachTheProgram) {
  EXPECT_EQ(ring_after({}, '1'), "1");
  EXPECT_EQ(ring_after({}, 'a'), "a");
  EXPECT_EQ(ring_after({kLeftShift}, 'A'), "A");
  EXPECT_EQ(ring_after({kRightShift}, 'a'), "a");  // Caps Lock on: the window reports "a"
  EXPECT_EQ(ring_after({}, 27), chr(27));
  EXPECT_EQ(ring_after({}, kUp), ext(0x48));
  EXPECT_EQ(ring_after({}, kF1), ext(0x3B));
  EXPECT_EQ(ring_after({kLeftCtrl}, kF1), ext(0x5E));
  EXPECT_EQ(ring_after({kLeftShift}, 0x4400), ext(0x5D));  // Shift+F10
  EXPECT_EQ(ring_after({kRightAlt}, 0x4400), ext(0x71));   // Alt+F10
  EXPECT_EQ(ring_after({kLeftCtrl}, 0x8500), ext(0x89));   // Ctrl+F11
  EXPECT_EQ(ring_after({kLeftAlt}, 0x8600), ext(0x8C));    // Alt+F12
  EXPECT_EQ(ring_after({kRightCtrl}, kUp), ext(0x8D));
  EXPECT_EQ(ring_after({kLeftAlt}, 0x5300), ext(0xA3));  // Alt+Delete
}

TEST_F(Keyboard, ModifiersChooseTheResultColumn) {
  EXPECT_EQ(ring_after({kLeftCtrl}, 'a'), chr(1));
  EXPECT_EQ(ring_after({kLeftCtrl}, 'Z'), chr(26));
  EXPECT_EQ(ring_after({kLeftAlt}, 'a'), ext(0x1E));
  EXPECT_EQ(ring_after({kLeftAlt}, 27), "");
  EXPECT_EQ(ring_after({kLeftCtrl}, '1'), "");
  EXPECT_EQ(ring_after({kRightAlt}, '1'), ext(0x78));
  EXPECT_EQ(ring_after({kRightAlt}, ')'), ext(0x81));
  EXPECT_EQ(ring_after({kLeftAlt}, '='), ext(0x83));
  EXPECT_EQ(ring_after({kLeftAlt}, '['), ext(0x1A));
  EXPECT_EQ(ring_after({kLeftCtrl}, '2'), ext(0x03));
  EXPECT_EQ(ring_after({kLeftCtrl}, '^'), chr(30));
  EXPECT_EQ(ring_after({kLeftCtrl}, '\\'), chr(28));
  EXPECT_EQ(ring_after({kLeftCtrl}, 8), chr(127));
  EXPECT_EQ(ring_after({kLeftCtrl}, 13), chr(10));
  EXPECT_EQ(ring_after({kLeftShift}, 9), ext(0x0F));
  EXPECT_EQ(ring_after({kLeftCtrl}, 9), ext(0x94));
  EXPECT_EQ(ring_after({kLeftAlt}, 9), "");
  // Alt wins over Ctrl, which wins over Shift.
  EXPECT_EQ(ring_after({kLeftShift, kLeftCtrl, kLeftAlt}, 'a'), ext(0x1E));
  EXPECT_EQ(ring_after({kLeftShift, kLeftCtrl}, 'a'), chr(1));
}

TEST_F(Keyboard, UntranslatedCodesAreBufferedAsTheyCome) {
  EXPECT_EQ(ring_after({}, 200), chr(200));  // no code-page conversion
  EXPECT_EQ(ring_after({kLeftAlt}, 200), chr(200));
  EXPECT_EQ(ring_after({}, 0), chr(0));          // both bytes zero: one zero byte
  EXPECT_EQ(ring_after({}, 0x4C00), ext(0x4C));  // extended key without a table row
  EXPECT_EQ(ring_after({}, kLeftShift), "");     // modifiers never reach the ring
  EXPECT_EQ(ring_after({}, 100257), "1");        // keypad 1
  EXPECT_EQ(ring_after({}, 200008), ext(0x48));  // keypad Up
}

TEST(KeyTable, RowsOutsideTheListedKeysGiveNoKey) {
  int listed_characters = 0;
  for (int row = 0; row < scancode_lookup_rows; ++row) {
    const auto& r = scancode_lookup[row];
    for (int col = 6; col < 10; ++col) EXPECT_EQ(r[col], 0) << "row " << row;
    if (row < 256 && r[1] != 0) ++listed_characters;
    // A row without a scan code never translates.
    if (r[1] == 0) {
      for (int col = 2; col < 6; ++col) EXPECT_EQ(r[col], 0) << "row " << row;
    }
  }
  // Letters, digits and punctuation (space to tilde), Backspace, Tab, Enter and Esc.
  EXPECT_EQ(listed_characters, 95 + 4);
  EXPECT_EQ(scancode_lookup['a'][0], 'a');
  EXPECT_EQ(scancode_lookup[256 + 0x48][0], 0x4800);
}

TEST_F(Keyboard, HostKeysAreTranslated) {
  auto ascii = [](int32_t key, int32_t modifiers, int32_t plain = -1) {
    host_character_key(key, true, modifiers, plain);
    host_character_key(key, false, modifiers, plain);
  };
  constexpr int32_t ctrl = key_modifier_ctrl, shift = key_modifier_shift;
  ascii('3', 0);
  ascii(127, 0);  // Delete arrives as character 127
  keydown(kLeftCtrl);
  ascii(1, ctrl);          // Ctrl+A arrives as 1
  ascii(1, ctrl | shift);  // Ctrl+Shift+A
  ascii(10, ctrl);         // Ctrl+Enter arrives as 10
  // X's control translation is undone through the key's own character, and the table decides.
  ascii(27, ctrl, '3');   // Ctrl+3 arrives as the escape character: nothing
  ascii(0, ctrl, '2');    // Ctrl+2 arrives as 0
  ascii(127, ctrl, '8');  // Ctrl+8 arrives as 127, which is not Delete here
  ascii(8, ctrl, 8);      // Ctrl+Backspace
  ascii(27, ctrl, '[');
  ascii(30, ctrl | shift, '^');
  keyup(kLeftCtrl);
  EXPECT_EQ(drain_ring(), (std::vector<std::string>{"3", ext(0x53), chr(1), chr(1), chr(10),
                                                    ext(0x03), chr(127), chr(27), chr(30)}));
  drain_keyhit();
  keydown(kLeftCtrl);
  ascii(1, ctrl | shift);
  keyup(kLeftCtrl);
  EXPECT_EQ(drain_keyhit(), (std::vector<int32_t>{kLeftCtrl, 'A', -'A', -kLeftCtrl}));

  const std::vector<std::pair<int32_t, int32_t>> special = {
      {1, 0x3B00},      {10, 0x4400},      {11, 0x8500},    {12, 0x8600},      {100, 0x4B00},
      {101, 0x4800},    {102, 0x4D00},     {103, 0x5000},   {104, 0x4900},     {105, 0x5100},
      {106, 0x4700},    {107, 0x4F00},     {108, 0x5200},   {112, kLeftShift}, {113, kRightShift},
      {114, kLeftCtrl}, {115, kRightCtrl}, {116, kLeftAlt}, {117, kRightAlt}};
  for (const auto& [key, code] : special) {
    // A modifier key's release carries its own modifier.
    const int32_t own = key >= 116 ? key_modifier_alt : key >= 114 ? ctrl : key >= 112 ? shift : 0;
    ASSERT_EQ(glut_special_key_code(key), code) << "freeglut key " << key;
    host_key(code, true, 0);
    EXPECT_EQ(func__keyhit(), code) << "freeglut key " << key;
    EXPECT_EQ(func__keydown(code), -1) << "freeglut key " << key;
    host_key(code, false, own);
    EXPECT_EQ(func__keyhit(), -code) << "freeglut key " << key;
  }
  for (int ignored : {0, 13, 99, 109, 111, 118}) EXPECT_EQ(glut_special_key_code(ignored), 0);
}

// A browser's KeyboardEvent: characters by the layout's `key`, the keypad by its location, and
// the page keeps from the browser only what the game takes (never Ctrl/Alt shortcuts, F-keys).
TEST(WebKeys, KeyboardEventsBecomeTheDesktopsKeys) {
  using Kind = WebKey::Kind;
  const int32_t alt = key_modifier_alt, ctrl = key_modifier_ctrl;
  struct Row {
    const char *key, *code;
    int32_t location, modifiers;
    Kind kind;
    int32_t value;
    bool prevent;
  };
  const Row rows[] = {
      {"a", "KeyA", 0, 0, Kind::character, 'a', true},
      {"A", "KeyA", 0, key_modifier_shift, Kind::character, 'A', true},
      {"\xC3\xA9", "Digit2", 0, 0, Kind::character, 0x82, true},  // AZERTY's é
      {"@", "Digit0", 0, 0, Kind::character, '@', true},          // AltGr, taken out by the page
      {"t", "KeyT", 0, ctrl, Kind::character, 't', false},        // Ctrl+T stays the browser's
      {"3", "Digit3", 0, ctrl, Kind::character, '3', false},      // the key table decides
      {"Enter", "Enter", 0, 0, Kind::character, 13, true},
      {"Enter", "Enter", 0, alt, Kind::character, 13, true},  // Alt+Enter: the presentation
      {"Escape", "Escape", 0, 0, Kind::character, 27, true},
      {"Delete", "Delete", 0, 0, Kind::character, 127, true},
      {"Enter", "NumpadEnter", 3, 0, Kind::key, keycode::keypad_enter, true},
      {"1", "Numpad1", 3, 0, Kind::key, keycode::keypad_first + 1, true},
      {"End", "Numpad1", 3, 0, Kind::key, keycode::keypad_nav_first + 1, true},
      {"*", "NumpadMultiply", 3, 0, Kind::key, keycode::keypad_star, true},
      {"ArrowUp", "ArrowUp", 0, 0, Kind::key, 0x4800, true},
      {"PageDown", "PageDown", 0, 0, Kind::key, 0x5100, true},
      {"F1", "F1", 0, 0, Kind::key, 0x3B00, false},
      {"F10", "F10", 0, 0, Kind::key, 0x4400, false},
      {"F12", "F12", 0, 0, Kind::key, 0x8600, false},
      {"Control", "ControlRight", 2, ctrl, Kind::key, keycode::right_ctrl, false},
      {"Shift", "ShiftLeft", 1, key_modifier_shift, Kind::key, keycode::left_shift, false},
      {"\xE2\x82\xAC", "KeyE", 0, 0, Kind::none, 0, false},  // the code page has no euro sign
      {"Dead", "BracketLeft", 0, 0, Kind::none, 0, false},
      {"F13", "F13", 0, 0, Kind::none, 0, false},
  };
  for (const Row& row : rows) {
    const WebKey k = web_key(row.key, row.code, row.location, row.modifiers);
    EXPECT_EQ(k.kind, row.kind) << row.code << " " << row.key;
    if (row.kind != Kind::none) {
      EXPECT_EQ(k.value, row.value) << row.code << " " << row.key;
    }
    EXPECT_EQ(k.prevent_default, row.prevent) << row.code << " " << row.key;
  }
  EXPECT_EQ(code_page_437_of(U'\u2591'), 0xB0);  // light shade
  EXPECT_EQ(code_page_437_of(U'\u00A0'), 0xFF);  // the last one
}

// A modifier let go while another window had the keyboard stays held until a key event says
// otherwise: the next key, whatever it is, releases it first.
TEST_F(Keyboard, KeysReleaseModifiersTheirEventDoesNotCarry) {
  keydown(kLeftAlt);
  keydown(kRightCtrl);
  keydown(kLeftShift);
  drain_keyhit();
  host_character_key(27, true, key_modifier_shift);  // Esc, with only Shift still down
  EXPECT_EQ(drain_ring(), std::vector<std::string>{chr(27)});
  EXPECT_EQ(drain_keyhit(), (std::vector<int32_t>{-kRightCtrl, -kLeftAlt, 27}));
  EXPECT_EQ(keyheld(kLeftShift), 1);
  // A modifier's own press releases its stale twin; Alt+Enter then works again.
  keydown(kRightAlt);
  host_key(kLeftAlt, true, 0);
  EXPECT_EQ(keyheld(kRightAlt), 0);
  host_character_key(13, true, key_modifier_alt);
  EXPECT_EQ(full_screen_set.load(), 1);
  EXPECT_TRUE(drain_ring().empty());
}

// A tap types the keys the program's translator names for its pixel, each pressed and let go in
// order, as plain keys (a modifier still held is let go first); without a translator, or where it
// names none, a tap types nothing.
TEST_F(Keyboard, TapsTypeTheKeysTheTranslatorNames) {
  set_tap_translator(nullptr);
  host_tap(10, 20);
  EXPECT_TRUE(drain_ring().empty());
  set_tap_translator([](int32_t x, int32_t y, int32_t* keys, int32_t capacity) -> int32_t {
    if (x != 10 || y != 20 || capacity < 2) return 0;
    keys[0] = 'C';
    keys[1] = '4';
    return 2;
  });
  host_tap(11, 20);
  EXPECT_TRUE(drain_ring().empty());
  keydown(kLeftShift);
  drain_keyhit();
  host_tap(10, 20);
  EXPECT_EQ(drain_ring(), (std::vector<std::string>{"C", "4"}));
  EXPECT_EQ(drain_keyhit(), (std::vector<int32_t>{-kLeftShift, 'C', -'C', '4', -'4'}));
  set_tap_translator(nullptr);
}

TEST_F(Keyboard, RingKeepsFifteenKeysInPressOrder) {
  EXPECT_EQ(cmem[0x41A], 0x1E);
  EXPECT_EQ(cmem[0x41C], 0x1E);
  EXPECT_TRUE(keyboard_ring_empty());
  const std::string letters = "abcdefghijklmnop";
  for (char c : letters) keydown(c);
  EXPECT_FALSE(keyboard_ring_empty());
  std::vector<std::string> expected;
  for (char c : letters.substr(0, 15)) expected.push_back(std::string(1, c));
  EXPECT_EQ(drain_ring(), expected);
  EXPECT_TRUE(keyboard_ring_empty());
  EXPECT_EQ(cmem[0x41B], 0);
  EXPECT_EQ(cmem[0x41D], 0);
}

TEST_F(Keyboard, RingWrapsAround) {
  // 40 keys in rounds of 7 take the offsets around the ring several times.
  std::string read;
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 7; ++i) keydown('a' + (round * 7 + i) % 26);
    for (const std::string& k : drain_ring()) read += k;
    EXPECT_GE(cmem[0x41A], 0x1E);
    EXPECT_LE(cmem[0x41A], 0x3C);
    EXPECT_EQ(cmem[0x41A], cmem[0x41C]);
  }
  std::string expected;
  for (int i = 0; i < 42; ++i) expected += char('a' + i % 26);
  EXPECT_EQ(read, expected);
}

TEST_F(Keyboard, InkeyWhileAnErrorIsPendingLeavesTheRing) {
  keydown('x');
  new_error = 5;
  EXPECT_EQ(zqs_inkey()->length, 0);
  new_error = 0;
  EXPECT_EQ(drain_ring(), std::vector<std::string>{"x"});
}

TEST_F(Keyboard, PortQueueCollapsesRepeatsAndKeepsItsLastValue) {
  EXPECT_EQ(keyboard_port60h_read(), 129);
  keydown('a');
  keydown('a');  // auto-repeat: two ring entries, one scan code
  keyup('a');
  EXPECT_EQ(drain_ring().size(), 2u);
  EXPECT_EQ(keyboard_port60h_read(), 0x1E);
  EXPECT_EQ(keyboard_port60h_read(), 0x9E);
  EXPECT_EQ(keyboard_port60h_read(), 0x9E);  // empty: the value left in front
  keydown(kLeftShift);
  keydown(kRightCtrl);
  keydown(kUp);
  keyup(kUp);
  keyup(kRightCtrl);
  keyup(kLeftShift);
  keydown(200);  // no scan code: nothing queued
  EXPECT_EQ(drain_port(), (std::vector<int32_t>{42, 29, 0x48, 0xC8, 29 + 128, 42 + 128}));
}

TEST_F(Keyboard, FullPortQueueDropsTheOldest) {
  for (int i = 0; i < 300; ++i) scancodedown(static_cast<uint8_t>(i % 100));
  EXPECT_EQ(keyboard_port60h_read(), 44);  // 300 - 256 values dropped
  scancodeup(5);
  for (int i = 0; i < 255; ++i) keyboard_port60h_read();
  EXPECT_EQ(keyboard_port60h_read(), 5 + 128);
}

TEST_F(Keyboard, KeyHitReportsPressesAndReleases) {
  keydown('a');
  keyup('a');
  keydown(100257);  // keypad 1
  keyup(200008);    // keypad Up
  EXPECT_EQ(drain_keyhit(), (std::vector<int32_t>{97, -97, '1', -0x4800}));
  EXPECT_EQ(func__keyhit(), 0);
  for (int i = 1; i <= 8200; ++i) keyup(i % 250 + 1);
  // 8191 entries fit; the oldest were dropped.
  const std::vector<int32_t> codes = drain_keyhit();
  ASSERT_EQ(codes.size(), 8191u);
  EXPECT_EQ(codes.front(), -(10 % 250 + 1));
  EXPECT_EQ(codes.back(), -(8200 % 250 + 1));
}

TEST_F(Keyboard, HeldKeysCountTheirKeypadEquivalents) {
  EXPECT_EQ(func__keydown('5'), 0);
  keydown(100261);  // keypad 5
  EXPECT_EQ(func__keydown('5'), -1);
  EXPECT_EQ(func__keydown(100261), -1);
  keyup(100261);
  EXPECT_EQ(func__keydown('5'), 0);
  const std::vector<std::pair<int32_t, int32_t>> pairs = {
      {'.', 100266},    {'/', 100267},    {'*', 100268},    {'-', 100269},
      {'+', 100270},    {13, 100271},     {0x5200, 200000}, {0x4F00, 200001},
      {0x4C00, 200005}, {0x4800, 200008}, {0x5300, 200010}};
  for (const auto& [code, keypad] : pairs) {
    keyheld_add(keypad);
    EXPECT_EQ(keyheld(code), 1) << code;
    keyheld_remove(keypad);
    EXPECT_EQ(keyheld(code), 0) << code;
  }
  EXPECT_EQ(func__keydown(0), 0);
  EXPECT_EQ(new_error.load(), 5u);
}

TEST_F(Keyboard, StatusBytesFollowTheHeldKeys) {
  EXPECT_EQ(status(0x417), 0);
  EXPECT_EQ(status(0x418), 0);
  EXPECT_EQ(status(0x496), 0x10);
  keydown(kRightShift);
  keydown(kLeftCtrl);
  keydown(kRightAlt);
  EXPECT_EQ(status(0x417), 0x01 | 0x04 | 0x08);
  EXPECT_EQ(status(0x418), 0x01);
  EXPECT_EQ(status(0x496), 0x10 | 0x02);
  keyup(kLeftCtrl);
  keyup(kRightAlt);
  keydown(kRightCtrl);
  keydown(kLeftAlt);
  EXPECT_EQ(status(0x418), 0x02);
  EXPECT_EQ(status(0x496), 0x10 | 0x01);
  keyboard_release_held_modifiers();
  EXPECT_EQ(status(0x417), 0);

  // Insert toggles insert mode once per press, not on auto-repeat, and never with a modifier.
  keydown(kInsert);
  keydown(kInsert);
  EXPECT_EQ(status(0x417), 0x80);
  EXPECT_EQ(status(0x418), 0x80);
  keyup(kInsert);
  EXPECT_EQ(status(0x418), 0);
  keydown(kLeftShift);
  keydown(kInsert);
  keyup(kInsert);
  keyup(kLeftShift);
  EXPECT_EQ(status(0x417), 0x80);
  keydown(kInsert);
  keyup(kInsert);
  EXPECT_EQ(status(0x417), 0);
  // Scroll Lock toggles scroll lock on the same way.
  keydown(kScrollLock);
  EXPECT_EQ(status(0x417), 0x10);
  EXPECT_EQ(status(0x418), 0x10);
  keyup(kScrollLock);
  keydown(kScrollLock);
  keyup(kScrollLock);
  EXPECT_EQ(status(0x417), 0);
}

TEST_F(Keyboard, ReleasingHeldModifiersReleasesOnlyWhatIsHeld) {
  keydown(kLeftShift);
  keydown(kRightAlt);
  keydown('q');
  drain_keyhit();
  keyboard_release_held_modifiers();
  EXPECT_EQ(drain_keyhit(), (std::vector<int32_t>{-kLeftShift, -kRightAlt}));
  EXPECT_EQ(keyheld(kLeftShift), 0);
  EXPECT_EQ(keyheld(kRightAlt), 0);
  EXPECT_EQ(keyheld('q'), 1);
}

TEST_F(Keyboard, AltEnterCyclesThePresentationStates) {
  auto alt_enter = [] {
    keydown(kLeftAlt);
    keydown(13);
    keyup(13);
    keyup(kLeftAlt);
  };
  // The window thread applies each request before the next key.
  auto apply = [] {
    if (full_screen_set != -1) full_screen = full_screen_set.load();
    full_screen_set = -1;
  };
  const int32_t modes[5] = {1, 1, 2, 2, 0};
  const int32_t smooth[5] = {0, 1, 0, 1, 0};
  for (int i = 0; i < 5; ++i) {
    force_display_update = 0;
    alt_enter();
    apply();
    EXPECT_EQ(full_screen.load(), modes[i]) << "press " << i + 1;
    EXPECT_EQ(fullscreen_smooth.load(), smooth[i]) << "press " << i + 1;
    EXPECT_EQ(force_display_update.load(), 1);
  }
  EXPECT_TRUE(drain_ring().empty());  // the key is consumed

  // Presses faster than the window applies them still end where the states say: after five
  // presses from windowed the pending request is windowed again, not the square-pixel mode.
  for (int i = 0; i < 5; ++i) alt_enter();
  EXPECT_EQ(full_screen.load(), 0);
  EXPECT_EQ(full_screen_set.load(), 0);
  EXPECT_EQ(fullscreen_smooth.load(), 0);
}

TEST_F(Keyboard, AltEnterHonoursTheAllowedModes) {
  auto alt_enter_mode = [] {
    keydown(kRightAlt);
    keydown(13);
    keyup(13);
    keyup(kRightAlt);
    const int32_t mode = full_screen_set.load();
    if (mode != -1) full_screen = mode;
    full_screen_set = -1;
    return full_screen * 10 + fullscreen_smooth;
  };
  fullscreen_allowedmode = 2;
  EXPECT_EQ(alt_enter_mode(), 20);
  EXPECT_EQ(alt_enter_mode(), 21);
  EXPECT_EQ(alt_enter_mode(), 0);
  fullscreen_allowedmode = 0;
  fullscreen_allowedsmooth = 1;
  EXPECT_EQ(alt_enter_mode(), 11);
  EXPECT_EQ(alt_enter_mode(), 21);
  EXPECT_EQ(alt_enter_mode(), 0);
  fullscreen_allowedsmooth = -1;
  EXPECT_EQ(alt_enter_mode(), 10);
  EXPECT_EQ(alt_enter_mode(), 20);
  EXPECT_EQ(alt_enter_mode(), 0);
  // Switching forbidden: Alt+Enter is an ordinary key, and Alt+Enter gives no character.
  fullscreen_allowedmode = -1;
  drain_keyhit();
  EXPECT_EQ(alt_enter_mode(), 0);
  EXPECT_EQ(func__keyhit(), kRightAlt);
  EXPECT_EQ(func__keyhit(), 13);
}

TEST_F(Keyboard, PauseHoldsTheProgramUntilTheNextKey) {
  keydown(kPause);
  keyup(kPause);
  EXPECT_EQ(suspend_program.load() & 1, 1);
  EXPECT_EQ(zqevent.load(), 1);
  keydown('a');  // only ends the pause
  keyup('a');
  EXPECT_EQ(suspend_program.load() & 1, 0);
  keydown('b');
  EXPECT_EQ(drain_ring(), std::vector<std::string>{"b"});
  // Ctrl+Num Lock pauses too.
  keydown(kLeftCtrl);
  keydown(100300);
  EXPECT_EQ(suspend_program.load() & 1, 1);
}

TEST_F(Keyboard, BreakClosesOrReportsThroughExitValue) {
  keydown(kBreak);
  EXPECT_EQ(close_program.load(), 1);
  close_program = 0;
  keyup(kBreak);
  exit_blocked = 1;
  keydown(kRightCtrl);
  keydown(kScrollLock);  // Ctrl+Scroll Lock is Break
  EXPECT_EQ(close_program.load(), 0);
  EXPECT_EQ(exit_value.load(), 2);
  EXPECT_TRUE(drain_ring().empty());
}

TEST_F(Keyboard, KeyClearEmptiesTheChosenBuffers) {
  auto fill = [] {
    keydown('a');
    keyup('a');
  };
  fill();
  sub__keyclear(1, 1);
  EXPECT_TRUE(drain_ring().empty());
  EXPECT_EQ(cmem[0x41A], 0x1E);
  EXPECT_EQ(cmem[0x41C], 0x1E);
  EXPECT_EQ(func__keyhit(), 'a');
  sub__keyclear(2, 1);
  EXPECT_EQ(func__keyhit(), 0);
  sub__keyclear(3, 1);
  EXPECT_EQ(keyboard_port60h_read(), 0x1E);  // empty queue: the value left in front
  fill();
  sub__keyclear(4, 1);
  EXPECT_EQ(new_error.load(), 5u);
  new_error = 0;
  EXPECT_EQ(drain_ring().size(), 1u);
  EXPECT_EQ(func__keyhit(), 'a');
  fill();
  sub__keyclear(0, 0);
  EXPECT_TRUE(drain_ring().empty());
  EXPECT_EQ(func__keyhit(), 0);
}

TEST_F(Keyboard, EveryPressEndsASleep) {
  sleep_break = 0;
  keydown(kLeftShift);
  EXPECT_EQ(sleep_break.load(), 1);
  sleep_break = 0;
  keyup(kLeftShift);
  EXPECT_EQ(sleep_break.load(), 0);
  keydown(kLeftAlt);
  keydown(27);  // dropped, but still a key press
  EXPECT_EQ(sleep_break.load(), 1);
}

// The window thread presses keys while the program thread reads them: every key arrives, in
// order. The producer waits while the ring is full, as a typist slower than the program would.
TEST_F(Keyboard, ThreadedProducerAndConsumerSeeEveryKeyInOrder) {
  constexpr int kKeys = 3000;
  auto code_of = [](int i) { return i % 5 == 4 ? 0x3B00 + (i % 10) * 256 : 'a' + i % 26; };
  std::atomic<int> consumed{0};
  std::thread window([&] {
    for (int i = 0; i < kKeys; ++i) {
      while (i - consumed.load() >= 14) std::this_thread::yield();
      keydown(code_of(i));
      keyup(code_of(i));
      if (i % 100 == 0) keyboard_release_held_modifiers();
    }
  });
  int mismatches = 0;
  int hits = 0;
  for (int i = 0; i < kKeys;) {
    if (keyboard_ring_empty()) {
      func__keydown('a');
      if (func__keyhit() != 0) ++hits;
      keyboard_port60h_read();
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      continue;
    }
    const uint32_t base = zqs_tmp_list_nexti;
    zqs* s = zqs_inkey();
    const int code = code_of(i);
    const std::string expected = code < 256 ? chr(uint8_t(code)) : ext(uint8_t(code >> 8));
    if (std::string(reinterpret_cast<const char*>(s->data), size_t(s->length)) != expected)
      ++mismatches;
    zqs_cleanup(base, 0);
    consumed.store(++i);
  }
  window.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(keyboard_ring_empty());
  (void)hits;
}

}  // namespace
