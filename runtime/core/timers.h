// User timers.
//
// User timers live in slots that a dedicated timer thread scans whenever the earliest deadline
// comes or a slot changes; it only marks due timers as pending and raises zqevent, and the program
// thread runs their handlers from its statement check (ontimer_dispatch).
#pragma once

#include <atomic>
#include <cstdint>

// User timer slot. The timer thread reads every field and writes state (0 -> 1) and last_time;
// the program thread writes the rest, so every shared field is atomic. extra is program-only.
struct ontimer_struct {
  std::atomic<uint8_t> allocated{0};
  std::atomic<uint32_t> id{0};       // handler of the program the timer runs; 0 = none
  std::atomic<uint8_t> active{0};    // 0 off, 1 on, 2 stopped
  std::atomic<uint8_t> state{0};     // 0 idle, 1 event pending, 2 handler running
  std::atomic<double> seconds{0};    // interval
  std::atomic<double> last_time{0};  // time of the last firing in tick-source seconds; 0 = unarmed
  int64_t extra = 0;
};
// Slot i (0 <= i < ontimer_nextfree). Slots never move once created, so the timer thread may scan
// them while the program thread creates new ones.
ontimer_struct& ontimer_slot(int32_t i);
// Number of slots ever created (program thread writes with release; the timer thread reads).
extern std::atomic<int32_t> ontimer_nextfree;
// Free-slot stack depth (program thread only).
extern int32_t ontimer_freelist_available;
// 0 the timer thread scans, 1 a pause is requested, 2 the timer thread has paused. Written by
// stop_timers/start_timers (any program-side caller) and by the timer thread acknowledging.
extern std::atomic<int32_t> ontimerthread_lock;

int32_t func__freetimer();
void freetimer(int32_t slot);
void ontimer_setup(int32_t slot, double seconds, int32_t id, int64_t extra);
// option 1 on, 2 off, 3 stop, 4 free; without a slot (passed bit 1 clear) slot 0.
enum timer_statement_passed : int32_t { timer_slot_given = 1 };
void sub_timer(int32_t slot, int32_t option, int32_t passed);
// Pauses the timer thread and waits for its acknowledgement / lets it scan again.
void stop_timers();
void start_timers();

// The timer thread's body: scans the slots at every deadline and change until stop_program, then
// sets bit 1 of exit_ok. It sleeps for good while no timer is armed.
void TIMERTHREAD();
// Wakes the timer thread to scan again: the slots' operations here call it, and so must whoever
// sets stop_program.
void wake_timer_thread();
// Runs the handlers of pending timers (program thread, from the statement check's event pass).
void ontimer_dispatch();
// The program's timer handlers by id; null when the program defines none (this puzzle).
extern void (*ontimer_handler)(uint32_t id);
