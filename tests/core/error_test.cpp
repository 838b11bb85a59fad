#include "runtime/core/error.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/arithmetic.h"
#include "runtime/core/dialog_host.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/window/xmessage_dialog.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_xmessage.h"

namespace {

using Args = std::vector<std::string>;

const std::string padding(25, ' ');

void reset_error_state() {
  new_error = 0;
  zqevent = 0;
  ercl = 0;
  inclercl = 0;
  includedfilename = nullptr;
  close_program = 0;
  stop_program = 0;
  suspend_program = 0;
  exit_ok = 0;
}

void set_argv0(const char* argv0) {
  char* argv[] = {const_cast<char*>(argv0), nullptr};
  set_program_arguments(argv0 ? 1 : 0, argv);
}

Args yes_no_dialog(const std::string& title, const std::string& text) {
  return {"-center", "-title", title, "-buttons", "Yes:2,No:1", text + padding};
}

Args ok_dialog(const std::string& title, const std::string& text) {
  return {"-center", "-title", title, "-buttons", "OK:1", text + padding};
}

class ErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_error_state();
    set_argv0("/usr/local/games/chess-puzzle");
  }
  void TearDown() override { reset_error_state(); }
};

constexpr int kProgramEnded = 40;
constexpr int kBodyReturned = 99;

TEST(HumanError, KnownNumbersHaveTheirMessages) {
  EXPECT_STREQ(human_error(0), "No error");
  EXPECT_STREQ(human_error(5), "Illegal function call");
  EXPECT_STREQ(human_error(9), "Subscript out of range");
  EXPECT_STREQ(human_error(14), "Out of string space");
  EXPECT_STREQ(human_error(69), "Communication-buffer overflow");
  EXPECT_STREQ(human_error(76), "Path not found");
  EXPECT_STREQ(human_error(258), "Invalid handle");
  EXPECT_STREQ(human_error(300), "Memory region out of range");
  EXPECT_STREQ(human_error(313), "Source and destination memory have been freed");
  EXPECT_STREQ(human_error(315), "_ASSERT failed (check console for description)");
}

TEST(HumanError, GapsAndOutOfRangeNumbersAreUnprintable) {
  for (int32_t n : {11, 15, 21, 60, 77, 257, 316, 504, -1, INT32_MIN})
    EXPECT_STREQ(human_error(n), "Unprintable error") << n;
}

TEST_F(ErrorTest, NonPositiveNumbersRecordIllegalFunctionCall) {
  error(0);
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_EQ(zqevent.load(), 1);
  reset_error_state();
  error(-3);
  EXPECT_EQ(new_error.load(), 5u);
}

TEST_F(ErrorTest, FirstErrorOfAStatementWins) {
  error(9);
  error(13);
  error(5);
  EXPECT_EQ(new_error.load(), 9u);
  EXPECT_TRUE(error_pending());
}

TEST_F(ErrorTest, ArrayCheckPassesIndicesBelowTheCount) {
  EXPECT_EQ(array_check(0, 9), 0u);
  EXPECT_EQ(array_check(8, 9), 8u);
  EXPECT_FALSE(error_pending());
  EXPECT_EQ(array_check(9, 9), 0u);
  EXPECT_EQ(new_error.load(), 9u);
  reset_error_state();
  // A subscript below the lower bound wraps round to a huge index.
  EXPECT_EQ(array_check(static_cast<uint32_t>(-1), 9), 0u);
  EXPECT_EQ(new_error.load(), 9u);
}

TEST_F(ErrorTest, StatementCheckWithoutEventDoesNothing) {
  FakeXmessage xmessage;
  check_statement(12);
  EXPECT_TRUE(xmessage.calls().empty());
  EXPECT_EQ(ercl, 0u);
}

TEST_F(ErrorTest, EventWithoutErrorReturnsQuietly) {
  FakeXmessage xmessage;
  zqevent = 1;
  check_statement(12);
  EXPECT_EQ(zqevent.load(), 0);
  EXPECT_TRUE(xmessage.calls().empty());
}

