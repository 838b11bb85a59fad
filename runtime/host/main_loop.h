// The main loop thread: frame preparation and the orderly shutdown of the process.
//
// It prepares a frame about 30 times a second while the program runs (one display cycle each),
// one frame each time the program begins to wait for a key (everything it drew before is then on
// screen), and frames whenever something asks for one (the display lock, sub__display,
// display_now, a presentation change). While the program waits for a key and the displayed page
// does not blink by itself, the thread sleeps until presentation_wakeup is notified. Shutdown
// begins when the program has finished (close_program) or when an exit request arrives
// (exit_value) that the program has not taken over with func__exit: the loop raises stop_program
// and zqevent, wakes the program and timer threads, waits until both have acknowledged in exit_ok,
// closes files and ends the process.
//
// The emulated BIOS tick count at 0x46C and the vertical retrace of port 0x3DA are computed from
// the clock when they are read, so they need no pass of this thread.
//
// The pieces are separate so that tests can run passes and the shutdown handshake without ending
// the test process: run_main_loop returns the exit status, MAIN_LOOP ends the process with it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// What a pass decided.
enum class PassOutcome { Continue, Shutdown };

// State the main loop thread keeps from pass to pass.
struct MainLoop {
  uint32_t seen = 0;  // presentation_wakeup's generation when the pass began
  std::chrono::steady_clock::time_point next_frame{};  // earliest time of the next steady frame
  uint32_t key_waits_seen = 0;   // key_waits_begun when the last frame was prepared
  bool force_answered = false;   // force_display_update was already set at the last pass
  bool program_was_busy = true;  // the program was not waiting for a key at the last pass
};

// Display cycles since the clock reference: about 30 a second (the value of `frame`).
uint32_t display_cycles_at(int64_t ticks_now, int64_t first_ticks);

// BIOS ticks (1/18.2 s since local midnight) at the tick-source value ticks_now, for a clock
// reference of (first_ticks, first_local_ms). Unsigned 32-bit arithmetic, so a wrap of the tick
// source between the reference and now is harmless.
uint32_t bios_ticks_at(int64_t ticks_now, int64_t first_ticks, int64_t first_local_ms);
// Stores the current BIOS ticks (low three bytes, little-endian) at 0x46C of cmem.
void update_bios_tick_count();
// The BIOS tick count at 0x46C (three bytes), brought up to date first.
uint32_t bios_tick_count();

// What a pass decided: shut down, or carry on after sleeping until wake_at (none: until woken).
struct PassPlan {
  PassOutcome outcome = PassOutcome::Continue;
  std::optional<std::chrono::steady_clock::time_point> wake_at;
  bool presented = false;  // a frame was prepared (or, with automatic display off, a cycle counted)
};
// The deciding half of a pass, without its sleep: shutdown, or whether to prepare a frame now
// (and does so), and until when the thread may sleep.
PassPlan main_loop_step(MainLoop& loop);
// One pass: main_loop_step, then the sleep it planned, cut short by presentation_wakeup.
PassOutcome main_loop_pass(MainLoop& loop);
// The shutdown handshake: raises stop_program and zqevent, wakes the program and timer threads,
// waits until exit_ok is 3 (closing a dialog the program may have open), closes files and
// returns the process exit status.
int32_t main_loop_shutdown();
// Passes until shutdown, then the handshake; returns the exit status.
int32_t run_main_loop();

// The main loop thread's body: never returns, the process ends from here (end_process).
[[noreturn]] void MAIN_LOOP();
