#include "app/command_line.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "runtime/host/start_options.h"

#ifndef VOST_VERSION
#error "VOST_VERSION must be defined by the build"
#endif

namespace {

bool is_option(const char* argument) { return argument[0] == '-' && argument[1] != '\0'; }

// Writes text to stream; false when it could not be written completely (a closed pipe, a full
// disk), so that the exit status does not claim success.
bool write_all(std::FILE* stream, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
         std::fflush(stream) == 0;
}

// The value of "--name=value" when argument is that option, else nothing.
std::optional<std::string_view> value_of(std::string_view argument, std::string_view name) {
  if (argument.size() <= name.size() || argument.substr(0, name.size()) != name ||
      argument[name.size()] != '=')
    return std::nullopt;
  return argument.substr(name.size() + 1);
}

// A whole number in decimal digits only, from low to high; nothing otherwise.
std::optional<int32_t> whole_number(std::string_view text, int32_t low, int32_t high) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// Reads one "--name=value" option into result; false when it is not one of them. A bad value
// sets the reason.
bool read_valued_option(std::string_view argument, CommandLine& result) {
  if (auto value = value_of(argument, "--scale")) {
    if (*value == "stretch")
      result.presentation.scale = ScaleMode::stretch;
    else if (*value == "integer")
      result.presentation.scale = ScaleMode::integer;
    else if (*value == "sharp")
      result.presentation.scale = ScaleMode::sharp;
    else
      result.reason = "--scale takes stretch, integer or sharp";
  } else if (auto value = value_of(argument, "--aspect")) {
    if (*value == "square")
      result.presentation.aspect = AspectMode::square;
    else if (*value == "4:3")
      result.presentation.aspect = AspectMode::four_three;
    else
      result.reason = "--aspect takes square or 4:3";
  } else if (auto value = value_of(argument, "--window-scale")) {
    if (*value == "auto")
      result.presentation.window_scale = window_scale_auto;
    else if (auto n = whole_number(*value, 1, window_scale_max))
      result.presentation.window_scale = *n;
    else
      result.reason = "--window-scale takes a whole number from 1 to 16, or auto";
  } else if (auto value = value_of(argument, "--seed")) {
    if (auto n = whole_number(*value, 0, 65535))
      result.puzzles.seed = static_cast<uint16_t>(*n);
    else
      result.reason = "--seed takes a whole number from 0 to 65535";
  } else if (auto value = value_of(argument, "--puzzle")) {
    if (auto state = puzzle_state_of_code(*value))
      result.puzzles.first_puzzle = *state;
    else
      result.reason = "--puzzle takes a code of " + std::to_string(puzzle_code_length) +
                      " characters from " + std::string(puzzle_code_alphabet) +
                      " that names a puzzle";
  } else {
    return false;
  }
  return true;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
  CommandLine result;
  if (argc < 1 || !argv || !argv[0]) return result;
  result.kept.push_back(argv[0]);
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    char* argument = argv[i];
    if (options_ended || !is_option(argument)) {
      result.kept.push_back(argument);
    } else if (std::strcmp(argument, "--") == 0) {
      options_ended = true;
    } else if (std::strcmp(argument, "--windowed") == 0) {
      result.windowed = true;
    } else if (read_valued_option(argument, result)) {
      if (!result.reason.empty()) {
        result.action = CommandLineAction::reject;
        result.unknown_option = argument;
        return result;
      }
    } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      result.action = CommandLineAction::show_help;
      return result;
    } else if (std::strcmp(argument, "--version") == 0) {
      result.action = CommandLineAction::show_version;
      return result;
    } else {
      result.action = CommandLineAction::reject;
      result.unknown_option = argument;
      return result;
    }
  }
  if (result.puzzles.seed && result.puzzles.first_puzzle) {
    // Either one decides every puzzle; both at once would leave the seed without effect.
    result.action = CommandLineAction::reject;
    result.unknown_option = "--puzzle";
    result.reason = "--seed and --puzzle cannot be given together";
  }
  return result;
}

std::string usage_text() {
  return "Usage: vostrandelimerix [OPTION]...\n"
         "\n"
         "A chess deduction puzzle. Five chess pieces (king, queen, bishop, knight, rook) are\n"
         "hidden on the board; every square shows how many of them attack it. Work out where\n"
         "they stand and place them from the keyboard.\n"
         "\n"
         "Keys:\n"
         "  1 2 3        in the menu: choose the display class (screen mode and colours)\n"
         "  1 to 5       choose a piece: 1 king, 2 queen, 3 bishop, 4 knight, 5 rook\n"
         "  A to H       then its file\n"
         "  1 to 8       then its rank; the fifth piece placed brings the verdict\n"
         "  Enter        show the hidden pieces (the game goes on)\n"
         "  Esc          end the game\n"
         "  Alt+Enter    switch between windowed and full-screen presentations\n"
         "\n"
         "Options:\n"
         "  --windowed            start in a window instead of full screen\n"
         "  --scale=MODE          full-screen scaling: stretch (default), integer (the largest\n"
         "                        whole multiple, black borders) or sharp (a whole multiple,\n"
         "                        then smoothed to fill)\n"
         "  --aspect=SHAPE        square (default) pixels, or 4:3 as on the old displays\n"
         "  --window-scale=N      the window N times the picture (1 to 16, default 1), or\n"
         "                        auto: the largest that fits 85% of the screen\n"
         "  --seed=N              start from seed N (0 to 65535) instead of the clock\n"
         "  --puzzle=CODE         start on the puzzle of that code (shown in the title)\n"
         "  -h, --help            show this help and exit\n"
         "  --version             show the version and exit\n";
}

std::string rejection_text(const CommandLine& command_line) {
  if (command_line.reason.empty()) return "unknown option '" + command_line.unknown_option + "'";
  return "'" + command_line.unknown_option + "': " + command_line.reason;
}

std::string rejection_message(const CommandLine& command_line) {
  return "vostrandelimerix: " + rejection_text(command_line) +
         "\nTry 'vostrandelimerix --help' for more information.\n";
}

std::string version_text() { return "vostrandelimerix " VOST_VERSION "\n"; }

int take_command_line(int& argc, char** argv) {
  CommandLine command_line = parse_command_line(argc, argv);
  switch (command_line.action) {
    case CommandLineAction::show_help:
      return write_all(stdout, usage_text()) ? 0 : 1;
    case CommandLineAction::show_version:
      return write_all(stdout, version_text()) ? 0 : 1;
    case CommandLineAction::reject:
      write_all(stderr, rejection_message(command_line));
      return 2;
    case CommandLineAction::run:
      break;
  }
  start_windowed.store(command_line.windowed);
  presentation_options = command_line.presentation;
  puzzle_start = command_line.puzzles;
  if (command_line.kept.empty()) return -1;  // no argv[0]: nothing to rewrite
  argc = static_cast<int>(command_line.kept.size());
  for (int i = 0; i < argc; ++i) argv[i] = command_line.kept[static_cast<size_t>(i)];
  argv[argc] = nullptr;
  return -1;
}
