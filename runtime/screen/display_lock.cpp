// The display lock handshake between the program thread and frame preparation.
#include "runtime/screen/display_lock.h"

#include "runtime/core/error.h"
#include "runtime/core/process_flags.h"
#include "runtime/core/wakeup.h"

std::atomic<int32_t> lock_display{0};
std::atomic<int32_t> lock_display_required{0};

DisplayLock::DisplayLock() {
  if (!autodisplay.load() || !lock_display_required.load()) return;
  int32_t expected = 0;
  lock_display.compare_exchange_strong(expected, 1);
  presentation_wakeup.notify();  // frame preparation may be asleep: it answers when it runs
  // Frame preparation answers at its next pass. Once shutdown has begun it never runs again: the
  // shutdown answers a request pending at that moment (answer_display_lock), and a request made
  // later is granted here, since nothing reads the screen any more. The stop flag is stored
  // before the shutdown's answer, so one of the two always sees the other.
  while (lock_display.load() == 1) {
    if (stop_program.load()) {
      answer_display_lock();
      break;
    }
    lock_display.wait(1);
  }
  taken_ = true;
}

DisplayLock::~DisplayLock() {
  if (taken_) lock_display.store(0);
}

void answer_display_lock() {
  int32_t requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) lock_display.notify_all();
}
