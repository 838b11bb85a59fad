// The window thread's callbacks and X event hooks.
//
// Everything here runs on the window thread (the process's initial thread, inside its event
// loop). State from other threads arrives through atomics, announced by wake_window(): the
// pending title, iconify requests and the windowing-connection lock are served by the event loop;
// new frames and full-screen requests by the display callback.
#pragma once

#include <cstdint>

// Registers the display, four keyboard, three mouse, reshape and wheel callbacks in that order,
// then the pointer-crossing callback (focus and release of held modifiers). There is no idle
// callback: run_window_event_loop sleeps while nothing happens.
void reinit_glut_callbacks();

// The window thread's event loop, in place of the toolkit's own: runs the toolkit's event pass
// whenever the X connection has input or another thread wakes the window (window_wakeup.h), and
// sleeps in poll() otherwise. Serves the title, iconify and connection-lock requests and has the
// display callback look for a new frame on every turn. Returns only if the toolkit destroyed the
// window.
void run_window_event_loop();
// A callback asked the toolkit for a change it carries out on its next turn (a resize, full
// screen): the event loop runs another turn before it sleeps.
void toolkit_work_posted();

void GLUT_RESHAPE_FUNC(int width, int height);
void GLUT_KEYBOARD_FUNC(unsigned char key, int x, int y);
void GLUT_KEYBOARDUP_FUNC(unsigned char key, int x, int y);
void GLUT_SPECIAL_FUNC(int key, int x, int y);
void GLUT_SPECIALUP_FUNC(int key, int x, int y);
void GLUT_MOUSE_FUNC(int button, int state, int x, int y);
void GLUT_MOTION_FUNC(int x, int y);
void GLUT_PASSIVEMOTION_FUNC(int x, int y);
void GLUT_MOUSEWHEEL_FUNC(int wheel, int direction, int x, int y);
void GLUT_ENTRY_FUNC(int state);

// Called right after the window is created (its GL context current): records the X display and
// window and the title generation the window was created with, hooks the close button (so that it
// raises an exit request instead of destroying the window) and the key events, and starts
// watching the desktop (desktop.h).
void window_created(uint32_t title_generation);

// Applies a title set since the last call (window thread).
void apply_pending_title();

// What the window-size follower (window_follow.h) asks of this window.
class WindowControls;
WindowControls& desktop_window_controls();

// 1 when the GL implementation offers framebuffer objects (set once after GLEW starts).
extern int32_t framebufferobjects_supported;