TEST_F(ErrorTest, YesReportsTheFirstErrorAndContinues) {
  FakeXmessage xmessage(2);
  int16_t table[3] = {1, 2, 3};
  // table(5) = 7 with bounds 0..2: the store is skipped while the error is pending.
  uint32_t index = array_check(5, 3);
  error(13);
  if (!error_pending()) table[index] = 7;
  check_statement(500);
  EXPECT_FALSE(error_pending());
  EXPECT_EQ(zqevent.load(), 0);
  EXPECT_EQ(ercl, 500u);
  EXPECT_EQ(table[0], 1);
  EXPECT_EQ(close_program.load(), 0);
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0],
            yes_no_dialog("Unhandled Error #9 - chess-puzzle",
                          "Line: 500 (in main module)\nSubscript out of range\nContinue?"));
  // The next statement runs normally.
  check_statement(501);
  EXPECT_EQ(xmessage.calls().size(), 1u);
}

TEST_F(ErrorTest, ReportTitleUsesTheFileNameAfterTheLastSeparator) {
  FakeXmessage xmessage(2);
  struct Case {
    const char* argv0;
    const char* name;
  };
  for (Case c : {Case{"C:\\games\\chess.exe", "chess.exe"}, Case{"dir\\sub/prog", "prog"},
                 Case{"/a/b\\c", "c"}, Case{"plain", "plain"}, Case{"trailing/", ""}}) {
    set_argv0(c.argv0);
    error(5);
    check_statement(1);
  }
  set_program_arguments(0, nullptr);
  error(5);
  check_statement(1);
  auto calls = xmessage.calls();
  ASSERT_EQ(calls.size(), 6u);
  const char* expected[] = {"chess.exe", "prog", "c", "plain", "", ""};
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_EQ(calls[i][2], std::string("Unhandled Error #5 - ") + expected[i]);
}

TEST_F(ErrorTest, IncludedLineAndFileTakeThePlaceOfTheStatementLine) {
  FakeXmessage xmessage(2);
  error(53);
  evnt(12, 34, "board.bi");
  error(53);
  evnt(12, 0, "ignored.bi");
  auto calls = xmessage.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0][5], "Line: 34 (in board.bi)\nFile not found\nContinue?" + padding);
  EXPECT_EQ(calls[1][5], "Line: 12 (in main module)\nFile not found\nContinue?" + padding);
}

TEST_F(ErrorTest, NoEndsTheProgram) {
  FakeXmessage xmessage(1);
  ChildResult result = run_in_child([] {
    start_end_watcher([] { return kProgramEnded + close_program.load(); });
    error(9);
    check_statement(236);
    return kBodyReturned;
  });
  EXPECT_TRUE(result.exited_with(kProgramEnded + 1)) << result.describe();
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0][5],
            "Line: 236 (in main module)\nSubscript out of range\nContinue?" + padding);
}

TEST_F(ErrorTest, MissingXmessageCountsAsNo) {
  FakeXmessage xmessage(2);
  xmessage.hide_xmessage();
  ChildResult result = run_in_child([] {
    start_end_watcher([] { return kProgramEnded + close_program.load(); });
    error(5);
    check_statement(3);
    return kBodyReturned;
  });
  EXPECT_TRUE(result.exited_with(kProgramEnded + 1)) << result.describe();
}

TEST_F(ErrorTest, CriticalErrorShowsOkAndExitsWithStatusOne) {
  FakeXmessage xmessage(2);  // a Yes answer cannot continue a critical error
  ChildResult result = run_in_child([] {
    error(306);
    check_statement(77);
    return kBodyReturned;
  });
  EXPECT_TRUE(result.exited_with(1)) << result.describe();
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0],
            ok_dialog("Critical Error #306 - chess-puzzle",
                      "Line: 77 (in main module)\nDestination memory has been freed"));
}

TEST_F(ErrorTest, CriticalErrorWithoutXmessageStillExits) {
  FakeXmessage xmessage;
  xmessage.hide_xmessage();
  ChildResult result = run_in_child([] {
    error(300);
    check_statement(1);
    return kBodyReturned;
  });
  EXPECT_TRUE(result.exited_with(1)) << result.describe();
}

TEST_F(ErrorTest, FatalCodesShowTheirDialogAtOnceAndExit) {
  struct Case {
    int32_t number;
    const char* text;
    const char* title;
  };
  const Case cases[] = {
      {257, "Out of memory", "Critical Error #1"},
      {502, "Out of memory", "Critical Error #2"},
      {504, "Out of memory", "Critical Error #4"},
      {512, "Out of memory", "Critical Error #12"},
      {518, "Out of memory", "Critical Error #18"},
      {11, "Division by zero", "Critical Error"},
      {256, "Out of stack space", "Critical Error"},
      {261, "Sub/Function does not exist in dynamic library", "Critical Error"},
      {271, "END/SYSTEM called within SUB _GL's scope", "Critical Error"},
  };
  for (const Case& c : cases) {
    FakeXmessage xmessage;
    // A pending error does not hold a fatal one back, and the fatal one never becomes pending.
    int32_t number = c.number;
    ChildResult result = run_in_child([number] {
      error(9);
      error(number);
      return kBodyReturned;
    });
    EXPECT_TRUE(result.exited_with(1)) << c.number << ": " << result.describe();
    ASSERT_EQ(xmessage.calls().size(), 1u) << c.number;
    EXPECT_EQ(xmessage.calls()[0], ok_dialog(c.title, c.text)) << c.number;
  }
}

