// Window geometry: the frame's rectangle in the window, the window size it asks for, and where
// the window goes on the screen.
#include "runtime/host/window_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::atomic<PixelSize> environment_2d__screen_scaled_size{};

bool frame_shown_four_three(int32_t frame_w, int32_t frame_h, AspectMode aspect) {
  return aspect == AspectMode::four_three &&
         ((frame_w == 320 && frame_h == 200) || (frame_w == 640 && frame_h == 400));
}

namespace {

// A rectangle's shape, width to height.
struct Shape {
  int64_t width = 1, height = 1;
};

Shape shape_of(int32_t frame_w, int32_t frame_h, AspectMode aspect) {
  if (frame_shown_four_three(frame_w, frame_h, aspect)) return {4, 3};
  return {frame_w, frame_h};
}

// Width of a picture of the shape that is height rows high, rounded to the nearest column.
int32_t width_for_height(const Shape& shape, int64_t height) {
  return static_cast<int32_t>((2 * height * shape.width + shape.height) / (2 * shape.height));
}

// Puts a scaled_w x scaled_h picture in the middle of the window, with black borders around it.
void centre_picture(WindowGeometry& e, int32_t scaled_w, int32_t scaled_h) {
  e.x1 = (e.window_width - scaled_w) / 2;
  e.y1 = (e.window_height - scaled_h) / 2;
  e.x2 = e.x1 + scaled_w - 1;
  e.y2 = e.y1 + scaled_h - 1;
  const bool sides = scaled_w < e.window_width, ends = scaled_h < e.window_height;
  e.letterbox = sides && ends ? 3 : sides ? 1 : ends ? 2 : 0;
  e.scaled_width = scaled_w;
  e.scaled_height = scaled_h;
  e.x_scale = static_cast<float>(scaled_w) / static_cast<float>(e.frame_width);
  e.y_scale = static_cast<float>(scaled_h) / static_cast<float>(e.frame_height);
}

// The largest picture of the shape that fits the window.
void fit_shape(WindowGeometry& e, const Shape& shape) {
  const int64_t ww = e.window_width, wh = e.window_height;
  if (ww * shape.height >= wh * shape.width)  // the window is wider than the shape
    centre_picture(e, static_cast<int32_t>(wh * shape.width / shape.height),
                   static_cast<int32_t>(wh));
  else
    centre_picture(e, static_cast<int32_t>(ww),
                   static_cast<int32_t>(ww * shape.height / shape.width));
}

// The largest whole multiple of the frame's rows (and, with square pixels, of its columns too)
// whose picture of the shape fits the window; false when not even one fits.
bool fit_whole_multiple(WindowGeometry& e, const Shape& shape, bool square_pixels) {
  const int32_t fw = e.frame_width, fh = e.frame_height;
  if (square_pixels) {
    const int32_t n = std::min(e.window_width / fw, e.window_height / fh);
    if (n < 1) return false;
    centre_picture(e, n * fw, n * fh);
    return true;
  }
  for (int32_t n = e.window_height / fh; n >= 1; --n) {
    const int32_t width = width_for_height(shape, int64_t{n} * fh);
    if (width <= e.window_width) {
      centre_picture(e, width, n * fh);
      return true;
    }
  }
  return false;
}

// The player's options decide the picture: full screen with integer or sharp scaling, the
// square-pixel states in 4:3, and the windowed presentation with a window scale or 4:3.
bool place_by_options(WindowGeometry& e, int32_t full_screen_mode, int32_t smooth_in_full_screen,
                      int32_t resize_auto_mode, const PresentationOptions& options) {
  const int32_t fw = e.frame_width, fh = e.frame_height;
  const bool four_three = frame_shown_four_three(fw, fh, options.aspect);
  const Shape shape = shape_of(fw, fh, options.aspect);
  if (full_screen_mode >= 1 && options.scale == ScaleMode::integer) {
    if (!fit_whole_multiple(e, shape, !four_three)) fit_shape(e, shape);
    return true;
  }
  if (full_screen_mode >= 1 && options.scale == ScaleMode::sharp) {
    fit_shape(e, shape);
    e.prescale = std::max(1, std::min(e.scaled_width / fw, e.scaled_height / fh));
    e.smooth = 1;
    return true;
  }
  if (full_screen_mode == 2 && four_three) {
    fit_shape(e, shape);
    e.smooth = smooth_in_full_screen;
    return true;
  }
  if (full_screen_mode == 0 && resize_auto_mode == 0 && (options.window_scale != 1 || four_three)) {
    fit_shape(e, shape);
    return true;
  }
  return false;
}

}  // namespace

