// Process-wide flags and values shared by the program, main-loop, window and timer threads.
// The few that the core and screen layers read live in runtime/core/process_flags.h.
//
// Every value that crosses threads is a std::atomic; the comment beside each says who writes it,
// who reads it and what it publishes. Single-thread values are plain.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/core/process_flags.h"
#include "runtime/host/window_geometry.h"

// Pending exit requests: bit 0 close button (window thread), bit 1 Break while exiting is blocked
// (keyboard handler). Read and cleared by func__exit (program thread) and the main loop.
extern std::atomic<int32_t> exit_value;
// Set by the first func__exit (program thread); read by the main loop thread.
extern std::atomic<int32_t> exit_blocked;
// The window exists: set by the host once its window is made (window thread); read by the
// program thread's waits for the window.
extern std::atomic<int32_t> window_exists;
// No window is created and display operations return at once (tests set it before runtime use).
extern std::atomic<int32_t> screen_hide;
// -1 while the pointer is inside the window, 0 after it leaves (window thread writes).
extern std::atomic<int32_t> window_focused;
// Set to 1 at the end of every frame preparation (which wakes a display_now waiting for it);
// cleared by display_now.
extern std::atomic<int32_t> display_called;
// Display cycles since the clock reference (about 30 a second), computed from the clock by the
// main loop thread before each frame it prepares; blink and cursor phases derive from it.
extern std::atomic<uint32_t> frame;
// Presentation: 0 windowed, 1 stretched full screen, 2 full screen with square pixels. Written by
// the window thread (applied state, or the window manager's own change followed) and read by
// frame preparation and the program.
extern std::atomic<int32_t> full_screen;
// Pending full-screen request (-1 none). Written by the program thread and the presentation cycle
// (Alt+Enter, window thread); applied and reset by the window thread.
extern std::atomic<int32_t> full_screen_set;
// Linear filtering in full screen: written by sub__fullscreen and Alt+Enter, read by the display
// callback.
extern std::atomic<int32_t> fullscreen_smooth;
// The next frame is rebuilt even if the screen did not change. Any thread sets; frame preparation
// clears.
extern std::atomic<int32_t> force_display_update;
// Stored by sub__allowfullscreen (program thread); read by the presentation cycle (Alt+Enter,
// window thread).
extern std::atomic<int32_t> fullscreen_allowedmode, fullscreen_allowedsmooth;
// The window's client size and the size before its last change, in one word (a window is at most
// 32767 pixels either way). Written by the window thread (host_window_resized); read by the
// window-size follower and the display callback.
struct alignas(8) WindowSizes {
  int16_t w = 0, h = 0, before_w = 0, before_h = 0;
  PixelSize now() const { return {w, h}; }
  PixelSize before() const { return {before_w, before_h}; }
};
// The last resize reported to the program: its size, and whether the program has yet to see it.
// Written by host_window_resized (window thread); read and marked seen by func__resize (program
// thread).
struct alignas(8) ResizeNotice {
  int16_t w = 0, h = 0;
  int32_t unread = 0;
};
extern std::atomic<WindowSizes> window_sizes;
extern std::atomic<ResizeNotice> resize_event;
// Snap the window back to the frame size (sub__resize writes; display callback reads).
extern std::atomic<int32_t> resize_snapback;
// 0 no scaling, 1 scale to the window, 2 scale smoothly (sub__resize writes; display reads).
extern std::atomic<int32_t> resize_auto;

// Non-zero while a shell command runs; the main loop marks it seen with -1. Written by the main
// loop thread (and by a shell statement, which this runtime does not have).
extern std::atomic<int32_t> shell_call_in_progress;

// Windowing-connection lock: a thread that must use the windowing connection itself sets
// x11_lock_request and waits for x11_locked; the window thread grants it in its event loop and
// waits until x11_unlock clears x11_locked.
extern std::atomic<int32_t> x11_lock_request;
extern std::atomic<int32_t> x11_locked;

// Screen size in pixels, fed in by the host (host_screen_resized) once the window exists and again
// whenever the screen changes size, so that program queries need no call off the window thread.
extern std::atomic<PixelSize> desktop_size;
// Set by the program thread to ask for the window to be iconified; the window's event loop applies
// it and clears it.
extern std::atomic<int32_t> iconify_request;

// Process start-up facts kept by runtime_init (written before any thread starts).
extern std::string start_directory;  // working directory the process was started in
extern std::string root_directory;   // directory holding the executable, made current
extern std::string command_line;     // arguments after the program name, joined by spaces
extern int32_t program_argc;
extern char** program_argv;
