// The tick source, TIMER and the waiting statements.
#include "runtime/core/clock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "runtime/core/error.h"
#include "runtime/core/process_flags.h"
#include "runtime/core/wakeup.h"

// ---------------------------------------------------------------------------------------------
// Tick source

namespace {

int64_t monotonic_ticks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // The classic tick counter is 32 bits wide and wraps every 2^32 ms; callers rely on that.
  const uint32_t ms =
      static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_nsec / 1000000);
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
  const bool has_accuracy = passed & timer_accuracy;
  double steps_per_second = classic_ticks_per_second;
  if (has_accuracy) {
    if (accuracy <= 0) {
      error(illegal_function_call);
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
// Waiting statements

double sub__limit_prev = 0;
std::atomic<int32_t> auto_fps{0};
std::atomic<int32_t> sleep_break{0};

namespace {

// Longest slice a waiting statement sleeps before it serves the statement check again.
constexpr int64_t wait_slice_ms = 9;

// Serves events, key pauses and stop requests during a long wait.
void serve_statement_check() { evnt(0, 0, nullptr); }

// Milliseconds from one reading of the tick source to a later one. The counter wraps every
// 2^32 ms (from 2^31 - 1 to -2^31), so the difference is taken modulo 2^32: a step across the
// wrap is as long as any other. A waiting statement adds up these steps reading by reading, so
// waits longer than the wrap are measured too. A step that comes out negative is the clock going
// back (or 2^31 ms, almost 25 days, between two readings of one wait, which looks the same).
int64_t ticks_between(int64_t earlier, int64_t later) {
  return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}

}  // namespace

void sub__delay(double seconds) {
  int64_t previous = GetTicks();
  if (error_pending()) return;
  if (!(seconds >= 0 && seconds <= 2147483.647)) {
    error(illegal_function_call);
    return;
  }
  const double wait_ms = seconds * 1000.0;
  int64_t waited_ms = 0;
  for (;;) {
    const int64_t now = GetTicks();
    // A clock that went back adds nothing: the time already waited still counts.
    waited_ms += std::max<int64_t>(ticks_between(previous, now), 0);
    previous = now;
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
    error(illegal_function_call);
    return;
  }
  const double period_ms = 1000.0 / fps;
  if (period_ms > 60000) {
    error(illegal_function_call);
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
  if (passed == fps_auto) {
    auto_fps.store(1);
    return;
  }
  if (passed == fps_rate) {
    if (!(fps >= 1)) {
      error(illegal_function_call);
      return;
    }
    if (fps > max_redraw_rate) fps = max_redraw_rate;
    max_fps.store(fps);
    auto_fps.store(0);
    return;
  }
  error(illegal_function_call);
}

void sub_sleep(int32_t seconds) {
  if (error_pending()) return;
  sleep_break.store(0);
  int64_t previous = GetTicks();
  int64_t elapsed_ms = 0;
  const double wait_ms = static_cast<double>(seconds) * 1000.0;
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    serve_statement_check();
    if (sleep_break.load() || stop_program.load()) return;
    if (wait_ms <= 0) {
      // Until a key, a timer event or a stop, each of which notifies program_wakeup (a timer's
      // dispatch then runs in the statement check above): nothing to look at meanwhile.
      program_wakeup.wait(seen);
      continue;
    }
    const int64_t now = GetTicks();
    const int64_t step_ms = ticks_between(previous, now);
    if (step_ms < 0) return;  // the clock went back
    elapsed_ms += step_ms;
    previous = now;
    const double elapsed = static_cast<double>(elapsed_ms);
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
