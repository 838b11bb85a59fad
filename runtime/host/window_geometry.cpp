// Window geometry: the frame's rectangle in the window, the window size it asks for, and where
// the window goes on the screen.
#include "runtime/host/window_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::atomic<int32_t> environment_2d__screen_scaled_width{0},
    environment_2d__screen_scaled_height{0};

WindowGeometry compute_environment_2d(int32_t window_w, int32_t window_h, int32_t frame_w,
                                      int32_t frame_h, int32_t full_screen_mode,
                                      int32_t smooth_in_full_screen, int32_t resize_auto_mode) {
  WindowGeometry e;
  e.window_width = window_w;
  e.window_height = window_h;
  e.frame_width = frame_w;
  e.frame_height = frame_h;
  bool scale = false;
  bool square = false;
  int32_t smooth = 0;
  if (full_screen_mode >= 1) {
    scale = true;
    square = full_screen_mode == 2;
    smooth = smooth_in_full_screen;
  } else if (resize_auto_mode > 0) {
    scale = true;
    smooth = resize_auto_mode == 2 ? 1 : 0;
  }
  if (frame_w <= 0 || frame_h <= 0 || window_w <= 0 || window_h <= 0 ||
      (frame_w == window_w && frame_h == window_h)) {
    e.x2 = frame_w - 1;
    e.y2 = frame_h - 1;
    e.scaled_width = frame_w;
    e.scaled_height = frame_h;
    return e;
  }

  // The ratios are held as 32-bit floats; products and quotients with them are taken in double,
  // so 1280 / 1.6f gives 799.99998 (799 rows), not the 800 that float arithmetic would round to.
  const float window_ratio = static_cast<float>(window_w) / static_cast<float>(window_h);
  const float screen_ratio = static_cast<float>(frame_w) / static_cast<float>(frame_h);
  if (scale && square && window_ratio != screen_ratio) {
    if (window_ratio > screen_ratio) {
      int32_t z = static_cast<int32_t>(static_cast<double>(window_h) * screen_ratio);
      e.x1 = window_w / 2 - z / 2;
      e.x2 = e.x1 + z - 1;
      e.y1 = 0;
      e.y2 = window_h - 1;
      e.letterbox = 1;
    } else {
      int32_t z = static_cast<int32_t>(static_cast<double>(window_w) / screen_ratio);
      e.y1 = window_h / 2 - z / 2;
      e.y2 = e.y1 + z - 1;
      e.x1 = 0;
      e.x2 = window_w - 1;
      e.letterbox = 2;
    }
  } else if (scale) {
    e.x2 = window_w - 1;
    e.y2 = window_h - 1;
  } else {
    e.x2 = frame_w - 1;
    e.y2 = frame_h - 1;
  }
  e.smooth = smooth;
  e.scaled_width = e.x2 - e.x1 + 1;
  e.scaled_height = e.y2 - e.y1 + 1;
  e.x_scale = static_cast<float>(e.scaled_width) / static_cast<float>(frame_w);
  e.y_scale = static_cast<float>(e.scaled_height) / static_cast<float>(frame_h);
  return e;
}

namespace {
// Rounds to the nearest integer, ties to even (the default rounding mode).
int32_t round_even(double v) { return static_cast<int32_t>(std::nearbyint(v)); }
}  // namespace

WindowRect environment_2d__screen_to_window_rect(const WindowGeometry& g, int32_t x1, int32_t y1,
                                                 int32_t x2, int32_t y2) {
  WindowRect r;
  r.left = round_even(static_cast<double>(x1) * g.x_scale) + g.x1;
  r.top = round_even(static_cast<double>(y1) * g.y_scale) + g.y1;
  r.width = static_cast<int32_t>((std::abs(x2 - x1) + 1) * static_cast<double>(g.x_scale) + 0.99);
  r.height = static_cast<int32_t>((std::abs(y2 - y1) + 1) * static_cast<double>(g.y_scale) + 0.99);
  r.right = r.left + r.width - 1;
  r.bottom = r.top + r.height - 1;
  return r;
}

WindowSizeAction decide_window_size(const WindowSizeInput& in, WindowSizeMemory& memory) {
  WindowSizeAction action;
  if (in.frame_w <= 0 || in.frame_h <= 0) return action;
  bool frame_size_changed = in.frame_w != memory.snapback_w || in.frame_h != memory.snapback_h;
  memory.snapback_w = in.frame_w;
  memory.snapback_h = in.frame_h;
  memory.ideal_aspect = static_cast<float>(in.frame_w) / static_cast<float>(in.frame_h);
  if (in.window_w <= 0 || in.window_h <= 0) return action;  // minimised or not mapped yet

  const float ideal = memory.ideal_aspect;
  const float window_aspect = static_cast<float>(in.window_w) / static_cast<float>(in.window_h);
  if (in.auto_scale != 0 && window_aspect != memory.accept_aspect && window_aspect != ideal) {
    bool width_same = in.window_w == in.window_prev_w;
    bool height_same = in.window_h == in.window_prev_h;
    bool keep_height;
    if (height_same)
      keep_height = false;  // wins when neither changed
    else if (width_same)
      keep_height = true;
    else
      keep_height =
          std::abs(in.window_h - in.window_prev_h) >= std::abs(in.window_w - in.window_prev_w);
    int32_t w = in.window_w, h = in.window_h;
    if (keep_height)
      w = static_cast<int32_t>(static_cast<double>(h) * ideal);
    else
      h = static_cast<int32_t>(static_cast<double>(w) / ideal);
    w = std::max(w, 1);
    h = std::max(h, 1);
    memory.accept_aspect = static_cast<float>(w) / static_cast<float>(h);
    action = {true, w, h};
    return action;
  }
  if ((in.window_w != in.frame_w || in.window_h != in.frame_h) &&
      (in.snapback != 0 || frame_size_changed))
    action = {true, in.frame_w, in.frame_h};
  return action;
}

std::optional<WindowBox> window_box_on_screen(const WindowBox& window, int32_t screen_w,
                                              int32_t screen_h, bool full_screen,
                                              bool window_manager) {
  if (window_manager || screen_w <= 0 || screen_h <= 0) return std::nullopt;
  WindowBox wanted = window;
  if (full_screen) {
    wanted = {0, 0, screen_w, screen_h};
  } else {
    // Keep the window's size; move it no further than it takes to bring it all onto the screen
    // (its top-left corner first, should it be larger than the screen).
    wanted.x = std::max(0, std::min(window.x, screen_w - window.w));
    wanted.y = std::max(0, std::min(window.y, screen_h - window.h));
  }
  if (wanted == window) return std::nullopt;
  return wanted;
}

WindowBox largest_window(int32_t screen_w, int32_t screen_h) {
  constexpr int32_t opening_width = 640, opening_height = 400;
  return {0, 0, std::max(opening_width, screen_w), std::max(opening_height, screen_h)};
}
