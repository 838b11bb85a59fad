// Clock, delays, random numbers and user timers.
#include "runtime/core/clock.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/process_flags.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"
#include "runtime/screen/text.h"

// ---------------------------------------------------------------------------------------------
// Tick source

namespace {

int64_t monotonic_ticks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // The classic tick counter is 32 bits wide and wraps every 2^32 ms; callers rely on that.
  const uint32_t ms = static_cast<uint32_t>(now.tv_sec) * 1000u +
                      static_cast<uint32_t>(now.tv_nsec / 1000000);
  return static_cast<int32_t>(ms);
}

// Written by tests before the threads that read it start; relaxed is enough for that hand-over.
std::atomic<tick_source_fn> tick_source{nullptr};

}  // namespace

int64_t GetTicks() {
  const tick_source_fn source = tick_source.load(std::memory_order_relaxed);
  return source ? source() : monotonic_ticks();
}

void set_tick_source(tick_source_fn source) {
  tick_source.store(source, std::memory_order_relaxed);
}

void Sleep(uint32_t ms) {
  timespec wait{};
  wait.tv_sec = ms / 1000;
  wait.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  nanosleep(&wait, nullptr);
}

// ---------------------------------------------------------------------------------------------
// TIMER

namespace {

constexpr uint32_t ms_per_day = 86400000;
constexpr double classic_ticks_per_second = 18.2;

// Local milliseconds since midnight from the start-up clock reference.
uint32_t ms_since_midnight() {
  const uint32_t ms = static_cast<uint32_t>(GetTicks()) -
                      static_cast<uint32_t>(clock_firsttimervalue) +
                      static_cast<uint32_t>(zorbel_firsttimervalue);
  return ms % ms_per_day;
}

}  // namespace

double func_timer(double accuracy, int32_t passed) {
  if (error_pending()) return 0;
  const bool has_accuracy = passed & 1;
  double steps_per_second = classic_ticks_per_second;
  if (has_accuracy) {
    if (accuracy <= 0) {
      error(5);
      return 0;
    }
    steps_per_second = 1.0 / accuracy;
  }
  double seconds = ms_since_midnight() / 1000.0;
  // std::nearbyint rounds ties to even in the default rounding mode.
  const double steps = std::nearbyint(seconds * steps_per_second);
  seconds = steps / steps_per_second;
  if (!has_accuracy) return static_cast<float>(seconds);
  return seconds;
}

// ---------------------------------------------------------------------------------------------
// Random numbers

uint32_t rnd_seed = 0x50000;
uint32_t rnd_seed_first = 0x50000;

namespace {

constexpr uint32_t rnd_multiplier = 16598013;  // 0xFD43FD
constexpr uint32_t rnd_increment = 12820163;   // 0xC39EC3
constexpr uint32_t rnd_mask = 0xFFFFFF;
constexpr float rnd_scale = 16777216.0f;  // 2^24

// Bits 8..23 of the state taken from a folded seed word.
uint32_t seed_bits(uint32_t word) { return (word << 8) & 0xFFFF00; }

void read_seed_from_user();

}  // namespace

void sub_randomize(double seed, int32_t passed) {
  if (error_pending()) return;
  if (passed != 1 && passed != 3) {
    read_seed_from_user();
    return;
  }
  uint32_t m = static_cast<uint32_t>(std::bit_cast<uint64_t>(seed) >> 32);
  m ^= m >> 16;
  const uint32_t low_byte = (passed == 3 ? rnd_seed_first : rnd_seed) & 0xFF;
  rnd_seed = low_byte | seed_bits(m);
}

float func_rnd(float n, int32_t passed) {
  if (error_pending()) return 0;
  if (!(passed & 1)) n = 1.0f;
  if (n != 0) {
    if (n < 0) {
      const uint32_t b = std::bit_cast<uint32_t>(n);
      rnd_seed = (b >> 24) + (b & 0xFFFFFF);
    }
    rnd_seed = (rnd_seed * rnd_multiplier + rnd_increment) & rnd_mask;
  }
  return static_cast<float>(rnd_seed) / rnd_scale;
}

