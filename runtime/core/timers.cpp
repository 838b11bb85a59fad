// User timers and the timer thread.
//
// Slots live in fixed blocks that are never moved or freed, and a new block is published before
// ontimer_nextfree counts its slots, so the timer thread can scan while the program creates slots
// without pausing it.
//
// The timer thread sleeps until the earliest deadline of an armed timer, or for good while none
// is armed. Whatever can change a deadline wakes it: setting a timer up, turning it on, off or
// stopping it, freeing a slot, the end of a handler (a pending timer has no deadline until its
// handler has run), a pause or release request, and the stop request.
#include "runtime/core/timers.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <vector>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/wakeup.h"

namespace {

constexpr int32_t slots_per_block = 256;
constexpr int32_t max_blocks = 4096;

struct ontimer_block {
  ontimer_struct slots[slots_per_block];
};

// Block 0 exists from the start: slot 0 is the program's classic timer, allocated at start-up.
ontimer_block first_block = {{{{1}}}};

// Block pointers: written by the program thread (release) before ontimer_nextfree covers them.
std::atomic<ontimer_block*> blocks[max_blocks] = {};

ontimer_block* block_for(int32_t slot) {
  const int32_t index = slot / slots_per_block;
  if (index == 0) return &first_block;
  return blocks[index].load(std::memory_order_acquire);
}

// Makes sure slot exists; false when its block cannot be allocated.
bool ensure_slot(int32_t slot) {
  const int32_t index = slot / slots_per_block;
  if (index >= max_blocks) return false;
  if (block_for(slot)) return true;
  auto* block = new (std::nothrow) ontimer_block;
  if (!block) return false;
  blocks[index].store(block, std::memory_order_release);
  return true;
}

// Free-slot stack (program thread only); starts with room for 8 and doubles when full.
std::vector<int32_t> ontimer_freelist;

bool valid_allocated_slot(int32_t slot) {
  return slot >= 0 && slot < ontimer_nextfree.load(std::memory_order_relaxed) &&
         ontimer_slot(slot).allocated.load();
}

// Turns a slot off: cancels a pending event and disarms it.
void timer_off(ontimer_struct& t) {
  t.active.store(0);
  uint8_t pending = 1;
  t.state.compare_exchange_strong(pending, 0);
  t.last_time.store(0);
}

// Set by the timer thread while it runs, so that stop_timers never waits for a thread that is gone.
std::atomic<bool> timer_thread_running{false};

// What the timer thread waits on (see above).
Wakeup timer_wakeup;
// The timer thread's acknowledgement of a pause request (stop_timers waits on it).
Wakeup timer_pause_acknowledged;

}  // namespace

void wake_timer_thread() { timer_wakeup.notify(); }

std::atomic<int32_t> ontimer_nextfree{1};
int32_t ontimer_freelist_available = 0;
std::atomic<int32_t> ontimerthread_lock{0};
void (*ontimer_handler)(uint32_t id) = nullptr;

ontimer_struct& ontimer_slot(int32_t i) { return block_for(i)->slots[i % slots_per_block]; }

int32_t func__freetimer() {
  if (error_pending()) return 0;
  int32_t slot;
  if (ontimer_freelist_available > 0) {
    slot = ontimer_freelist[--ontimer_freelist_available];
  } else {
    slot = ontimer_nextfree.load(std::memory_order_relaxed);
    if (!ensure_slot(slot)) {
      error(out_of_memory_fatal);
      return 0;
    }
    ontimer_slot(slot).state.store(0);
  }
  ontimer_struct& t = ontimer_slot(slot);
  t.active.store(0);
  t.id.store(0);
  t.allocated.store(1);
  if (slot == ontimer_nextfree.load(std::memory_order_relaxed))
    ontimer_nextfree.store(slot + 1, std::memory_order_release);
  return slot;
}

void freetimer(int32_t slot) {
  // Freeing a slot twice would put it on the free stack twice and hand it to two owners.
  if (!valid_allocated_slot(slot)) return;
  ontimer_struct& t = ontimer_slot(slot);
  t.allocated.store(0);
  t.id.store(0);
  if (static_cast<size_t>(ontimer_freelist_available) == ontimer_freelist.size()) {
    try {
      ontimer_freelist.resize(ontimer_freelist.empty() ? 8 : ontimer_freelist.size() * 2);
    } catch (const std::bad_alloc&) {
      error(out_of_memory_fatal);  // the slot stays unallocated but cannot be reused
      return;
    }
  }
  ontimer_freelist[ontimer_freelist_available++] = slot;
}

void ontimer_setup(int32_t slot, double seconds, int32_t id, int64_t extra) {
  if (error_pending()) return;
  if (!valid_allocated_slot(slot)) {
    error(illegal_function_call);
    return;
  }
  ontimer_struct& t = ontimer_slot(slot);
  uint8_t pending = 1;
  t.state.compare_exchange_strong(pending, 0);
  t.seconds.store(seconds);
  t.id.store(static_cast<uint32_t>(id));
  t.extra = extra;
  t.last_time.store(0);
  wake_timer_thread();
}

