// Running the puzzle's procedures in a forked child, headless, and checking what they left.
//
// Every test body runs in a child process (run_in_child) with a freshly initialised runtime, no
// window and a fixed clock, because the program may park its thread in end() or exit the
// process. Checks made in the child travel to the parent through a pipe, one line per failure;
// the parent turns each into a test failure.
//
// A program that ends is a failure unless the test asked for that end (quit() presses Esc,
// stop_program_and_wait() requests a stop) and no error is pending then: an error dialog
// answered No, a fatal error or an end the test did not ask for all fail the test.
//
// Playing: ZQMAIN runs on a thread of its own while the child's main thread acts as the player,
// pressing keys through keydown/keyup. wait_at_prompt() presses F1, a key every prompt ignores, and
// waits until the program has read it: from then on the program sits idle at its prompt, every
// change it made before is visible (the ring's head is published with release and read with
// acquire), and its pages can be read safely.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

#include "app/program.h"
#include "app/state.h"
#include "runtime/core/atomic_ref.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/runtime.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "tests/support/child_process.h"
#include "tests/support/runtime_fixture.h"

namespace program_test {

// Exit status of a child whose program reached end() the way the test asked for.
inline constexpr int program_ended = 42;
// Exit status of a child whose body returned normally.
inline constexpr int body_finished = 43;
// Exit status of a child whose program ended on its own, or with an error pending.
inline constexpr int program_died = 44;

// Failure lines written by the child.
inline int failure_pipe = -1;

inline void report(const std::string& message) {
  const std::string line = message + "\n";
  if (failure_pipe < 0) return;
  const ssize_t written = ::write(failure_pipe, line.data(), line.size());
  static_cast<void>(written);
}

// Streams a value; small integer types print as numbers, not characters.
template <class T>
void print_value(std::ostream& out, const T& value) {
  if constexpr (std::is_integral_v<T>)
    out << +value;
  else
    out << value;
}

template <class A, class B>
void expect_equal(const A& actual, const B& expected, const char* what, const char* file,
                  int line) {
  if (actual == expected) return;
  std::ostringstream message;
  message << file << ":" << line << ": " << what << " is ";
  print_value(message, actual);
  message << ", expected ";
  print_value(message, expected);
  report(message.str());
}

#define CHILD_EXPECT_EQ(actual, expected) \
  ::program_test::expect_equal((actual), (expected), #actual, __FILE__, __LINE__)
#define CHILD_EXPECT(condition)                                                              \
  do {                                                                                       \
    if (!(condition))                                                                        \
      ::program_test::report(std::string(__FILE__) + ":" + std::to_string(__LINE__) + ": " + \
                             #condition " is false");                                        \
  } while (0)

// Ticks frozen at 1000 ms with the reference at local noon: TIMER reads 43200 throughout.
inline int64_t frozen_ticks() { return 1000; }

// A fresh runtime as the child's first step: no window, no wait for a whole second, frozen
// clock, then the program's state created as ZQMAIN would.
inline void prepare_runtime() {
  init_headless_runtime();
  set_tick_source(frozen_ticks);
  clock_firsttimervalue = 1000;
  zorbel_firsttimervalue = 12 * 3600 * 1000;
}

// Runs body in a child with a prepared runtime and reports its failures here. The child must end
// with program_ended or body_finished.
inline void run_checked(const std::function<void()>& body,
                        std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ChildResult result = run_in_child(
      [&] {
        ::close(fds[0]);
        failure_pipe = fds[1];
        prepare_runtime();
        body();
        return body_finished;
      },
      timeout);
  ::close(fds[1]);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
  ::close(fds[0]);
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) ADD_FAILURE() << line;
  EXPECT_TRUE(result.exited_with(program_ended) || result.exited_with(body_finished))
      << result.describe()
      << (result.exited_with(program_died) ? " (the program ended when the test did not ask it to)"
                                           : "");
}

// Presses and releases one key, waiting for room in the keyboard ring first.
inline void press(int32_t code) {
  for (;;) {
    const uint8_t head = AtomicRef<uint8_t>(cmem[0x41A]).load(std::memory_order_acquire);
    const uint8_t tail = AtomicRef<uint8_t>(cmem[0x41C]).load(std::memory_order_acquire);
    const uint8_t next = tail + 2 > 0x3C ? 0x1E : uint8_t(tail + 2);
    if (next != head) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  keydown(code);
  keyup(code);
}

inline void type(std::string_view keys) {
  for (char c : keys) press(static_cast<uint8_t>(c));
}

// Waits until the program has read every key pressed so far.
inline void wait_until_read() {
  while (!keyboard_ring_empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

inline constexpr int32_t key_f1 = 0x3B00;
inline constexpr int32_t key_enter = 13;
inline constexpr int32_t key_escape = 27;

// Presses a key that every prompt ignores and waits until it has been read (see above).
inline void wait_at_prompt() {
  press(key_f1);
  wait_until_read();
}

// The end the test has asked for: none yet, Esc, or a stop request.
enum class requested_end { none, escape, stop };
inline std::atomic<requested_end> end_requested{requested_end::none};

// Checks to run once the program has reached end(); set before the key or stop request that
// ends it (the ring and the stop flag carry the write over to the program thread and on to the
// watcher).
inline std::function<void()> at_program_end = [] {};

// How the program ended, judged on the watcher thread once it has reached end().
inline int judge_program_end() {
  const requested_end asked = end_requested.load();
  if (asked == requested_end::none) {
    report("the program ended although the test did not ask it to (error " +
           std::to_string(new_error.load()) + " at line " + std::to_string(ercl) + ")");
    return program_died;
  }
  if (new_error.load() != 0) {
    report("the program ended with error " + std::to_string(new_error.load()) + " pending (line " +
           std::to_string(ercl) + ")");
    return program_died;
  }
  // Esc ends through the end statement, which sets close_program; a stop request does not.
  if (asked == requested_end::escape) CHILD_EXPECT_EQ(close_program.load(), 1);
  at_program_end();
  return program_ended;
}

// Starts ZQMAIN on its own thread. When the program reaches end(), the watcher thread judges
// the end, runs at_program_end if it was the requested one, and ends the child.
inline void start_program() {
  start_end_watcher(judge_program_end);
  std::thread([] { ZQMAIN(); }).detach();
}

// Asks the program to stop at its next statement check (as the host does when the window
// closes) and waits; the watcher ends the child.
[[noreturn]] inline void stop_program_and_wait(std::function<void()> checks = [] {}) {
  at_program_end = std::move(checks);
  end_requested.store(requested_end::stop);
  stop_program.store(1);
  raise_event();
  for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Presses Esc and waits for the program to end.
[[noreturn]] inline void quit(std::function<void()> checks = [] {}) {
  at_program_end = std::move(checks);
  end_requested.store(requested_end::escape);
  press(key_escape);
  for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Pixel of the write page (pages here are indexed, one byte per pixel).
inline uint8_t pixel(int x, int y) { return write_page->pixels[y * write_page->width + x]; }

// True when text row/column onwards shows text in the 8 x 8 font: every glyph pixel set and
// every other pixel of the cell 0.
inline bool text_shown(int row, int column, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t* glyph = &charset8x8[static_cast<uint8_t>(text[i]) * 64];
    const int x0 = (column - 1 + int(i)) * 8, y0 = (row - 1) * 8;
    for (int dy = 0; dy < 8; ++dy)
      for (int dx = 0; dx < 8; ++dx)
        if ((glyph[dy * 8 + dx] != 0) != (pixel(x0 + dx, y0 + dy) != 0)) return false;
  }
  return true;
}

}  // namespace program_test
