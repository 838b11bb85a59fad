#include "app/command_line.h"

#include <gtest/gtest.h>

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
