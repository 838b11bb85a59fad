// Running a piece of a test in a forked child process.
//
// Program code may end the process (fatal errors exit with status 0) or park its thread for ever
// (end() waits for a host loop that tests don't run). Such code runs in a child:
//
//   ChildResult r = run_in_child([] {
//     start_end_watcher(kProgramEnded);  // _exit(kProgramEnded) once end() has been reached
//     memory_init();
//     strings_init();
//     program_end();
//     return 1;  // not reached
//   });
//   EXPECT_TRUE(r.exited_with(kProgramEnded)) << r.describe();
//
// The body's return value becomes the child's exit status. A child that neither exits nor dies
// within the timeout is killed and reported as timed out. GoogleTest assertions inside the body
// do not reach the parent: report through the exit status (or a file) instead.
#pragma once

#include <chrono>
#include <functional>
#include <string>

struct ChildResult {
  enum class Kind { exited, killed_by_signal, timed_out, fork_failed };
  Kind kind = Kind::fork_failed;
  int code = 0;  // exit status for exited, signal number for killed_by_signal

  bool exited_with(int status) const { return kind == Kind::exited && code == status; }
  // "exited with status 3", "killed by signal 11", "timed out", "fork failed".
  std::string describe() const;
};

// Forks, runs body in the child and ends the child with _exit(body()). Waits at most timeout for
// the child; a child still running then is killed (SIGKILL) and reaped.
ChildResult run_in_child(const std::function<int()>& body,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Starts a detached thread that ends the process with _exit(status()) as soon as bit 0 of
// exit_ok is set, that is once the program thread has reached end(). Meant for use inside a
// child started by run_in_child; status() runs on the watcher thread at that moment, so it can
// report what the program left behind (close_program, pages, variables).
void start_end_watcher(std::function<int()> status);
void start_end_watcher(int status);
