#include "runtime/host/main_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "runtime/core/atomic_ref.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/timers.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/keyboard_wait.h"
#include "runtime/screen/display_lock.h"

namespace {

constexpr uint32_t ms_per_day = 86400000;
constexpr double bios_ticks_per_ms = 0.0182;
constexpr size_t bios_tick_count_offset = 0x46C;

// Frames while the program runs: about 30 a second, one display cycle each.
constexpr uint64_t display_cycles_per_second = 30;
constexpr auto frame_period = std::chrono::microseconds(1000000 / display_cycles_per_second);
constexpr auto shell_call_wait = std::chrono::milliseconds(64);

// Closes every open file at shutdown. This system opens no files, so there is nothing to close;
// the hook marks where the file subsystem would flush and close its streams.
void close_all_files() {}

}  // namespace

uint32_t bios_ticks_at(int64_t ticks_now, int64_t first_ticks, int64_t first_local_ms) {
  uint32_t ms =
      static_cast<uint32_t>(ticks_now - first_ticks) + static_cast<uint32_t>(first_local_ms);
  ms %= ms_per_day;
  return static_cast<uint32_t>(ms * bios_ticks_per_ms);
}

void update_bios_tick_count() {
  uint32_t ticks = bios_ticks_at(GetTicks(), clock_firsttimervalue, zorbel_firsttimervalue);
  for (size_t i = 0; i < 3; ++i) {
    AtomicRef<uint8_t>(cmem[bios_tick_count_offset + i])
        .store(static_cast<uint8_t>(ticks >> (8 * i)), std::memory_order_relaxed);
  }
}

uint32_t bios_tick_count() {
  update_bios_tick_count();
  uint32_t ticks = 0;
  for (size_t i = 0; i < 3; ++i) {
    ticks |=
        static_cast<uint32_t>(
            AtomicRef<uint8_t>(cmem[bios_tick_count_offset + i]).load(std::memory_order_relaxed))
        << (8 * i);
  }
  return ticks;
}

uint32_t display_cycles_at(int64_t ticks_now, int64_t first_ticks) {
  const uint32_t elapsed_ms = static_cast<uint32_t>(ticks_now - first_ticks);
  return static_cast<uint32_t>(static_cast<uint64_t>(elapsed_ms) * display_cycles_per_second /
                               1000);
}

namespace {

// The moment the display-cycle count reaches the next multiple of 8 (the blink phase of text
// pages) or the mode 10 palette phase changes (every 512 ms), whichever comes first.
std::chrono::steady_clock::time_point next_blink_change(std::chrono::steady_clock::time_point now) {
  const int64_t ticks = GetTicks();
  const uint32_t cycles = display_cycles_at(ticks, clock_firsttimervalue);
  const uint64_t next_cycle = (static_cast<uint64_t>(cycles) / 8 + 1) * 8;
  const int64_t cycle_ms = static_cast<int64_t>(
      (next_cycle * 1000 + display_cycles_per_second - 1) / display_cycles_per_second);
  const int64_t elapsed_ms = static_cast<uint32_t>(ticks - clock_firsttimervalue);
  const int64_t palette_ms = 512 - (ticks & 511);
  const int64_t wait_ms = std::min(cycle_ms - elapsed_ms, palette_ms);
  return now + std::chrono::milliseconds(std::max<int64_t>(wait_ms, 1));
}

// Something waits for a frame to be prepared now, whatever the cadence. Each of these is answered
// by the preparation itself, so none can keep the loop busy: display() grants the lock, completes
// the hand-over and sets display_called; a presentation change's forced rebuild gets one frame.
bool frame_wanted_now(MainLoop& loop) {
  const bool automatic = autodisplay.load() != 0;
  const bool forced = force_display_update.load() != 0;
  const bool new_force = forced && !loop.force_answered;
  loop.force_answered = forced;
  return (automatic && (lock_display.load() == 1 ||  // the program waits to change the screen
                        autodisplay.load() == -1 ||  // sub__display hands automatic display over
                        display_called.load() == 0)) ||  // display_now waits for a preparation
         new_force ||  // a presentation change asks for a fresh frame
         key_waits_begun.load(std::memory_order_acquire) != loop.key_waits_seen;
}

}  // namespace

