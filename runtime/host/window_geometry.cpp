// Window geometry: the frame's rectangle in the window and the window size it asks for.
#include "runtime/host/window_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "runtime/host/host_state.h"

int32_t environment__window_width = 0, environment__window_height = 0;
int32_t environment_2d__screen_width = 0, environment_2d__screen_height = 0;
int32_t environment_2d__screen_x1 = 0, environment_2d__screen_y1 = 0, environment_2d__screen_x2 = 0,
        environment_2d__screen_y2 = 0;
std::atomic<int32_t> environment_2d__screen_scaled_width{0},
    environment_2d__screen_scaled_height{0};
float environment_2d__screen_x_scale = 1.0f, environment_2d__screen_y_scale = 1.0f;
int32_t environment_2d__screen_smooth = 0;
int32_t environment_2d__letterbox = 0;

int32_t display_required_x = 0, display_required_y = 0;
int32_t resize_snapback_x = 0, resize_snapback_y = 0;
float resize_auto_ideal_aspect = 0.0f, resize_auto_accept_aspect = 0.0f;

Environment2d compute_environment_2d(int32_t window_w, int32_t window_h, int32_t frame_w,
                                     int32_t frame_h, int32_t full_screen_mode,
                                     int32_t smooth_in_full_screen, int32_t resize_auto_mode) {
  Environment2d e;
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

void prepare_environment_2d() {
  Environment2d e =
      compute_environment_2d(environment__window_width, environment__window_height,
                             environment_2d__screen_width, environment_2d__screen_height,
                             full_screen.load(), fullscreen_smooth.load(), resize_auto.load());
  environment_2d__screen_x1 = e.x1;
  environment_2d__screen_y1 = e.y1;
  environment_2d__screen_x2 = e.x2;
  environment_2d__screen_y2 = e.y2;
  environment_2d__screen_scaled_width.store(e.scaled_width);
  environment_2d__screen_scaled_height.store(e.scaled_height);
  environment_2d__screen_x_scale = e.x_scale;
  environment_2d__screen_y_scale = e.y_scale;
  environment_2d__screen_smooth = e.smooth;
  environment_2d__letterbox = e.letterbox;
}

namespace {
// Rounds to the nearest integer, ties to even (the default rounding mode).
int32_t round_even(double v) { return static_cast<int32_t>(std::nearbyint(v)); }
}  // namespace

int32_t environment_2d__get_window_x1_coord(int32_t x) {
  return round_even(static_cast<double>(x) * environment_2d__screen_x_scale) +
         environment_2d__screen_x1;
}
int32_t environment_2d__get_window_y1_coord(int32_t y) {
  return round_even(static_cast<double>(y) * environment_2d__screen_y_scale) +
         environment_2d__screen_y1;
}
int32_t environment_2d__get_window_x2_coord(int32_t x) {
  return round_even((static_cast<double>(x) + 1) * environment_2d__screen_x_scale - 1) +
         environment_2d__screen_x1;
}
int32_t environment_2d__get_window_y2_coord(int32_t y) {
  return round_even((static_cast<double>(y) + 1) * environment_2d__screen_y_scale - 1) +
         environment_2d__screen_y1;
}

WindowRect environment_2d__screen_to_window_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  WindowRect r;
  r.left = round_even(static_cast<double>(x1) * environment_2d__screen_x_scale) +
           environment_2d__screen_x1;
  r.top = round_even(static_cast<double>(y1) * environment_2d__screen_y_scale) +
          environment_2d__screen_y1;
  r.width = static_cast<int32_t>(
      (std::abs(x2 - x1) + 1) * static_cast<double>(environment_2d__screen_x_scale) + 0.99);
  r.height = static_cast<int32_t>(
      (std::abs(y2 - y1) + 1) * static_cast<double>(environment_2d__screen_y_scale) + 0.99);
  r.right = r.left + r.width - 1;
  r.bottom = r.top + r.height - 1;
  return r;
}

WindowSizeAction decide_window_size(const WindowSizeInput& in) {
  WindowSizeAction action;
  if (in.frame_w <= 0 || in.frame_h <= 0) return action;
  display_required_x = in.frame_w;
  display_required_y = in.frame_h;
  bool frame_size_changed = in.frame_w != resize_snapback_x || in.frame_h != resize_snapback_y;
  resize_snapback_x = in.frame_w;
  resize_snapback_y = in.frame_h;
  resize_auto_ideal_aspect = static_cast<float>(in.frame_w) / static_cast<float>(in.frame_h);
  if (in.window_w <= 0 || in.window_h <= 0) return action;  // minimised or not mapped yet

  const float ideal = resize_auto_ideal_aspect;
  const float window_aspect = static_cast<float>(in.window_w) / static_cast<float>(in.window_h);
  if (in.auto_scale != 0 && window_aspect != resize_auto_accept_aspect && window_aspect != ideal) {
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
    resize_auto_accept_aspect = static_cast<float>(w) / static_cast<float>(h);
    action = {true, w, h};
    return action;
  }
  if ((in.window_w != in.frame_w || in.window_h != in.frame_h) &&
      (in.snapback != 0 || frame_size_changed))
    action = {true, in.frame_w, in.frame_h};
  return action;
}
