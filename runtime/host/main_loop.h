// The main loop thread: the emulated BIOS tick count, frame preparation about 30 times a second,
// and the orderly shutdown of the process.
//
// One pass takes about 16 ms (15 ms, the emulated vertical retrace, 1 ms); every second pass
// prepares a frame while automatic display is on. Shutdown begins when the program has finished
// (close_program) or when an exit request arrives (exit_value) that the program has not taken
// over with func__exit: the loop raises stop_program and zqevent, waits until the program thread
// and the timer thread have both acknowledged in exit_ok, closes files and ends the process.
//
// The pieces are separate so that tests can run passes and the shutdown handshake without ending
// the test process: run_main_loop returns the exit status, MAIN_LOOP ends the process with it.
#pragma once

#include <cstdint>

// What a pass decided.
enum class PassOutcome { Continue, Shutdown };

// State the main loop thread keeps from pass to pass.
struct MainLoop {
  bool frame_phase = false;  // flips every pass; a frame is prepared when it turns true
};

// BIOS ticks (1/18.2 s since local midnight) at the tick-source value ticks_now, for a clock
// reference of (first_ticks, first_local_ms). Unsigned 32-bit arithmetic, so a wrap of the tick
// source between the reference and now is harmless.
uint32_t bios_ticks_at(int64_t ticks_now, int64_t first_ticks, int64_t first_local_ms);
// Stores the current BIOS ticks (low three bytes, little-endian) at 0x46C of cmem.
void update_bios_tick_count();
// The BIOS tick count at 0x46C (three bytes), as another thread sees it.
uint32_t bios_tick_count();

// One pass of the main loop (steps as described above). Sleeps about 16 ms.
PassOutcome main_loop_pass(MainLoop& loop);
// The shutdown handshake: raises stop_program and zqevent, waits in 16 ms steps until exit_ok is
// 3, closes files and returns the process exit status.
int32_t main_loop_shutdown();
// Passes until shutdown, then the handshake; returns the exit status.
int32_t run_main_loop();

// The main loop thread's body: never returns, the process ends from here.
[[noreturn]] void MAIN_LOOP();

// Ends the process at once with status, after flushing standard streams. Other threads are still
// running at that point, so static destructors (which exit() would run under their feet) are
// skipped.
[[noreturn]] void terminate_process(int32_t status);
