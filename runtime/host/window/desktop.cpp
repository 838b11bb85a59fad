// The desktop around the window: window manager, screen size and keyboard focus (see desktop.h).
#include "runtime/host/window/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <atomic>
#include <vector>

#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"

// Xlibint.h defines min and max as macros; it comes last and they are removed at once.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace {

using WireToEventFn = Bool (*)(Display*, XEvent*, xEvent*);

struct Desktop {
  Display* display = nullptr;
  Window window = None, root = None;
  Atom net_wm_state = None, full_screen = None, maximized_vert = None, maximized_horz = None;
  Atom supporting_wm_check = None, work_area_atom = None, frame_extents = None;
  WindowBox work_area;  // read_work_area
  // The whole screen (the root window) and the monitor the window is shown on (the screen where
  // RandR tells of no monitors).
  WindowBox screen, monitor;
  // The frame around the windowed window: left, right, top, bottom (read_frame_extents).
  long frame[4] = {};
  // The largest window drawn into (window_size_drawable); follows the screen's size.
  WindowBox largest = largest_window(0, 0);
  // Converters the hooks below chain to, by event type.
  WireToEventFn previous[LASTEvent] = {};
};
Desktop desktop;

// Noted by the hooks while Xlib converts events, taken by the window thread. The hooks run on
// whichever thread reads the connection (the window thread, or one holding the connection lock),
// hence atomics.
std::atomic<bool> mapped{false};  // MapNotify seen more recently than UnmapNotify
std::atomic<bool> window_manager_state_changed{false};  // _NET_WM_STATE changed
std::atomic<bool> frame_extents_changed{false};         // _NET_FRAME_EXTENTS changed
std::atomic<bool> screen_changed{false};                // the root window changed size
std::atomic<bool> focus_lost{false};                    // FocusOut more recently than FocusIn

Bool desktop_hook(Display* display, XEvent* converted, xEvent* wire) {
  WireToEventFn previous = desktop.previous[wire->u.u.type & 0x7F];
  Bool keep = previous ? previous(display, converted, wire) : False;
  if (!keep) return keep;
  switch (converted->type) {
    case FocusIn:
    case FocusOut:
      // A focus change inside the window (to a child it does not have) is no change.
      if (converted->xfocus.window == desktop.window && converted->xfocus.detail != NotifyInferior)
        focus_lost.store(converted->type == FocusOut);
      break;
    case PropertyNotify:
      if (converted->xproperty.window != desktop.window) break;
      if (converted->xproperty.atom == desktop.net_wm_state) {
        window_manager_state_changed.store(true);
        request_window_redraw();
      } else if (converted->xproperty.atom == desktop.frame_extents) {
        // The window's size limit changes with the frame: the follower looks at it again.
        frame_extents_changed.store(true);
        request_window_redraw();
      }
      break;
    case ConfigureNotify:
      if (converted->xconfigure.window == desktop.root) {
        screen_changed.store(true);
      }
      break;
    case MapNotify:
    case UnmapNotify:
      if ((converted->type == MapNotify ? converted->xmap.window : converted->xunmap.window) ==
          desktop.window) {
        mapped.store(converted->type == MapNotify);
        request_window_redraw();
      }
      break;
    default:
      break;
  }
  return keep;
}

void hook(int event_type) {
  desktop.previous[event_type] = XESetWireToEvent(desktop.display, event_type, desktop_hook);
}

// Asks window managers to keep the window within the screen (PMaxSize of WM_NORMAL_HINTS),
// keeping the hints the toolkit set.
void limit_window_size() {
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  long supplied = 0;
  XGetWMNormalHints(desktop.display, desktop.window, hints, &supplied);
  hints->flags |= PMaxSize;
  hints->max_width = desktop.largest.w;
  hints->max_height = desktop.largest.h;
  XSetWMNormalHints(desktop.display, desktop.window, hints);
  XFree(hints);
}