// ---------------------------------------------------------------------------------------------
// Waiting statements

double sub__limit_prev = 0;
std::atomic<int32_t> auto_fps{0};
std::atomic<int32_t> sleep_break{0};

namespace {

// Longest slice a waiting statement sleeps before it serves the statement check again.
constexpr int64_t wait_slice_ms = 9;

// Serves events, key pauses and stop requests during a long wait.
void serve_statement_check() { evnt(0, 0, nullptr); }

}  // namespace

void sub__delay(double seconds) {
  int64_t start = GetTicks();
  if (error_pending()) return;
  if (!(seconds >= 0 && seconds <= 2147483.647)) {
    error(5);
    return;
  }
  const double wait_ms = seconds * 1000.0;
  int64_t waited_ms = 0;
  for (;;) {
    const int64_t now = GetTicks();
    // If the clock went back (it wraps every 2^32 ms), keep the time already waited.
    if (now < start) start = now - waited_ms;
    waited_ms = now - start;
    if (static_cast<double>(waited_ms) >= wait_ms) return;
    int64_t remaining = static_cast<int64_t>(wait_ms - static_cast<double>(waited_ms));
    if (remaining < 1) remaining = 1;
    if (remaining <= wait_slice_ms) {
      Sleep(static_cast<uint32_t>(remaining));
      return;
    }
    Sleep(wait_slice_ms);
    serve_statement_check();
  }
}

void sub__limit(double fps) {
  if (error_pending()) return;
  if (!(fps > 0)) {
    error(5);
    return;
  }
  const double period_ms = 1000.0 / fps;
  if (period_ms > 60000) {
    error(5);
    return;
  }
  // A frame this late still keeps the cadence; a later one restarts it.
  constexpr double cadence_slack_ms = 32;
  for (;;) {
    const double now = static_cast<double>(GetTicks());
    if (sub__limit_prev == 0 || sub__limit_prev > now) {
      sub__limit_prev = now;
      return;
    }
    const double elapsed = now - sub__limit_prev;
    if (elapsed >= period_ms) {
      if (elapsed - period_ms <= cadence_slack_ms)
        sub__limit_prev += period_ms;
      else
        sub__limit_prev = now;
      return;
    }
    int64_t remaining = static_cast<int64_t>(period_ms - elapsed);
    if (remaining < 1) remaining = 1;
    if (remaining <= wait_slice_ms) {
      Sleep(static_cast<uint32_t>(remaining));
    } else {
      Sleep(wait_slice_ms);
      serve_statement_check();
    }
  }
}

void sub__fps(double fps, int32_t passed) {
  if (error_pending()) return;
  constexpr double max_redraw_rate = 200;
  if (passed == 1) {
    auto_fps.store(1);
    return;
  }
  if (passed == 2) {
    if (!(fps >= 1)) {
      error(5);
      return;
    }
    if (fps > max_redraw_rate) fps = max_redraw_rate;
    max_fps.store(fps);
    auto_fps.store(0);
    return;
  }
  error(5);
}

void sub_sleep(int32_t seconds) {
  if (error_pending()) return;
  sleep_break.store(0);
  const int64_t start = GetTicks();
  const double wait_ms = static_cast<double>(seconds) * 1000.0;
  for (;;) {
    serve_statement_check();
    if (sleep_break.load() || stop_program.load()) return;
    if (wait_ms <= 0) {
      Sleep(wait_slice_ms);
      continue;
    }
    const int64_t now = GetTicks();
    if (now < start) return;
    const double elapsed = static_cast<double>(now - start);
    if (elapsed >= wait_ms) return;
    int64_t remaining = static_cast<int64_t>(wait_ms - elapsed);
    if (remaining < 1) remaining = 1;
    if (remaining <= wait_slice_ms) {
      Sleep(static_cast<uint32_t>(remaining));
      return;
    }
    Sleep(wait_slice_ms);
  }
}

