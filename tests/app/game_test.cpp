// Whole puzzles played through ZQMAIN: the hidden placement, the counts on screen, placing the
// pieces, the verdicts, the reveal and the keys that end the program.
#include <set>
#include <string>

#include "app/puzzle_code.h"
#include "app/touch.h"
#include "runtime/core/random.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/window_ops.h"
#include "tests/app/reference.h"
#include "tests/app/shapes.h"

namespace {

using namespace program_test;

struct display_class {
  char menu_key;
  int16_t vid;
  int palette, count, highlight, reveal;
  int light_square, dark_square;  // inside colours of squares with c + r even / odd
  int label;                      // colour of the file letters and rank digits
};
const display_class class_1{'1', 1, 3, 3, 3, 3, 1, 2, 3};
const display_class class_3{'2', 3, 2, 1, 10, 2, 3, 6, 8};
const display_class class_5{'3', 5, 1, 1, 1, 1, 0, 0, 1};

const char congratulation[] = "   C o n g r a t u l a t i o n  ! ! !   ";
const char inaccuracy[] = " I n a c c u r a c y   a d m i t t e d .";

// Starts the program, chooses the class and waits at the first piece prompt. Returns the
// placement the random sequence dictates and leaves the generator state after it in state.
placement begin_game(const display_class& k, uint32_t& state) {
  start_program();
  wait_at_prompt();
  state = rnd_seed;
  press(k.menu_key);
  wait_at_prompt();
  return predict_placement(state);
}

placement hidden_by_program() {
  placement p;
  const int16_t* squares[6][2] = {{nullptr, nullptr}, {&DC1X, &DC1Y}, {&DC2X, &DC2Y},
                                  {&DC3X, &DC3Y},     {&DC4X, &DC4Y}, {&DC5X, &DC5Y}};
  for (int n = 1; n <= 5; ++n) {
    p.file[n] = *squares[n][0];
    p.row[n] = *squares[n][1];
  }
  return p;
}

board counts_of_program() {
  board b{};
  for (int i = 0; i <= 8; ++i)
    for (int j = 0; j <= 8; ++j) b[i][j] = CHESSCOUNT.get(i, j);
  return b;
}

std::string describe(const placement& p) {
  std::string text;
  for (int n = 1; n <= 5; ++n)
    text += " " + std::to_string(n) + ":(" + std::to_string(p.file[n]) + "," +
            std::to_string(p.row[n]) + ")";
  return text;
}

void expect_hidden(const placement& expected) {
  const placement actual = hidden_by_program();
  if (!(actual == expected))
    report("hidden placement" + describe(actual) + " differs from" + describe(expected));
  if (!(counts_of_program() == expected.attacks())) report("CHESSCOUNT differs from the attacks");
}

// The keys that place piece n on its square: piece digit, file letter, rank digit.
std::string keys_for(int n, int file, int row, bool lower_case = false) {
  return {static_cast<char>('0' + n), static_cast<char>((lower_case ? 'a' : 'A') + file - 1),
          static_cast<char>('0' + 9 - row)};
}
std::string solution_keys(const placement& p, bool lower_case = false) {
  std::string keys;
  for (int n = 1; n <= 5; ++n) keys += keys_for(n, p.file[n], p.row[n], lower_case);
  return keys;
}

int square_inside(const display_class& k, int c, int r) {
  return (c + r) % 2 == 0 ? k.light_square : k.dark_square;
}

// Every square shows its count in the count colour, except the squares listed as covered.
void expect_counts_on_screen(const display_class& k, const placement& p,
                             const std::set<std::pair<int, int>>& covered = {}) {
  const board counts = p.attacks();
  for (int c = 1; c <= 8; ++c)
    for (int r = 1; r <= 8; ++r) {
      if (covered.count({c, r})) continue;
      if (!glyph_shown(static_cast<char>('0' + counts[c][r]), 17 * c + 84, 17 * r + 28, k.count,
                       square_inside(k, c, r)))
        report("square (" + std::to_string(c) + ", " + std::to_string(r) + ") does not show " +
               std::to_string(counts[c][r]));
    }
}

bool outline_is(int x1, int y1, int x2, int y2, int colour) {
  for (int x = x1; x <= x2; ++x)
    if (pixel(x, y1) != colour || pixel(x, y2) != colour) return false;
  for (int y = y1; y <= y2; ++y)
    if (pixel(x1, y) != colour || pixel(x2, y) != colour) return false;
  return true;
}

// The piece palette: five cells at (35, 42 + 30 (n - 1)) with the pictograms inside; pieces in
// highlighted are drawn in the highlight colour, the rest in the palette colour.
void expect_palette(const display_class& k, const std::set<int>& highlighted = {}) {
  for (int n = 1; n <= 5; ++n) {
    const int y = 42 + 30 * (n - 1);
    if (!outline_is(34, y - 1, 51, y + 16, k.palette))
      report("palette cell " + std::to_string(n) + " outline");
    const int colour = highlighted.count(n) ? k.highlight : k.palette;
    if (!pictogram_shown(n, 36, y + 1, colour, 0)) report("palette piece " + std::to_string(n));
  }
}

// The echo cells of letter and digit: empty (0) or showing the glyph, each cell in its colour.
void expect_echo(char letter, char digit, int letter_colour, int digit_colour) {
  const struct {
    char shown;
    int y, colour;
  } cells[2] = {{letter, 87, letter_colour}, {digit, 117, digit_colour}};
  for (const auto& cell : cells) {
    const int colour = cell.colour;
    if (!outline_is(268, cell.y - 1, 285, cell.y + 16, colour))
      report("echo cell at " + std::to_string(cell.y) + " outline");
    bool inside_ok = true;
    if (cell.shown == 0) {
      for (int y = cell.y; y <= cell.y + 15; ++y)
        for (int x = 269; x <= 284; ++x) inside_ok = inside_ok && pixel(x, y) == 0;
    } else {
      inside_ok = glyph_shown(cell.shown, 271, cell.y + 2, colour, 0);
    }
    if (!inside_ok) report(std::string("echo cell at ") + std::to_string(cell.y) + " inside");
  }
}

// Piece n drawn on square (file, row), the square's inside cleared around it.
bool piece_on_square(int n, int file, int row, int colour) {
  return pictogram_shown(n, 17 * file + 83, 17 * row + 27, colour, 0);
}

// The verdict stays on screen while the program waits for a key: give it time to get there,
// then stop the program inside that wait and look.
[[noreturn]] void expect_verdict(
    const char* message, std::function<void()> more = [] {}) {
  wait_until_read();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stop_program_and_wait([message, more] {
    if (!text_shown(4, 1, message)) report(std::string("verdict \"") + message + "\" not shown");
    more();
  });
}

void check_first_puzzle(const display_class& k) {
  run_checked([&] {
    uint32_t state = 0;
    const placement expected = begin_game(k, state);
    CHILD_EXPECT_EQ(VID, k.vid);
    expect_hidden(expected);
    CHILD_EXPECT_EQ(rnd_seed, state);
    expect_counts_on_screen(k, expected);
    expect_palette(k);
    expect_echo(0, 0, k.palette, k.palette);
    CHILD_EXPECT(text_shown(2, 1, "Select piece (1-5) and place (A-H, 1-8)."));
    CHILD_EXPECT_EQ(new_error.load(), 0u);
    stop_program_and_wait();
  });
}

TEST(Puzzle, Class1HidesThePlacementTheRandomSequenceDictates) { check_first_puzzle(class_1); }
TEST(Puzzle, Class3HidesThePlacementTheRandomSequenceDictates) { check_first_puzzle(class_3); }
TEST(Puzzle, Class5HidesThePlacementTheRandomSequenceDictates) { check_first_puzzle(class_5); }

TEST(Puzzle, ExactPlacementIsCongratulated) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_3, state);
    type(solution_keys(p));
    expect_verdict(congratulation, [p] {
      // Every piece sits on its square in the highlight colour.
      for (int n = 1; n <= 5; ++n)
        if (!piece_on_square(n, p.file[n], p.row[n], class_3.highlight))
          report("placed piece " + std::to_string(n) + " not on its square");
    });
  });
}

