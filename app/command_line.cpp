#include "app/command_line.h"

#include <cstdio>
#include <cstring>

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
         "  --windowed   start in a window instead of full screen\n"
         "  -h, --help   show this help and exit\n"
         "  --version    show the version and exit\n";
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
      write_all(stderr, "vostrandelimerix: unknown option '" + command_line.unknown_option + "'\n" +
                            usage_text());
      return 2;
    case CommandLineAction::run:
      break;
  }
  start_windowed.store(command_line.windowed);
  if (command_line.kept.empty()) return -1;  // no argv[0]: nothing to rewrite
  argc = static_cast<int>(command_line.kept.size());
  for (int i = 0; i < argc; ++i) argv[i] = command_line.kept[static_cast<size_t>(i)];
  argv[argc] = nullptr;
  return -1;
}
