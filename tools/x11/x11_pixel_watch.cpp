// x11_pixel_watch: times how long a window takes to show new pixels, for the window benchmark.
//
//   x11_pixel_watch keys WINDOW_ID [--rect X,Y,W,H] [--gap MIN_MS,MAX_MS] [--timeout MS] KEY...
//   x11_pixel_watch stable WINDOW_ID [--quiet MS] [--timeout MS]
//   x11_pixel_watch start [--runs N] [--quiet MS] [--timeout MS] -- COMMAND [ARGUMENT...]
//
// keys: gives WINDOW_ID the input focus and presses each KEY (an X keysym name: a, 1, Return,
// Escape, ...) with XTEST. A plain KEY is measured: the tool waits until the watched rectangle
// (window coordinates, default the whole window) has been still for 100 ms, keeps its pixels,
// presses and releases the key and polls the rectangle with XShmGetImage until any pixel differs;
// it prints "KEY MS" (milliseconds of CLOCK_MONOTONIC from the press to the first changed
// picture) or "KEY timeout". A KEY written +KEY is pressed without being measured. Between keys
// it waits a random time from the gap (default 300,500 ms), so that presses do not fall in step
// with the program's frame cadence and a key loop is in its idle state when the key arrives.
//
// stable: waits until the window's pixels have not changed for the quiet time (default 1000 ms)
// and prints how long that took, or exits 1 at the timeout (default 20000 ms).
//
// start: a warm-up run starts COMMAND (in its own session, standard input from /dev/null, its
// output discarded), waits for its top-level window (_NET_WM_PID), waits until the window is
// still for the quiet time (default 2000 ms) and keeps that picture as the reference. Then each
// of N runs (default 10) starts COMMAND again and prints "start MS": the time from the start to
// the first moment its window has the reference's position, size and pixels ("start timeout"
// after the timeout, default 10000 ms). Each run ends the program with Escape (SIGKILL when it is
// still running 5 s later). Runs begin at random fractions of a second, so that start-up work
// tied to the wall clock's seconds is not always met at the same phase.
//
// The picture is polled every millisecond or two; only the part of the window that lies on the
// screen is read. Exits 0 after measuring (timeouts included), 1 when the window cannot be read
// or the program not started, 2 on bad usage or when the display or an extension is missing.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

Display* display = nullptr;

double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void sleep_ms(double ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(std::fmod(ms, 1000.0) * 1e6)};
  nanosleep(&t, nullptr);
}

// The window may vanish or change size between a query and a read; such reads just fail.
int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
};

// The part of the window (window coordinates) that lies on the screen, and the window's position
// on the root; an empty rectangle when the window is gone or not mapped.
Rect on_screen_part(Window window, int* root_x = nullptr, int* root_y = nullptr) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, window, &a) || a.map_state != IsViewable) return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, a.root, 0, 0, &x, &y, &child);
  if (root_x) *root_x = x;
  if (root_y) *root_y = y;
  const int screen_w = WidthOfScreen(a.screen), screen_h = HeightOfScreen(a.screen);
  Rect r;
  r.x = std::max(0, -x);
  r.y = std::max(0, -y);
  r.w = std::min(a.width, screen_w - x) - r.x;
  r.h = std::min(a.height, screen_h - y) - r.y;
  if (r.w <= 0 || r.h <= 0) return {};
  return r;
}

// One shared-memory picture of a fixed size, read again and again.
class Grabber {
 public:
  Grabber(int w, int h) {
    const int screen = DefaultScreen(display);
    image_ = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                             ZPixmap, nullptr, &info_, w, h);
    info_.shmid = shmget(IPC_PRIVATE, image_->bytes_per_line * h, IPC_CREAT | 0600);
    info_.shmaddr = image_->data = static_cast<char*>(shmat(info_.shmid, nullptr, 0));
    info_.readOnly = False;
    XShmAttach(display, &info_);
    XSync(display, False);
    shmctl(info_.shmid, IPC_RMID, nullptr);  // freed when both sides detach
  }
  ~Grabber() {
    XShmDetach(display, &info_);
    XDestroyImage(image_);
    shmdt(info_.shmaddr);
  }
  Grabber(const Grabber&) = delete;
  Grabber& operator=(const Grabber&) = delete;

  bool grab(Window window, const Rect& r) {
    return XShmGetImage(display, window, image_, r.x, r.y, AllPlanes);
  }
  std::vector<char> pixels() const {
    return {image_->data, image_->data + size_t(image_->bytes_per_line) * image_->height};
  }
  bool same_as(const std::vector<char>& other) const {
    return other.size() == size_t(image_->bytes_per_line) * image_->height &&
           std::memcmp(other.data(), image_->data, other.size()) == 0;
  }

 private:
  XShmSegmentInfo info_{};
  XImage* image_ = nullptr;
};

