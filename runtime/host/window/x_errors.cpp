// X errors and a lost X connection (see x_errors.h).
#include "runtime/host/window/x_errors.h"

#include <X11/Xlib.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "runtime/host/startup_failure.h"

namespace {

// Set by the window thread once its event loop is about to run; read by the error handler on
// whichever thread met the error. Publishes only itself.
std::atomic<bool> start_up_over{false};

// Writes to standard error without stdio's buffers and locks.
void write_text(const char* text, size_t length) {
  while (length > 0) {
    const ssize_t written = write(STDERR_FILENO, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<size_t>(written);
  }
}

// Errors a request meets when a window it names vanished meanwhile (or its state changed under
// it, such as an unmapped window asked for the focus): the request had no effect, which is all
// that can be done about it.
bool harmless(const XErrorEvent& error) {
  return error.error_code == BadWindow || error.error_code == BadDrawable ||
         error.error_code == BadMatch;
}

// Xlib calls this with the display unlocked, on the thread whose request failed; it may ask Xlib
// for texts, which make no requests.
int x_error(Display* display, XErrorEvent* error) {
  if (harmless(*error)) return 0;
  char what[128] = "";
  XGetErrorText(display, error->error_code, what, sizeof what);
  char number[16];
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(error->request_code));
  char request[64] = "";
  // Only the core requests have names in Xlib's database; an extension's shows as its number.
  if (error->request_code < 128)
    XGetErrorDatabaseText(display, "XRequest", number, "", request, sizeof request);
  char line[320];
  std::snprintf(line, sizeof line, "X error %s in request %u.%u%s%s%s", what,
                static_cast<unsigned>(error->request_code),
                static_cast<unsigned>(error->minor_code), request[0] ? " (" : "", request,
                request[0] ? ")" : "");
  // During start-up only the window thread talks to the X server, and it is here: the start-up
  // failure ends the process as every other one does (one line, a dialog without a terminal).
  if (!start_up_over.load()) fail_to_start(line);
  const std::string reported = std::string("vostrandelimerix: ") + line + "\n";
  write_text(reported.data(), reported.size());
  return 0;
}

// Losing the X server (it ended, or the connection broke) ends the game at once. Only
// async-signal-safe calls here: the handler may run in the middle of any Xlib call, with the
// display locked.
int lost_display(Display*) {
  static const char message[] = "vostrandelimerix: lost the connection to the X display\n";
  write_text(message, sizeof message - 1);
  _exit(1);
}

}  // namespace

void install_x_error_handlers() {
  XSetErrorHandler(x_error);
  XSetIOErrorHandler(lost_display);
}

void x_errors_after_start_up() { start_up_over.store(true); }