// ---------------------------------------------------------------------------------------------
// User timers
//
// Slots live in fixed blocks that are never moved or freed, and a new block is published before
// ontimer_nextfree counts its slots, so the timer thread can scan while the program creates slots
// without pausing it.

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

ontimer_struct& ontimer_slot(int32_t i) {
  return block_for(i)->slots[i % slots_per_block];
}

int32_t func__freetimer() {
  if (error_pending()) return 0;
  int32_t slot;
  if (ontimer_freelist_available > 0) {
    slot = ontimer_freelist[--ontimer_freelist_available];
  } else {
    slot = ontimer_nextfree.load(std::memory_order_relaxed);
    if (!ensure_slot(slot)) {
      error(257);
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
      error(257);  // the slot stays unallocated but cannot be reused
      return;
    }
  }
  ontimer_freelist[ontimer_freelist_available++] = slot;
}

void ontimer_setup(int32_t slot, double seconds, int32_t id, int64_t extra) {
  if (error_pending()) return;
  if (!valid_allocated_slot(slot)) {
    error(5);
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
  if (!(passed & 1)) slot = 0;
  if (!valid_allocated_slot(slot)) {
    error(5);
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
        error(5);
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

// ---------------------------------------------------------------------------------------------
// Seed prompt

namespace {

void print_text(const char* text, int32_t new_line) {
  const uint32_t base = zqs_tmp_list_nexti;
  zqs_print(zqs_new_txt(text), new_line);
  zqs_cleanup(base, 0);
}

// A whole 16-bit integer with optional blanks around it and an optional sign; an empty line is 0.
std::optional<int16_t> parse_int16(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
  int32_t value = 0;
  size_t digits = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    value = value * 10 + (line[i++] - '0');
    if (value > 32768) return std::nullopt;
    ++digits;
  }
  while (i < line.size() && line[i] == ' ') ++i;
  if (i != line.size() || (digits == 0 && line.find_first_not_of(' ') != std::string::npos))
    return std::nullopt;
  if (negative) value = -value;
  if (value > 32767) return std::nullopt;
  return static_cast<int16_t>(value);
}

// Reads one line from the keyboard with echo: printable characters are added, Backspace removes
// the last one, Enter ends the line. Serves the statement check while it waits.
std::string read_line() {
  std::string line;
  for (;;) {
    uint8_t character = 0, scan = 0;
    if (!keyboard_ring_pop(&character, &scan)) {
      if (zqevent.load(std::memory_order_relaxed)) evnt(0, 0, nullptr);
      Sleep(1);
      continue;
    }
    if (character == 13) {
      print_text("", 1);
      return line;
    }
    if (character == 8) {
      if (line.empty()) continue;
      line.pop_back();
      const int32_t column = func_pos(0);
      if (column > 1) {
        const int32_t row = func_csrlin();
        zqg_sub_locate(row, column - 1, 0, 0, 0, 3);
        print_text(" ", 0);
        zqg_sub_locate(row, column - 1, 0, 0, 0, 3);
      }
      continue;
    }
    if (character < 32 || line.size() >= 255) continue;
    line.push_back(static_cast<char>(character));
    const char echo[2] = {static_cast<char>(character), 0};
    print_text(echo, 0);
  }
}

void read_seed_from_user() {
  for (;;) {
    print_text("Random-number seed (-32768 to 32767)? ", 0);
    const std::optional<int16_t> value = parse_int16(read_line());
    if (error_pending()) return;
    if (value) {
      const uint32_t word = static_cast<uint32_t>(static_cast<int32_t>(*value));
      rnd_seed = (rnd_seed & 0xFF) | seed_bits(word);
      return;
    }
    print_text("Redo from start", 1);
  }
}

}  // namespace
