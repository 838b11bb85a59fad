// One puzzle: hide the five pieces, count and show their attacks, let the player place them with
// a piece key, a file letter and a rank digit, and judge the placement.
//
// Hiding follows a spacing rule: the codes of two hidden squares (CHEBO, 100 + 8 (x - 1) + y) may
// not differ by any value of the exclusion table, which holds every difference the game treats
// as two squares on one line or a knight's jump apart. The king keeps its first square; a clash
// redraws everything from the queen on with fresh random numbers.
//
// At every prompt Enter shows the hidden placement and Esc ends the program. The key loops poll
// the keyboard ring and pause while it is empty (app/key_wait.h), so a waiting game costs next
// to nothing while every key is still seen in order. While a loop waits it publishes its step for
// taps on the picture (app/touch.h), which type the keys that step takes.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/drawing.h"
#include "app/printing.h"
#include "app/procedures.h"
#include "app/puzzle_code.h"
#include "app/state.h"
#include "app/statement.h"
#include "app/touch.h"
#include "runtime/core/extended.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"
#include "runtime/screen/text.h"

namespace {

// The exclusion differences, EXCL(1) to EXCL(31).
constexpr int16_t exclusion_differences[31] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                               14, 15, 16, 17, 18, 21, 24, 27, 28, 32, 35,
                                               36, 40, 42, 45, 48, 49, 54, 56, 63};

constexpr char congratulation[] = "   C o n g r a t u l a t i o n  ! ! !   ";
constexpr char inaccuracy[] = " I n a c c u r a c y   a d m i t t e d .";
static_assert(sizeof congratulation - 1 == 40 && sizeof inaccuracy - 1 == 40);

struct piece {
  int16_t* hidden_file;
  int16_t* hidden_row;
  void (*pictogram)();
};
// Indexed by piece number: 1 king, 2 queen, 3 bishop, 4 knight, 5 rook.
const piece pieces[6] = {{nullptr, nullptr, nullptr}, {&DC1X, &DC1Y, SUB_KING},
                         {&DC2X, &DC2Y, SUB_QUEEN},   {&DC3X, &DC3Y, SUB_BISHOP},
                         {&DC4X, &DC4Y, SUB_KNIGHT},  {&DC5X, &DC5Y, SUB_ROOK}};

void (*const digit_glyphs[9])() = {SUB_NUMBER0, SUB_NUMBER1, SUB_NUMBER2, SUB_NUMBER3, SUB_NUMBER4,
                                   SUB_NUMBER5, SUB_NUMBER6, SUB_NUMBER7, SUB_NUMBER8};
void (*const letter_glyphs[9])() = {nullptr,     SUB_NUMBERA, SUB_NUMBERB, SUB_NUMBERC, SUB_NUMBERD,
                                    SUB_NUMBERE, SUB_NUMBERF, SUB_NUMBERG, SUB_NUMBERH};

// INT(RND * 8 + 1): a board coordinate 1..8 from the next random number. The program's
// arithmetic runs in extended precision: at the generator's largest number, 1 - 2^-24, the sum
// is 8.9999995 and its integer part 8. In single precision the sum would round up to 9.0 and
// the board lookup that follows would fail with a subscript error.
int16_t random_coordinate() {
  const extended number = func_rnd(0.0f, 0);
  return static_cast<int16_t>(vost::floor(number * 8 + 1));
}

// A table of 16-bit entries local to one call, subscripts 0..count - 1, zero-filled when made
// and released when the call returns.
class local_table {
 public:
  local_table() = default;
  local_table(const local_table&) = delete;
  local_table& operator=(const local_table&) = delete;
  ~local_table() {
    if (lock_ != nullptr) free_mem_lock(lock_);
    std::free(entries_);
  }

  void create(uint32_t count) {
    entries_ = static_cast<int16_t*>(std::calloc(count, sizeof(int16_t)));
    if (entries_ == nullptr) error(out_of_memory_fatal);  // fatal: "Out of memory"
    count_ = count;
    new_mem_lock();
    lock_ = mem_lock_tmp;
    lock_->type = 4;
  }
  int16_t get(int32_t i) const { return entries_[array_check(static_cast<uint32_t>(i), count_)]; }
  void set(int32_t i, int32_t value) {
    const uint32_t index = array_check(static_cast<uint32_t>(i), count_);
    if (!error_pending()) entries_[index] = static_cast<int16_t>(value);
  }

 private:
  int16_t* entries_ = nullptr;
  uint32_t count_ = 0;
  mem_lock* lock_ = nullptr;
};

