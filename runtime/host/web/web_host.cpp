// The browser's host: the page's main thread stands where the desktop's window thread stands.
//
// host_main prepares the runtime and starts the program, timer, main loop and input threads (the
// browser's workers), then hands the main thread back to the page. From then on the main thread
// runs only when something happens: another thread wakes it (a new frame, a title, a
// presentation request) through the turn word, or the page hands it an event (a key, a tap, a
// new viewport size, the browser leaving full screen, a dialog's answer), which it passes on to
// the input thread (web_input.h): the main thread takes no lock of the runtime. Nothing runs on a
// timer, so a page that waits for a key costs nothing. Each turn on the main thread applies the
// title and a pending presentation request and draws the newest frame when one is due; the page
// (web_page.js) puts it on the canvas.
#include <emscripten.h>
#include <emscripten/threading.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/host_main.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/main_loop.h"
#include "runtime/host/presentation.h"
#include "runtime/host/start_options.h"
#include "runtime/host/web/web_dialogs.h"
#include "runtime/host/web/web_input.h"
#include "runtime/host/web/web_keys.h"
#include "runtime/host/window_geometry.h"
#include "runtime/host/window_ops.h"
#include "runtime/runtime.h"
#include "runtime/screen/display_lock.h"

namespace {

// The program entry handed to host_main; the program thread runs it.
void (*program_entry)() = nullptr;

void program_thread() {
  program_entry();
  program_end();
}

// A turn of the main thread is asked for: 1 from the first wake-up until the turn begins, so that
// any number of wake-ups before it runs ask for one turn. The page waits on this word with
// Atomics.waitAsync (web_page.js) and runs web_turn when it changes. Workers never wake the page
// through the runtime's queue of calls to the main thread: a worker the browser stops while the
// page is left could hold that queue's lock, and the page's main thread, which the browser's
// other pages of the site share, would wait for it for ever. Only a browser without
// Atomics.waitAsync gets its turns through that queue.
alignas(4) std::atomic<int32_t> turn_asked{0};
// How the page takes its turns: not known yet (it runs one as it starts), by waiting on the word,
// or through the queue.
enum class TurnsBy : int32_t { not_known, waiting, queue };
std::atomic<TurnsBy> turns_by{TurnsBy::not_known};

// The page is being left (web_page_leaving): the browser may stop the runtime's threads at any
// point, even while one holds a lock the main thread would wait for, so turns do nothing.
std::atomic<bool> page_leaving{false};

// The status the game ended with, for the page's next turn (-1: it has not ended).
std::atomic<int32_t> ended_with{-1};

// Main thread state.
uint32_t applied_title_generation = 0;
PixelSize canvas_size;      // the canvas in device pixels: the page's "window"
std::vector<uint8_t> rgba;  // the frame being handed to the page, bytes R, G, B, A
WindowGeometry drawn_at;    // where the last frame went on the canvas, and its size

void main_thread_turn();

void turn_entry() { main_thread_turn(); }

void queue_turn() {
  // A page being left gets no more wake-ups: the browser is taking its waiters apart.
  if (page_leaving.load()) return;
  page_title_may_have_changed();  // the input thread copies it and wakes the page again
  if (turn_asked.exchange(1) != 0) return;
  switch (turns_by.load()) {
    case TurnsBy::not_known:
      break;  // the page runs a turn as it starts taking them
    case TurnsBy::waiting:
      emscripten_futex_wake(&turn_asked, 1);
      break;
    case TurnsBy::queue:
      if (emscripten_is_main_runtime_thread())
        // From a handler the page is running: after it, not inside it.
        emscripten_async_call([](void*) { main_thread_turn(); }, nullptr, 0);
      else
        emscripten_async_run_in_main_runtime_thread(EM_FUNC_SIG_V, turn_entry);
      break;
  }
}

// Ends the game: the page shows its end screen. The thread that ends it (the main loop's after
// the shutdown, which has parked the program and timer threads, or the one that met a fatal
// error) then waits for ever; the page's main thread goes back to the page.
[[noreturn]] void end_game(int32_t status) {
  if (emscripten_is_main_runtime_thread()) {
    EM_ASM({ Module.vost.ended($0); }, status);
    emscripten_exit_with_live_runtime();
    __builtin_unreachable();
  }
  // The page's next turn shows the end screen.
  ended_with.store(status);
  wake_window();
  for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

// The title as the input thread copied it last (web_input.h): no lock, no allocation.
void apply_title() {
  static char title[1024], link[256];
  if (!take_page_title(&applied_title_generation, title, sizeof title, link, sizeof link)) return;
  EM_ASM({ Module.vost.title(UTF8ToString($0), UTF8ToString($1)); }, title, link);
}

// A pending presentation request: full screen through the page's Fullscreen API (which the
// browser may refuse: the picture then fills the page all the same), or back out of it.
void apply_presentation_request() {
  int32_t request = full_screen_set.load();
  if (request == -1) return;
  const int32_t before = full_screen.load();
  if ((request != 0) != (before != 0))
    EM_ASM({ Module.vost.fullScreen($0); }, request != 0 ? 1 : 0);
  full_screen.store(request);
  full_screen_set.compare_exchange_strong(request, -1);
  request_window_redraw();
}

// A page is not a screen: outside full screen the picture fills the page as full screen with
// square pixels presents it, unsmoothed (the scale and aspect options apply as they do there).
WindowGeometry page_geometry(int32_t frame_w, int32_t frame_h) {
  int32_t presentation = full_screen.load();
  int32_t smooth = fullscreen_smooth.load();
  if (presentation == 0) {
    presentation = 2;
    smooth = 0;
  }
  return compute_environment_2d(canvas_size.w, canvas_size.h, frame_w, frame_h, presentation,
                                smooth, 0, presentation_options);
}

void draw(const display_frame_struct& frame) {
  const WindowGeometry g = page_geometry(frame.w, frame.h);
  publish_scaled_size(g);
  drawn_at = g;
  const size_t pixels = static_cast<size_t>(frame.w) * static_cast<size_t>(frame.h);
  rgba.resize(pixels * 4);
  for (size_t i = 0; i < pixels; ++i) {
    const uint32_t p = frame.bgra[i];
    rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(p);
    rgba[i * 4 + 3] = 255;
  }
  EM_ASM(
      {
        Module.vost.draw($0, $1, $2, {x : $3, y : $4, w : $5, h : $6, smooth : $7, prescale : $8});
      },
      rgba.data(), frame.w, frame.h, g.x1, g.y1, g.x2 - g.x1 + 1, g.y2 - g.y1 + 1, g.smooth,
      g.prescale);
}

void main_thread_turn() {
  turn_asked.store(0);
  if (page_leaving.load()) return;
  web_dialogs_turn();
  if (const int32_t status = ended_with.exchange(-1); status != -1)
    EM_ASM({ Module.vost.ended($0); }, status);
  apply_title();
  apply_presentation_request();
  if (canvas_size.w <= 0 || canvas_size.h <= 0) return;
  bool is_new = false;
  const int32_t index = pick_frame_to_show(&is_new);
  if (index >= 0 && redraw_due(is_new, false) && !(suspend_program.load() & 1)) {
    draw(display_frame[index]);
    redraw_finished(true);
  }
}

// The runtime's threads are never cancelled. Saying so matters here: a worker that may be
// cancelled sleeps in slices of 100 ms to look for a cancellation, so every waiting thread would
// wake ten times a second while the game waits for a key.
void start_thread(void (*body)(), const char* name) {
  try {
    std::thread([body] {
      int before = 0;
      pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &before);
      body();
    }).detach();
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "vostrandelimerix: cannot start the %s thread: %s\n", name,
                 failure.what());
    EM_ASM({ Module.vost.ended(1); });  // host_main runs on the page's main thread
    emscripten_exit_with_live_runtime();
  }
}

}  // namespace

