// Waking a thread that waits for work, instead of having it look every few milliseconds.
//
// A Wakeup is a generation counter with a condition variable. A waiter reads generation(),
// checks whether it has work, and only if not calls wait(seen): the call returns as soon as
// anyone has called notify() since the generation was read, so a notification that comes between
// the check and the wait is never lost. The notifier publishes its work first (an atomic store,
// a ring's tail) and notifies after it.
//
// The process has three waiters of this kind (the window thread waits in poll() on its X
// connection and an eventfd, runtime/host/window/window_wakeup.h):
// - program_wakeup: the program thread waiting for a key, in a pause, or in end(). Notified by
//   key presses, by raise_event() (timer events, the pause key, the stop request) and when the
//   window comes to exist.
// - presentation_wakeup: the main loop thread waiting for something to show or to do. Notified
//   when the program starts or stops waiting for a key, asks for the display lock, hands over or
//   asks for a frame, when a presentation change is requested and when the process should close.
// - the timer thread, which has its own in timers.cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class Wakeup {
 public:
  // The current generation; read it before checking for work.
  uint32_t generation() const { return generation_.load(std::memory_order_acquire); }
  // Starts a new generation and wakes every waiter. Any thread.
  void notify();
  // Blocks until the generation differs from seen.
  void wait(uint32_t seen);
  // Blocks until the generation differs from seen or the deadline passes; false on timeout.
  bool wait_until(uint32_t seen, std::chrono::steady_clock::time_point deadline);

 private:
  std::atomic<uint32_t> generation_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
};

extern Wakeup program_wakeup;
extern Wakeup presentation_wakeup;