template <DivisionFault fault>
int divide_with(int dividend, int divisor) {
  return int_divide<fault>(dividend, divisor);
}
template <DivisionFault fault>
int modulo_with(int dividend, int divisor) {
  return int_modulo<fault>(dividend, divisor);
}

// A division without a quotient ends the program with the same dialog and status whether the
// processor's signal reports it or the division tests its divisor (platforms without the signal):
// by zero, and the most negative number by -1, which x86 faults on alike.
TEST_F(ErrorTest, DivisionByZeroIsFatal) {
  constexpr DivisionFault checked = DivisionFault::checked;
  constexpr DivisionFault signalled = DivisionFault::signalled;
  struct Case {
    const char* name;
    DivisionFault fault;
    int (*divide)(int, int);
    int dividend, divisor;
  };
  std::vector<Case> cases = {
      {"checked division", checked, divide_with<checked>, 1000, 0},
      {"checked MOD", checked, modulo_with<checked>, 7, 0},
      {"checked division overflow", checked, divide_with<checked>, INT_MIN, -1},
      {"checked MOD overflow", checked, modulo_with<checked>, INT_MIN, -1},
  };
  if (division_fault_signals) {
    cases.push_back({"signalled division", signalled, divide_with<signalled>, 1000, 0});
    cases.push_back({"signalled MOD overflow", signalled, modulo_with<signalled>, INT_MIN, -1});
  }
  for (const Case& c : cases) {
    FakeXmessage xmessage;
    ChildResult result = run_in_child([&c] {
      // Checked divisions run without the handler: one that divided after all would kill the
      // child with the processor's signal instead of reporting.
      if (c.fault == DivisionFault::signalled) install_division_by_zero_handler();
      // Both operands volatile: a constant dividend of 1 lets the compiler drop the division.
      volatile int dividend = c.dividend;
      volatile int divisor = c.divisor;
      volatile int quotient = c.divide(dividend, divisor);
      return quotient == 0 ? kBodyReturned : kBodyReturned + 1;
    });
    EXPECT_TRUE(result.exited_with(1)) << c.name << ": " << result.describe();
    ASSERT_EQ(xmessage.calls().size(), 1u) << c.name;
    EXPECT_EQ(xmessage.calls()[0], ok_dialog("Critical Error", "Division by zero")) << c.name;
  }
}

TEST_F(ErrorTest, CheckedDivisionGivesTheOperatorsResults) {
  EXPECT_EQ(int_divide<DivisionFault::checked>(-7, 2), -3);
  EXPECT_EQ(int_modulo<DivisionFault::checked>(-7, 2), -1);
  EXPECT_EQ(int_modulo<DivisionFault::checked>(7, -2), 1);
  EXPECT_EQ(int_divide<DivisionFault::checked>(INT_MIN, 1), INT_MIN);
  // Narrower operands are promoted to int first, where their most negative number by -1 fits.
  EXPECT_EQ(int_divide<DivisionFault::checked>(int16_t{INT16_MIN}, int16_t{-1}), 32768);
  EXPECT_FALSE(error_pending());
}

TEST_F(ErrorTest, EndStatementClosesAndParks) {
  ChildResult result = run_in_child([]() -> int {
    start_end_watcher([] { return kProgramEnded + close_program.load(); });
    program_end();
  });
  EXPECT_TRUE(result.exited_with(kProgramEnded + 1)) << result.describe();
}