// Reads a property of 32-bit items (atoms, windows); empty when absent, and when the window
// does not exist (the error handler lets that error pass).
template <typename Item>
int read_items(Display* display, Window window, Atom property, Atom type, Item* items,
               int capacity) {
  Atom actual_type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  int n = 0;
  if (XGetWindowProperty(display, window, property, 0, capacity, False, type, &actual_type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32) {
    // Xlib hands 32-bit items over as longs.
    const auto* values = reinterpret_cast<const long*>(data);
    for (; n < static_cast<int>(count) && n < capacity; ++n)
      items[n] = static_cast<Item>(values[n]);
  }
  if (data) XFree(data);
  return n;
}
template <typename Item>
int read_items(Window window, Atom property, Atom type, Item* items, int capacity) {
  return read_items(desktop.display, window, property, type, items, capacity);
}

// The window a window manager announces on the root window, as EWMH asks: the root's
// _NET_SUPPORTING_WM_CHECK names a window whose own _NET_SUPPORTING_WM_CHECK names itself.
// None when there is no announcement, or it is stale: a window manager that was killed leaves
// the root's property behind, naming a window that no longer exists.
Window announced_window_manager(Display* display, Window root, Atom supporting_wm_check) {
  Window check = None, itself = None;
  if (read_items(display, root, supporting_wm_check, XA_WINDOW, &check, 1) != 1 || check == None)
    return None;
  if (read_items(display, check, supporting_wm_check, XA_WINDOW, &itself, 1) != 1) return None;
  return itself == check ? check : None;
}

// Asks the window manager to add or remove up to two _NET_WM_STATE states.
void send_window_manager_state(bool add, Atom first, Atom second) {
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = desktop.window;
  event.xclient.message_type = desktop.net_wm_state;
  event.xclient.format = 32;
  event.xclient.data.l[0] = add ? 1 : 0;  // _NET_WM_STATE_ADD, _NET_WM_STATE_REMOVE
  event.xclient.data.l[1] = static_cast<long>(first);
  event.xclient.data.l[2] = static_cast<long>(second);
  event.xclient.data.l[3] = 1;  // the request comes from an ordinary application
  XSendEvent(desktop.display, desktop.root, False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(desktop.display);
}

// Asks the window manager which frame it will put around the window, so that _NET_FRAME_EXTENTS
// is there before the window is mapped, when the window's size is chosen.
void request_frame_extents() {
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = desktop.window;
  event.xclient.message_type = XInternAtom(desktop.display, "_NET_REQUEST_FRAME_EXTENTS", False);
  event.xclient.format = 32;
  XSendEvent(desktop.display, desktop.root, False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(desktop.display);
}

WindowManagerState read_window_manager_state() {
  WindowManagerState state;
  Atom atoms[16];
  const int n = read_items(desktop.window, desktop.net_wm_state, XA_ATOM, atoms, 16);
  for (int i = 0; i < n; ++i) {
    if (atoms[i] == desktop.full_screen) state.full_screen = true;
    if (atoms[i] == desktop.maximized_vert || atoms[i] == desktop.maximized_horz)
      state.maximized = true;
  }
  return state;
}

// Reads the frame the window manager puts around the window (_NET_FRAME_EXTENTS). A full-screen
// window has none, but the frame that matters is the one it gets back when it leaves full
// screen: while full screen, the frame read before is kept.
void read_frame_extents() {
  if (read_window_manager_state().full_screen) return;
  long frame[4] = {};
  if (read_items(desktop.window, desktop.frame_extents, XA_CARDINAL, frame, 4) != 4) return;
  for (int i = 0; i < 4; ++i) desktop.frame[i] = frame[i];
}

// Where the window's client area fits: the work area of the first virtual desktop, less the
// frame the window manager puts around the window; the screen without a window manager.
// Properties a window manager left behind when it ended are not looked at.
WindowBox read_work_area() {
  WindowBox area = desktop.monitor;
  if (!desktop_window_manager_present()) return area;
  long box[4] = {};
  if (read_items(desktop.root, desktop.work_area_atom, XA_CARDINAL, box, 4) == 4 && box[2] > 0 &&
      box[3] > 0) {
    // The work area spans every monitor; the window's part of it is what lies on its monitor.
    const WindowBox on_monitor =
        intersection({static_cast<int32_t>(box[0]), static_cast<int32_t>(box[1]),
                      static_cast<int32_t>(box[2]), static_cast<int32_t>(box[3])},
                     desktop.monitor);
    if (on_monitor.w > 0 && on_monitor.h > 0) area = on_monitor;
  }
  read_frame_extents();
  const long left = desktop.frame[0], right = desktop.frame[1], top = desktop.frame[2],
             bottom = desktop.frame[3];
  // A frame that leaves no room (or claims a negative width) is not believed.
  if (left < 0 || right < 0 || top < 0 || bottom < 0 || left + right >= area.w ||
      top + bottom >= area.h)
    return area;
  return {area.x + static_cast<int32_t>(left), area.y + static_cast<int32_t>(top),
          area.w - static_cast<int32_t>(left + right), area.h - static_cast<int32_t>(top + bottom)};
}

// Without a window manager the game places the window itself: a windowed one that would leave
// the screen moves back onto it, a full-screen one covers it (window_box_on_screen).
void keep_window_on_screen() {
  std::optional<WindowBox> placed =
      window_box_on_screen(desktop_window_box(), desktop.monitor, full_screen.load() != 0,
                           desktop_window_manager_present());
  if (placed) desktop_place_window(*placed);
}

// The screen's monitors as RandR (1.5 or later) tells them, and which is the primary one (-1:
// none); the whole screen as one monitor without RandR's monitors.
std::vector<WindowBox> read_monitors(int32_t* primary) {
  *primary = -1;
  std::vector<WindowBox> monitors;
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (XRRQueryExtension(desktop.display, &event_base, &error_base) &&
      XRRQueryVersion(desktop.display, &major, &minor) && (major > 1 || minor >= 5)) {
    int count = 0;
    if (XRRMonitorInfo* info = XRRGetMonitors(desktop.display, desktop.root, True, &count)) {
      for (int i = 0; i < count; ++i) {
        if (info[i].width <= 0 || info[i].height <= 0) continue;
        if (info[i].primary) *primary = static_cast<int32_t>(monitors.size());
        monitors.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
      }
      XRRFreeMonitors(info);
    }
  }
  if (monitors.empty()) monitors.push_back(desktop.screen);
  return monitors;
}

// Reads the screen's size and chooses the monitor the window is on (at the start, before the
// window has a place of its own, the primary one), which the program sees as the screen.
void follow_monitor(bool at_start) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(desktop.display, desktop.root, &attributes))
    desktop.screen = {0, 0, attributes.width, attributes.height};
  int32_t primary = -1;
  const std::vector<WindowBox> monitors = read_monitors(&primary);
  desktop.monitor = at_start && primary >= 0 ? monitors[primary]
                                             : monitor_of(desktop_window_box(), monitors, primary);
  host_screen_resized(desktop.monitor.w, desktop.monitor.h);
}

// A connection of the game's own, open from before the toolkit opens its display until after:
// see desktop_end_start_up_connection.
Display* start_up_display = nullptr;

}  // namespace

