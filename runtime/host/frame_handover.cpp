// The frame hand-over: claiming, publishing and picking the three display frames.
#include "runtime/host/frame_handover.h"

#include "runtime/host/host_seam.h"

#include <cstdlib>
#include <limits>

display_frame_struct display_frame[3];
int64_t display_frame_order_next = 1;
std::atomic<int64_t> last_hardware_display_frame_order{0};
int64_t last_rendered_hardware_display_frame_order = 0;

namespace {

// Window thread only: a redraw was asked for or a frame picked, and not yet shown.
bool redraw_owed = false;
// last_hardware_display_frame_order when the redraw under way began.
int64_t order_at_redraw = 0;

}  // namespace

bool redraw_due(bool frame_is_new, bool other) {
  if (take_window_redraw_request() || frame_is_new) redraw_owed = true;
  order_at_redraw = last_hardware_display_frame_order.load();
  return redraw_owed || other || order_at_redraw != last_rendered_hardware_display_frame_order;
}

void redraw_finished(bool shown) {
  if (!shown) return;
  redraw_owed = false;
  last_rendered_hardware_display_frame_order = order_at_redraw;
}

// Takes a frame for preparation: the highest-index free frame, else the oldest ready one.
int32_t claim_frame() {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int32_t choice = -1;
    int32_t choice_state = 0;
    int64_t oldest = std::numeric_limits<int64_t>::max();
    for (int32_t i = 0; i < 3; ++i) {
      if (display_frame[i].state.load(std::memory_order_acquire) == frame_ready) {
        int64_t order = display_frame[i].order.load(std::memory_order_relaxed);
        if (order < oldest) {
          oldest = order;
          choice = i;
          choice_state = frame_ready;
        }
      }
    }
    for (int32_t i = 0; i < 3; ++i) {
      if (display_frame[i].state.load(std::memory_order_acquire) == frame_free) {
        choice = i;
        choice_state = frame_free;
      }
    }
    if (choice < 0) return -1;
    // The window may have picked or freed the frame since it was looked at: then choose again.
    if (display_frame[choice].state.compare_exchange_strong(choice_state, frame_being_prepared,
                                                            std::memory_order_acq_rel))
      return choice;
  }
  return -1;
}

// The completed frame with the highest order (ready or shown), or -1.
int32_t newest_completed_frame(int32_t except) {
  int32_t best = -1;
  int64_t best_order = std::numeric_limits<int64_t>::min();
  for (int32_t i = 0; i < 3; ++i) {
    if (i == except) continue;
    int32_t s = display_frame[i].state.load(std::memory_order_acquire);
    if (s != frame_ready && s != frame_shown) continue;
    int64_t order = display_frame[i].order.load(std::memory_order_relaxed);
    if (order > best_order) {
      best_order = order;
      best = i;
    }
  }
  return best;
}

namespace {

// Frees a retired frame's pixels (it holds the window's or preparation's claim, so nobody else
// reads them) and hands it back to preparation as free.
void release_frame_buffer(display_frame_struct& frame) {
  std::free(frame.bgra);
  frame.bgra = nullptr;
  frame.bgra_bytes = 0;
  frame.w = frame.h = 0;
  frame.state.store(frame_free, std::memory_order_release);
}

// Every frame older than the one just shown becomes free, the shown one first (so that a frame is
// free while a ready one is held below). A retired frame of another size than the one shown (after
// a mode change) gives its buffer back too: buffers only grow, and a frame nobody claims again
// would keep a screen of the old size for good. The shown frame is the window's alone; a ready
// one is first taken from preparation, which may reuse the oldest ready frame.
void retire_older_frames(int32_t shown_index, int64_t shown_order) {
  const display_frame_struct& shown = display_frame[shown_index];
  for (const int32_t kind : {int32_t{frame_shown}, int32_t{frame_ready}}) {
    for (int32_t i = 0; i < 3; ++i) {
      if (i == shown_index) continue;
      display_frame_struct& old = display_frame[i];
      int32_t s = old.state.load(std::memory_order_acquire);
      if (s != kind || old.order.load(std::memory_order_relaxed) >= shown_order) continue;
      if (old.w == shown.w && old.h == shown.h) {
        old.state.compare_exchange_strong(s, frame_free, std::memory_order_acq_rel);
      } else if (s == frame_shown || old.state.compare_exchange_strong(s, frame_being_prepared,
                                                                       std::memory_order_acq_rel)) {
        release_frame_buffer(old);
      }
    }
  }
}

}  // namespace

int32_t pick_frame_to_show(bool* is_new) {
  *is_new = false;
  for (int attempt = 0; attempt < 8; ++attempt) {
    int32_t last = -1;
    for (int32_t i = 0; i < 3; ++i)
      if (display_frame[i].state.load(std::memory_order_acquire) == frame_shown) last = i;
    int64_t last_order = last >= 0 ? display_frame[last].order.load(std::memory_order_relaxed) : 0;

    int32_t candidate = -1;
    int64_t candidate_order = last_order;
    for (int32_t i = 0; i < 3; ++i) {
      if (display_frame[i].state.load(std::memory_order_acquire) != frame_ready) continue;
      int64_t order = display_frame[i].order.load(std::memory_order_relaxed);
      if (order > candidate_order) {
        candidate_order = order;
        candidate = i;
      }
    }
    if (candidate < 0) return last;

    int32_t ready = frame_ready;
    if (!display_frame[candidate].state.compare_exchange_strong(ready, frame_shown,
                                                                std::memory_order_acq_rel))
      continue;  // preparation took it back meanwhile: look again
    candidate_order = display_frame[candidate].order.load(std::memory_order_relaxed);
    retire_older_frames(candidate, candidate_order);
    *is_new = true;
    return candidate;
  }
  return -1;
}
