#include "runtime/host/window_ops.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/host/start_options.h"
#include "runtime/host/window_geometry.h"
#include "runtime/screen/image.h"

namespace {

// The current window title (NUL-terminated, malloc'd), null until the first sub__title; and the
// lock that guards it: the program thread replaces it, the window thread copies it.
char* window_title = nullptr;
std::mutex title_lock;
// What an address of the game should carry (set_window_link_parameters), under title_lock.
std::string window_link_parameters;
// Number of title changes so far. Written (release) by sub__title on the program thread after the
// new title is in place; read (acquire) by the window thread's event loop to see that a title
// waits to be applied.
std::atomic<uint32_t> title_generation{0};

bool stop_requested() { return stop_program.load() != 0; }

// Blocks until done() holds, woken through program_wakeup by whoever makes it hold; false if the
// host asks the program to stop first (the stop request wakes it too).
template <typename Done>
bool wait_for(Done done) {
  for (;;) {
    const uint32_t seen = program_wakeup.generation();
    if (done()) return true;
    if (stop_requested()) return false;
    program_wakeup.wait(seen);
  }
}

// An icon argument resolved to its image index, or 0 after raising the error it deserves.
uint32_t icon_image(int32_t handle_or_page) {
  uint32_t index = resolve_image(handle_or_page);
  if (error_pending() || index == 0) return 0;
  if (img[index].text) {
    error(illegal_function_call);
    return 0;
  }
  return index;
}

// Fills a 32-bit icon with a four-by-four board of light and dark squares in a dark frame.
void paint_board_icon(int32_t handle, int32_t size) {
  if (handle >= -1) return;
  auto* pixels = reinterpret_cast<uint32_t*>(img[-handle].pixels);
  const uint32_t frame_colour = 0xFF202020, light = 0xFFE8D0A8, dark = 0xFF8B5A2B;
  int32_t square = (size - 2) / 4;
  for (int32_t y = 0; y < size; ++y) {
    for (int32_t x = 0; x < size; ++x) {
      uint32_t colour = frame_colour;
      if (x >= 1 && y >= 1 && x < 1 + 4 * square && y < 1 + 4 * square)
        colour = (((x - 1) / square + (y - 1) / square) % 2 == 0) ? light : dark;
      pixels[y * size + x] = colour;
    }
  }
}

}  // namespace

int32_t builtin_icon32 = 0;
int32_t builtin_icon16 = 0;

void create_builtin_icons() {
  constexpr int32_t mode_given = 1;
  builtin_icon32 = func__newimage(32, 32, 32, mode_given);
  builtin_icon16 = func__newimage(16, 16, 32, mode_given);
  paint_board_icon(builtin_icon32, 32);
  paint_board_icon(builtin_icon16, 16);
}

void sub__title(zqs* text) {
  if (error_pending() || !text) return;
  size_t length = text->length > 0 ? static_cast<size_t>(text->length) : 0;
  auto* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return;
  if (length) std::memcpy(copy, text->data, length);
  copy[length] = '\0';
  {
    std::lock_guard<std::mutex> guard(title_lock);
    std::free(window_title);
    window_title = copy;
  }
  title_generation.fetch_add(1, std::memory_order_release);
  wake_window();
}

zqs* func__title() {
  std::string title = current_window_title();
  zqs* result = zqs_new(static_cast<uint32_t>(title.size()), 1);
  if (result && !title.empty()) std::memcpy(result->data, title.data(), title.size());
  return result;
}

std::string current_window_title(uint32_t* generation) {
  std::lock_guard<std::mutex> guard(title_lock);
  if (generation) *generation = title_generation.load(std::memory_order_acquire);
  return window_title ? std::string(window_title) : std::string();
}

void set_window_link_parameters(const std::string& parameters) {
  {
    std::lock_guard<std::mutex> guard(title_lock);
    window_link_parameters = parameters;
  }
  title_generation.fetch_add(1, std::memory_order_release);
  wake_window();
}

std::string current_window_link_parameters() {
  std::lock_guard<std::mutex> guard(title_lock);
  return window_link_parameters;
}

uint32_t window_title_generation() { return title_generation.load(std::memory_order_acquire); }

void sub__icon(int32_t image32, int32_t image16, int32_t passed) {
  if (error_pending()) return;
  if (!(passed & icon_image32)) {
    image32 = builtin_icon32;
    image16 = builtin_icon16;
  } else if (!(passed & icon_image16)) {
    image16 = image32;
  }
  if (!icon_image(image32) || !icon_image(image16)) return;
  // The toolkit keeps its own icon; what remains is that the program waits for its window.
  wait_for_window();
}

