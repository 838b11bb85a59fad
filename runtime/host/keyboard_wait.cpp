#include "runtime/host/keyboard_wait.h"

#include "runtime/core/error.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/keyboard.h"

std::atomic<bool> program_waiting_for_key{false};
std::atomic<uint32_t> key_waits_begun{0};

void keyboard_wait_for_key() {
  bool announced = false;
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    if (!keyboard_ring_empty() || zqevent.load(std::memory_order_acquire)) break;
    if (!announced) {
      // Everything drawn before this wait is final until a key comes: the main loop shows it now
      // and can then sleep (release: the drawing happens before the count it reads).
      program_waiting_for_key.store(true, std::memory_order_release);
      key_waits_begun.fetch_add(1, std::memory_order_release);
      presentation_wakeup.notify();
      announced = true;
    }
    program_wakeup.wait(seen);
  }
  if (announced) {
    // Busy again: the main loop goes back to its steady frame cadence while the program draws.
    program_waiting_for_key.store(false, std::memory_order_release);
    presentation_wakeup.notify();
  }
}