class chess_game {
 public:
  chess_game() : KEYIN(zqs_new(0, 0)) {
    for (int n = 1; n <= 5; ++n) {
      PF[n] = &local_integer();
      PR[n] = &local_integer();
      CODE[n] = &local_integer();
    }
  }
  ~chess_game() { zqs_free(KEYIN); }
  chess_game(const chess_game&) = delete;
  chess_game& operator=(const chess_game&) = delete;

  // Plays until the placement is exact.
  void play();

 private:
  void hide_pieces();
  void show_counts(uint32_t first_line);
  void draw_piece_palette(uint32_t first_line);
  void draw_echo_cells(uint32_t line);
  void clear_entries(uint32_t files_line, uint32_t ranks_line);
  void choose_piece();
  void enter_file();
  void enter_rank();
  void store_and_echo(int16_t* const* entries, int16_t value, int16_t cell_y, void (*glyph)(),
                      uint32_t first_line);
  void place_piece();
  bool all_placed() const;
  bool placement_exact() const;
  void wait_for_key(uint32_t first_line);
  void finish_solved();
  void restore_after_failure();

  // KEYIN = INKEY$; a key read ends the prompt's wait, and with it its tap context.
  void read_key(uint32_t line) {
    zqs_set(KEYIN, zqs_inkey());
    check_statement(line);
    if (zqs_len(KEYIN) != 0) leave_tap_context();
  }
  bool key_is(int32_t code) {
    return zqs_cleanup(temporary_base(), zqs_equal(KEYIN, func_chr(code))) != 0;
  }
  bool key_is_either(int32_t code, int32_t other) {
    return zqs_cleanup(temporary_base(),
                       zqs_equal(KEYIN, func_chr(code)) | zqs_equal(KEYIN, func_chr(other))) != 0;
  }
  // IF KEYIN = CHR$(13) THEN SUB_SOLUTION, and IF KEYIN = CHR$(27) THEN END.
  void serve_enter_and_escape(uint32_t enter_line, uint32_t solution_line, uint32_t escape_line) {
    if (branch(key_is(keycode::enter), enter_line)) {
      SUB_SOLUTION();
      check_statement(solution_line);
    }
    if (branch(key_is(keycode::escape), escape_line)) program_end();
  }
  uint32_t temporary_base() const { return activation_.temporary_base(); }

  procedure_activation activation_;
  zqs* KEYIN;
  // Entered file and rank digit of each piece (0 = not entered) and the codes of the hidden
  // squares, indexed by piece number.
  int16_t* PF[6] = {};
  int16_t* PR[6] = {};
  int16_t* CODE[6] = {};
  local_table EXCL;
};

void chess_game::play() {
  draw_piece_palette(236);
  draw_echo_cells(247);
  clear_entries(251, 252);
  COUNT = 0;
  check_statement(253);
  INDEX = 0;
  check_statement(253);

  hide_pieces();

  SUB_KINGCOUNT();
  check_statement(347);
  SUB_QUEENCOUNT();
  check_statement(348);
  SUB_BISHOPCOUNT();
  check_statement(349);
  SUB_KNIGHTCOUNT();
  check_statement(350);
  SUB_ROOKCOUNT();
  check_statement(351);

  show_counts(353);

  for (;;) {
    check_statement(366);
    choose_piece();
    enter_file();
    enter_rank();
    place_piece();
    if (branch(!all_placed(), 667)) continue;
    if (branch(placement_exact(), 668)) {
      finish_solved();
      return;
    }
    restore_after_failure();
  }
}

void chess_game::hide_pieces() {
  puzzle_begins();
  uint32_t line = 254;
  for (int n = 1; n <= 5; ++n) {
    *pieces[n].hidden_file = random_coordinate();
    check_statement(line++);
    *pieces[n].hidden_row = random_coordinate();
    check_statement(line++);
  }
  for (int n = 1; n <= 5; ++n) {
    *CODE[n] = CHEBO.get(*pieces[n].hidden_file, *pieces[n].hidden_row);
    check_statement(263 + n);
  }
  EXCL.create(32);
  check_statement(270);
  for (int k = 1; k <= 31; ++k) {
    EXCL.set(k, exclusion_differences[k - 1]);
    check_statement(270 + k);
  }

  // Queen, bishop, knight and rook in turn; a clash with any piece before restarts from the
  // queen. The first line of each piece's statements.
  constexpr uint32_t piece_lines[6] = {0, 0, 304, 310, 317, 325};
  bool restart = true;
  while (restart) {
    restart = false;
    for (int n = 2; n <= 5 && !restart; ++n) {
      const uint32_t first = piece_lines[n];
      *pieces[n].hidden_file = random_coordinate();
      check_statement(first);
      *pieces[n].hidden_row = random_coordinate();
      check_statement(first + 1);
      *CODE[n] = CHEBO.get(*pieces[n].hidden_file, *pieces[n].hidden_row);
      check_statement(first + 2);
      counted_loop(INDEX, 1, 31, 1, first + 3, [&] {
        for (int m = 1; m < n; ++m) {
          const int64_t difference = std::llabs(int64_t{*CODE[m]} - *CODE[n]);
          if (branch(difference == EXCL.get(INDEX), first + 3 + m)) {
            restart = true;
            return loop_step::leave;
          }
        }
        return loop_step::next;
      });
    }
  }
}