void sub__fullscreen(int32_t method, int32_t passed) {
  static constexpr int32_t mode_of_method[] = {1, 0, 1, 2, 0};
  if (method < 0 || method > 4) {
    error(illegal_function_call);
    return;
  }
  int32_t mode = mode_of_method[method];
  // A process told to start windowed keeps its presentation at the first full-screen request.
  if (mode != 0 && start_windowed.exchange(false)) mode = full_screen.load();
  fullscreen_smooth.store(passed & fullscreen_smoothing);
  if (mode != full_screen.load()) full_screen_set.store(mode);
  force_display_update.store(1);
  presentation_wakeup.notify();
  wake_window();
}

int32_t func__fullscreen() {
  int32_t pending = full_screen_set.load();
  return pending != -1 ? pending : full_screen.load();
}

int32_t func__fullscreensmooth() { return -fullscreen_smooth.load(); }

void sub__allowfullscreen(int32_t mode, int32_t smooth) {
  fullscreen_allowedmode.store(mode);
  fullscreen_allowedsmooth.store(smooth);
}

void sub__display() {
  if (screen_hide.load()) return;
  if (autodisplay.load() != 0) {
    // Ask the main loop to give automatic display up; its next frame preparation answers 0.
    autodisplay.store(-1);
    presentation_wakeup.notify();
    wait_for([] { return autodisplay.load() == 0; });
    return;
  }
  display();
}

void sub__autodisplay() { autodisplay.store(1); }

int32_t func__autodisplay() { return autodisplay.load() != 0 ? -1 : 0; }

void display_now() {
  if (autodisplay.load() != 0) {
    display_called.store(0);
    presentation_wakeup.notify();
    wait_for([] { return display_called.load() != 0; });
    return;
  }
  display();
}

void sub__resize(int32_t mode, int32_t smooth, int32_t passed) {
  if (error_pending()) return;
  bool mode_given = passed & resize_mode_given, smooth_given = passed & resize_smooth_given;
  if ((mode_given && mode != 1 && mode != 2) || (smooth_given && (smooth < 0 || smooth > 2))) {
    error(illegal_function_call);
    return;
  }
  if (mode_given) resize_snapback.store(mode == 2 ? 1 : 0);
  resize_auto.store(smooth_given ? smooth : 0);
  // The window's size and scaling follow at its next redraw.
  request_window_redraw();
}

int32_t func__resize() {
  if (resize_snapback.load()) return 0;
  ResizeNotice notice = resize_event.load();
  // Marked seen only if no newer resize came meanwhile (that one stays unread).
  while (notice.unread && !resize_event.compare_exchange_weak(notice, {notice.w, notice.h, 0})) {
  }
  return notice.unread ? -1 : 0;
}

int32_t func__resizewidth() { return resize_event.load().w; }

int32_t func__resizeheight() { return resize_event.load().h; }

int32_t func__scaledwidth() { return environment_2d__screen_scaled_size.load().w; }

int32_t func__scaledheight() { return environment_2d__screen_scaled_size.load().h; }

int32_t func__exit() {
  exit_blocked.store(1);
  // One exchange, so that a request arriving between reading and clearing is not lost.
  return exit_value.exchange(0);
}

int32_t func__hasfocus() { return window_focused.load(); }

int32_t func_windowexists() { return -window_exists.load(); }

bool wait_for_window() {
  if (screen_hide.load()) return false;
  return wait_for([] { return window_exists.load() != 0; });
}

int32_t func_screenwidth() { return wait_for_window() ? desktop_size.load().w : 0; }

int32_t func_screenheight() { return wait_for_window() ? desktop_size.load().h : 0; }

void sub_screenicon() {
  if (wait_for_window()) {
    iconify_request.store(1);
    wake_window();
  }
}

int32_t func_screenicon() {
  if (screen_hide.load()) {
    error(illegal_function_call);
    return 0;
  }
  wait_for_window();
  return 0;
}

bool x11_lock() {
  // Without a window nobody else uses the connection.
  if (screen_hide.load()) return true;
  x11_lock_request.store(1);
  wake_window();
  if (wait_for([] { return x11_locked.load() != 0; })) return true;
  // The host asked the program to stop before the lock came: withdraw the request. Should the
  // window thread have taken it meanwhile, it is granting the lock this very moment: wait for the
  // grant and give the lock back, so that the window thread never waits for a release that will
  // not come.
  int32_t requested = 1;
  if (!x11_lock_request.compare_exchange_strong(requested, 0)) {
    while (x11_locked.load() == 0) std::this_thread::yield();
    x11_unlock();
  }
  return false;
}

void x11_unlock() {
  x11_locked.store(0);
  wake_window();
}

int32_t zorbel_custom_event(int32_t code) {
  if (code == 1) {
    exit_value.fetch_or(1);
    presentation_wakeup.notify();
  }
  return 0;
}

void request_break() {
  if (exit_blocked.load() == 0)
    close_program.store(1);
  else
    exit_value.fetch_or(2);
  presentation_wakeup.notify();
}