void desktop_watch(Display* display, Window window) {
  desktop.display = display;
  desktop.window = window;
  desktop.root = DefaultRootWindow(display);
  desktop.net_wm_state = XInternAtom(display, "_NET_WM_STATE", False);
  desktop.full_screen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  desktop.maximized_vert = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", False);
  desktop.maximized_horz = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
  desktop.supporting_wm_check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  desktop.work_area_atom = XInternAtom(display, "_NET_WORKAREA", False);
  desktop.frame_extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);

  for (int type : {FocusIn, FocusOut, PropertyNotify, ConfigureNotify, MapNotify, UnmapNotify})
    hook(type);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes)) {
    XSelectInput(display, window,
                 attributes.your_event_mask | FocusChangeMask | PropertyChangeMask);
    // Mapped before the hooks were in place: its MapNotify may have gone by unseen.
    if (attributes.map_state == IsViewable) mapped.store(true);
  }
  // The root window's own ConfigureNotify tells of a new screen size (RandR and the like).
  if (XGetWindowAttributes(display, desktop.root, &attributes))
    XSelectInput(display, desktop.root, attributes.your_event_mask | StructureNotifyMask);
  follow_monitor(true);
  desktop.largest = largest_window(desktop.screen.w, desktop.screen.h);
  if (desktop_window_manager_present()) request_frame_extents();
  desktop.work_area = read_work_area();
  limit_window_size();
  // The toolkit opens its window at (-1, -1) unless told otherwise, its top row and left column
  // off the screen; a window manager places it itself, else the game does.
  keep_window_on_screen();
}