// Polls until the rectangle has not changed for quiet_ms; false at the timeout.
bool wait_still(Window window, const Rect& r, double quiet_ms, double timeout_ms,
                double poll_ms = 20) {
  Grabber grabber(r.w, r.h);
  const double deadline = now_ms() + timeout_ms;
  std::vector<char> last;
  double since = now_ms();
  while (now_ms() < deadline) {
    if (!grabber.grab(window, r)) return false;
    if (!grabber.same_as(last)) {
      last = grabber.pixels();
      since = now_ms();
    } else if (now_ms() - since >= quiet_ms) {
      return true;
    }
    sleep_ms(poll_ms);
  }
  return false;
}

void press(const char* name) {
  KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name));
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XFlush(display);
}

bool valid_key(const char* name) {
  KeySym sym = XStringToKeysym(name);
  return sym != NoSymbol && XKeysymToKeycode(display, sym) != 0;
}

int keys(Window window, const Rect& given, double gap_min, double gap_max, double timeout_ms,
         const std::vector<std::string>& key_list) {
  Rect whole = on_screen_part(window);
  if (!whole.w) return 1;
  Rect r = given.w ? given : whole;
  if (r.x < whole.x || r.y < whole.y || r.x + r.w > whole.x + whole.w ||
      r.y + r.h > whole.y + whole.h) {
    std::fprintf(stderr, "x11_pixel_watch: the rectangle is not on screen inside the window\n");
    return 1;
  }
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  XSync(display, False);
  std::mt19937 random(std::random_device{}());
  std::uniform_real_distribution<double> gap(gap_min, gap_max);
  Grabber grabber(r.w, r.h);
  for (const std::string& key : key_list) {
    sleep_ms(gap(random));
    if (key[0] == '+') {
      press(key.c_str() + 1);
      continue;
    }
    wait_still(window, r, 100, 2000, 5);
    if (!grabber.grab(window, r)) return 1;
    const std::vector<char> before = grabber.pixels();
    const double pressed = now_ms();
    press(key.c_str());
    double changed = -1;
    while (now_ms() - pressed < timeout_ms) {
      if (!grabber.grab(window, r)) return 1;
      if (!grabber.same_as(before)) {
        changed = now_ms();
        break;
      }
      sleep_ms(1);
    }
    if (changed < 0)
      std::printf("%s timeout\n", key.c_str());
    else
      std::printf("%s %.1f\n", key.c_str(), changed - pressed);
    std::fflush(stdout);
  }
  return 0;
}

pid_t launch(char** command) {
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execvp(command[0], command);
    _exit(127);
  }
  return pid;
}

// The top-level window whose _NET_WM_PID is pid, or 0.
Window window_of(pid_t pid) {
  Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", True);
  if (net_wm_pid == None) return 0;
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && !found; ++i) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], net_wm_pid, 0, 1, False, XA_CARDINAL, &type,
                           &format, &n, &after, &data) == Success &&
        data && format == 32 && n == 1 && *reinterpret_cast<long*>(data) == pid)
      found = children[i];
    if (data) XFree(data);
  }
  if (children) XFree(children);
  return found;
}

