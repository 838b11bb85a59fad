// The presentation: windowed, or full screen stretched or with square pixels, each smoothed or
// not. Alt+Enter steps through five of these states; the window manager may also put the window
// into full screen or take it out on its own (its full-screen key, a task bar), and the
// presentation then follows what the player sees, so that the next Alt+Enter goes on from there.
//
// The state lives in host_state.h (full_screen, full_screen_set, fullscreen_smooth and the
// allowed modes); both functions run on the window thread and publish through those atomics,
// waking the main loop (a frame in the new presentation) and the window thread.
#pragma once

#include <cstdint>

// Alt+Enter: steps to the next allowed state of windowed (0), stretched (1), stretched smooth
// (2), square pixels (3), square pixels smooth (4), starting from the pending request if any.
void cycle_presentation();

// The window manager put the window into full screen (true) or took it out (false) by itself:
// the presentation becomes stretched full screen (state 1) or windowed (state 0).
void presentation_follows_window_manager(bool full_screen_now);