WindowGeometry compute_environment_2d(int32_t window_w, int32_t window_h, int32_t frame_w,
                                      int32_t frame_h, int32_t full_screen_mode,
                                      int32_t smooth_in_full_screen, int32_t resize_auto_mode,
                                      const PresentationOptions& options) {
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
  const bool sizes_valid = frame_w > 0 && frame_h > 0 && window_w > 0 && window_h > 0;
  if (sizes_valid &&
      place_by_options(e, full_screen_mode, smooth_in_full_screen, resize_auto_mode, options))
    return e;
  if (!sizes_valid || (frame_w == window_w && frame_h == window_h)) {
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

WindowSize windowed_size(int32_t frame_w, int32_t frame_h, const PresentationOptions& options,
                         int32_t limit_w, int32_t limit_h) {
  if (frame_w <= 0 || frame_h <= 0) return {frame_w, frame_h};
  const bool four_three = frame_shown_four_three(frame_w, frame_h, options.aspect);
  // In 4:3 the rows are 1.2 times taller: 200 rows take 240 (exact for both frame sizes).
  auto size_at = [&](int32_t n) {
    return WindowSize{n * frame_w, four_three ? n * frame_h * 6 / 5 : n * frame_h};
  };
  const bool limited = limit_w > 0 && limit_h > 0;
  int32_t n = std::clamp(options.window_scale, 1, window_scale_max);
  if (options.window_scale == window_scale_auto) {
    if (!limited) return size_at(1);
    n = window_scale_max;
    limit_w = static_cast<int32_t>(int64_t{limit_w} * 85 / 100);
    limit_h = static_cast<int32_t>(int64_t{limit_h} * 85 / 100);
  }
  while (limited && n > 1 && (size_at(n).w > limit_w || size_at(n).h > limit_h)) --n;
  return size_at(n);
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
  const int32_t wanted_w = in.wanted_w > 0 ? in.wanted_w : in.frame_w;
  const int32_t wanted_h = in.wanted_h > 0 ? in.wanted_h : in.frame_h;
  if ((in.window_w != wanted_w || in.window_h != wanted_h) &&
      (in.snapback != 0 || frame_size_changed))
    action = {true, wanted_w, wanted_h};
  return action;
}

std::optional<WindowBox> window_box_on_screen(const WindowBox& window, const WindowBox& screen,
                                              bool full_screen, bool window_manager) {
  if (window_manager || screen.w <= 0 || screen.h <= 0) return std::nullopt;
  WindowBox wanted = window;
  if (full_screen) {
    wanted = screen;
  } else {
    // Keep the window's size; move it no further than it takes to bring it all onto the screen
    // (its top-left corner first, should it be larger than the screen).
    wanted.x = std::max(screen.x, std::min(window.x, screen.x + screen.w - window.w));
    wanted.y = std::max(screen.y, std::min(window.y, screen.y + screen.h - window.h));
  }
  if (wanted == window) return std::nullopt;
  return wanted;
}

WindowBox monitor_of(const WindowBox& window, const std::vector<WindowBox>& monitors,
                     int32_t primary) {
  if (monitors.empty()) return {};
  const int64_t centre_x = window.x + window.w / 2, centre_y = window.y + window.h / 2;
  int32_t best = -1;
  int64_t best_overlap = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const WindowBox& m = monitors[i];
    if (centre_x >= m.x && centre_x < m.x + m.w && centre_y >= m.y && centre_y < m.y + m.h)
      return m;
    const int64_t w = std::min<int64_t>(window.x + window.w, m.x + m.w) - std::max(window.x, m.x);
    const int64_t h = std::min<int64_t>(window.y + window.h, m.y + m.h) - std::max(window.y, m.y);
    if (w > 0 && h > 0 && w * h > best_overlap) {
      best_overlap = w * h;
      best = static_cast<int32_t>(i);
    }
  }
  if (best >= 0) return monitors[best];
  if (primary >= 0 && primary < static_cast<int32_t>(monitors.size())) return monitors[primary];
  return monitors[0];
}

WindowBox intersection(const WindowBox& a, const WindowBox& b) {
  const int32_t x = std::max(a.x, b.x), y = std::max(a.y, b.y);
  const int32_t right = std::min(a.x + a.w, b.x + b.w), bottom = std::min(a.y + a.h, b.y + b.h);
  if (right <= x || bottom <= y) return {};
  return {x, y, right - x, bottom - y};
}

WindowBox largest_window(int32_t screen_w, int32_t screen_h) {
  constexpr int32_t opening_width = 640, opening_height = 400;
  return {0, 0, std::max(opening_width, screen_w), std::max(opening_height, screen_h)};
}