// What the page hands in (main thread). The names are the page's (web_page.js).
extern "C" {

// A key went down (down = 1) or up: the KeyboardEvent's key, code and location, and its Shift,
// Ctrl and Alt as key_modifier bits. Returns 1 when the page should keep the browser from acting
// on it.
EMSCRIPTEN_KEEPALIVE int web_key_event(int down, const char* key, const char* code, int location,
                                       int modifiers) {
  if (web_dialog_open()) return 0;  // the dialog on the page has the keys
  const WebKey k = web_key(key, code, location, modifiers);
  if (k.kind == WebKey::Kind::character) {
    const int32_t plain = (modifiers & key_modifier_ctrl) ? k.value : -1;
    queue_page_event({PageEventKind::character_key, k.value, down != 0, k.modifiers, plain});
  } else if (k.kind == WebKey::Kind::key) {
    queue_page_event({PageEventKind::key, k.value, down != 0, k.modifiers});
  }
  return k.prevent_default ? 1 : 0;
}

// A tap (or click) at (canvas_x, canvas_y), device pixels of the canvas (the pointer event's CSS
// pixels times devicePixelRatio): on the picture, it is a tap at the pixel of the frame drawn
// there (host_tap); outside the picture, or while a dialog is open, nothing.
EMSCRIPTEN_KEEPALIVE void web_tap(double canvas_x, double canvas_y) {
  const WindowGeometry& g = drawn_at;
  if (web_dialog_open() || g.frame_width <= 0 || g.frame_height <= 0) return;
  const double across = (canvas_x - g.x1) / (g.x2 - g.x1 + 1);
  const double down = (canvas_y - g.y1) / (g.y2 - g.y1 + 1);
  if (!(across >= 0 && across < 1 && down >= 0 && down < 1)) return;
  queue_page_event({PageEventKind::tap, static_cast<int32_t>(across * g.frame_width),
                    static_cast<int32_t>(down * g.frame_height)});
}

// The page lost the keyboard (another tab, another window): held modifiers are let go.
EMSCRIPTEN_KEEPALIVE void web_focus_lost() { queue_page_event({PageEventKind::focus_lost}); }

// The canvas (the whole page) is now width x height device pixels.
EMSCRIPTEN_KEEPALIVE void web_canvas_resized(int width, int height) {
  canvas_size = {width, height};
  host_screen_resized(width, height);
  host_window_resized(width, height);
  queue_page_event({PageEventKind::resized});
  main_thread_turn();
}

// The browser took the page out of full screen by itself (Esc, a gesture): the presentation
// follows, as it follows a window manager on the desktop.
EMSCRIPTEN_KEEPALIVE void web_full_screen_left() {
  if (full_screen.load() != 0 && full_screen_set.load() == -1)
    queue_page_event({PageEventKind::full_screen_left});
}

// The page waits on the word at the address returned with Atomics.waitAsync and runs web_turn when
// it is no longer 0.
EMSCRIPTEN_KEEPALIVE int32_t* web_turn_word() {
  static_assert(sizeof(turn_asked) == 4 && std::atomic<int32_t>::is_always_lock_free);
  turns_by.store(TurnsBy::waiting);
  return reinterpret_cast<int32_t*>(&turn_asked);
}

// The page cannot wait on the word (no Atomics.waitAsync): turns come through the queue.
EMSCRIPTEN_KEEPALIVE void web_turns_by_queue() {
  turns_by.store(TurnsBy::queue);
  main_thread_turn();
}

// A turn of the main thread, as the page runs it when the turn word changes.
EMSCRIPTEN_KEEPALIVE void web_turn() { main_thread_turn(); }

// The page is being left (1), or shown again from the browser's back-forward cache (0).
EMSCRIPTEN_KEEPALIVE void web_page_leaving(int leaving) {
  page_leaving.store(leaving != 0);
  if (!leaving) queue_turn();
}

// Raises runtime error `number` in the program, as a statement that fails would: its report
// appears when the program next checks its statements (the page's tests use it, and it lets
// anyone try the dialogs from the browser's console).
EMSCRIPTEN_KEEPALIVE void web_raise_error(int number) {
  queue_page_event({PageEventKind::raise_error, number});
}

}  // extern "C"

void host_main(int argc, char** argv, void (*program)()) {
  set_dialog_host(web_dialog_host());
  program_entry = program;
  HostHooks hooks;
  hooks.wake = queue_turn;
  hooks.end = end_game;
  install_host_hooks(hooks);
  // A page is not a screen: the program's request for full screen leaves the picture in the page
  // (page_geometry), and Alt+Enter asks the browser for full screen.
  start_windowed.store(true);
  runtime_init(argc, argv);
  window_exists.store(1);

  start_thread(program_thread, "program");
  start_thread(TIMERTHREAD, "timer");
  lock_display_required.store(1);
  start_thread(MAIN_LOOP, "main loop");
  start_thread(page_input_thread, "input");
  EM_ASM({ Module.vost.started(); });
  // The main thread goes back to the page; the runtime lives on in its threads.
  emscripten_exit_with_live_runtime();
  __builtin_unreachable();
}
