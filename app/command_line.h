// The executable's own command line, read before any thread starts or any window opens.
//
//   vostrandelimerix [--windowed] [--scale=MODE] [--aspect=SHAPE] [--window-scale=N|auto]
//                    [--seed=N | --puzzle=CODE] [ARGUMENT...]
//   vostrandelimerix --help | -h
//   vostrandelimerix --version
//
// Options are read from left to right up to a lone "--". --help and --version print to standard
// output and end the process with status 0 as soon as they are met; an option the game does not
// know, or an option with a bad value, prints why and where the help is to standard error and ends
// it with status 2. --windowed opens the game in a window instead of full screen; the presentation
// options choose how the picture is scaled (PresentationOptions); --seed and --puzzle choose the
// puzzles (app/puzzle_code.h). Every other argument (one not starting with "-", a lone "-", and
// everything after "--") is handed on as the program's command line; the options the game
// consumed and the "--" are not. argv[0] always stays: error dialogs name the program with it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/puzzle_code.h"
#include "runtime/host/window_geometry.h"

enum class CommandLineAction { run, show_help, show_version, reject };

struct CommandLine {
  CommandLineAction action = CommandLineAction::run;
  bool windowed = false;
  PresentationOptions presentation;
  PuzzleStart puzzles;
  // argv[0] and the arguments handed on, in their order (pointers into the original argv).
  std::vector<char*> kept;
  // The option that caused CommandLineAction::reject, and why (empty: an unknown option).
  std::string unknown_option;
  std::string reason;
};

// Reads argv[1..argc-1] without side effects.
CommandLine parse_command_line(int argc, char** argv);

// What --help prints: what the game is, its keys and its options.
std::string usage_text();
// The first line of the complaint about a rejected command line: the option and why.
std::string rejection_text(const CommandLine& command_line);
// The whole complaint as standard error gets it: "vostrandelimerix: " and that line, then a line
// that points to --help (the help itself would bury the complaint in a terminal).
std::string rejection_message(const CommandLine& command_line);
// What --version prints: the program name and version, one line.
std::string version_text();

// Reads the command line and acts on it: prints help, version or the usage error, or records
// the options for the host and the program and removes the consumed arguments from argv (argc
// shrinks, the array stays null-terminated). Returns the exit status when the process should end
// now, -1 when the game should start.
int take_command_line(int& argc, char** argv);
