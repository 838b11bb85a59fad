// x11_find_window: waits for a top-level window and prints its id.
//
//   x11_find_window [--pid PID] [--name TITLE] [--timeout SECONDS]
//
// Looks through every window on the display (DISPLAY) for one whose _NET_WM_PID is PID and/or
// whose title (WM_NAME) is exactly TITLE; at least one of the two must be given, and both must
// match when both are. Polls every 10 ms until the timeout (default 10 s). On success prints the
// window id as 0x... on standard output and exits 0; exits 1 on timeout, 2 on bad usage or when
// the display cannot be opened. Waiting for a title also waits for a title change:
//   id=$(x11_find_window --pid "$pid")                        # the window exists
//   x11_find_window --pid "$pid" --name Vostrandelimerix      # ... and shows this title
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Query {
  long pid = -1;
  const char* name = nullptr;
};

bool window_pid_is(Display* display, Window window, long pid) {
  Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", True);
  if (net_wm_pid == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool match = false;
  if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32 && count == 1) {
    match = *reinterpret_cast<long*>(data) == pid;
  }
  if (data) XFree(data);
  return match;
}

bool window_name_is(Display* display, Window window, const char* name) {
  char* title = nullptr;
  bool match = false;
  if (XFetchName(display, window, &title) && title) match = std::strcmp(title, name) == 0;
  if (title) XFree(title);
  return match;
}

bool matches(Display* display, Window window, const Query& query) {
  if (query.pid >= 0 && !window_pid_is(display, window, query.pid)) return false;
  if (query.name && !window_name_is(display, window, query.name)) return false;
  return true;
}

Window search(Display* display, Window window, const Query& query) {
  if (matches(display, window, query)) return window;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < count && !found; ++i) found = search(display, children[i], query);
  if (children) XFree(children);
  return found;
}

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

}  // namespace

int main(int argc, char** argv) {
  Query query;
  double timeout_s = 10.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--pid"))
      query.pid = std::atol(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--name"))
      query.name = argv[i + 1];
    else if (!std::strcmp(argv[i], "--timeout"))
      timeout_s = std::atof(argv[i + 1]);
    else
      query.pid = -2;
  }
  if (argc % 2 == 0 || query.pid == -2 || (query.pid < 0 && !query.name)) {
    std::fprintf(stderr, "usage: %s [--pid PID] [--name TITLE] [--timeout SECONDS]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "%s: cannot open display\n", argv[0]);
    return 2;
  }
  // Windows may vanish while the tree is walked.
  XSetErrorHandler(ignore_x_errors);
  const long polls = static_cast<long>(timeout_s * 100) + 1;
  for (long poll = 0; poll < polls; ++poll) {
    Window found = search(display, DefaultRootWindow(display), query);
    if (found) {
      std::printf("0x%lx\n", found);
      XCloseDisplay(display);
      return 0;
    }
    timespec ten_ms{0, 10 * 1000 * 1000};
    nanosleep(&ten_ms, nullptr);
  }
  XCloseDisplay(display);
  return 1;
}