TEST(Puzzle, SolvedPuzzleClearsTheCountsAndStartsANewOne) {
  run_checked([] {
    uint32_t state = 0;
    const placement first = begin_game(class_1, state);
    type(solution_keys(first, true));  // lower-case file letters
    press('x');                        // ends the wait after the verdict
    wait_at_prompt();
    const placement second = predict_placement(state);
    expect_hidden(second);
    expect_counts_on_screen(class_1, second);
    expect_palette(class_1);
    expect_echo(0, 0, class_1.palette, class_1.palette);
    CHILD_EXPECT(!text_shown(4, 1, congratulation));
    stop_program_and_wait();
  });
}

// A placement with the king and queen swapped: never the hidden one, as hidden squares differ.
placement swapped(placement p) {
  std::swap(p.file[1], p.file[2]);
  std::swap(p.row[1], p.row[2]);
  return p;
}

// --seed replaces the clock, --puzzle fixes the first hiding, and either names the puzzle in the
// title; a wrong placement keeps the puzzle and its code, a solved one brings the next code.
TEST(Puzzle, StartOptionsFixThePuzzlesAndTheTitleNamesThem) {
  run_checked([] {
    puzzle_start.seed = 0x1234;
    start_program();
    wait_at_prompt();
    CHILD_EXPECT_EQ(rnd_seed, 0x123400u);  // the start-up state's low byte is 0
    CHILD_EXPECT_EQ(current_window_title(), "Vostrandelimerix");
    press('1');
    wait_at_prompt();
    uint32_t state = 0x123400;
    const placement p = predict_placement(state);
    expect_hidden(p);
    CHILD_EXPECT_EQ(current_window_title(), "Vostrandelimerix - puzzle " + puzzle_code(0x123400));
    type(solution_keys(swapped(p)));
    press('x');
    wait_at_prompt();
    CHILD_EXPECT_EQ(current_window_title(), "Vostrandelimerix - puzzle " + puzzle_code(0x123400));
    type(solution_keys(p));
    press('x');
    wait_at_prompt();
    CHILD_EXPECT_EQ(current_window_title(), "Vostrandelimerix - puzzle " + puzzle_code(state));
    stop_program_and_wait();
  });
  run_checked([] {
    puzzle_start.first_puzzle = 0xABCDEF;
    uint32_t state = 0xABCDEF;
    const placement p = predict_placement(state);
    start_program();
    wait_at_prompt();
    press('3');
    wait_at_prompt();
    expect_hidden(p);
    CHILD_EXPECT_EQ(current_window_title(), "Vostrandelimerix - puzzle " + puzzle_code(0xABCDEF));
    stop_program_and_wait();
  });
}