PassPlan main_loop_step(MainLoop& loop) {
  loop.seen = presentation_wakeup.generation();
  PassPlan plan;
  if ((exit_value.load() != 0 && exit_blocked.load() == 0) || close_program.load()) {
    plan.outcome = PassOutcome::Shutdown;
    return plan;
  }

  // While a shell command runs, the screen is not refreshed: the first pass that sees it
  // presents one last frame, later passes only wait.
  const int32_t shell = shell_call_in_progress.load();
  const auto now = std::chrono::steady_clock::now();
  if (shell == -1) {
    plan.wake_at = now + shell_call_wait;
    return plan;
  }
  if (shell != 0) shell_call_in_progress.store(-1);

  const bool program_busy = !program_waiting_for_key.load(std::memory_order_acquire);
  // A program that has just stopped waiting (a key came) is drawing its answer: the first steady
  // frame comes a period later, since the frame of its next wait will show the finished answer.
  if (program_busy && !loop.program_was_busy)
    loop.next_frame = std::max(loop.next_frame, now + frame_period);
  loop.program_was_busy = program_busy;
  const bool blinking = displayed_page_blinks();
  plan.presented = shell != 0 || frame_wanted_now(loop) ||
                   ((program_busy || blinking) && now >= loop.next_frame);
  if (plan.presented) {
    // Read before the page is: whatever the program drew before it began waiting is in the frame.
    loop.key_waits_seen = key_waits_begun.load(std::memory_order_acquire);
    frame.store(display_cycles_at(GetTicks(), clock_firsttimervalue));
    if (autodisplay.load() != 0) display();
    loop.next_frame = now + frame_period;
  }

  // The next frame is due at the steady cadence while the program runs and at the next blink
  // change while the page blinks by itself (as the preparation just saw it); otherwise only when
  // someone has something for this thread (presentation_wakeup).
  if (program_busy)
    plan.wake_at = loop.next_frame;
  else if (displayed_page_blinks())
    plan.wake_at = std::max(loop.next_frame, next_blink_change(now));
  return plan;
}

PassOutcome main_loop_pass(MainLoop& loop) {
  const PassPlan plan = main_loop_step(loop);
  if (plan.outcome == PassOutcome::Shutdown) return plan.outcome;
  if (plan.wake_at)
    presentation_wakeup.wait_until(loop.seen, *plan.wake_at);
  else
    presentation_wakeup.wait(loop.seen);
  return PassOutcome::Continue;
}

int32_t main_loop_shutdown() {
  stop_program.store(1);
  raise_event();
  wake_timer_thread();
  // Frame preparation has stopped for good: a screen change the program thread is waiting to
  // make may go ahead, or it would wait for ever and never reach its next statement check.
  answer_display_lock();
  // A dialog on screen would hold the program thread until someone answers it: close it (its
  // report then counts as No) so that the program thread reaches end(). From the first close on
  // the dialog host starts no dialog (one asked for later counts as unanswered at once), so one
  // close is enough; end() and the timer thread's last act notify presentation_wakeup.
  close_open_dialog();
  for (;;) {
    const uint32_t seen = presentation_wakeup.generation();
    if (exit_ok.load() == 3) break;
    presentation_wakeup.wait(seen);
  }
  close_all_files();
  // An orderly shutdown ends with status 0: nothing in this runtime asks for another (fatal
  // errors and start-up failures end the process on their own, with status 1).
  return 0;
}

int32_t run_main_loop() {
  MainLoop loop;
  while (main_loop_pass(loop) == PassOutcome::Continue) {
  }
  return main_loop_shutdown();
}

void MAIN_LOOP() { end_process(run_main_loop()); }
