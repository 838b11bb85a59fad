#include "runtime/host/window/window.h"

#include <GL/freeglut.h>
#include <GL/glx.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/window/desktop.h"
#include "runtime/host/window/glut_keys.h"
#include "runtime/host/window/hardware_image.h"
#include "runtime/host/window/present_gl.h"
#include "runtime/host/window/window_identity.h"
#include "runtime/host/window/window_wakeup.h"
#include "runtime/host/window_follow.h"
#include "runtime/host/window_ops.h"

#include <X11/Xatom.h>
// Xlibint.h defines min and max as macros; it comes last and they are removed at once.
#include <X11/Xlibint.h>
#undef min
#undef max

int32_t framebufferobjects_supported = 0;

namespace {

// The X display connection and the window's X id (written once after the window is created).
Display* x_display = nullptr;

// A callback asked the toolkit for something it carries out on its next turn (window thread).
bool toolkit_work_pending = false;

// Title generation the window shows (window thread only).
uint32_t applied_title_generation = 0;

// The close button arrives as a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. The
// toolkit destroys its window on that message whatever it is told, so the message is taken out of
// the event stream while Xlib converts it from the wire, before the toolkit can see it. The hook
// runs with the display locked: it makes no Xlib calls, so the atoms are looked up beforehand.
using WireToEventFn = Bool (*)(Display*, XEvent*, xEvent*);
WireToEventFn previous_client_message_converter = nullptr;
Atom wm_protocols_atom = None;
Atom wm_delete_window_atom = None;

Bool client_message_hook(Display* display, XEvent* converted, xEvent* wire) {
  Bool keep = previous_client_message_converter
                  ? previous_client_message_converter(display, converted, wire)
                  : False;
  if (keep && converted->type == ClientMessage &&
      converted->xclient.message_type == wm_protocols_atom &&
      static_cast<Atom>(converted->xclient.data.l[0]) == wm_delete_window_atom) {
    host_close_requested();
    return False;  // dropped: the window stays, the main loop decides what the request means
  }
  return keep;
}

// An uncovered part of the window must be drawn again even when no new frame exists, which the
// display callback would otherwise skip. Expose events are noticed the same way as the close
// button, while Xlib converts them, and only leave a request for the next display callback.
WireToEventFn previous_expose_converter = nullptr;

Bool expose_hook(Display* display, XEvent* converted, xEvent* wire) {
  Bool keep =
      previous_expose_converter ? previous_expose_converter(display, converted, wire) : False;
  if (keep && converted->type == Expose) request_window_redraw();
  return keep;
}

// Key events: the toolkit hands its key callbacks the character X made of the key, and the
// pointer position. That character is not enough (with Ctrl, X turns "3" into the escape
// character), and the game reads no pointer, so while Xlib converts a key event, in the order the
// keys came, its position fields take the key's own keycode and modifier state; the callbacks
// read them back (key_event_of).
WireToEventFn previous_key_converter[2] = {nullptr, nullptr};

Bool key_hook(Display* display, XEvent* converted, xEvent* wire) {
  const bool press = (wire->u.u.type & 0x7F) == KeyPress;
  WireToEventFn previous = previous_key_converter[press ? 0 : 1];
  Bool keep = previous ? previous(display, converted, wire) : False;
  if (keep && (converted->type == KeyPress || converted->type == KeyRelease)) {
    converted->xkey.x = static_cast<int>(converted->xkey.keycode);
    converted->xkey.y = static_cast<int>(converted->xkey.state);
  }
  return keep;
}

void hook_events(Display* display) {
  wm_protocols_atom = XInternAtom(display, "WM_PROTOCOLS", False);
  wm_delete_window_atom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  previous_client_message_converter = XESetWireToEvent(display, ClientMessage, client_message_hook);
  previous_expose_converter = XESetWireToEvent(display, Expose, expose_hook);
  previous_key_converter[0] = XESetWireToEvent(display, KeyPress, key_hook);
  previous_key_converter[1] = XESetWireToEvent(display, KeyRelease, key_hook);
}

// A key event as the key hook left it in the callback's position arguments.
struct KeyEvent {
  unsigned keycode;
  unsigned state;
};
KeyEvent key_event_of(int x, int y) { return {static_cast<unsigned>(x), static_cast<unsigned>(y)}; }

// The Shift, Ctrl and Alt bits of a key event's state, as the runtime takes them.
int32_t modifiers_of(const KeyEvent& key) {
  int32_t bits = 0;
  if (key.state & ShiftMask) bits |= key_modifier_shift;
  if (key.state & ControlMask) bits |= key_modifier_ctrl;
  if (key.state & Mod1Mask) bits |= key_modifier_alt;
  return bits;
}

// The character the key gives without Ctrl (Shift, Caps Lock and the layout still count); -1
// when it gives none.
int32_t character_without_ctrl(const KeyEvent& key) {
  XKeyEvent event = {};
  event.type = KeyPress;
  event.display = x_display;
  event.keycode = key.keycode;
  event.state = key.state & ~static_cast<unsigned>(ControlMask);
  char text[8];
  KeySym symbol = NoSymbol;
  if (!event.display || XLookupString(&event, text, sizeof text, &symbol, nullptr) < 1) return -1;
  return static_cast<unsigned char>(text[0]);
}

void character_key(unsigned char key, bool down, int x, int y) {
  const KeyEvent event = key_event_of(x, y);
  const int32_t modifiers = modifiers_of(event);
  const int32_t plain = (modifiers & key_modifier_ctrl) ? character_without_ctrl(event) : -1;
  host_character_key(key, down, modifiers, plain);
}

void special_key(int key, bool down, int x, int y) {
  if (const int32_t code = glut_special_key_code(key))
    host_key(code, down, modifiers_of(key_event_of(x, y)));
}

// The windowing-connection lock, the window thread's side (every turn of the event loop): grants
// a pending request and waits, on its wake-up descriptor, until x11_unlock releases it.
void serve_x11_lock_request() {
  // The request is taken before the lock is granted: a requester that gives up (on a stop) takes
  // it back with the same exchange, so exactly one side has it.
  int32_t requested = 1;
  if (!x11_lock_request.compare_exchange_strong(requested, 0)) return;
  x11_locked.store(1);
  program_wakeup.notify();
  // Whatever else the descriptor announced meanwhile is looked at by the event loop right after.
  while (x11_locked.load() != 0) window_wakeup_wait();
}

// What the window-size follower asks of this window: freeglut resizes it, the desktop module
// talks to the window manager.
class DesktopWindowControls final : public WindowControls {
 public:
  void ask_size(int32_t width, int32_t height) override {
    glutReshapeWindow(width, height);
    glutPostRedisplay();
    toolkit_work_posted();
  }
  void ask_full_screen(bool on) override { desktop_request_full_screen(on); }
  bool leave_maximized() override { return desktop_leave_maximized(); }
  bool ready_for_full_screen() override { return desktop_window_mapped(); }
  WindowBox work_area() override { return desktop_work_area(); }
  std::optional<WindowManagerState> take_window_manager_state() override {
    return desktop_take_window_manager_state();
  }
};

// Tells the window manager (and test tools) which process owns the window.
void set_window_pid(Display* display, Window window) {
  Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  long pid = static_cast<long>(getpid());
  XChangeProperty(display, window, net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
}

}  // namespace

WindowControls& desktop_window_controls() {
  static DesktopWindowControls controls;
  return controls;
}

void window_created(uint32_t title_generation) {
  applied_title_generation = title_generation;
  Display* display = glXGetCurrentDisplay();
  x_display = display;
  Window window = glXGetCurrentDrawable();
  if (display) {
    set_window_pid(display, window);
    set_window_identity(display, window);
    hook_events(display);
    desktop_watch(display, window);
  }
}

void apply_pending_title() {
  if (window_title_generation() == applied_title_generation) return;
  uint32_t generation = 0;
  std::string title = current_window_title(&generation);
  glutSetWindowTitle(title.c_str());
  set_window_icon_name(title);
  applied_title_generation = generation;
}

void toolkit_work_posted() { toolkit_work_pending = true; }

void run_window_event_loop() {
  Display* display = x_display;
  const int connection = display ? ConnectionNumber(display) : -1;
  for (;;) {
    // What other threads have published: a title, an iconify request, a request for the
    // windowing connection; a new frame or a full-screen request are the display callback's.
    serve_x11_lock_request();
    apply_pending_title();
    if (iconify_request.exchange(0)) glutIconifyWindow();
    glutPostRedisplay();  // cheap when nothing is new: the display callback returns at once
    // X events and the redisplay; again while a callback left the toolkit work to do (a resize
    // it carries out on its next turn), so that no request waits for an unrelated event.
    do {
      toolkit_work_pending = false;
      glutMainLoopEvent();
    } while (toolkit_work_pending);
    if (glutGetWindow() == 0) return;  // the toolkit destroyed the window
    // Key releases that happen while another window has the keyboard never arrive: let go of
    // every held modifier, as when the pointer leaves. Only after the event pass, so that the
    // keys that came before the focus went have all been handled.
    if (desktop_take_focus_loss()) host_focus_lost();
    desktop_follow_screen_size();
    // Sleep until the X server or another thread has something. XPending sends what is still
    // buffered and reads what has already arrived, which poll() would not see.
    if (display && XPending(display) > 0) continue;
    pollfd sources[2] = {{connection, POLLIN, 0}, {window_wakeup_fd(), POLLIN, 0}};
    if (poll(sources, 2, present_poll_timeout_ms()) > 0 && (sources[1].revents & POLLIN))
      window_wakeup_drain();
  }
}

void GLUT_RESHAPE_FUNC(int width, int height) {
  if (!window_size_drawable(width, height)) {
    const WindowBox largest = desktop_largest_window();
    glutReshapeWindow(std::min(width, largest.w), std::min(height, largest.h));
    toolkit_work_posted();
  }
  host_window_resized(width, height);
  // The 2-D view is set up again for the new size before the next drawing.
  set_view(0);
}

// The position arguments of the key callbacks carry the key event's keycode and state (key_hook).
void GLUT_KEYBOARD_FUNC(unsigned char key, int x, int y) { character_key(key, true, x, y); }
void GLUT_KEYBOARDUP_FUNC(unsigned char key, int x, int y) { character_key(key, false, x, y); }
void GLUT_SPECIAL_FUNC(int key, int x, int y) { special_key(key, true, x, y); }
void GLUT_SPECIALUP_FUNC(int key, int x, int y) { special_key(key, false, x, y); }

// Mouse input would feed the mouse message queue; the program reads no mouse, so the callbacks
// only exist to keep the toolkit's event handling the same as a program that does.
void GLUT_MOUSE_FUNC(int, int, int, int) {}
void GLUT_MOTION_FUNC(int, int) {}
void GLUT_PASSIVEMOTION_FUNC(int, int) {}
void GLUT_MOUSEWHEEL_FUNC(int, int, int, int) {}

void GLUT_ENTRY_FUNC(int state) { host_pointer_inside(state == GLUT_ENTERED); }

void reinit_glut_callbacks() {
  glutDisplayFunc(GLUT_DISPLAY_REQUEST);
  glutKeyboardFunc(GLUT_KEYBOARD_FUNC);
  glutKeyboardUpFunc(GLUT_KEYBOARDUP_FUNC);
  glutSpecialFunc(GLUT_SPECIAL_FUNC);
  glutSpecialUpFunc(GLUT_SPECIALUP_FUNC);
  glutMouseFunc(GLUT_MOUSE_FUNC);
  glutMotionFunc(GLUT_MOTION_FUNC);
  glutPassiveMotionFunc(GLUT_PASSIVEMOTION_FUNC);
  glutReshapeFunc(GLUT_RESHAPE_FUNC);
  glutMouseWheelFunc(GLUT_MOUSEWHEEL_FUNC);
  glutEntryFunc(GLUT_ENTRY_FUNC);
}
