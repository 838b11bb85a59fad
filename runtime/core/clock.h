// Clock and delays.
//
// GetTicks is the millisecond tick source every polling loop uses; TIMER counts 1/18.2 s ticks
// since local midnight from the start-up clock reference (runtime/core/process_flags.h). The
// waiting statements sleep in slices of at most 9 ms and serve the statement check between them;
// they add up the time slice by slice, so a wait that spans the tick counter's wrap lasts its time.
#pragma once

#include <atomic>
#include <cstdint>

// Milliseconds of the monotonic clock, 32-bit arithmetic sign-extended to 64 bits (wraps every
// 2^32 ms). Any thread.
int64_t GetTicks();
// One nanosleep of ms milliseconds; an interrupted sleep is not resumed. Any thread.
void Sleep(uint32_t ms);

// Replaces the tick source behind GetTicks (tests); nullptr restores the monotonic clock.
using tick_source_fn = int64_t (*)();
void set_tick_source(tick_source_fn source);

// Seconds since local midnight: whole 1/18.2 s ticks in single precision without an accuracy
// (passed bit 1 clear), else rounded to multiples of accuracy.
enum timer_passed : int32_t { timer_accuracy = 1 };
double func_timer(double accuracy, int32_t passed);

// Waits seconds, serving the statement check every 9 ms.
void sub__delay(double seconds);
// Waits until the next frame deadline of a fps cadence.
void sub__limit(double fps);
extern double sub__limit_prev;
// Redraw rate: passed 1 automatic, passed 2 fps frames a second (1 to 200).
enum fps_passed : int32_t { fps_auto = 1, fps_rate = 2 };
void sub__fps(double fps, int32_t passed);
// 1 while the redraw rate follows the display (sub__fps on the program thread writes). Kept for
// the program: the window redraws only when a new frame arrives and needs no pace of its own.
extern std::atomic<int32_t> auto_fps;
// Waits seconds (0 or less: until a key, a timer event or the end of the program).
void sub_sleep(int32_t seconds);
// Ends a running sleep statement early. Set by key presses (window thread) and timer dispatch;
// cleared and polled by sub_sleep on the program thread.
extern std::atomic<int32_t> sleep_break;