void finish(pid_t pid, Window window) {
  if (window) {
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    press("Escape");
  }
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    sleep_ms(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

struct Reference {
  Rect rect;
  int root_x = 0, root_y = 0;
  std::vector<char> pixels;
};

int start(int runs, double quiet_ms, double timeout_ms, char** command) {
  // Warm-up run: the settled picture becomes the reference.
  Reference reference;
  {
    pid_t pid = launch(command);
    if (pid < 0) return 1;
    Window window = 0;
    for (double deadline = now_ms() + 20000; !window && now_ms() < deadline; sleep_ms(10))
      window = window_of(pid);
    Rect r = window ? on_screen_part(window) : Rect{};
    // The window may still change size (full screen): settle, then check it stayed the same.
    for (int attempt = 0; r.w && attempt < 10; ++attempt) {
      wait_still(window, r, quiet_ms, 20000, 50);
      Rect again = on_screen_part(window, &reference.root_x, &reference.root_y);
      if (again == r) break;
      r = again;
    }
    Grabber grabber(std::max(r.w, 1), std::max(r.h, 1));
    if (!r.w || !grabber.grab(window, r)) {
      std::fprintf(stderr, "x11_pixel_watch: no settled window from %s\n", command[0]);
      finish(pid, window);
      return 1;
    }
    reference.rect = r;
    reference.pixels = grabber.pixels();
    finish(pid, window);
  }
  Grabber grabber(reference.rect.w, reference.rect.h);
  std::mt19937 random(std::random_device{}());
  std::uniform_real_distribution<double> phase(0, 1000);
  for (int run = 0; run < runs; ++run) {
    sleep_ms(300 + phase(random));
    const double started = now_ms();
    pid_t pid = launch(command);
    if (pid < 0) return 1;
    Window window = 0;
    double shown = -1;
    while (now_ms() - started < timeout_ms) {
      if (!window) window = window_of(pid);
      int x = 0, y = 0;
      if (window && on_screen_part(window, &x, &y) == reference.rect && x == reference.root_x &&
          y == reference.root_y && grabber.grab(window, reference.rect) &&
          grabber.same_as(reference.pixels)) {
        shown = now_ms();
        break;
      }
      sleep_ms(window ? 1 : 2);
    }
    if (shown < 0)
      std::printf("start timeout\n");
    else
      std::printf("start %.1f\n", shown - started);
    std::fflush(stdout);
    finish(pid, window);
  }
  return 0;
}

bool pair_of(const char* text, double* a, double* b) {
  return std::sscanf(text, "%lf,%lf", a, b) == 2;
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s keys WINDOW_ID [--rect X,Y,W,H] [--gap MIN_MS,MAX_MS] [--timeout MS] "
               "KEY...\n"
               "       %s stable WINDOW_ID [--quiet MS] [--timeout MS]\n"
               "       %s start [--runs N] [--quiet MS] [--timeout MS] -- COMMAND [ARGUMENT...]\n",
               program, program, program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(argv[0]);
  const std::string mode = argv[1];
  int i = 2;
  Window window = 0;
  if (mode == "keys" || mode == "stable") {
    if (argc < 3) return usage(argv[0]);
    window = std::strtoul(argv[i++], nullptr, 0);
  } else if (mode != "start") {
    return usage(argv[0]);
  }
  Rect rect;
  double gap_min = 300, gap_max = 500, quiet_ms = mode == "start" ? 2000 : 1000;
  double timeout_ms = mode == "stable" ? 20000 : mode == "start" ? 10000 : 1000;
  int runs = 10;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-' && argv[i][2]; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    bool ok = true;
    if (option == "--rect")
      ok = std::sscanf(value, "%d,%d,%d,%d", &rect.x, &rect.y, &rect.w, &rect.h) == 4 &&
           rect.w > 0 && rect.h > 0;
    else if (option == "--gap")
      ok = pair_of(value, &gap_min, &gap_max) && gap_min >= 0 && gap_max >= gap_min;
    else if (option == "--timeout")
      ok = (timeout_ms = std::atof(value)) > 0;
    else if (option == "--quiet")
      ok = (quiet_ms = std::atof(value)) > 0;
    else if (option == "--runs")
      ok = (runs = std::atoi(value)) > 0;
    else
      ok = false;
    if (!ok) return usage(argv[0]);
  }
  if (mode == "start") {
    if (i >= argc || std::strcmp(argv[i], "--") != 0 || i + 1 >= argc) return usage(argv[0]);
    ++i;
  } else if ((mode == "keys") != (i < argc)) {
    return usage(argv[0]);
  }

  display = XOpenDisplay(nullptr);
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!display || !XShmQueryExtension(display) ||
      !XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
    std::fprintf(stderr, "%s: cannot open the display, or it lacks MIT-SHM or XTEST\n", argv[0]);
    return 2;
  }
  XSetErrorHandler(ignore_x_errors);
  int status = 0;
  if (mode == "keys") {
    std::vector<std::string> key_list(argv + i, argv + argc);
    for (const std::string& key : key_list) {
      if (!valid_key(key.c_str() + (key[0] == '+'))) {
        std::fprintf(stderr, "%s: unknown key %s\n", argv[0], key.c_str());
        return 2;
      }
    }
    status = keys(window, rect, gap_min, gap_max, timeout_ms, key_list);
  } else if (mode == "stable") {
    // A window that changes size meanwhile (full screen) is watched again at its new size.
    const double begun = now_ms();
    status = 1;
    while (status && now_ms() - begun < timeout_ms) {
      Rect r = on_screen_part(window);
      if (r.w && wait_still(window, r, quiet_ms, timeout_ms - (now_ms() - begun)) &&
          on_screen_part(window) == r)
        status = 0;
      else if (!r.w)
        sleep_ms(20);
    }
    if (status == 0) std::printf("%.0f\n", now_ms() - begun);
  } else {
    status = start(runs, quiet_ms, timeout_ms, argv + i);
  }
  XCloseDisplay(display);
  return status;
}
