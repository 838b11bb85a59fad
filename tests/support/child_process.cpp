#include "tests/support/child_process.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "runtime/core/error.h"

std::string ChildResult::describe() const {
  switch (kind) {
    case Kind::exited:
      return "exited with status " + std::to_string(code);
    case Kind::killed_by_signal:
      return "killed by signal " + std::to_string(code);
    case Kind::timed_out:
      return "timed out";
    case Kind::fork_failed:
      return "fork failed";
  }
  return "unknown";
}

ChildResult run_in_child(const std::function<int()>& body, std::chrono::milliseconds timeout) {
  // Anything still buffered would otherwise be written twice, once by each process.
  std::fflush(nullptr);
  ChildResult result;
  pid_t child = fork();
  if (child < 0) return result;
  if (child == 0) _exit(body());

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t waited = waitpid(child, &status, WNOHANG);
    if (waited == child) {
      if (WIFEXITED(status)) {
        result.kind = ChildResult::Kind::exited;
        result.code = WEXITSTATUS(status);
      } else {
        result.kind = ChildResult::Kind::killed_by_signal;
        result.code = WTERMSIG(status);
      }
      return result;
    }
    if (waited == -1 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
      }
      result.kind = ChildResult::Kind::timed_out;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void start_end_watcher(std::function<int()> status) {
  std::thread([status = std::move(status)] {
    while (!(exit_ok.load(std::memory_order_acquire) & 1))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::fflush(nullptr);
    _exit(status());
  }).detach();
}

void start_end_watcher(int status) {
  start_end_watcher([status] { return status; });
}
