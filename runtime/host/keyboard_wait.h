// The program thread's wait for a key: it sleeps until a key press (or an event) wakes it, and
// tells the main loop when it starts and stops waiting, so that frames are prepared only while
// the program draws.
#pragma once

#include <atomic>
#include <cstdint>

// Program thread: blocks while the keyboard ring is empty and no event is raised (zqevent: a
// stop request, a pause, a due timer, a pending error), so that a program waiting for a key costs
// nothing. Every key press wakes it (keydown notifies program_wakeup); keys stay in the ring, so
// none is lost or reordered. While it blocks, program_waiting_for_key is set and the main loop
// needs to prepare no frames.
void keyboard_wait_for_key();
// True while the program thread blocks in keyboard_wait_for_key (program thread writes with
// release; the main loop reads).
extern std::atomic<bool> program_waiting_for_key;
// How many such waits have begun: the main loop prepares one frame for each, which shows what the
// program drew before it (program thread increments with release; the main loop acquires).
extern std::atomic<uint32_t> key_waits_begun;
