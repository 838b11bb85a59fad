// The program: start-up, the display-class menu and the endless run of puzzles.
//
// Start-up fills the square codes, seeds the random numbers from the clock twice and shows the
// menu in 40-column screen mode 1. Keys 1, 2 and 3 choose display class 1, 3 or 5; Esc ends the
// program; every other key is ignored. Then each pass of the puzzle loop clears the screen, draws
// the board and plays one puzzle, which returns only once solved.
#include <array>
#include <string_view>

#include "app/key_wait.h"
#include "app/printing.h"
#include "app/procedures.h"
#include "app/program.h"
#include "app/puzzle_code.h"
#include "app/state.h"
#include "app/statement.h"
#include "app/touch.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/window_ops.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"

namespace {

// Menu lines are written with stand-ins for the code page 437 box characters and converted at
// compile time: { } ( ) corners, = and | double lines, > < tees to the right and left, ~ and ^
// tees down and up, + the cross.
constexpr size_t menu_line_length = 31;
using menu_line = std::array<char, menu_line_length>;

constexpr char box_character(char c) {
  // clang-format off
  switch (c) {
    case '{': return '\xC9';
    case '}': return '\xBB';
    case '(': return '\xC8';
    case ')': return '\xBC';
    case '=': return '\xCD';
    case '|': return '\xBA';
    case '>': return '\xCC';
    case '<': return '\xB9';
    case '~': return '\xCB';
    case '^': return '\xCA';
    case '+': return '\xCE';
    default: return c;
  }
  // clang-format on
}

constexpr menu_line to_menu_line(std::string_view pattern) {
  menu_line line{};
  for (size_t i = 0; i < menu_line_length; ++i) line[i] = box_character(pattern[i]);
  return line;
}

// Text rows 2 to 23, from column 6.
constexpr std::array<menu_line, 22> menu_lines = {
    to_menu_line("{=============================}"),
    to_menu_line("|       Vostrandelimerix      |"),
    to_menu_line("(=============================)"),
    to_menu_line("{=============================}"),
    to_menu_line("|   Select graphics adapter   |"),
    to_menu_line(">=====~=======================<"),
    to_menu_line("|     |   CGA, Amstrad, PGC   |"),
    to_menu_line("|     |                       |"),
    to_menu_line("|  1  | Plantronics Colorplus |"),
    to_menu_line("|     |                       |"),
    to_menu_line("|     |       TGA, PCjr       |"),
    to_menu_line(">=====+=======================<"),
    to_menu_line("|     |     EGA, MCGA, VGA    |"),
    to_menu_line("|  2  |                       |"),
    to_menu_line("|     |       AX, 8514        |"),
    to_menu_line(">=====+=======================<"),
    to_menu_line("|     |  DCGA, Olivetti, GDC  |"),
    to_menu_line("|  3  |                       |"),
    to_menu_line("|     |     OGA, HGC, HICC    |"),
    to_menu_line(">=====+=======================<"),
    to_menu_line("| Esc |         Exit          |"),
    to_menu_line("(=====^=======================)"),
};

// RANDOMIZE TIMER (or the seed the player gave)
void seed_from_clock() { seed_at_start_up(); }

// The menu's KEYIN = INKEY$ and its comparisons.
class menu_keys {
 public:
  explicit menu_keys(uint32_t temporary_base)
      : temporary_base_(temporary_base), KEYIN(zqs_new(0, 0)) {}
  void read(uint32_t line) {
    zqs_set(KEYIN, zqs_inkey());
    check_statement(line);
  }
  bool any() { return zqs_len(KEYIN) != 0; }
  bool is(int32_t code) {
    return zqs_cleanup(temporary_base_, zqs_equal(KEYIN, func_chr(code))) != 0;
  }

 private:
  uint32_t temporary_base_;
  zqs* KEYIN;
};

}  // namespace

void ZQMAIN() {
  fpu_reinit();
  install_division_by_zero_handler();
  program_state_create();
  // Taps on the picture type what the game's prompts take (none in the menu).
  register_tap_translator();
  const uint32_t temporary_base = zqs_tmp_list_nexti;
  menu_keys keys(temporary_base);

  sub__icon(0, 0, 0);
  check_statement(1);
  sub__icon(0, 0, 0);
  check_statement(2);
  sub__title(zqs_new_txt_len("Vostrandelimerix", 16));
  zqs_cleanup(temporary_base, 0);
  check_statement(3);
  sub__fullscreen(0, 0);
  check_statement(4);

  INDEX = 100;
  check_statement(43);
  counted_loop(ROW, 1, 8, 1, 44, [] {
    counted_loop(COL, 1, 8, 1, 44, [] {
      CHEBO.set(ROW, COL, INDEX + 1);
      check_statement(45);
      INDEX = static_cast<int16_t>(INDEX + 1);
      check_statement(46);
      return loop_step::next;
    });
    return loop_step::next;
  });
  seed_from_clock();
  check_statement(50);
  sub_cls(0, 0, 0);
  check_statement(51);
  counted_loop(ROW, 1, 8, 1, 52, [] {
    counted_loop(COL, 1, 8, 1, 52, [] {
      CHESSCOUNT.set(ROW, COL, 0);
      check_statement(53);
      return loop_step::next;
    });
    return loop_step::next;
  });
  seed_from_clock();
  check_statement(55);

  Z = 6;
  check_statement(56);
  zqg_screen(1, 0, 0, 0, 0, screen_mode_given);
  check_statement(57);
  zqsub_width(0, 40, 25, 0, 0, width_columns | width_rows);
  check_statement(58);
  sub_cls(0, 0, 0);
  check_statement(59);
  for (size_t i = 0; i < menu_lines.size(); ++i) {
    const uint32_t line = 60 + static_cast<uint32_t>(i);
    zqg_sub_locate(2 + static_cast<int32_t>(i), Z, 0, 0, 0, locate_row | locate_column);
    check_statement(line);
    print_line(temporary_base, std::string_view(menu_lines[i].data(), menu_line_length));
    check_statement(line);
  }

  // The menu keys; the loop pauses while no key waits.
  for (;;) {
    check_statement(83);
    keys.read(84);
    if (branch(keys.is('1'), 85)) {
      VID = 1;
      check_statement(86);
      break;
    }
    if (branch(keys.is('2'), 88)) {
      VID = 3;
      check_statement(89);
      break;
    }
    if (branch(keys.is('3'), 91)) {
      VID = 5;
      check_statement(92);
      break;
    }
    if (branch(keys.is(keycode::escape), 94)) program_end();
    pause_while_no_key(keys.any());
  }

  for (;;) {
    check_statement(100);
    sub_cls(0, 0, 0);
    check_statement(102);
    SUB_CHESSBOARD();
    check_statement(103);
    SUB_CHESS();
    check_statement(104);
  }
}
