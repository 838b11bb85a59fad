// User timers and the timer thread.
//
// Slots live in fixed blocks that are never moved or freed, and a new block is published before
// ontimer_nextfree counts its slots, so the timer thread can scan while the program creates slots
// without pausing it.
#include "runtime/core/timers.h"

#include <new>
#include <vector>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"

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

}  // namespace

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
}

void stop_timers() {
  ontimerthread_lock.store(1);
  // A thread that is not running (not started yet, or finished) cannot scan: no need to wait. If it
  // starts meanwhile, it sees the request before its first scan.
  while (ontimerthread_lock.load() != 2 && timer_thread_running.load()) Sleep(0);
}

void start_timers() { ontimerthread_lock.store(0); }

namespace {

enum class TimerScan { Interrupted, NothingArmed, Armed };

// While no timer is armed the thread only has to notice pause and stop requests, so it wakes
// every 15 ms instead of every millisecond: an idle program then costs almost nothing here.
// A timer switched on is armed by the first scan after it, so its first period starts at most
// this much later.
constexpr uint32_t idle_scan_interval_ms = 15;

// One scan over the slots; Interrupted when a pause request cut it short.
TimerScan scan_timers() {
  bool armed = false;
  const double now = static_cast<double>(GetTicks()) * 0.001;
  const int32_t count = ontimer_nextfree.load(std::memory_order_acquire);
  for (int32_t i = 0; i < count; ++i) {
    if (ontimerthread_lock.load() != 0) return TimerScan::Interrupted;
    ontimer_struct& t = ontimer_slot(i);
    if (!t.allocated.load() || t.id.load() == 0) continue;
    const uint8_t active = t.active.load();
    if (active != 1 && active != 2) continue;
    armed = true;
    if (t.state.load() != 0) continue;
    double last = t.last_time.load();
    const double interval = t.seconds.load();
    if (last == 0 || now < last) {
      // The first scan only arms the timer. The tick source wraps every 2^32 ms (and reads
      // negative in half of that span): a clock that went back re-arms instead of stalling.
      t.last_time.store(now);
      continue;
    }
    if (now - last <= interval) continue;
    last += interval;
    // Fallen behind (a slow handler): restart the cadence from now, so events never pile up.
    if (now - last >= interval) last = now;
    t.last_time.store(last);
    uint8_t idle = 0;
    if (t.state.compare_exchange_strong(idle, 1)) zqevent.store(1, std::memory_order_release);
  }
  return armed ? TimerScan::Armed : TimerScan::NothingArmed;
}

}  // namespace

void TIMERTHREAD() {
  timer_thread_running.store(true);
  for (;;) {
    int32_t lock = ontimerthread_lock.load();
    if (lock == 1) ontimerthread_lock.compare_exchange_strong(lock, 2);
    TimerScan scan = TimerScan::Armed;
    if (lock == 0) {
      scan = scan_timers();
      // A scan cut short by a pause request goes straight back to acknowledge it.
      if (scan == TimerScan::Interrupted) continue;
    }
    Sleep(scan == TimerScan::NothingArmed ? idle_scan_interval_ms : 1);
    if (stop_program.load()) break;
  }
  timer_thread_running.store(false);
  exit_ok.fetch_or(2);
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
  }
}
