// The desktop around the window: the window manager, the screen and the keyboard focus.
//
// A player's desktop changes things behind the toolkit's back: the window manager maximizes the
// window or takes it in and out of full screen, the screen changes size, another window takes
// the keyboard. The toolkit reports none of this, so the window asks the X server itself:
// desktop_watch selects focus and property events on the window and structure events on the
// root window, and hooks their conversion from the wire. The hooks run with the display locked:
// they make no Xlib calls, only note what happened and ask for a redraw; the window thread acts on
// it between the toolkit's event passes and in the display callback.
//
// Full screen is asked of the window manager directly, with an explicit _NET_WM_STATE "add" or
// "remove", never the toolkit's toggle: a toggle sent after the window manager changed the state
// on its own would undo the player's change. Without a window manager the window covers the
// screen itself. Everything here runs on the window thread.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/host/window_follow.h"
#include "runtime/host/window_geometry.h"

struct _XDisplay;  // Xlib's Display, kept out of this header: Xlib's macros clash with names here

// Starts watching the desktop for this window (right after it is created): reads the screen's
// size through Xlib, limits the window to it, and selects and hooks the events above.
void desktop_watch(_XDisplay* display, unsigned long window);

// True once the window has been mapped (and, under a window manager, managed); full-screen
// requests wait for it, as a window manager ignores them for a window it does not manage yet.
bool desktop_window_mapped();

// True when a window manager runs (one that announces itself, as EWMH asks: a check window on
// the root that names itself). A killed window manager's announcement stays behind on the root,
// naming a window that no longer exists: that is none.
bool desktop_window_manager_present();

// Before the toolkit opens the display: removes such a stale announcement from the root window,
// as the toolkit's own start-up takes it for a fatal error. Opens a connection of the game's own
// for that, which stays open until desktop_end_start_up_connection, once the toolkit's is open:
// an X server may reset when its last client leaves, and a connection opened during the reset
// fails.
void desktop_remove_dead_window_manager_check();
void desktop_end_start_up_connection();

// Asks for full screen (true) or for the window to leave it (false): of the window manager when
// one runs, else by covering the screen from (0, 0). Leaving without a window manager is only the
// resize to the frame size that follows, which is the caller's.
void desktop_request_full_screen(bool on);

// The window manager's state when it changed since the last call, else nothing.
std::optional<WindowManagerState> desktop_take_window_manager_state();
// Asks the window manager to drop a maximized state, so that the window can take the frame's
// size again; false when it was not maximized.
bool desktop_leave_maximized();

// When the screen changed size: the monitor the window is on is chosen again (RandR's monitors;
// the program sees its size as the screen's, desktop_size), the window's size limit follows the
// screen, and without a window manager the window is placed on its monitor (a full-screen window
// covers it, a windowed one stays on it; window_box_on_screen). Called on every turn of
// the event loop: the display callback does not run for a window that is off the screen.
void desktop_follow_screen_size();
// Moves and resizes the window to box (client area, root coordinates).
void desktop_place_window(const WindowBox& box);
// The window's client area, in root coordinates.
WindowBox desktop_window_box();
// Where the window's client area fits on the screen: the window manager's work area
// (_NET_WORKAREA, the screen less its panels) less the frame it draws around the window
// (_NET_FRAME_EXTENTS), else the whole screen. Read when the window is made, when the screen
// changes size and when the frame changes.
WindowBox desktop_work_area();

// False for a window larger than the screen: the reshape callback shrinks such a window back, and
// nothing is drawn into it meanwhile. Another client may resize the window to anything up to
// 32767 x 32767, and the OpenGL drawable of such a window takes gigabytes or aborts the process in
// the buffer swap.
bool window_size_drawable(int width, int height);
// The largest window size window_size_drawable accepts.
WindowBox desktop_largest_window();

// The window lost the keyboard focus since the last call and has not got it back (window thread,
// after the toolkit's event pass).
bool desktop_take_focus_loss();
