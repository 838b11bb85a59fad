// The main of every test binary: GoogleTest with a guard against dialogs nobody expected.
//
// Dialogs go through the desktop's xmessage host, as in the game. Before any test runs, the
// recording stand-in for xmessage goes first in PATH with a log of this process's own, and every
// dialog shown anywhere in the process or its forked children is appended there. A test that
// provokes dialogs on purpose creates a FakeXmessage, which sends them to a log of its own for the
// test to check. Whatever still reaches the process's log was not declared: the guard names the
// test and the dialog, and the binary exits with status 1 even when every assertion passed. (A
// listener cannot fail a test that has already ended, hence the exit status; CTest runs each test
// on its own, so the failure lands on the right test.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "runtime/host/window/xmessage_dialog.h"
#include "tests/support/fake_xmessage.h"

namespace {

class UndeclaredDialogGuard : public testing::EmptyTestEventListener {
 public:
  explicit UndeclaredDialogGuard(std::string log) : log_(std::move(log)) {}

  void OnTestStart(const testing::TestInfo&) override {
    offset_ = log_size();
    // Dialogs closed by a shutdown an earlier test ran in this process are shown again.
    reopen_xmessage_dialogs();
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    for (const FakeXmessage::Call& call : FakeXmessage::read_log(log_, offset_)) {
      ++undeclared_;
      std::cerr << "UNDECLARED DIALOG in " << test.test_suite_name() << "." << test.name() << ":";
      for (const std::string& argument : call) std::cerr << " [" << argument << "]";
      std::cerr << "\n";
    }
    offset_ = log_size();
  }

  int undeclared() const { return undeclared_; }

 private:
  std::streamoff log_size() const {
    std::error_code ignored;
    const auto size = std::filesystem::file_size(log_, ignored);
    return ignored ? 0 : static_cast<std::streamoff>(size);
  }

  std::string log_;
  std::streamoff offset_ = 0;
  int undeclared_ = 0;
};

// Under the test command (VOST_REQUIRE_ALL_TESTS=1 in the environment) a skipped test fails:
// there a test that skips for want of something could never fail, so the want is the failure.
// Listeners hear a test's end in reverse order, so this one speaks before the result is printed.
class SkipIsFailure : public testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const testing::TestInfo& test) override {
    if (test.result()->Skipped())
      ADD_FAILURE() << "skipped, but VOST_REQUIRE_ALL_TESTS requires every test to run: install "
                       "what it needs (scripts/install-deps.sh test)";
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Dialogs go through xmessage, as in the game, so that the stand-in below sees them.
  set_dialog_host(xmessage_dialog_host());

  // The process-wide recording stand-in; it answers No (or OK), so a program that meets an
  // unexpected error ends, which the program tests report as well.
  FakeXmessage dialogs(1);
  const std::string log = std::getenv("FAKE_XMESSAGE_LOG");
  auto* guard = new UndeclaredDialogGuard(log);
  testing::UnitTest::GetInstance()->listeners().Append(guard);  // owned by GoogleTest
  const char* require_all = std::getenv("VOST_REQUIRE_ALL_TESTS");
  if (require_all != nullptr && std::string(require_all) == "1")
    testing::UnitTest::GetInstance()->listeners().Append(new SkipIsFailure);

  const int status = RUN_ALL_TESTS();
  if (guard->undeclared() > 0) {
    std::cerr << guard->undeclared() << " dialog(s) that no test declared\n";
    return 1;
  }
  return status;
}
