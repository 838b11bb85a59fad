// Process entry: prepares the runtime, starts the program, timer and main loop threads, then
// creates the window on this (the initial) thread and runs the toolkit's event loop here for the
// rest of the process. The process ends from the main loop thread (or from a fatal error).
#include "runtime/host/host_main.h"

#include <GL/glew.h>
// GLEW comes before any other GL header.
#include <GL/freeglut.h>

#include <pthread.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/timers.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/main_loop.h"
#include "runtime/host/startup_failure.h"
#include "runtime/host/window/desktop.h"
#include "runtime/host/window/window.h"
#include "runtime/host/window/window_wakeup.h"
#include "runtime/host/window/x_errors.h"
#include "runtime/host/window/xmessage_dialog.h"
#include "runtime/host/window_ops.h"
#include "runtime/runtime.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/image.h"

namespace {

constexpr int initial_window_width = 640;
constexpr int initial_window_height = 400;

// The program entry handed to host_main; the program thread runs it.
void (*program_entry)() = nullptr;

// The program thread: runs the program. A program that returns has finished like one that ran its
// end statement.
void ZQMAIN_LINUX() {
  program_entry();
  program_end();
}

void TIMERTHREAD_LINUX() { TIMERTHREAD(); }

void MAIN_LOOP_LINUX() { MAIN_LOOP(); }

// Starts a detached thread named for tools such as top and gdb; a process that cannot start its
// threads cannot run at all.
void start_thread(void (*body)(), const char* name) {
  try {
    std::thread thread(body);
    pthread_setname_np(thread.native_handle(), name);  // at most 15 characters
    thread.detach();
  } catch (const std::system_error& failure) {
    fail_to_start(std::string("cannot start the ") + name + " thread: " + failure.what());
  }
}

// The toolkit's fatal errors (no display, no OpenGL, ...) end the process with status 1. They
// arrive while the other threads run, so the process ends without running static destructors
// under their feet.
void toolkit_error(const char* format, va_list arguments) {
  char what[512];
  std::vsnprintf(what, sizeof what, format, arguments);
  fail_to_start(what);
}

}  // namespace

void host_main(int argc, char** argv, void (*program)()) {
  install_x_error_handlers();               // before anything can talk to the X server
  set_dialog_host(xmessage_dialog_host());  // before anything can show a dialog
  program_entry = program;
  report_uncaught_exceptions();
  // The X11 host's side of the seam: other threads wake the window thread through its eventfd.
  HostHooks hooks;
  hooks.wake = window_wakeup_write;
  install_host_hooks(hooks);
  runtime_init(argc, argv);

  start_thread(ZQMAIN_LINUX, "program");
  start_thread(TIMERTHREAD_LINUX, "timer");
  lock_display_required.store(1);
  start_thread(MAIN_LOOP_LINUX, "main loop");

  // A hidden start makes no window, and nothing in this runtime asks for one later: this thread
  // stays parked (the process ends from the main loop). It wakes this rarely only because it
  // must sleep in some unit; nothing it waits for can come from another thread.
  while (screen_hide.load()) std::this_thread::sleep_for(std::chrono::hours(24));

  glutInitErrorFunc(toolkit_error);
  // The toolkit's start-up treats a window manager's announcement that names a window that no
  // longer exists as a fatal error; such an announcement is false, and goes first.
  desktop_remove_dead_window_manager_check();
  glutInit(&argc, argv);
  desktop_end_start_up_connection();
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(initial_window_width, initial_window_height);
  if (!glutGet(GLUT_DISPLAY_MODE_POSSIBLE))
    fail_to_start("no OpenGL display mode with colour, double buffering and depth");
  // The close button is taken out of the event stream before the toolkit sees it (window.cpp);
  // should one slip through all the same, the toolkit must not end the process on its own.
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);

  uint32_t title_generation = 0;
  std::string title = current_window_title(&title_generation);
  // Other threads may wake the window from now on (a title, a frame): the eventfd exists before
  // the window, so nothing they announce is lost.
  if (!window_wakeup_open()) fail_to_start("cannot make the window's wake-up descriptor");
  glutCreateWindow(title_generation ? title.c_str() : "Untitled");
  window_created(title_generation);
  window_exists.store(1);
  program_wakeup.notify();  // the program's first statement waits for the window

  // Without a usable OpenGL (for example one older than 1.1) nothing could be drawn: say why and
  // end, as when no display mode is possible, rather than run on with a window that stays black.
  GLenum glew_status = glewInit();
  if (glew_status != GLEW_OK) {
    fail_to_start(std::string("cannot use OpenGL (") +
                  reinterpret_cast<const char*>(glewGetErrorString(glew_status)) +
                  "); the game needs OpenGL 1.1");
  }
  if (glewIsSupported("GL_EXT_framebuffer_object")) framebufferobjects_supported = 1;
  x_errors_after_start_up();

  reinit_glut_callbacks();
  run_window_event_loop();
  // The event loop returns only when the toolkit has destroyed the window, which the close-button
  // hook exists to prevent. Without a window the game cannot go on; say so and end.
  std::fprintf(stderr, "vostrandelimerix: the window was destroyed\n");
  end_process(1);
}
