#include "tools/soak/play.h"
#include "runtime/core/atomic_ref.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/program.h"
#include "app/state.h"
#include "runtime/core/clock.h"
#include "runtime/core/deliberate_race.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/runtime.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "tools/soak/model.h"

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif

namespace soak {

namespace {

using steady = std::chrono::steady_clock;

// How long the program may take to react before the soak gives up on it. Generous: a puzzle
// takes milliseconds, but the machine may be busy.
constexpr auto response_limit = std::chrono::seconds(30);

constexpr int32_t key_f1 = 0x3B00, key_up = 0x4800, key_enter = 13, key_escape = 27;

constexpr char congratulation[] = "   C o n g r a t u l a t i o n  ! ! !   ";
constexpr char inaccuracy[] = " I n a c c u r a c y   a d m i t t e d .";

// Where the failure happened, for the message.
char class_key = '?';
int puzzle_number = 0;

std::string dialogs_logged() {
  const char* path = std::getenv("VOST_SOAK_DIALOG_LOG");
  if (path == nullptr) return {};
  std::ifstream log(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  // Records: the argument count, then the arguments, each ended by a NUL byte.
  std::string text;
  size_t at = 0;
  auto field = [&] {
    const size_t end = bytes.find('\0', at);
    std::string f = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? bytes.size() : end + 1;
    return f;
  };
  while (at < bytes.size()) {
    const int count = std::atoi(field().c_str());
    text += "  xmessage";
    for (int i = 0; i < count && at < bytes.size(); ++i) {
      std::string argument = field();
      std::replace(argument.begin(), argument.end(), '\n', '|');
      text += " [" + argument + "]";
    }
    text += "\n";
  }
  return text;
}

bool dialog_shown() {
  const char* path = std::getenv("VOST_SOAK_DIALOG_LOG");
  struct stat info {};
  return path != nullptr && ::stat(path, &info) == 0 && info.st_size > 0;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "soak: FAILED in class %c, puzzle %d: %s\n", class_key, puzzle_number,
               what.c_str());
  const std::string dialogs = dialogs_logged();
  if (!dialogs.empty()) std::fprintf(stderr, "soak: dialogs shown:\n%s", dialogs.c_str());
  std::fflush(nullptr);
  _exit(1);
}

std::string name_of(square s) {
  // Starts from a string, not "(" + a temporary: GCC 12 at -O3 warns about that (-Wrestrict, a
  // false alarm inside std::string).
  if (!on_board(s))
    return std::string("(").append(std::to_string(s.file)) + ", " + std::to_string(s.row) + ")";
  return {static_cast<char>('A' + s.file - 1), static_cast<char>('0' + 9 - s.row)};
}

std::string describe(const placement& p) {
  static const char* const names[6] = {"", "king", "queen", "bishop", "knight", "rook"};
  std::string text;
  for (int piece = king; piece <= rook; ++piece)
    text += std::string(piece == king ? "" : ", ") + names[piece] + " " + name_of(p.at[piece]);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Keys and waits. Every wait gives up when the program has ended (a dialog answered No ends it)
// or stops responding.

void check_program_alive(const char* waiting_for, steady::time_point deadline) {
  if (exit_ok.load(std::memory_order_acquire) & 1)
    fail(std::string(dialog_shown() ? "a dialog was shown, and answering No ended the program"
                                    : "the program ended") +
         " while the soak waited for " + waiting_for);
  if (steady::now() > deadline)
    fail(std::string("the program did not respond within 30 s while the soak waited for ") +
         waiting_for);
}

void pause_briefly() { std::this_thread::sleep_for(std::chrono::microseconds(200)); }

bool ring_full() {
  const uint8_t head = AtomicRef<uint8_t>(cmem[0x41A]).load(std::memory_order_acquire);
  const uint8_t tail = AtomicRef<uint8_t>(cmem[0x41C]).load(std::memory_order_acquire);
  const uint8_t next = tail + 2 > 0x3C ? 0x1E : static_cast<uint8_t>(tail + 2);
  return next == head;
}

// Presses and releases a key as the window would, once the keyboard ring has room for it.
void press(int32_t code) {
  const auto deadline = steady::now() + response_limit;
  while (ring_full()) {
    check_program_alive("room in the keyboard ring", deadline);
    pause_briefly();
  }
  keydown(code);
  keyup(code);
}

void wait_until_read(const char* waiting_for) {
  const auto deadline = steady::now() + response_limit;
  while (!keyboard_ring_empty()) {
    check_program_alive(waiting_for, deadline);
    pause_briefly();
  }
}

// F1 is a key every prompt ignores. Once the program has read it, it sits at a prompt: whatever
// it did before is visible here (the ring's head is published with release and read with
// acquire), and it draws nothing until the next key.
void wait_at_prompt() {
  press(key_f1);
  wait_until_read("a prompt");
}

// ---------------------------------------------------------------------------------------------
// Reading the screen.

uint8_t pixel(int x, int y) { return write_page->pixels[y * write_page->width + x]; }

// Text row `row` (1-based) shows `text` from column 1 in the 8 x 8 font.
bool row_shows(int row, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t* glyph = &charset8x8[static_cast<uint8_t>(text[i]) * 64];
    const int x0 = static_cast<int>(i) * 8, y0 = (row - 1) * 8;
    for (int dy = 0; dy < 8; ++dy)
      for (int dx = 0; dx < 8; ++dx)
        if ((glyph[dy * 8 + dx] != 0) != (pixel(x0 + dx, y0 + dy) != 0)) return false;
  }
  return true;
}

// The count digits 0 to 5 as drawn in a square: 10 x 10 pixels, '#' in the count colour.
using digit_picture = std::array<std::string_view, 10>;
constexpr digit_picture digit_pictures[6] = {
    {".########.", "##########", "##......##", "##......##", "##......##", "##......##",
     "##......##", "##......##", "##########", ".########."},
    {"...###....", "..####....", ".#####....", "###.##....", "##..##....", "#...##....",
     "....##....", "....##....", "##########", "##########"},
    {"##########", "##########", "........##", "........##", "##########", "##########",
     "##........", "##........", "##########", "##########"},
    {"#########.", "##########", "........##", "........##", "....#####.", "....#####.",
     "........##", "........##", "##########", "#########."},
    {"##......##", "##......##", "##......##", "##......##", "##########", "##########",
     "........##", "........##", "........##", "........##"},
    {"##########", "##########", "##........", "##........", "##########", "##########",
     "........##", "........##", "##########", "##########"},
};

// Top-left pixel of the 16 x 16 inside of a square.
int inside_x(square s) { return 82 + 17 * s.file; }
int inside_y(square s) { return 26 + 17 * s.row; }

// The square's whole inside: the digit 3 pixels in from every side, the rest the square's colour.
bool square_shows_count(const display_class& k, square s, int count) {
  const uint8_t background = (s.file + s.row) % 2 == 0 ? k.light_square : k.dark_square;
  const digit_picture& digit = digit_pictures[count];
  for (int dy = 0; dy < 16; ++dy)
    for (int dx = 0; dx < 16; ++dx) {
      const bool in_digit =
          dx >= 3 && dx < 13 && dy >= 3 && dy < 13 && digit[dy - 3][dx - 3] == '#';
      if (pixel(inside_x(s) + dx, inside_y(s) + dy) != (in_digit ? k.count_colour : background))
        return false;
    }
  return true;
}

// A revealed piece: the inside cleared to 0 with the pictogram on it in the reveal colour. Every
// pictogram stands on a solid two-row base 14 pixels wide, which no count digit reaches.
bool square_shows_revealed_piece(const display_class& k, square s) {
  for (int dy = 0; dy < 16; ++dy)
    for (int dx = 0; dx < 16; ++dx) {
      const uint8_t p = pixel(inside_x(s) + dx, inside_y(s) + dy);
      const bool edge = dx == 0 || dx == 15 || dy == 0 || dy == 15;
      const bool base = !edge && dy >= 13;
      if (edge && p != 0) return false;
      if (base && p != k.reveal_colour) return false;
      if (p != 0 && p != k.reveal_colour) return false;
    }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The program's state, read while it sits at a prompt.

placement hidden_by_program() {
  placement p;
  const int16_t* files[6] = {nullptr, &DC1X, &DC2X, &DC3X, &DC4X, &DC5X};
  const int16_t* rows[6] = {nullptr, &DC1Y, &DC2Y, &DC3Y, &DC4Y, &DC5Y};
  for (int piece = king; piece <= rook; ++piece) p.at[piece] = {*files[piece], *rows[piece]};
  return p;
}

// Every count the program holds and shows must be the model's; the squares in `covered` hold a
// piece instead of their count.
void check_counts(const display_class& k, const count_board& model, uint64_t covered = 0) {
  for (int file = 0; file <= 8; ++file)
    for (int row = 0; row <= 8; ++row) {
      const int held = CHESSCOUNT.get(file, row);
      if (file == 0 || row == 0) {
        if (held != 0)
          fail("CHESSCOUNT(" + std::to_string(file) + ", " + std::to_string(row) +
               ") off the board holds " + std::to_string(held));
        continue;
      }
      const square s{file, row};
      const int expected = model[index_of(s)];
      if (held != expected)
        fail("CHESSCOUNT of " + name_of(s) + " is " + std::to_string(held) + ", the rules give " +
             std::to_string(expected));
      if (!(covered >> index_of(s) & 1) && !square_shows_count(k, s, expected))
        fail("square " + name_of(s) + " does not show the count " + std::to_string(expected));
    }
}

// ---------------------------------------------------------------------------------------------
// The player's choices.

// splitmix64: the soak's own random choices, reproducible from the seed.
struct choices {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
};

// The fifteen keys that place every piece of p: piece digit, file letter, rank digit, for the
// pieces in a random order, letters in random case.
struct key_list {
  std::array<int32_t, 15> keys{};
};
key_list keys_placing(const placement& p, choices& choose) {
  std::array<int, 5> order = {king, queen, bishop, knight, rook};
  for (int i = 4; i > 0; --i) std::swap(order[i], order[choose.below(i + 1)]);
  key_list list;
  for (int i = 0; i < 5; ++i) {
    const square s = p.at[order[i]];
    list.keys[3 * i] = '0' + order[i];
    list.keys[3 * i + 1] = (choose.below(2) ? 'A' : 'a') + s.file - 1;
    list.keys[3 * i + 2] = '0' + 9 - s.row;
  }
  return list;
}

// Any key ends the wait after a verdict and does nothing else, Esc and Enter included.
int32_t any_key(choices& choose) {
  constexpr int32_t keys[] = {'x', ' ', key_escape, key_enter, '1', key_up};
  return keys[choose.below(6)];
}

// A placement that is not the hidden one: two pieces swapped, one piece moved (perhaps onto
// another piece), or another placement with the very same counts when one exists.
placement wrong_placement(const placement& hidden, const solver_result& other_with_same_counts,
                          choices& choose) {
  if (other_with_same_counts.has_other && choose.below(2) == 0) return other_with_same_counts.other;
  placement wrong = hidden;
  if (choose.below(2) == 0) {
    const int a = 1 + choose.below(5);
    const int b = 1 + (a + choose.below(4)) % 5;  // any piece but a
    std::swap(wrong.at[a], wrong.at[b]);
  } else {
    const int piece = 1 + choose.below(5);
    const int from = index_of(hidden.at[piece]);
    wrong.at[piece] = square_at((from + 1 + choose.below(63)) % 64);  // any square but its own
  }
  return wrong;
}

// Types the keys, waits for the verdict and ends its wait with any key.
void place_and_expect(const key_list& list, int from, const char* verdict, choices& choose) {
  for (int i = from; i < 15; ++i) press(list.keys[i]);
  const char* other = verdict == congratulation ? inaccuracy : congratulation;
  const auto deadline = steady::now() + response_limit;
  // The verdict is printed once the last piece is placed and then stays while the program waits
  // for a key; until it is complete the row may be read half drawn, which only means another
  // look.
  const auto verdict_row_shows = [](const char* text) {
    [[maybe_unused]] const DeliberateRace race;  // the program may still be drawing the row
    return row_shows(4, text);
  };
  while (!verdict_row_shows(verdict)) {
    if (verdict_row_shows(other))
      fail(std::string("the verdict reads \"") + other + "\", expected \"" + verdict + "\"");
    check_program_alive(verdict == congratulation ? "the verdict \"C o n g r a t u l a t i o n\""
                                                  : "the verdict \"I n a c c u r a c y\"",
                        deadline);
    pause_briefly();
  }
  press(any_key(choose));
}

// ---------------------------------------------------------------------------------------------
// Memory.

struct memory_sample {
  uint64_t resident = 0, anonymous = 0;  // bytes
};

// Resident and anonymous resident (resident minus file-backed) memory from /proc/self/statm,
// read without allocating.
memory_sample sample_memory() {
  static const long page = sysconf(_SC_PAGESIZE);
  char buffer[128] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY);
  if (fd < 0) fail("cannot read /proc/self/statm");
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  unsigned long size = 0, resident = 0, shared = 0;
  if (n <= 0 || std::sscanf(buffer, "%lu %lu %lu", &size, &resident, &shared) != 3)
    fail("cannot parse /proc/self/statm");
  return {resident * page, (resident - shared) * page};
}

// Memory must stay flat once the run has warmed up. The warm-up is a tenth of the run and at
// least 300 puzzles: by then every kind of puzzle has been played, the heap has reached its
// working size, and the key-hit ring has wrapped (8192 entries of 8 bytes, written on every
// press and release and read by nobody in this program: about 290 bytes of new pages per
// puzzle for its first 230 puzzles). After it, anonymous resident memory (heap, stacks, pages)
// may rise above its highest value so far at most `memory_new_highs_allowed` times and never
// by more than `memory_tolerance_bytes` in all: a leak, however small, takes a new page every
// few puzzles, while a buffer that reaches a new working size rises once. The smallest heap
// block is 32 bytes, so one lost block per puzzle makes a new high every 128 puzzles.
void judge_memory(const std::vector<memory_sample>& memory, class_figures& figures) {
  const size_t warm_up = std::max<size_t>(memory.size() / 10, 300);
  figures.warm_up_puzzles = static_cast<int>(std::min(warm_up, memory.size()));
  uint64_t highest_anonymous = 0;
  for (size_t i = 0; i < memory.size(); ++i) {
    figures.rss_highest = std::max(figures.rss_highest, memory[i].resident);
    if (i < warm_up) {
      figures.anon_after_warm_up = std::max(figures.anon_after_warm_up, memory[i].anonymous);
      highest_anonymous = figures.anon_after_warm_up;
    } else if (memory[i].anonymous > highest_anonymous) {
      highest_anonymous = memory[i].anonymous;
      ++figures.anon_new_highs;
    }
  }
  figures.anon_growth = highest_anonymous - figures.anon_after_warm_up;
  if (under_address_sanitizer() || memory.size() < 2 * warm_up) return;
  figures.memory_judged = true;
  if (figures.anon_new_highs > memory_new_highs_allowed ||
      figures.anon_growth > memory_tolerance_bytes)
    fail("memory grew after the warm-up of " + std::to_string(warm_up) + " puzzles: by " +
         std::to_string(figures.anon_growth / 1024) + " KiB, in " +
         std::to_string(figures.anon_new_highs) + " rises");
}

uint32_t placement_code(const placement& p) {
  uint32_t code = 0;
  for (int piece = king; piece <= rook; ++piece)
    code = code << 6 | static_cast<uint32_t>(index_of(p.at[piece]));
  return code;
}

}  // namespace

bool under_address_sanitizer() {
#ifdef SOAK_UNDER_ASAN
  return true;
#else
  return false;
#endif
}

void play_class(const display_class& k, const play_options& options, class_figures& figures) {
  class_key = k.menu_key;
  choices choose{options.seed * 0x100000001B3ull + static_cast<uint64_t>(k.menu_key)};

  // Everything the run records, allocated and touched before the first puzzle so that the
  // soak's own bookkeeping does not show up as growth.
  std::vector<memory_sample> memory(static_cast<size_t>(options.puzzles));
  std::vector<uint32_t> placements(static_cast<size_t>(options.puzzles));

  screen_hide.store(1);
  runtime_init();
  std::thread([] { ZQMAIN(); }).detach();

  // The menu: choose the generator state the first puzzle starts from, then the class.
  wait_at_prompt();
  rnd_seed = static_cast<uint32_t>(choose.next()) & 0xFFFFFFu;
  uint32_t state = rnd_seed;
  press(k.menu_key);
  wait_at_prompt();
  if (VID != k.vid) fail("VID is " + std::to_string(VID) + " after menu key " + k.menu_key);

  const auto started = steady::now();
  steady::duration solving{};
  for (puzzle_number = 1; puzzle_number <= options.puzzles; ++puzzle_number) {
    if (dialog_shown()) fail("a dialog was shown");
    // The placement on the board now, against the rules and against the generator.
    const placement hidden = hidden_by_program();
    if (!keeps_spacing_rule(hidden))
      fail("the hidden placement breaks the spacing rule: " + describe(hidden));
    const placement dictated = placement_from_generator(state);
    if (!(hidden == dictated))
      fail("hidden " + describe(hidden) + ", the generator dictates " + describe(dictated));
    if (rnd_seed != state) fail("the generator is not where hiding the pieces should leave it");
    const count_board counts = counts_of(hidden);
    check_counts(k, counts);
    placements[static_cast<size_t>(puzzle_number - 1)] = placement_code(hidden);

    const auto solver_started = steady::now();
    const solver_result with_spacing = count_placements(counts, true, hidden);
    const solver_result without_spacing = count_placements(counts, false, hidden);
    solving += steady::now() - solver_started;
    if (with_spacing.placements < 1 || without_spacing.placements < 1)
      fail("the solver finds no placement for the counts of " + describe(hidden));
    figures.ambiguous_with_spacing += with_spacing.placements > 1;
    figures.ambiguous_without_spacing += without_spacing.placements > 1;

    const key_list solution = keys_placing(hidden, choose);
    const int outcome = choose.below(10);
    if (outcome == 0) {
      // Wrong first, then the same puzzle again.
      place_and_expect(keys_placing(wrong_placement(hidden, without_spacing, choose), choose), 0,
                       inaccuracy, choose);
      wait_at_prompt();
      if (!(hidden_by_program() == hidden))
        fail("the hidden placement changed after a wrong verdict");
      if (rnd_seed != state) fail("a wrong verdict drew random numbers");
      check_counts(k, counts);
      place_and_expect(solution, 0, congratulation, choose);
      ++figures.failed_then_solved;
    } else if (outcome == 1) {
      // Part of the solution typed, then Enter (once or twice) at whichever prompt that is.
      const int typed = choose.below(15);
      for (int i = 0; i < typed; ++i) press(solution.keys[i]);
      for (int presses = 1 + choose.below(2); presses > 0; --presses) press(key_enter);
      wait_at_prompt();
      uint64_t revealed = 0;
      for (int piece = king; piece <= rook; ++piece) {
        revealed |= uint64_t{1} << index_of(hidden.at[piece]);
        if (!square_shows_revealed_piece(k, hidden.at[piece]))
          fail("Enter does not show the hidden piece on " + name_of(hidden.at[piece]));
      }
      check_counts(k, counts, revealed);
      place_and_expect(solution, typed, congratulation, choose);
      ++figures.revealed_then_solved;
    } else {
      place_and_expect(solution, 0, congratulation, choose);
      ++figures.solved_first_time;
    }
    // The next puzzle is on the board once its piece prompt reads F1.
    wait_at_prompt();
    memory[static_cast<size_t>(puzzle_number - 1)] = sample_memory();
    figures.puzzles = puzzle_number;

    if (options.verbose && options.puzzles >= 10 && puzzle_number % (options.puzzles / 10) == 0) {
      const double seconds = std::chrono::duration<double>(steady::now() - started).count();
      std::printf("  class %c: %6d puzzles, %6.1f puzzles/s, resident %.1f MiB\n", k.menu_key,
                  puzzle_number, puzzle_number / seconds,
                  memory[static_cast<size_t>(puzzle_number - 1)].resident / 1048576.0);
      std::fflush(stdout);
    }
  }
  puzzle_number = options.puzzles;
  figures.seconds = std::chrono::duration<double>(steady::now() - started).count();
  figures.solver_seconds = std::chrono::duration<double>(solving).count();

  // Esc at the piece prompt ends the program the orderly way.
  press(key_escape);
  const auto deadline = steady::now() + response_limit;
  while (!(exit_ok.load(std::memory_order_acquire) & 1)) {
    if (steady::now() > deadline) fail("Esc did not end the program within 30 s");
    pause_briefly();
  }
  if (close_program.load() != 1) fail("the program ended without asking to close");
  if (dialog_shown()) fail("a dialog was shown");

  std::sort(placements.begin(), placements.end());
  figures.distinct_placements =
      static_cast<int>(std::unique(placements.begin(), placements.end()) - placements.begin());

  judge_memory(memory, figures);
  figures.completed = 1;
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace soak