TEST_F(ErrorTest, EndKeepsParkingAfterTheStopRequest) {
  ChildResult result = run_in_child([]() -> int {
    std::thread([] {
      while (!(exit_ok.load() & 1)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stop_program = 1;
      raise_event();
      // end() must neither return nor end the process itself: the host loop does that.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      _exit(kProgramEnded);
    }).detach();
    end();
  });
  EXPECT_TRUE(result.exited_with(kProgramEnded)) << result.describe();
}

TEST_F(ErrorTest, PauseHoldsTheCheckUntilReleased) {
  suspend_program = 1;
  zqevent = 1;
  std::thread releaser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    suspend_program = 0;
    program_wakeup.notify();  // as the key press that ends a pause does
  });
  auto start = std::chrono::steady_clock::now();
  check_statement(10);
  auto waited = std::chrono::steady_clock::now() - start;
  releaser.join();
  EXPECT_GE(waited, std::chrono::milliseconds(50));
  EXPECT_EQ(exit_ok.load(), 0u);
}

TEST_F(ErrorTest, StopDuringPauseEndsTheProgram) {
  ChildResult result = run_in_child([] {
    start_end_watcher([] { return kProgramEnded + close_program.load(); });
    suspend_program = 1;
    zqevent = 1;
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      stop_program = 1;
      raise_event();
    }).detach();
    check_statement(10);
    return kBodyReturned;
  });
  // Stopped by the host, not by the program: close_program stays 0.
  EXPECT_TRUE(result.exited_with(kProgramEnded)) << result.describe();
}

TEST(MessageBoxTest, AnswersMapToResults) {
  FakeXmessage xmessage;
  xmessage.set_exit_code(2);
  EXPECT_EQ(MessageBox(0, "t", "c", 4), 6);
  EXPECT_EQ(MessageBox2(0, "t", "c", 4096 | 4), 6);
  xmessage.set_exit_code(1);
  EXPECT_EQ(MessageBox(0, "t", "c", 4), 7);
  xmessage.set_exit_code(5);
  EXPECT_EQ(MessageBox(0, "t", "c", 4), 7);
  EXPECT_EQ(MessageBox(0, "t", "c", 0), 1);
  xmessage.set_exit_code(0);
  EXPECT_EQ(MessageBox(0, "t", "c", 4096), 1);
  EXPECT_EQ(xmessage.calls().size(), 6u);
  // Other types show nothing.
  EXPECT_EQ(MessageBox(0, "t", "c", 3), 2);
  EXPECT_EQ(MessageBox(0, "t", "c", 4096 | 1), 2);
  EXPECT_EQ(xmessage.calls().size(), 6u);
  xmessage.hide_xmessage();
  EXPECT_EQ(MessageBox(0, "t", "c", 4), 7);
  EXPECT_EQ(MessageBox(0, "t", "c", 0), 1);
}

// Without xmessage, or on a host without dialogs, the report still reaches standard error, and
// counts as No.
TEST(MessageBoxTest, ReportReachesStandardErrorWhenNoDialogCanBeShown) {
  for (const bool host_has_dialogs : {true, false}) {
    FakeXmessage xmessage;
    if (host_has_dialogs) xmessage.hide_xmessage();
    char path[] = "/tmp/dialog-stderr-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    ChildResult result = run_in_child([file, host_has_dialogs] {
      dup2(file, 2);
      if (!host_has_dialogs) set_dialog_host(nullptr);
      return MessageBox(0, "Line: 5 (in main module)\nOverflow", "Unhandled Error #6 - game", 4);
    });
    close(file);
    EXPECT_TRUE(result.exited_with(7)) << result.describe();
    std::ifstream in(path);
    const std::string logged((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    std::remove(path);
    EXPECT_NE(logged.find("Unhandled Error #6 - game: Line: 5 (in main module) Overflow"),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find("no dialog could be shown"), std::string::npos) << logged;
    EXPECT_TRUE(xmessage.calls().empty());
  }
}

