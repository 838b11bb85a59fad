// Seeds and puzzle codes (see puzzle_code.h).
#include "app/puzzle_code.h"

#include "runtime/core/clock.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/host/window_ops.h"

PuzzleStart puzzle_start;

namespace {
constexpr uint32_t state_count = 1u << 24;
constexpr uint32_t radix = static_cast<uint32_t>(puzzle_code_alphabet.size());

constexpr uint64_t code_count() {
  uint64_t count = 1;
  for (size_t i = 0; i < puzzle_code_length; ++i) count *= radix;
  return count;
}
static_assert(code_count() >= state_count, "every generator state needs a code");
}  // namespace

std::string puzzle_code(uint32_t generator_state) {
  uint32_t value = generator_state % state_count;
  std::string code(puzzle_code_length, puzzle_code_alphabet[0]);
  for (size_t i = puzzle_code_length; i-- > 0;) {
    code[i] = puzzle_code_alphabet[value % radix];
    value /= radix;
  }
  return code;
}

std::optional<uint32_t> puzzle_state_of_code(std::string_view code) {
  if (code.size() != puzzle_code_length) return std::nullopt;
  uint64_t value = 0;
  for (char c : code) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const size_t digit = puzzle_code_alphabet.find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    value = value * radix + digit;
  }
  if (value >= state_count) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool puzzle_codes_shown() { return puzzle_start.seed || puzzle_start.first_puzzle; }

void seed_at_start_up() {
  if (puzzle_start.seed)
    randomize_state_bits(*puzzle_start.seed);
  else
    sub_randomize(func_timer(0.0, 0), randomize_seed);
}

void puzzle_begins() {
  // Program thread only: the first hiding has taken the --puzzle state.
  static bool first_puzzle_taken = false;
  if (puzzle_start.first_puzzle && !first_puzzle_taken) {
    rnd_seed = *puzzle_start.first_puzzle;
    first_puzzle_taken = true;
  }
  if (!puzzle_codes_shown()) return;
  const std::string code = puzzle_code(rnd_seed);
  const std::string title = "Vostrandelimerix - puzzle " + code;
  // An address that opens the game (a page's) shares the puzzle on screen.
  set_window_link_parameters("puzzle=" + code);
  const uint32_t temporary_base = zqs_tmp_list_nexti;
  sub__title(zqs_new_txt_len(title.data(), static_cast<uint32_t>(title.size())));
  zqs_cleanup(temporary_base, 0);
}
