#include "runtime/host/main_loop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/screen/display_lock.h"

namespace {

constexpr uint32_t ms_per_day = 86400000;
constexpr double bios_ticks_per_ms = 0.0182;
constexpr size_t bios_tick_count_offset = 0x46C;

constexpr uint32_t pass_sleep_before_retrace_ms = 15;
constexpr uint32_t retrace_sleep_ms = 1;
constexpr uint32_t shell_call_sleep_ms = 64;
constexpr uint32_t shutdown_poll_ms = 16;

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
    std::atomic_ref<uint8_t>(cmem[bios_tick_count_offset + i])
        .store(static_cast<uint8_t>(ticks >> (8 * i)), std::memory_order_relaxed);
  }
}

uint32_t bios_tick_count() {
  uint32_t ticks = 0;
  for (size_t i = 0; i < 3; ++i) {
    ticks |= static_cast<uint32_t>(std::atomic_ref<uint8_t>(cmem[bios_tick_count_offset + i])
                                       .load(std::memory_order_relaxed))
             << (8 * i);
  }
  return ticks;
}

PassOutcome main_loop_pass(MainLoop& loop) {
  if (exit_value.load() != 0 && exit_blocked.load() == 0) return PassOutcome::Shutdown;
  update_bios_tick_count();

  // While a shell command runs, the screen is not refreshed: the first pass that sees it
  // presents one last frame, later passes only wait.
  int32_t shell = shell_call_in_progress.load();
  bool present_now = false;
  if (shell != 0) {
    if (shell == -1) {
      Sleep(shell_call_sleep_ms);
      return PassOutcome::Continue;
    }
    shell_call_in_progress.store(-1);
    present_now = true;
  }

  if (!present_now) {
    Sleep(pass_sleep_before_retrace_ms);
    vertical_retrace_happened.store(1);
    vertical_retrace_in_progress.store(1);
    Sleep(retrace_sleep_ms);
    if (close_program.load()) return PassOutcome::Shutdown;
    // Sound and printer output have no back end here; nothing to pump between frames.
    loop.frame_phase = !loop.frame_phase;
    present_now = loop.frame_phase;
  }

  if (present_now) {
    if (autodisplay.load() != 0) display();
    frame.fetch_add(1);
  }
  vertical_retrace_in_progress.store(0);
  return PassOutcome::Continue;
}

int32_t main_loop_shutdown() {
  stop_program.store(1);
  zqevent.store(1, std::memory_order_release);
  // Frame preparation has stopped for good: a screen change the program thread is waiting to
  // make may go ahead, or it would wait for ever and never reach its next statement check.
  answer_display_lock();
  // A dialog on screen would hold the program thread until someone answers it: close it (its
  // report then counts as No) so that the program thread reaches end(). Checked on every poll,
  // since the program may open one right after the stop request.
  while (exit_ok.load() != 3) {
    close_open_dialog();
    Sleep(shutdown_poll_ms);
  }
  close_all_files();
  return exit_code.load();
}

int32_t run_main_loop() {
  MainLoop loop;
  while (main_loop_pass(loop) == PassOutcome::Continue) {
  }
  return main_loop_shutdown();
}

void MAIN_LOOP() { terminate_process(run_main_loop()); }

void terminate_process(int32_t status) {
  std::fflush(nullptr);
  std::_Exit(status);
}