// A dialog nobody answers: the shutdown closes it (the report counts as No), and it never
// outlives the game, however the game ends.
TEST(MessageBoxTest, OpenDialogClosesAtShutdownAndDiesWithTheGame) {
  FakeXmessage xmessage;
  const std::string pid_file = "/tmp/dialog-pid-" + std::to_string(getpid());
  setenv("FAKE_XMESSAGE_PIDFILE", pid_file.c_str(), 1);
  setenv("FAKE_XMESSAGE_HOLD", "30", 1);
  auto dialog_pid = [&] {
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(pid_file);
      pid_t pid = 0;
      if (in >> pid) return pid;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid_t(0);
  };
  auto gone_within_seconds = [](pid_t pid) {
    for (int i = 0; i < 300; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string skip, state;
      if (!(stat >> skip >> skip >> state) || state == "Z") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };

  std::remove(pid_file.c_str());
  int32_t answer = 0;
  std::thread program([&] { answer = MessageBox(0, "text", "caption", 4); });
  ASSERT_NE(dialog_pid(), 0);
  close_open_dialog();
  program.join();
  EXPECT_EQ(answer, 7);
  reopen_xmessage_dialogs();  // the closing is for good; this process goes on testing

  // The game is killed (SIGKILL: no handler of its own can run) while its dialog is open.
  std::remove(pid_file.c_str());
  std::fflush(nullptr);
  const pid_t game = fork();
  if (game == 0) {
    std::thread([] { MessageBox(0, "text", "caption", 0); }).detach();
    pause();
    _exit(0);
  }
  const pid_t dialog = dialog_pid();
  ASSERT_NE(dialog, 0);
  kill(game, SIGKILL);
  waitpid(game, nullptr, 0);
  EXPECT_TRUE(gone_within_seconds(dialog)) << "the dialog outlived the game";
  kill(dialog, SIGKILL);
  unsetenv("FAKE_XMESSAGE_PIDFILE");
  unsetenv("FAKE_XMESSAGE_HOLD");
  std::remove(pid_file.c_str());
}

// Threads that show dialogs at once (the program's report, the window's alert) take turns, and
// the shutdown's close ends the dialog on screen, the one waiting for its turn and any asked for
// later: nothing is left on screen for the player, and nothing holds a thread.
TEST(MessageBoxTest, ThreadedDialogsTakeTurnsAndTheShutdownClosesThemAll) {
  FakeXmessage xmessage;
  setenv("FAKE_XMESSAGE_HOLD", "10", 1);  // on screen until closed
  auto within = [](std::chrono::milliseconds limit, auto done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };
  std::atomic<int32_t> report{0}, alerted{0};
  std::thread program([&] { report = MessageBox(0, "report", "caption", 4); });
  ASSERT_TRUE(within(std::chrono::seconds(5), [&] { return xmessage.calls().size() == 1; }));
  std::thread window([&] { alerted = MessageBox(0, "alert", "Alert", 0); });
  EXPECT_FALSE(within(std::chrono::milliseconds(300), [&] { return xmessage.calls().size() > 1; }))
      << "two dialogs on screen at once";

  close_open_dialog();
  EXPECT_TRUE(within(std::chrono::seconds(5), [&] { return report != 0 && alerted != 0; }))
      << "a dialog outlived the shutdown";
  program.join();
  window.join();
  EXPECT_EQ(report.load(), 7);
  EXPECT_EQ(alerted.load(), 1);
  unsetenv("FAKE_XMESSAGE_HOLD");
  EXPECT_EQ(MessageBox(0, "late", "caption", 4), 7);
  EXPECT_EQ(xmessage.calls().size(), 1u);
}

TEST(MessageBoxTest, TextAndCaptionReachXmessageVerbatimWithoutAShell) {
  FakeXmessage xmessage(2);
  std::string marker = "/tmp/core-dialog-injection-" + std::to_string(getpid());
  std::remove(marker.c_str());
  const std::string caption = "\"; touch " + marker + "; echo \" $(touch " + marker + ")";
  const std::string text = "`touch " + marker + "`\nline two; touch " + marker + " 'q' \\ $HOME";
  EXPECT_EQ(MessageBox(0, text.c_str(), caption.c_str(), 4), 6);
  struct stat info {};
  EXPECT_NE(stat(marker.c_str(), &info), 0) << "a shell ran part of the dialog text";
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0], yes_no_dialog(caption, text));
}

TEST(MessageBoxTest, NullTextsShowAsEmpty) {
  FakeXmessage xmessage;
  EXPECT_EQ(MessageBox(0, nullptr, nullptr, 0), 1);
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0], ok_dialog("", ""));
}

TEST(MessageBoxTest, AlertsUseAnOkDialogCaptionedAlert) {
  FakeXmessage xmessage;
  alert(-42);
  alert("list corrupted");
  auto calls = xmessage.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], ok_dialog("Alert", "-42"));
  EXPECT_EQ(calls[1], ok_dialog("Alert", "list corrupted"));
}

#if defined(__x86_64__) || defined(__i386__)
TEST(FpuReinit, LoadsTheDefaultControlWord) {
  uint16_t changed = 0x0C7F;  // round toward zero
  asm volatile("fldcw %0" : : "m"(changed));
  fpu_reinit();
  uint16_t now = 0;
  asm volatile("fnstcw %0" : "=m"(now));
  EXPECT_EQ(now, 0x037F);
}
#endif

}  // namespace