// Writes each square's attack count as a digit glyph; a new line after each board row.
void chess_game::show_counts(uint32_t first_line) {
  set_colour_for(1, 3, first_line);
  set_colour_for(3, 1, first_line + 1);
  set_colour_for(5, 1, first_line + 2);
  const uint32_t loop_line = first_line + 3;
  counted_loop(ROW, 1, 8, 1, loop_line, [&] {
    counted_loop(COL, 1, 8, 1, loop_line, [&] {
      X = static_cast<int16_t>(17 * COL + 84);
      check_statement(loop_line + 1);
      Y = static_cast<int16_t>(17 * ROW + 28);
      check_statement(loop_line + 1);
      for (int digit = 0; digit <= 5; ++digit) {
        if (condition(CHESSCOUNT.get(COL, ROW) == digit)) digit_glyphs[digit]();
        check_statement(loop_line + 2 + digit);
      }
      return loop_step::next;
    });
    print_empty_line();
    check_statement(loop_line + 8);
    return loop_step::next;
  });
}

// The five empty cells at the left with each piece's pictogram inside.
void chess_game::draw_piece_palette(uint32_t first_line) {
  X = 35;
  check_statement(first_line);
  counted_loop(Y, 42, 162, 30, first_line, [&] {
    SUB_CELLS();
    check_statement(first_line + 1);
    X = static_cast<int16_t>(X + 1);
    check_statement(first_line + 2);
    Y = static_cast<int16_t>(Y + 1);
    check_statement(first_line + 2);
    for (int n = 1; n <= 5; ++n) {
      if (condition(Y == 43 + 30 * (n - 1))) pieces[n].pictogram();
      check_statement(first_line + 2 + n);
    }
    X = static_cast<int16_t>(X - 1);
    check_statement(first_line + 8);
    Y = static_cast<int16_t>(Y - 1);
    check_statement(first_line + 8);
    return loop_step::next;
  });
}

// The empty echo cells of the typed letter and digit.
void chess_game::draw_echo_cells(uint32_t line) {
  X = 269;
  check_statement(line);
  counted_loop(Y, 87, 117, 30, line, [&] {
    SUB_CELLS();
    check_statement(line + 1);
    return loop_step::next;
  });
}

void chess_game::clear_entries(uint32_t files_line, uint32_t ranks_line) {
  for (int n = 1; n <= 5; ++n) {
    *PF[n] = 0;
    check_statement(files_line);
  }
  for (int n = 1; n <= 5; ++n) {
    *PR[n] = 0;
    check_statement(ranks_line);
  }
}

// Waits for a piece key 1..5 of a piece not yet placed and highlights it in the palette.
void chess_game::choose_piece() {
  set_colour_for(1, 3, 367);
  set_colour_for(3, 10, 368);
  set_colour_for(5, 1, 369);
  for (;;) {
    check_statement(370);
    read_key(371);
    bool placed_already = false;
    for (int n = 1; n <= 5 && !placed_already; ++n) {
      const uint32_t first = 372 + 8 * (n - 1);
      if (!branch(key_is('0' + n), first)) continue;
      Z = static_cast<int16_t>(n);
      check_statement(first + 1);
      Y = static_cast<int16_t>(43 + 30 * (n - 1));
      check_statement(first + 1);
      X = 36;
      check_statement(first + 1);
      if (branch(*PF[n] != 0, first + 2)) {
        placed_already = true;
        continue;
      }
      pieces[n].pictogram();
      check_statement(first + 5);
      return;
    }
    if (placed_already) continue;
    serve_enter_and_escape(412, 413, 414);
    pause_at_prompt(zqs_len(KEYIN) != 0, tap_step::piece);
  }
}

// Stores the entered file or rank of the selected piece and echoes its glyph in the entry cell
// at (269, cell_y); the statements take the lines first_line + 1 to first_line + 10.
void chess_game::store_and_echo(int16_t* const* entries, int16_t value, int16_t cell_y,
                                void (*glyph)(), uint32_t first_line) {
  for (int n = 1; n <= 5; ++n) {
    if (condition(Z == n)) *entries[n] = value;
    check_statement(first_line + n);
  }
  X = 269;
  check_statement(first_line + 6);
  Y = cell_y;
  check_statement(first_line + 6);
  SUB_CELLS();
  check_statement(first_line + 7);
  X = static_cast<int16_t>(X + 2);
  check_statement(first_line + 8);
  Y = static_cast<int16_t>(Y + 2);
  check_statement(first_line + 8);
  glyph();
  check_statement(first_line + 9);
  X = static_cast<int16_t>(X - 2);
  check_statement(first_line + 10);
  Y = static_cast<int16_t>(Y - 2);
  check_statement(first_line + 10);
}

