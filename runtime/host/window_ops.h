// Program-facing window operations: title, icon, full screen, automatic display, resize and exit
// polling, and the hand-overs they make to the window thread.
//
// These run on the program thread and never call the toolkit: anything the window must do (set
// the title, iconify, switch to full screen) is published through atomics that the window
// thread's event loop and display callback apply, and wake_window() tells it so. Every wait here
// gives up when the host has asked the program to stop, so that a stop request always reaches the
// statement check that ends the program: the wait for the window sleeps until host_main or the
// stop request wakes the program; the waits for the main loop's next frame preparation block on
// program_wakeup, which the main loop notifies.
#pragma once

#include <cstdint>
#include <string>

struct zqs;

// Sets the window title (copied; applied by the window thread, which wake_window() wakes).
void sub__title(zqs* text);
// The current title as a new temporary string ("" before the first sub__title).
zqs* func__title();
// The current title and its generation (0 before the first sub__title; every change adds one).
// The window thread applies a title when the generation differs from the one it applied last.
std::string current_window_title(uint32_t* generation = nullptr);
uint32_t window_title_generation();
// What the program wants an address that opens this game to carry, as URL query parameters
// ("puzzle=CODE", "" for nothing): a host whose windows have addresses (a page) shows them there,
// so that copying the address shares what is on screen. Published with the title (the same
// generation); a host without addresses ignores it.
void set_window_link_parameters(const std::string& parameters);
std::string current_window_link_parameters();

// Validates the icon images (passed bit 1: image32 given, bit 2: image16 given; without image32
// both default to the built-in icons) and waits for the window to exist. Error 258 for a bad
// handle, 5 for a text image. The window icon itself is left to the toolkit.
enum icon_passed : int32_t { icon_image32 = 1, icon_image16 = 2 };
void sub__icon(int32_t image32, int32_t image16, int32_t passed);
// The built-in icon images (32x32 and 16x16, 32-bit); created by runtime_init.
extern int32_t builtin_icon32, builtin_icon16;
void create_builtin_icons();

// Requests a presentation mode: method 0 and 2 stretched full screen, 1 and 4 windowed, 3 full
// screen with square pixels; passed bit 1 asks for smoothing. Other methods are error 5.
enum fullscreen_passed : int32_t { fullscreen_smoothing = 1 };
void sub__fullscreen(int32_t method, int32_t passed);
// The pending full-screen request if any, else the current presentation.
int32_t func__fullscreen();
// -1 when full-screen smoothing is on, else 0.
int32_t func__fullscreensmooth();
void sub__allowfullscreen(int32_t mode, int32_t smooth);

// Turns automatic display off (waiting for the main loop to let go) or presents a frame now.
void sub__display();
void sub__autodisplay();
int32_t func__autodisplay();
// Waits for one frame preparation (automatic display) or prepares one.
void display_now();

// mode 1 stops snapping the window back to the frame size, 2 restores it; smooth (passed bit 2)
// chooses scaling to the window: 0 none, 1 scaled, 2 scaled smoothly.
enum resize_passed : int32_t { resize_mode_given = 1, resize_smooth_given = 2 };
void sub__resize(int32_t mode, int32_t smooth, int32_t passed);
// -1 once for each resize of the window (0 while snapping back is on).
int32_t func__resize();
int32_t func__resizewidth();
int32_t func__resizeheight();
// Size of the frame as drawn in the window (scaled by the presentation).
int32_t func__scaledwidth();
int32_t func__scaledheight();

// Takes exit requests over from the host: returns the pending requests (1 close button, 2 Break)
// and clears them. From the first call on, exit requests no longer end the process.
int32_t func__exit();
// -1 while the pointer is inside the window, else 0.
int32_t func__hasfocus();
// -1 once the window exists, else 0.
int32_t func_windowexists();
// Desktop size (waits for the window; 0 when no window is shown).
int32_t func_screenwidth();
int32_t func_screenheight();
// Iconifies the window (waits for it first).
void sub_screenicon();
// Waits for the window and returns 0; error 5 when no window is shown.
int32_t func_screenicon();

// Waits until the window exists (host_main wakes the program when it does). False at once when
// no window is shown, and false when the host asks the program to stop while waiting.
bool wait_for_window();

// Windowing-connection lock: the caller may use the windowing connection between x11_lock and
// x11_unlock while the window thread waits in its event loop (the host grants it there). False,
// without the lock, when the host asks the program to stop first: the caller must then not use the
// connection, nor call x11_unlock.
[[nodiscard]] bool x11_lock();
void x11_unlock();

// Event hook of the window layer: code 1 is the close button (bit 0 of exit_value). Returns 0.
int32_t zorbel_custom_event(int32_t code);
// The Break key (window thread, from the key handler): ends the program like its end statement,
// or, once the program has taken exit requests over (func__exit), sets bit 1 of exit_value.
void request_break();