TEST(Puzzle, WrongPlacementAdmitsInaccuracy) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_5, state);
    type(solution_keys(swapped(p)));
    expect_verdict(inaccuracy);
  });
}

TEST(Puzzle, FailedPuzzleComesBackUnchanged) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_3, state);
    type(solution_keys(swapped(p)));
    press(key_escape);  // ends the wait after the verdict and nothing else
    wait_at_prompt();
    expect_hidden(p);
    CHILD_EXPECT_EQ(close_program.load(), 0);
    expect_counts_on_screen(class_3, p);
    expect_palette(class_3);
    expect_echo(0, 0, class_3.palette, class_3.palette);
    CHILD_EXPECT(!text_shown(4, 1, inaccuracy));
    // The same puzzle can now be solved.
    type(solution_keys(p));
    expect_verdict(congratulation);
  });
}

TEST(Puzzle, TwoPiecesOnOneSquareAreAcceptedAndJudgedWrong) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_1, state);
    placement doubled = p;
    doubled.file[2] = p.file[1];
    doubled.row[2] = p.row[1];
    type(solution_keys(doubled));
    expect_verdict(inaccuracy);
  });
}

TEST(Puzzle, PlacingDrawsOnTheSquareOfFileAndRank) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_3, state);
    // Rank 1 is the bottom row (Y = 163), rank 8 the top row (Y = 44).
    type("1a1");
    wait_at_prompt();
    CHILD_EXPECT(pictogram_shown(1, 100, 163, class_3.highlight, 0));
    expect_echo('A', '1', class_3.highlight, class_3.highlight);
    expect_palette(class_3, {1});
    type("2h8");
    wait_at_prompt();
    CHILD_EXPECT(pictogram_shown(2, 219, 44, class_3.highlight, 0));
    expect_echo('H', '8', class_3.highlight, class_3.highlight);
    expect_palette(class_3, {1, 2});
    // The other squares still show their counts.
    expect_counts_on_screen(class_3, p, {{1, 8}, {8, 1}});
    stop_program_and_wait();
  });
}

TEST(Puzzle, APlacedPieceCannotBeChosenAgain) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_3, state);
    type("1a1");
    // "1" again sets Z but draws nothing and stays at the piece prompt, where "b" and "8" are
    // ignored: the king stays at a1 and nothing appears on b8.
    type("1b8");
    wait_at_prompt();
    CHILD_EXPECT_EQ(Z, 1);
    CHILD_EXPECT(pictogram_shown(1, 100, 163, class_3.highlight, 0));
    expect_echo('A', '1', class_3.highlight, class_3.highlight);
    expect_counts_on_screen(class_3, p, {{1, 8}});
    stop_program_and_wait();
  });
}

