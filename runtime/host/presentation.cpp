// The presentation states and how they change.
#include "runtime/host/presentation.h"

#include "runtime/core/wakeup.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"

namespace {

// The five presentation states Alt+Enter steps through.
struct presentation_state {
  int32_t mode;  // 0 windowed, 1 stretched, 2 square pixels
  int32_t smooth;
};
constexpr presentation_state presentation_states[5] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};

int32_t current_presentation_state() {
  int32_t mode = full_screen_set.load();
  if (mode == -1) mode = full_screen.load();
  const int32_t smooth = fullscreen_smooth.load() ? 1 : 0;
  if (mode == 1) return 1 + smooth;
  if (mode == 2) return 3 + smooth;
  return 0;
}

bool presentation_state_allowed(int32_t index) {
  if (index == 0) return true;
  const presentation_state& s = presentation_states[index];
  if (fullscreen_allowedmode > 0 && fullscreen_allowedmode != s.mode) return false;
  if (fullscreen_allowedsmooth == 1 && !s.smooth) return false;
  if (fullscreen_allowedsmooth == -1 && s.smooth) return false;
  return true;
}

// A new presentation wants a new frame (force_display_update) and the window's attention.
void announce_presentation_change() {
  force_display_update.store(1);
  presentation_wakeup.notify();
  wake_window();
}

}  // namespace

void cycle_presentation() {
  int32_t index = current_presentation_state();
  do index = (index + 1) % 5;
  while (!presentation_state_allowed(index));
  const presentation_state& s = presentation_states[index];
  fullscreen_smooth.store(s.smooth);
  const int32_t pending = full_screen_set.load();
  // A request still pending for another mode is replaced too, or the window would apply it.
  if (s.mode != full_screen.load() || (pending != -1 && pending != s.mode))
    full_screen_set.store(s.mode);
  announce_presentation_change();
}

void presentation_follows_window_manager(bool full_screen_now) {
  full_screen.store(full_screen_now ? 1 : 0);
  fullscreen_smooth.store(0);
  announce_presentation_change();
}
