// The display lock handshake between the program thread and frame preparation.
#include "runtime/screen/display_lock.h"

#include "runtime/core/error.h"
#include "runtime/core/process_flags.h"
#include "runtime/core/wakeup.h"
#include "runtime/screen/image.h"

std::atomic<int32_t> lock_display{0};
std::atomic<int32_t> lock_display_required{0};

namespace {

// DisplayLock objects alive on this thread: only the outermost one takes and releases the lock.
thread_local uint32_t locks_held = 0;

}  // namespace

DisplayLock::DisplayLock() {
  outermost_ = locks_held++ == 0;
  if (!outermost_) return;
  if (!autodisplay.load() || !lock_display_required.load()) return;
  int32_t expected = 0;
  lock_display.compare_exchange_strong(expected, 1);
  presentation_wakeup.notify();  // frame preparation may be asleep: it answers when it runs
  // Frame preparation answers at its next pass. Once shutdown has begun it never runs again: the
  // shutdown answers a request pending at that moment (answer_display_lock), and a request made
  // later is granted here, since nothing reads the screen any more. The stop flag is stored
  // before the shutdown's answer, so one of the two always sees the other.
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    if (lock_display.load() != 1) break;
    if (stop_program.load()) {
      answer_display_lock();
      break;
    }
    program_wakeup.wait(seen);
  }
  taken_ = true;
}

DisplayLock::~DisplayLock() {
  --locks_held;
  if (taken_) lock_display.store(0);
}

PageStructureChange::PageStructureChange(const img_struct& im) {
  if (im.flags & IMG_SCREEN) lock_.emplace();
}

void answer_display_lock() {
  int32_t requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) program_wakeup.notify();
}
