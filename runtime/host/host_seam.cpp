// The runtime's side of the host seam: the installed hooks and what the host feeds in.
#include "runtime/host/host_seam.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "runtime/core/wakeup.h"
#include "runtime/host/host_state.h"
#include "runtime/host/keyboard.h"
#include "runtime/host/window_ops.h"

namespace {

// Written by install_host_hooks (before the runtime's threads start); read by every thread.
std::atomic<void (*)()> wake_hook{nullptr};

// Set by the program (set_tap_translator); read by host_tap on the host's thread.
std::atomic<TapTranslator> tap_translator{nullptr};
// The most keys one tap types.
constexpr int32_t tap_keys_capacity = 4;

// Set by request_window_redraw on any thread; taken by the display callback (window thread).
std::atomic<bool> redraw_requested{false};

// A size as the one word of WindowSizes holds it.
int16_t window_extent(int32_t pixels) {
  return static_cast<int16_t>(pixels < 0 ? 0 : pixels > 32767 ? 32767 : pixels);
}

}  // namespace

void install_host_hooks(const HostHooks& hooks) {
  wake_hook.store(hooks.wake);
  install_process_end(hooks.end);
}

void wake_window() {
  if (auto wake = wake_hook.load()) wake();
}

void request_window_redraw() {
  redraw_requested.store(true);
  wake_window();
}

bool take_window_redraw_request() { return redraw_requested.exchange(false); }

void host_focus_lost() { keyboard_release_held_modifiers(); }

void host_pointer_inside(bool inside) {
  window_focused.store(inside ? -1 : 0);
  // Key releases that happen outside the window never arrive: let go of every held modifier.
  if (!inside) keyboard_release_held_modifiers();
}

void host_close_requested() { zorbel_custom_event(1); }

void host_window_resized(int32_t width, int32_t height) {
  const WindowSizes old = window_sizes.load();
  window_sizes.store({window_extent(width), window_extent(height), old.w, old.h});
  resize_event.store({window_extent(width), window_extent(height), 1});
  // The picture is drawn again for the new size, even when no new frame exists.
  redraw_requested.store(true);
}

void host_screen_resized(int32_t width, int32_t height) { desktop_size.store({width, height}); }

void set_tap_translator(TapTranslator translator) { tap_translator.store(translator); }

void host_tap(int32_t x, int32_t y) {
  const TapTranslator translate = tap_translator.load();
  if (translate == nullptr) return;
  int32_t keys[tap_keys_capacity];
  const int32_t count = std::clamp(translate(x, y, keys, tap_keys_capacity), 0, tap_keys_capacity);
  for (int32_t i = 0; i < count; ++i) {
    host_character_key(keys[i], true, 0);
    host_character_key(keys[i], false, 0);
  }
}
