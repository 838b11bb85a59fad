// The display lock handshake between the program thread and frame preparation.
#include "runtime/screen/display_lock.h"

#include <thread>

#include "runtime/core/process_flags.h"

std::atomic<int32_t> lock_display{0};
std::atomic<int32_t> lock_display_required{0};

DisplayLock::DisplayLock() {
  if (!autodisplay.load() || !lock_display_required.load()) return;
  int32_t expected = 0;
  lock_display.compare_exchange_strong(expected, 1);
  while (lock_display.load() != 2) std::this_thread::yield();
  taken_ = true;
}

DisplayLock::~DisplayLock() {
  if (taken_) lock_display.store(0);
}

void answer_display_lock() {
  int32_t requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) std::this_thread::yield();
}