void sub_timer(int32_t slot, int32_t option, int32_t passed) {
  if (error_pending()) return;
  if (!(passed & timer_slot_given)) slot = 0;
  if (!valid_allocated_slot(slot)) {
    error(illegal_function_call);
    return;
  }
  ontimer_struct& t = ontimer_slot(slot);
  switch (option) {
    case 1:
      t.active.store(1);
      break;
    case 2:
      timer_off(t);
      break;
    case 3:
      t.active.store(2);
      break;
    case 4:
      if (slot == 0) {
        error(illegal_function_call);
        return;
      }
      t.active.store(0);
      {
        uint8_t pending = 1;
        t.state.compare_exchange_strong(pending, 0);
      }
      freetimer(slot);
      break;
    default:
      break;
  }
  wake_timer_thread();
}

void stop_timers() {
  ontimerthread_lock.store(1);
  wake_timer_thread();
  // A thread that is not running (not started yet, or finished) cannot scan: no need to wait. If it
  // starts meanwhile, it sees the request before its first scan; if it ends meanwhile, its end
  // notifies timer_pause_acknowledged like an acknowledgement.
  for (;;) {
    const uint32_t seen = timer_pause_acknowledged.generation();
    if (ontimerthread_lock.load() == 2 || !timer_thread_running.load()) break;
    timer_pause_acknowledged.wait(seen);
  }
}

void start_timers() {
  ontimerthread_lock.store(0);
  wake_timer_thread();
}

namespace {

// What one scan found: cut short by a pause request, or the time of the next deadline (none when
// no timer is armed or every armed one waits for its handler).
struct TimerScan {
  bool interrupted = false;
  bool has_deadline = false;
  double next_deadline = 0;  // tick-source seconds

  void deadline(double at) {
    if (!has_deadline || at < next_deadline) next_deadline = at;
    has_deadline = true;
  }
};

// One scan over the slots: marks due timers pending and arms new ones.
TimerScan scan_timers() {
  TimerScan scan;
  const double now = static_cast<double>(GetTicks()) * 0.001;
  const int32_t count = ontimer_nextfree.load(std::memory_order_acquire);
  for (int32_t i = 0; i < count; ++i) {
    if (ontimerthread_lock.load() != 0) {
      scan.interrupted = true;
      return scan;
    }
    ontimer_struct& t = ontimer_slot(i);
    if (!t.allocated.load() || t.id.load() == 0) continue;
    const uint8_t active = t.active.load();
    if (active != 1 && active != 2) continue;
    if (t.state.load() != 0) continue;
    double last = t.last_time.load();
    const double interval = t.seconds.load();
    if (last == 0 || now < last) {
      // The first scan only arms the timer. The tick source wraps every 2^32 ms (and reads
      // negative in half of that span): a clock that went back re-arms instead of stalling.
      t.last_time.store(now);
      scan.deadline(now + interval);
      continue;
    }
    if (now - last <= interval) {
      scan.deadline(last + interval);
      continue;
    }
    last += interval;
    // Fallen behind (a slow handler): restart the cadence from now, so events never pile up.
    if (now - last >= interval) last = now;
    t.last_time.store(last);
    uint8_t idle = 0;
    if (t.state.compare_exchange_strong(idle, 1)) raise_event();
  }
  return scan;
}

// A timer fires on the first scan after its interval has passed (now - last > interval): wake one
// tick-source millisecond after the deadline.
std::chrono::steady_clock::time_point wake_time(double deadline_seconds) {
  const double wait_ms = (deadline_seconds - static_cast<double>(GetTicks()) * 0.001) * 1000.0;
  const auto wait = std::chrono::milliseconds(static_cast<int64_t>(std::max(0.0, wait_ms)) + 1);
  return std::chrono::steady_clock::now() + wait;
}

}  // namespace

void TIMERTHREAD() {
  timer_thread_running.store(true);
  for (;;) {
    const uint32_t seen = timer_wakeup.generation();
    if (stop_program.load()) break;
    int32_t lock = ontimerthread_lock.load();
    if (lock == 1 && ontimerthread_lock.compare_exchange_strong(lock, 2)) {
      timer_pause_acknowledged.notify();
      lock = 2;
    }
    if (lock != 0) {
      timer_wakeup.wait(seen);  // paused until start_timers (or the stop request)
      continue;
    }
    const TimerScan scan = scan_timers();
    // A scan cut short by a pause request goes straight back to acknowledge it.
    if (scan.interrupted) continue;
    if (scan.has_deadline)
      timer_wakeup.wait_until(seen, wake_time(scan.next_deadline));
    else
      timer_wakeup.wait(seen);
  }
  timer_thread_running.store(false);
  timer_pause_acknowledged.notify();  // stop_timers need not wait for an answer any more
  acknowledge_stop(stop_acknowledged_by_timer_thread);
}

void ontimer_dispatch() {
  const int32_t count = ontimer_nextfree.load(std::memory_order_relaxed);
  for (int32_t i = 0; i < count; ++i) {
    ontimer_struct& t = ontimer_slot(i);
    if (!t.allocated.load()) continue;
    const uint32_t id = t.id.load();
    if (id == 0 || t.active.load() != 1 || t.state.load() != 1) continue;
    t.state.store(2);
    if (ontimer_handler) ontimer_handler(id);
    t.state.store(0);
    sleep_break.store(1);
    wake_timer_thread();  // the timer has a deadline again
  }
}