TEST(Puzzle, KeysThatDoNotBelongToAPromptAreIgnored) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_5, state);
    const std::string piece_prompt_ignores = "06789aHz ";
    const std::string file_prompt_ignores = "0123456789 ";
    const std::string rank_prompt_ignores = "09aAhHz ";
    for (int n = 1; n <= 5; ++n) {
      const std::string keys = keys_for(n, p.file[n], p.row[n], n % 2 == 0);
      type(piece_prompt_ignores);
      press(0x4800);  // Up
      press(keys[0]);
      type(file_prompt_ignores);
      press(0x3C00);  // F2
      press(keys[1]);
      type(rank_prompt_ignores);
      press(0x5000);  // Down
      press(keys[2]);
    }
    press('x');
    wait_at_prompt();
    // Solved: the next puzzle is on the board.
    expect_hidden(predict_placement(state));
    stop_program_and_wait();
  });
}

TEST(Puzzle, EnterRevealsAtEveryPromptWithoutChangingTheGame) {
  run_checked([] {
    uint32_t state = 0;
    const placement p = begin_game(class_3, state);
    auto expect_revealed = [&] {
      for (int n = 1; n <= 5; ++n)
        if (!piece_on_square(n, p.file[n], p.row[n], class_3.reveal))
          report("hidden piece " + std::to_string(n) + " not revealed");
      expect_hidden(p);
      CHILD_EXPECT_EQ(C, class_3.highlight);
    };
    press(key_enter);
    wait_at_prompt();
    expect_revealed();
    expect_palette(class_3);
    const std::string king = keys_for(1, p.file[1], p.row[1]);
    press(king[0]);
    press(key_enter);
    wait_at_prompt();
    expect_revealed();
    expect_palette(class_3, {1});
    press(king[1]);
    press(key_enter);
    wait_at_prompt();
    expect_revealed();
    expect_echo(king[1], 0, class_3.highlight, class_3.palette);
    press(key_enter);
    press(king[2]);
    wait_at_prompt();
    CHILD_EXPECT(piece_on_square(1, p.file[1], p.row[1], class_3.highlight));
    // The game goes on: the remaining pieces and the verdict.
    type(solution_keys(p).substr(3));
    expect_verdict(congratulation);
  });
}

// Taps, found from the pixels the game drew: the centre of a piece's picture in the column of
// pieces, and the centre of a square under its file letter and beside its rank digit.
struct point {
  int x = -1, y = -1;
};

point piece_picture(int n, int colour) {
  for (int y = 0; y + 13 < 200; ++y)
    for (int x = 0; x < 97; ++x)
      if (pictogram_shown(n, x, y, colour, 0)) return {x + 7, y + 7};
  report("piece " + std::to_string(n) + " not found in the column of pieces");
  return {};
}

point square_centre(const display_class& k, int file, int row) {
  point centre;
  const char letter = static_cast<char>('A' + file - 1), digit = static_cast<char>('0' + 9 - row);
  for (int x = 0; x + 10 < 320 && centre.x < 0; ++x)
    for (int y = 179; y + 10 < 200; ++y)
      if (glyph_shown(letter, x, y, k.label, 0)) centre.x = x + 6;
  for (int y = 0; y + 10 < 200 && centre.y < 0; ++y)
    for (int x = 60; x < 97; ++x)
      if (glyph_shown(digit, x, y, k.label, 0)) centre.y = y + 6;
  if (centre.x < 0 || centre.y < 0)
    report(std::string("labels of ") + letter + digit + " not found");
  return centre;
}