bool desktop_window_mapped() { return mapped.load(); }

bool desktop_window_manager_present() {
  return announced_window_manager(desktop.display, desktop.root, desktop.supporting_wm_check) !=
         None;
}

void desktop_remove_dead_window_manager_check() {
  start_up_display = XOpenDisplay(nullptr);
  if (!start_up_display) return;  // the toolkit fails to open it as well, and says so
  Display* display = start_up_display;
  const Atom supporting_wm_check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (supporting_wm_check == None) return;  // no window manager ever announced itself
  const Window root = DefaultRootWindow(display);
  // Under a server grab, so that a window manager that starts meanwhile cannot announce itself
  // between the look and the removal.
  XGrabServer(display);
  Window check = None;
  XWindowAttributes attributes;
  if (read_items(display, root, supporting_wm_check, XA_WINDOW, &check, 1) == 1 && check != None &&
      !XGetWindowAttributes(display, check, &attributes))
    XDeleteProperty(display, root, supporting_wm_check);
  XUngrabServer(display);
  XSync(display, False);
}

void desktop_end_start_up_connection() {
  if (start_up_display) XCloseDisplay(start_up_display);
  start_up_display = nullptr;
}

void desktop_request_full_screen(bool on) {
  if (desktop_window_manager_present()) {
    send_window_manager_state(on, desktop.full_screen, None);
    return;
  }
  if (on) {
    // The monitor the window is on now, which full screen covers.
    follow_monitor(false);
    desktop_place_window(desktop.monitor);
    XRaiseWindow(desktop.display, desktop.window);
  }
}

std::optional<WindowManagerState> desktop_take_window_manager_state() {
  if (!window_manager_state_changed.exchange(false)) return std::nullopt;
  return read_window_manager_state();
}

bool desktop_leave_maximized() {
  if (!read_window_manager_state().maximized) return false;
  send_window_manager_state(false, desktop.maximized_vert, desktop.maximized_horz);
  return true;
}

void desktop_follow_screen_size() {
  if (!screen_changed.exchange(false)) return;
  follow_monitor(false);
  desktop.largest = largest_window(desktop.screen.w, desktop.screen.h);
  desktop.work_area = read_work_area();
  limit_window_size();
  keep_window_on_screen();
}

void desktop_place_window(const WindowBox& box) {
  XMoveResizeWindow(desktop.display, desktop.window, box.x, box.y, static_cast<unsigned>(box.w),
                    static_cast<unsigned>(box.h));
  XFlush(desktop.display);
}

WindowBox desktop_window_box() {
  WindowBox box;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(desktop.display, desktop.window, &attributes)) return box;
  Window child = None;
  XTranslateCoordinates(desktop.display, desktop.window, desktop.root, 0, 0, &box.x, &box.y,
                        &child);
  box.w = attributes.width;
  box.h = attributes.height;
  return box;
}

WindowBox desktop_work_area() {
  if (frame_extents_changed.exchange(false)) desktop.work_area = read_work_area();
  return desktop.work_area;
}

bool window_size_drawable(int width, int height) {
  return width <= desktop.largest.w && height <= desktop.largest.h;
}

WindowBox desktop_largest_window() { return desktop.largest; }

bool desktop_take_focus_loss() { return focus_lost.exchange(false); }
