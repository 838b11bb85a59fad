// Prompts that read a line from the keyboard on the write page.
#include "runtime/host/prompts.h"

#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/keyboard_wait.h"
#include "runtime/screen/text.h"

namespace {

void print_text(const char* text, int32_t new_line) {
  const uint32_t base = zqs_tmp_list_nexti;
  zqs_print(zqs_new_txt(text), new_line);
  zqs_cleanup(base, 0);
}

// A whole 16-bit integer with optional blanks around it and an optional sign; an empty line is 0.
std::optional<int16_t> parse_int16(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
  int32_t value = 0;
  size_t digits = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    value = value * 10 + (line[i++] - '0');
    if (value > 32768) return std::nullopt;
    ++digits;
  }
  while (i < line.size() && line[i] == ' ') ++i;
  if (i != line.size() || (digits == 0 && line.find_first_not_of(' ') != std::string::npos))
    return std::nullopt;
  if (negative) value = -value;
  if (value > 32767) return std::nullopt;
  return static_cast<int16_t>(value);
}

// Reads one line from the keyboard with echo: printable characters are added, Backspace removes
// the last one, Enter ends the line. Serves the statement check while it waits.
std::string read_line() {
  std::string line;
  for (;;) {
    uint8_t character = 0, scan = 0;
    if (!keyboard_ring_pop(&character, &scan)) {
      if (zqevent.load(std::memory_order_relaxed)) evnt(0, 0, nullptr);
      keyboard_wait_for_key();
      continue;
    }
    if (character == 13) {
      print_text("", 1);
      return line;
    }
    if (character == 8) {
      if (line.empty()) continue;
      line.pop_back();
      const int32_t column = func_pos(0);
      if (column > 1) {
        const int32_t row = func_csrlin();
        zqg_sub_locate(row, column - 1, 0, 0, 0, locate_row | locate_column);
        print_text(" ", 0);
        zqg_sub_locate(row, column - 1, 0, 0, 0, locate_row | locate_column);
      }
      continue;
    }
    if (character < 32 || line.size() >= 255) continue;
    line.push_back(static_cast<char>(character));
    const char echo[2] = {static_cast<char>(character), 0};
    print_text(echo, 0);
  }
}

}  // namespace

std::optional<int16_t> prompt_random_seed() {
  for (;;) {
    print_text("Random-number seed (-32768 to 32767)? ", 0);
    const std::optional<int16_t> value = parse_int16(read_line());
    if (error_pending()) return std::nullopt;
    if (value) return value;
    print_text("Redo from start", 1);
  }
}
