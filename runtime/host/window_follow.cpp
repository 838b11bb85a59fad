#include "runtime/host/window_follow.h"

#include <algorithm>

#include "runtime/host/host_seam.h"
#include "runtime/host/presentation.h"
#include "runtime/host/start_options.h"

bool WindowFollower::request_pending(PixelSize window) {
  if (!request_.pending) return false;
  const bool shown = window.w == request_.width && window.h == request_.height;
  if (shown) {
    request_.pending = false;
    refusal_.active = false;
  } else if (std::chrono::steady_clock::now() - request_.asked >= answer_timeout_) {
    request_.pending = false;
    refusal_ = {true, {request_.width, request_.height}, window};
    // The picture is presented anew in the size the window keeps.
    request_window_redraw();
  }
  return request_.pending;
}

bool WindowFollower::present_in_given_size(PixelSize window) const {
  return refusal_.active && window == refusal_.given && full_screen.load() == 0;
}

int WindowFollower::poll_timeout_ms(PixelSize window) {
  if (!request_pending(window)) return -1;
  const auto left = request_.asked + answer_timeout_ - std::chrono::steady_clock::now();
  return static_cast<int>(
      std::max<int64_t>(1, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

void WindowFollower::ask_size(int32_t width, int32_t height, WindowControls& controls) {
  request_ = {true, width, height, std::chrono::steady_clock::now()};
  controls.ask_size(width, height);
}

void WindowFollower::ask_full_screen(bool on, WindowControls& controls) {
  asked_full_screen_ = on;
  controls.ask_full_screen(on);
  if (!on) return;
  const PixelSize screen = desktop_size.load();
  request_ = {true, screen.w, screen.h, std::chrono::steady_clock::now()};
}

void WindowFollower::follow_window_manager(WindowControls& controls) {
  if (std::optional<WindowManagerState> state = controls.take_window_manager_state()) {
    if (state->full_screen != asked_full_screen_) {
      asked_full_screen_ = state->full_screen;
      presentation_follows_window_manager(state->full_screen);
    }
  }
}

void WindowFollower::follow(int32_t frame_w, int32_t frame_h, const WindowSizes& window,
                            WindowControls& controls) {
  // While a request is under way the window manager's state may still be the one before it.
  if (!request_pending(window.now())) follow_window_manager(controls);

  const WindowBox area = controls.work_area();
  const WindowSize wanted = windowed_size(frame_w, frame_h, presentation_options, area.w, area.h);
  if (full_screen.load() == 0 && full_screen_set.load() == -1) {
    WindowSizeInput in;
    in.frame_w = frame_w;
    in.frame_h = frame_h;
    in.wanted_w = wanted.w;
    in.wanted_h = wanted.h;
    in.window_w = window.w;
    in.window_h = window.h;
    in.window_prev_w = window.before_w;
    in.window_prev_h = window.before_h;
    in.snapback = resize_snapback.load();
    in.auto_scale = resize_auto.load();
    const WindowSizeAction action = decide_window_size(in, memory_);
    // Asked already and not yet answered, or asked before and refused while the window manager
    // kept the window at the size it has now: nothing is asked again.
    const bool refused = refusal_.active && refusal_.asked == WindowSize{action.w, action.h} &&
                         refusal_.given == window.now();
    if (action.reshape && !refused && !request_pending(window.now())) {
      // A maximized window keeps its size whatever it asks for: the snap-back drops the state.
      if (in.snapback) controls.leave_maximized();
      ask_size(action.w, action.h, controls);
    }
  }

  int32_t request = full_screen_set.load();
  if (request_pending(window.now()) || request == -1 || !controls.ready_for_full_screen()) return;
  if (request != 0) {
    if (full_screen.load() == 0) ask_full_screen(true, controls);
    full_screen.store(request);
  } else if (full_screen.load() != 0) {
    ask_full_screen(false, controls);
    ask_size(wanted.w, wanted.h, controls);
    full_screen.store(0);
  }
  // A request that arrived meanwhile stays pending for the next redraw.
  full_screen_set.compare_exchange_strong(request, -1);
}