// Waits until the program waits at step for a tap.
void wait_for_tap_step(tap_step step, int16_t file = 0) {
  for (int i = 0; i < 5000; ++i) {
    const tap_context context = current_tap_context();
    if (context.step == step && context.file == file) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  report("the program never waited for a tap at step " + std::to_string(int(step)));
}

// A tap that types nothing: no key reaches the ring and the step still waits for taps.
void expect_tap_types_nothing(point at, tap_step step, int16_t file = 0) {
  host_tap(at.x, at.y);
  CHILD_EXPECT(keyboard_ring_empty());
  const tap_context context = current_tap_context();
  CHILD_EXPECT(context.step == step && context.file == file);
}

// A whole puzzle solved by taps alone, but for one file letter typed to reach the rank prompt;
// at every step the taps that must type nothing are tried first. The verdict's wait takes a tap,
// and the next puzzle follows.
void solve_by_taps(const display_class& k) {
  run_checked([&] {
    start_program();
    wait_at_prompt();
    expect_tap_types_nothing({160, 100}, tap_step::none);
    uint32_t state = rnd_seed;
    press(k.menu_key);
    const placement p = predict_placement(state);
    for (int n = 1; n <= 5; ++n) {
      wait_for_tap_step(tap_step::piece);
      const point square = square_centre(k, p.file[n], p.row[n]);
      expect_tap_types_nothing(square, tap_step::piece);
      expect_tap_types_nothing({2, 2}, tap_step::piece);
      host_tap(piece_picture(n, k.palette).x, piece_picture(n, k.palette).y);
      wait_for_tap_step(tap_step::file);
      CHILD_EXPECT_EQ(Z, n);
      expect_tap_types_nothing(piece_picture(n, k.highlight), tap_step::file);
      if (n != 3) {
        host_tap(square.x, square.y);
        continue;
      }
      press('A' + p.file[n] - 1);
      wait_for_tap_step(tap_step::rank, p.file[n]);
      const int other_file = p.file[n] % 8 + 1;
      expect_tap_types_nothing(square_centre(k, other_file, p.row[n]), tap_step::rank, p.file[n]);
      host_tap(square.x, square.y);
    }
    wait_for_tap_step(tap_step::any_key);
    CHILD_EXPECT(text_shown(4, 1, congratulation));
    for (int n = 1; n <= 5; ++n) CHILD_EXPECT(piece_on_square(n, p.file[n], p.row[n], k.highlight));
    host_tap(300, 10);
    wait_for_tap_step(tap_step::piece);
    expect_hidden(predict_placement(state));
    stop_program_and_wait();
  });
}

TEST(Puzzle, TapsTypeWhatEachStepTakesInEveryDisplayClass) {
  for (const display_class* k : {&class_1, &class_3, &class_5}) {
    SCOPED_TRACE(k->menu_key);
    solve_by_taps(*k);
  }
}

void expect_escape_ends(const std::string& keys_before) {
  run_checked([&] {
    uint32_t state = 0;
    begin_game(class_1, state);
    type(keys_before);
    wait_at_prompt();
    quit([] { CHILD_EXPECT_EQ(close_program.load(), 1); });
  });
}

TEST(Puzzle, EscEndsAtThePiecePrompt) { expect_escape_ends(""); }
TEST(Puzzle, EscEndsAtTheFilePrompt) { expect_escape_ends("3"); }
TEST(Puzzle, EscEndsAtTheRankPrompt) { expect_escape_ends("3c"); }

TEST(Puzzle, HiddenPlacementsKeepTheSpacingRuleOverThousandsOfPuzzles) {
  run_checked(
      [] {
        uint32_t state = 0;
        placement p = begin_game(class_5, state);
        constexpr int puzzles = 2000;
        int difference_11_pairs = 0, played = 0;
        for (int puzzle = 1; puzzle <= puzzles; ++puzzle, ++played) {
          for (int m = 1; m <= 5; ++m)
            for (int n = m + 1; n <= 5; ++n) {
              const int difference =
                  square_code(p.file[m], p.row[m]) - square_code(p.file[n], p.row[n]);
              if (excluded_difference(difference))
                report("puzzle " + std::to_string(puzzle) + " breaks the spacing rule");
              if (std::abs(difference) == 11) ++difference_11_pairs;
            }
          if (puzzle % 250 == 1) {
            wait_at_prompt();
            expect_hidden(p);
          }
          type(solution_keys(p));
          press('x');
          p = predict_placement(state);
        }
        // Every puzzle was solved, so the program hid exactly as many as predicted.
        wait_at_prompt();
        expect_hidden(p);
        CHILD_EXPECT_EQ(rnd_seed, state);
        CHILD_EXPECT_EQ(played, puzzles);
        // Differences outside the table, such as 11, do occur.
        CHILD_EXPECT(difference_11_pairs > 0);
        stop_program_and_wait();
      },
      std::chrono::seconds(240));
}

// The generator's largest number, 1 - 2^-24, still gives a coordinate of 8: the king's file is
// drawn from it, the game goes on without a dialog and hides what the rules dictate.
TEST(Puzzle, LargestRandomNumberGivesCoordinate8) {
  run_checked([] {
    start_program();
    wait_at_prompt();
    // The state before 0xFFFFFF: the multiplier is odd, so it has an inverse modulo 2^24.
    uint32_t inverse = 1;
    for (int i = 0; i < 24; ++i) inverse *= 2 - 16598013u * inverse;
    uint32_t state = ((0xFFFFFFu - 12820163u) * inverse) & 0xFFFFFFu;
    rnd_seed = state;  // published to the program thread by the key press below
    press(class_1.menu_key);
    wait_at_prompt();
    CHILD_EXPECT_EQ(DC1X, 8);
    expect_hidden(predict_placement(state));
    CHILD_EXPECT_EQ(new_error.load(), 0u);
    stop_program_and_wait();
  });
}

}  // namespace
