// Process-wide flags and values shared by the program, main-loop, window and timer threads.
//
// Every value that crosses threads is a std::atomic; the comment beside each says who writes it,
// who reads it and what it publishes. Single-thread values are plain.
#pragma once

#include <atomic>
#include <cstdint>

// Pending exit requests: bit 0 close button (window thread), bit 1 Break while exiting is blocked
// (keyboard handler). Read and cleared by func__exit (program thread) and the main loop.
extern std::atomic<int32_t> exit_value;
// Set by the first func__exit (program thread); read by the main loop thread.
extern std::atomic<int32_t> exit_blocked;
// Process exit status (program thread writes, main loop reads at shutdown).
extern std::atomic<int32_t> exit_code;
// Window creation allowed (main) / window created (window thread); read by program-thread waits.
extern std::atomic<int32_t> create_window;
extern std::atomic<int32_t> window_exists;
// No window is created and display operations return at once (tests set it before runtime use).
extern std::atomic<int32_t> screen_hide;
// -1 while the pointer is inside the window, 0 after it leaves (window thread writes).
extern std::atomic<int32_t> window_focused;
// 1 automatic display, -1 program asks to turn it off, 0 off. Program thread and main loop.
extern std::atomic<int32_t> autodisplay;
// Set to 1 at the end of every frame preparation (main loop); cleared by display_now.
extern std::atomic<int32_t> display_called;
// Display-cycle counter incremented by the main loop thread; blink and cursor phases derive from it.
extern std::atomic<uint32_t> frame;
// Emulated vertical retrace: set by the main loop thread, read (and cleared) through port 0x3DA.
extern std::atomic<int32_t> vertical_retrace_happened;
extern std::atomic<int32_t> vertical_retrace_in_progress;
// Presentation: 0 windowed, 1 stretched full screen, 2 full screen with square pixels. Written by
// the window thread (applied state) and read by frame preparation and the program.
extern std::atomic<int32_t> full_screen;
// Pending full-screen request (-1 none). Written by the program thread and the keyboard handler;
// applied and reset by the window thread.
extern std::atomic<int32_t> full_screen_set;
extern std::atomic<int32_t> fullscreen_smooth;
// The next frame is rebuilt even if the screen did not change. Any thread sets; frame preparation
// clears.
extern std::atomic<int32_t> force_display_update;
extern int32_t fullscreen_allowedmode, fullscreen_allowedsmooth;
// Window client-area size (window thread writes in the reshape callback).
extern std::atomic<int32_t> display_x, display_y, display_x_prev, display_y_prev;
extern std::atomic<int32_t> resize_event, resize_event_x, resize_event_y;
extern std::atomic<int32_t> resize_pending;
extern std::atomic<int32_t> os_resize_event;
extern std::atomic<int32_t> resize_snapback;
extern std::atomic<int32_t> resize_auto;
// The window thread's redraw rate (sub__fps).
extern std::atomic<double> max_fps;
// Clock reference taken at start-up: monotonic ms and local ms since midnight at the same instant.
extern int64_t clock_firsttimervalue;
extern int64_t zorbel_firsttimervalue;
