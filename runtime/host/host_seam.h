// The seam between the runtime and the host that shows it: everything a host provides to the
// runtime, and everything it feeds in. The X11/OpenGL host in runtime/host/window/ is one
// implementation; a second host replaces that folder and nothing else.
//
// A host provides (installed once at start-up, before any thread but the first runs):
//   - wake_window: the window thread looks at the shared requests again (HostHooks::wake);
//   - end_process: how the process ends, after the shutdown or a fatal error (HostHooks::end);
//   - dialogs: the error reports and their answers (set_dialog_host, runtime/core/dialog_host.h).
// Without a host (tests, a hidden screen) waking does nothing, dialogs are only logged, and the
// process ends with std::_Exit.
//
// A host reads, on its window thread, what the runtime publishes for it:
//   - frames: pick_frame_to_show and display_frame (frame_handover.h), present_redraw_wanted;
//   - the title: current_window_title, window_title_generation (window_ops.h);
//   - presentation: full_screen, full_screen_set, fullscreen_smooth (host_state.h), where the frame
//     goes (compute_environment_2d, window_geometry.h) and how the window's size follows the frame
//     and the window manager (WindowFollower, window_follow.h);
//   - iconify_request and the windowing-connection lock (window_ops.h).
//
// A host feeds in, from its window thread, through the functions declared below: keys, taps on
// the picture, the loss of the keyboard focus, the close button, the window's size, the screen's
// size, Alt+Enter and the window manager's own full-screen changes.
#pragma once

#include <cstdint>

#include "runtime/core/dialog_host.h"
#include "runtime/core/process_end.h"  // end_process, what HostHooks::end serves
#include "runtime/host/window_geometry.h"

// --- What a host provides ---

struct HostHooks {
  // Any thread: the window thread should look at the shared requests again (a new frame, a title,
  // a presentation or iconify request, the connection lock). Must not block.
  void (*wake)() = nullptr;
  // Ends the process with status once the runtime has shut down (main loop thread) or after a
  // fatal error (the thread that met it). Must not return; when it is not set, or returns all the
  // same, the process ends with std::_Exit.
  void (*end)(int32_t status) = nullptr;
};
// Installs the host's hooks (copied). Call before starting the runtime's threads.
void install_host_hooks(const HostHooks& hooks);

// Any thread: asks the host's window thread to look at the shared requests again.
void wake_window();

// Any thread: the picture on screen must be drawn again even though no new frame exists (its
// contents were lost, or how it is presented changed); wakes the window thread.
void request_window_redraw();
// Window thread: takes a pending redraw request (true once per request).
bool take_window_redraw_request();

// --- What a host feeds in (window thread) ---

// Shift, Ctrl and Alt as a key event carries them.
enum key_modifier : int32_t { key_modifier_shift = 1, key_modifier_ctrl = 2, key_modifier_alt = 4 };

// A key that gives a character (code page 437), pressed (down) or let go. `modifiers` are the
// key_modifier bits the event itself carries: a held Shift, Ctrl or Alt whose bit the event lacks
// was let go where the window could not see it, and is released first. With Ctrl, `plain` is the
// character the same key gives without Ctrl, so that the runtime's key table decides what a Ctrl
// combination gives (Ctrl+3 gives nothing); -1 when the host does not know it (Ctrl+A to Ctrl+Z
// are then recovered from their control codes).
void host_character_key(int32_t character, bool down, int32_t modifiers, int32_t plain = -1);
// A key that gives no character, as a runtime key code (keyboard.h: 0x4800 Up, 0x3B00 F1,
// keycode::left_shift, ...), pressed or let go; `modifiers` as above.
void host_key(int32_t code, bool down, int32_t modifiers);
// The window lost the keyboard focus (or the pointer left it): every held modifier is let go.
void host_focus_lost();
// The pointer entered (true) or left (false) the window; leaving also lets go of the modifiers.
void host_pointer_inside(bool inside);
// The player asked to close the window (its close button).
void host_close_requested();
// The window's client area is now width x height.
void host_window_resized(int32_t width, int32_t height);
// The screen (or the monitor the window is shown on) is now width x height.
void host_screen_resized(int32_t width, int32_t height);

// A tap (or click) at pixel (x, y) of the displayed frame: the screen page's own pixels in a
// graphics mode, not the window's. What it types is the program's to decide: it asks the tap
// translator, and feeds the keys it names in order, each pressed and let go as a plain character
// key (a modifier still held is let go first, as for a key event without it). Without a
// translator a tap does nothing.
void host_tap(int32_t x, int32_t y);

// The program's tap translator: writes the character keys (code page 437) a tap at (x, y) types
// into keys, at most capacity of them, and returns how many. Called on the host's thread.
using TapTranslator = int32_t (*)(int32_t x, int32_t y, int32_t* keys, int32_t capacity);
// Any thread: installs the translator taps go through (nullptr: taps do nothing). The runtime
// never knows the program: the program installs its own.
void set_tap_translator(TapTranslator translator);