// Waits for a file letter A..H (either case), stores it and echoes it.
void chess_game::enter_file() {
  for (;;) {
    check_statement(419);
    read_key(421);
    for (int file = 1; file <= 8; ++file) {
      const uint32_t first = 422 + 13 * (file - 1);
      if (!branch(key_is_either('A' + file - 1, 'a' + file - 1), first)) continue;
      store_and_echo(PF, static_cast<int16_t>(file), 87, letter_glyphs[file], first);
      return;
    }
    serve_enter_and_escape(526, 526, 527);
    pause_at_prompt(zqs_len(KEYIN) != 0, tap_step::file);
  }
}

// Waits for a rank digit 1..8, stores it and echoes it.
void chess_game::enter_rank() {
  for (;;) {
    check_statement(530);
    read_key(532);
    for (int rank = 1; rank <= 8; ++rank) {
      const uint32_t first = 533 + 13 * (rank - 1);
      if (!branch(key_is('0' + rank), first)) continue;
      store_and_echo(PR, static_cast<int16_t>(rank), 117, digit_glyphs[rank], first);
      return;
    }
    serve_enter_and_escape(637, 637, 638);
    pause_at_prompt(zqs_len(KEYIN) != 0, tap_step::rank, *PF[Z]);
  }
}

// Draws the selected piece on the square of its file and rank, over the count digit there.
void chess_game::place_piece() {
  for (int n = 1; n <= 5; ++n) {
    const uint32_t first = 641 + 5 * (n - 1);
    if (!branch(Z == n, first)) continue;
    X = static_cast<int16_t>(17 * *PF[n] + 83);
    check_statement(first + 1);
    Y = static_cast<int16_t>(std::abs(17 * *PR[n] - 180));
    check_statement(first + 1);
    draw_line(X - 1, Y - 1, X + 14, Y + 14, 0, stroke::fill);
    check_statement(first + 2);
    pieces[n].pictogram();
    check_statement(first + 3);
  }
}

bool chess_game::all_placed() const {
  for (int n = 1; n <= 5; ++n)
    if (*PR[n] == 0) return false;
  return true;
}

// Only the hidden placement itself counts; another one with the same counts is wrong.
bool chess_game::placement_exact() const {
  for (int n = 1; n <= 5; ++n)
    if (*pieces[n].hidden_file != *PF[n] || *pieces[n].hidden_row != std::abs(*PR[n] - 9))
      return false;
  return true;
}

// DO: KEYIN = INKEY$: LOOP WHILE KEYIN = "" (the key is consumed, whichever it is).
void chess_game::wait_for_key(uint32_t first_line) {
  for (;;) {
    check_statement(first_line);
    read_key(first_line + 1);
    const bool got_key =
        zqs_cleanup(temporary_base(), zqs_notequal(KEYIN, zqs_new_txt_len("", 0))) != 0;
    check_statement(first_line + 1);
    if (got_key || error_pending()) return;
    pause_at_prompt(zqs_len(KEYIN) != 0, tap_step::any_key);
  }
}

void chess_game::finish_solved() {
  zqg_sub_locate(4, 0, 0, 0, 0, locate_row);
  check_statement(669);
  print_line(temporary_base(), congratulation);
  check_statement(669);
  wait_for_key(670);
  counted_loop(ROW, 1, 8, 1, 672, [] {
    counted_loop(COL, 1, 8, 1, 672, [] {
      CHESSCOUNT.set(ROW, COL, 0);
      check_statement(673);
      return loop_step::next;
    });
    return loop_step::next;
  });
  clear_entries(675, 676);
}

// Shows the verdict, then the same puzzle again: palette, echo cells, board and counts.
void chess_game::restore_after_failure() {
  zqg_sub_locate(4, 0, 0, 0, 0, locate_row);
  check_statement(678);
  print_line(temporary_base(), inaccuracy);
  check_statement(678);
  wait_for_key(679);
  sub_cls(0, 0, 0);
  check_statement(681);
  set_colour_for(1, 3, 682);
  set_colour_for(3, 2, 683);
  set_colour_for(5, 1, 684);
  clear_entries(685, 686);
  draw_piece_palette(687);
  draw_echo_cells(697);
  SUB_CHESSBOARD();
  check_statement(700);
  show_counts(701);
}

}  // namespace

void SUB_CHESS() {
  chess_game game;
  game.play();
}
