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
// Set to 1 at the end of every frame preparation (which wakes a display_now waiting for it);
// cleared by display_now.
extern std::atomic<int32_t> display_called;
// Display cycles since the clock reference (about 30 a second), computed from the clock by the
// main loop thread before each frame it prepares; blink and cursor phases derive from it.
extern std::atomic<uint32_t> frame;
// Presentation: 0 windowed, 1 stretched full screen, 2 full screen with square pixels. Written by
// the window thread (applied state) and read by frame preparation and the program.
extern std::atomic<int32_t> full_screen;
// Pending full-screen request (-1 none). Written by the program thread and the keyboard handler;
// applied and reset by the window thread.
extern std::atomic<int32_t> full_screen_set;
// Linear filtering in full screen: written by sub__fullscreen and Alt+Enter, read by the display
// callback.
extern std::atomic<int32_t> fullscreen_smooth;
// The next frame is rebuilt even if the screen did not change. Any thread sets; frame preparation
// clears.
extern std::atomic<int32_t> force_display_update;
// Stored by sub__allowfullscreen (program thread); read by the Alt+Enter handling of the keyboard
// handler (window thread).
extern std::atomic<int32_t> fullscreen_allowedmode, fullscreen_allowedsmooth;
// Window client-area size and the one before it (window thread writes in the reshape callback;
// the display callback and the program read).
extern std::atomic<int32_t> display_x, display_y, display_x_prev, display_y_prev;
// Last resize reported to the program: flag -1 = unread (reshape callback writes; func__resize
// clears on the program thread) and the size.
extern std::atomic<int32_t> resize_event, resize_event_x, resize_event_y;
// 1 while the runtime waits for a resize it asked for (display callback sets, reshape clears).
extern std::atomic<int32_t> resize_pending;
// 1 after any reshape until the next presented frame (reshape sets, display callback clears).
extern std::atomic<int32_t> os_resize_event;
// Snap the window back to the frame size (sub__resize writes; display callback reads).
extern std::atomic<int32_t> resize_snapback;
// 0 no scaling, 1 scale to the window, 2 scale smoothly (sub__resize writes; display reads).
extern std::atomic<int32_t> resize_auto;

// Non-zero while a shell command runs; the main loop marks it seen with -1. Written by the program
// thread's shell statement and the main loop thread.
extern std::atomic<int32_t> shell_call_in_progress;

// Windowing-connection lock: a thread that must use the X connection itself sets
// x11_lock_request and waits for x11_locked; the window thread grants it in its event loop and
// waits until x11_unlock clears x11_locked.
extern std::atomic<int32_t> x11_lock_request;
extern std::atomic<int32_t> x11_locked;
// The X display connection and the window's X id (window thread writes once after creating the
// window; the periphery that needs the connection reads them under the lock above).
extern std::atomic<void*> X11_display;
extern std::atomic<unsigned long> X11_window;

// Desktop size in pixels, stored by the window thread once the window exists, so that program
// queries need no toolkit call off the window thread.
extern std::atomic<int32_t> desktop_width, desktop_height;
// Set by the program thread to ask for the window to be iconified; the window's event loop applies
// it and clears it.
extern std::atomic<int32_t> iconify_request;

// Current window title (NUL-terminated, malloc'd), null until the first sub__title. Guarded by
// the title lock in window_ops.cpp; read it through current_window_title().
extern char* window_title;

// Process start-up facts kept by runtime_init (written before any thread starts).
extern std::string start_directory;  // working directory the process was started in
extern std::string root_directory;   // directory holding the executable, made current
extern std::string command_line;     // arguments after the program name, joined by spaces
extern int32_t program_argc;
extern char** program_argv;
