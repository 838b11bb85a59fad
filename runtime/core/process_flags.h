// Process-wide values that the host shares with the core and screen layers: the display cycle's
// flags, the window's redraw rate and the start-up clock reference. They are declared here so
// that the lower layers need no host header; the host's other shared flags are in
// runtime/host/host_state.h.
#pragma once

#include <atomic>
#include <cstdint>

// 1 automatic display, -1 program asks to turn it off, 0 off. Program thread and main loop.
extern std::atomic<int32_t> autodisplay;
// The redraw rate the program asked for in frames per second (sub__fps on the program thread
// writes). The window redraws only when a new frame arrives, at most about 30 a second while the
// program draws, so it needs no pace of its own; the value is kept for the program.
extern std::atomic<double> max_fps;
// Clock reference taken at start-up: monotonic ms and local ms since midnight at the same instant.
// Written by runtime_init before any thread starts; read-only afterwards.
extern int64_t clock_firsttimervalue;
extern int64_t zorbel_firsttimervalue;
