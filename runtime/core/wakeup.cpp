#include "runtime/core/wakeup.h"

Wakeup program_wakeup;
Wakeup presentation_wakeup;

void Wakeup::notify() {
  {
    // The increment happens under the mutex, so a waiter between its generation check and its
    // sleep on the condition variable cannot miss it.
    std::lock_guard<std::mutex> guard(mutex_);
    generation_.fetch_add(1, std::memory_order_acq_rel);
  }
  changed_.notify_all();
}

void Wakeup::wait(uint32_t seen) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return generation_.load(std::memory_order_acquire) != seen; });
}

bool Wakeup::wait_until(uint32_t seen, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_until(lock, deadline,
                             [&] { return generation_.load(std::memory_order_acquire) != seen; });
}
