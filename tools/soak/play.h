// Playing one display class through the real program: ZQMAIN on a thread of its own, headless,
// and this thread as the player pressing keys. Meant to run in a child process of its own: it
// ends the process, with status 0 once the class has run to the end and 1 at the first surprise
// (after printing what went wrong).
#pragma once

#include <cstdint>

namespace soak {

struct display_class {
  char menu_key;          // the key chosen in the menu: '1', '2' or '3'
  int16_t vid;            // VID the program sets for it
  uint8_t count_colour;   // colour of the count digits
  uint8_t reveal_colour;  // colour of the pieces Enter reveals
  uint8_t light_square;   // inside colour of squares whose file + row is even
  uint8_t dark_square;    // and odd
};

struct play_options {
  int puzzles = 10000;
  uint64_t seed = 0;
  bool verbose = true;  // progress lines every tenth of the run
};

// What a class run leaves for the report; lives in memory shared with the parent.
struct class_figures {
  int completed = 0;  // 1 once every puzzle was played and the program ended on Esc
  int puzzles = 0;
  int solved_first_time = 0, failed_then_solved = 0, revealed_then_solved = 0;
  int ambiguous_with_spacing = 0, ambiguous_without_spacing = 0;
  int distinct_placements = 0;
  double seconds = 0;
  double solver_seconds = 0;
  uint64_t rss_highest = 0;                          // resident bytes
  uint64_t anon_after_warm_up = 0, anon_growth = 0;  // anonymous resident bytes
  int anon_new_highs = 0;  // samples after the warm-up that rose above every earlier one
  int warm_up_puzzles = 0;
  bool memory_judged = false;  // the run was long enough, and not under AddressSanitizer
};

// How far anonymous resident memory may rise after the warm-up (see play.cpp).
inline constexpr uint64_t memory_tolerance_bytes = 64 * 1024;
inline constexpr int memory_new_highs_allowed = 3;

// AddressSanitizer keeps freed blocks in quarantine, so memory grows by design there and is not
// judged.
bool under_address_sanitizer();

[[noreturn]] void play_class(const display_class& k, const play_options& options,
                             class_figures& figures);

}  // namespace soak
