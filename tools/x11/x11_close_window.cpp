// x11_close_window: presses a window's close button the way a window manager does.
//
//   x11_close_window WINDOW_ID
//
// Sends the window a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW (there is no window
// manager under Xvfb to do it). WINDOW_ID may be decimal or 0x-prefixed hexadecimal, as printed by
// x11_find_window. Exits 0 once the message is sent, 2 on bad usage or when the display cannot be
// opened.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
    return 2;
  }
  Window window = std::strtoul(argv[1], nullptr, 0);
  Display* display = XOpenDisplay(nullptr);
  if (!display || !window) {
    std::fprintf(stderr, "%s: cannot open display or bad window id\n", argv[0]);
    return 2;
  }
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
