#include "app/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/host/start_options.h"

namespace {

// An argv built from strings: writable, null-terminated, program name first.
struct Arguments {
  explicit Arguments(std::vector<std::string> words) : storage(std::move(words)) {
    for (std::string& word : storage) pointers.push_back(word.data());
    pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(storage.size()); }
  char** argv() { return pointers.data(); }

  std::vector<std::string> storage;
  std::vector<char*> pointers;
};

std::vector<std::string> strings_of(const std::vector<char*>& pointers) {
  return std::vector<std::string>(pointers.begin(), pointers.end());
}

struct Case {
  std::vector<std::string> arguments;  // after the program name
  CommandLineAction action;
  bool windowed;
  std::vector<std::string> kept;  // after the program name
  std::string unknown;
};

TEST(CommandLine, OptionsAreConsumedAndTheRestIsHandedOn) {
  using A = CommandLineAction;
  const Case cases[] = {
      {{}, A::run, false, {}, ""},
      {{"--windowed"}, A::run, true, {}, ""},
      {{"a", "--windowed", "b c"}, A::run, true, {"a", "b c"}, ""},
      {{"-"}, A::run, false, {"-"}, ""},
      // A lone "--" ends the options and is not handed on itself.
      {{"--", "--windowed", "--help", "-x"}, A::run, false, {"--windowed", "--help", "-x"}, ""},
      {{"--help"}, A::show_help, false, {}, ""},
      {{"-h"}, A::show_help, false, {}, ""},
      {{"--version"}, A::show_version, false, {}, ""},
      // The first decisive option wins.
      {{"--help", "--bogus"}, A::show_help, false, {}, ""},
      {{"--version", "--help"}, A::show_version, false, {}, ""},
      {{"--bogus", "--help"}, A::reject, false, {}, "--bogus"},
      {{"--windowed=yes"}, A::reject, false, {}, "--windowed=yes"},
      {{"--window"}, A::reject, false, {}, "--window"},
      {{"-display", ":0"}, A::reject, false, {}, "-display"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words{"/usr/bin/vostrandelimerix"};
    words.insert(words.end(), c.arguments.begin(), c.arguments.end());
    Arguments arguments(words);
    std::string label = ::testing::PrintToString(c.arguments);
    CommandLine parsed = parse_command_line(arguments.argc(), arguments.argv());
    EXPECT_EQ(parsed.action, c.action) << label;
    EXPECT_EQ(parsed.windowed, c.windowed) << label;
    EXPECT_EQ(parsed.unknown_option, c.unknown) << label;
    if (c.action == A::run) {
      std::vector<std::string> kept{"/usr/bin/vostrandelimerix"};
      kept.insert(kept.end(), c.kept.begin(), c.kept.end());
      EXPECT_EQ(strings_of(parsed.kept), kept) << label;
    }
  }
}

TEST(CommandLine, ValuedOptionsAreReadOrRejectedWithAReason) {
  struct ValueCase {
    std::string argument;
    bool accepted;
    PresentationOptions presentation;
    std::optional<uint16_t> seed;
    std::optional<uint32_t> first_puzzle;
  };
  using S = ScaleMode;
  using A = AspectMode;
  const ValueCase cases[] = {
      {"--scale=stretch", true, {S::stretch, A::square, 1}, {}, {}},
      {"--scale=integer", true, {S::integer, A::square, 1}, {}, {}},
      {"--scale=sharp", true, {S::sharp, A::square, 1}, {}, {}},
      {"--aspect=4:3", true, {S::stretch, A::four_three, 1}, {}, {}},
      {"--aspect=square", true, {}, {}, {}},
      {"--window-scale=1", true, {}, {}, {}},
      {"--window-scale=16", true, {S::stretch, A::square, 16}, {}, {}},
      {"--window-scale=auto", true, {S::stretch, A::square, window_scale_auto}, {}, {}},
      {"--seed=0", true, {}, 0, {}},
      {"--seed=65535", true, {}, 65535, {}},
      {"--puzzle=333334", true, {}, {}, 1},
      {"--scale=", false, {}, {}, {}},
      {"--scale=Integer", false, {}, {}, {}},
      {"--aspect=16:9", false, {}, {}, {}},
      {"--window-scale=0", false, {}, {}, {}},
      {"--window-scale=17", false, {}, {}, {}},
      {"--window-scale=2x", false, {}, {}, {}},
      {"--seed=", false, {}, {}, {}},
      {"--seed=-1", false, {}, {}, {}},
      {"--seed=+1", false, {}, {}, {}},
      {"--seed=65536", false, {}, {}, {}},
      {"--seed=99999999999", false, {}, {}, {}},
      {"--seed= 1", false, {}, {}, {}},
      {"--puzzle=33333O", false, {}, {}, {}},
      {"--puzzle=", false, {}, {}, {}},
  };
  for (const ValueCase& c : cases) {
    Arguments arguments({"vostrandelimerix", c.argument});
    const CommandLine parsed = parse_command_line(arguments.argc(), arguments.argv());
    EXPECT_EQ(parsed.action == CommandLineAction::run, c.accepted) << c.argument;
    if (!c.accepted) {
      EXPECT_EQ(parsed.unknown_option, c.argument);
      // The complaint names the option and says what it takes.
      EXPECT_NE(rejection_text(parsed).find("takes"), std::string::npos) << rejection_text(parsed);
      continue;
    }
    EXPECT_EQ(parsed.presentation.scale, c.presentation.scale) << c.argument;
    EXPECT_EQ(parsed.presentation.aspect, c.presentation.aspect) << c.argument;
    EXPECT_EQ(parsed.presentation.window_scale, c.presentation.window_scale) << c.argument;
    EXPECT_EQ(parsed.puzzles.seed, c.seed) << c.argument;
    EXPECT_EQ(parsed.puzzles.first_puzzle, c.first_puzzle) << c.argument;
  }
  // A seed and a puzzle together would leave the seed without effect.
  Arguments both({"vostrandelimerix", "--seed=1", "--puzzle=333334"});
  EXPECT_EQ(parse_command_line(both.argc(), both.argv()).action, CommandLineAction::reject);
  // The options combine, and the last of each counts.
  Arguments many({"vostrandelimerix", "--scale=sharp", "--aspect=4:3", "--window-scale=2",
                  "--scale=integer", "--seed=7", "--windowed"});
  const CommandLine parsed = parse_command_line(many.argc(), many.argv());
  EXPECT_EQ(parsed.action, CommandLineAction::run);
  EXPECT_EQ(parsed.presentation.scale, ScaleMode::integer);
  EXPECT_EQ(parsed.presentation.aspect, AspectMode::four_three);
  EXPECT_EQ(parsed.presentation.window_scale, 2);
  EXPECT_EQ(parsed.puzzles.seed, 7);
  EXPECT_TRUE(parsed.windowed);
}

TEST(CommandLine, ARejectionSaysWhyAndPointsToTheHelpInsteadOfPrintingIt) {
  const std::string hint = "Try 'vostrandelimerix --help' for more information.\n";
  Arguments unknown({"vostrandelimerix", "--bogus"});
  EXPECT_EQ(rejection_message(parse_command_line(unknown.argc(), unknown.argv())),
            "vostrandelimerix: unknown option '--bogus'\n" + hint);
  Arguments bad_value({"vostrandelimerix", "--seed=x"});
  EXPECT_EQ(rejection_message(parse_command_line(bad_value.argc(), bad_value.argv())),
            "vostrandelimerix: '--seed=x': --seed takes a whole number from 0 to 65535\n" + hint);
}

TEST(CommandLine, TakingItRewritesArgvAndTellsTheHost) {
  Arguments arguments({"vostrandelimerix", "--windowed", "a", "--", "--version"});
  int argc = arguments.argc();
  start_windowed = false;
  EXPECT_EQ(take_command_line(argc, arguments.argv()), -1);
  EXPECT_TRUE(start_windowed.load());
  ASSERT_EQ(argc, 3);
  EXPECT_EQ(std::string(arguments.argv()[0]), "vostrandelimerix");
  EXPECT_EQ(std::string(arguments.argv()[1]), "a");
  EXPECT_EQ(std::string(arguments.argv()[2]), "--version");
  EXPECT_EQ(arguments.argv()[3], nullptr);

  Arguments plain({"vostrandelimerix"});
  argc = plain.argc();
  EXPECT_EQ(take_command_line(argc, plain.argv()), -1);
  EXPECT_FALSE(start_windowed.load());
  EXPECT_EQ(argc, 1);

  // An empty argument vector (possible through execve) starts the game unchanged.
  char* empty[] = {nullptr};
  argc = 0;
  EXPECT_EQ(take_command_line(argc, empty), -1);
  EXPECT_EQ(argc, 0);
}

}  // namespace
