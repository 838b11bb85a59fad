// Window geometry: where the frame goes in the window (scaling, letterbox bars), the window size
// the frame asks for, and where the window must go to keep to the screen.
//
// The display callback computes one WindowGeometry per redraw with compute_environment_2d and
// every drawing of that redraw reads it; nothing else holds a copy, except the scaled size that
// the program reads (func__scaledwidth/height), published beside it. Everything here but those
// two atomics is pure, so that tests drive it with any window, frame and screen size.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

// How the player asked for the picture to be scaled (command line). The defaults are the
// presentations as they always were.
enum class ScaleMode {
  stretch,  // full screen fills the screen, or keeps the frame's shape with square pixels
  integer,  // full screen: the largest whole multiple of the frame, unsmoothed, black borders
  sharp,    // full screen: a whole-multiple enlargement, then one smooth step to fill the shape
};
enum class AspectMode {
  square,      // pixels as wide as tall
  four_three,  // a 320 x 200 or 640 x 400 frame shown 4:3, pixels 1.2 times taller than wide
};
struct PresentationOptions {
  ScaleMode scale = ScaleMode::stretch;
  AspectMode aspect = AspectMode::square;
  // The windowed presentation is window_scale times the frame (0 = the largest that fits 85% of
  // the screen's work area).
  int32_t window_scale = 1;
};
inline constexpr int32_t window_scale_auto = 0;
inline constexpr int32_t window_scale_max = 16;

// Where a frame goes in a window of a given size.
struct WindowGeometry {
  int32_t window_width = 0, window_height = 0;  // the window's client size
  int32_t frame_width = 0, frame_height = 0;    // the frame being shown
  // The window rectangle the frame is drawn into (inclusive), its size and scale.
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int32_t scaled_width = 0, scaled_height = 0;
  float x_scale = 1.0f, y_scale = 1.0f;
  int32_t smooth = 0;     // 1 = linear filtering
  int32_t letterbox = 0;  // 0 none, 1 bars left and right, 2 bars top and bottom
  // Above 1: the frame is first enlarged this whole number of times without smoothing, and that
  // picture is then smoothed into the rectangle (ScaleMode::sharp).
  int32_t prescale = 1;
};

// Where a frame_w x frame_h frame goes in a window_w x window_h window, given the presentation
// (full_screen 0 windowed, 1 stretched, 2 square pixels), the windowed scaling (resize_auto)
// and the player's options. Whole screen stretched (state 1 and 2 of the cycle) ignores the
// aspect; integer and sharp show the same picture in every full-screen state. Windowed with a
// window scale or 4:3, the frame fills the largest rectangle of its shape in the window.
WindowGeometry compute_environment_2d(int32_t window_w, int32_t window_h, int32_t frame_w,
                                      int32_t frame_h, int32_t full_screen_mode,
                                      int32_t smooth_in_full_screen, int32_t resize_auto_mode,
                                      const PresentationOptions& options = {});

// True when the aspect option applies to a frame of this size (320 x 200 and 640 x 400 only).
bool frame_shown_four_three(int32_t frame_w, int32_t frame_h, AspectMode aspect);

// The windowed presentation's window for a frame: the frame times the window scale (rows 1.2
// times taller in 4:3), the scale lowered until the window fits within limit_w x limit_h (never
// below 1); window_scale_auto picks the largest scale that fits 85% of the limit. A limit of 0
// means none.
struct WindowSize {
  int32_t w = 0, h = 0;
  bool operator==(const WindowSize&) const = default;
};
WindowSize windowed_size(int32_t frame_w, int32_t frame_h, const PresentationOptions& options,
                         int32_t limit_w, int32_t limit_h);

// A size in pixels, published as one value so that no reader sees a new width with an old height.
struct alignas(8) PixelSize {
  int32_t w = 0, h = 0;
  bool operator==(const PixelSize&) const = default;
};

// The scaled size of the frame on screen, one value: written by the display callback from its
// geometry (publish_scaled_size), read by the program (func__scaledwidth/height).
extern std::atomic<PixelSize> environment_2d__screen_scaled_size;
inline void publish_scaled_size(const WindowGeometry& geometry) {
  environment_2d__screen_scaled_size.store({geometry.scaled_width, geometry.scaled_height});
}

// Window rectangle of the frame rectangle (x1, y1)-(x2, y2) under a geometry.
struct WindowRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
};
WindowRect environment_2d__screen_to_window_rect(const WindowGeometry& geometry, int32_t x1,
                                                 int32_t y1, int32_t x2, int32_t y2);

// Window size bookkeeping of the windowed presentation.

struct WindowSizeInput {
  int32_t frame_w = 0, frame_h = 0;
  // The size the windowed window keeps to (snap-back): the frame's, or windowed_size's. 0 = the
  // frame's.
  int32_t wanted_w = 0, wanted_h = 0;
  int32_t window_w = 0, window_h = 0;            // display_x, display_y
  int32_t window_prev_w = 0, window_prev_h = 0;  // display_x_prev, display_y_prev
  int32_t snapback = 1;                          // resize_snapback
  int32_t auto_scale = 0;                        // resize_auto
};
// What decide_window_size remembers from one redraw to the next (the display callback's).
struct WindowSizeMemory {
  int32_t snapback_w = 0, snapback_h = 0;  // resize_snapback_x, resize_snapback_y
  float ideal_aspect = 0.0f;               // resize_auto_ideal_aspect: the frame's
  float accept_aspect = 0.0f;              // resize_auto_accept_aspect: the last one asked for
};
struct WindowSizeAction {
  bool reshape = false;  // ask for a new window size
  int32_t w = 0, h = 0;
};

// Decides whether the windowed window must be resized: to the frame's aspect when it scales with
// the window (resize_auto), or back to the frame size (snap-back).
WindowSizeAction decide_window_size(const WindowSizeInput& in, WindowSizeMemory& memory);

// The window on the screen: position of its client area and its size.
struct WindowBox {
  int32_t x = 0, y = 0, w = 0, h = 0;
  bool operator==(const WindowBox&) const = default;
};

// Where the window must go to keep to a screen (a monitor: its position and size), or nothing
// when it may stay. With a window manager, the window manager places the window (full screen
// covers the monitor, windowed stays on the screen). Without one the game does it: full screen
// covers the monitor, and a window that would leave it moves back onto it, keeping its size.
std::optional<WindowBox> window_box_on_screen(const WindowBox& window, const WindowBox& screen,
                                              bool full_screen, bool window_manager);

// The monitor a window is shown on: the one holding the window's centre, else the one it overlaps
// most, else the primary one (index primary, -1 for none), else the first; an empty box when
// there are none.
WindowBox monitor_of(const WindowBox& window, const std::vector<WindowBox>& monitors,
                     int32_t primary);
// The part two boxes share (an empty box when none).
WindowBox intersection(const WindowBox& a, const WindowBox& b);

// Largest window the game draws into on a screen_w x screen_h screen: the screen, and never less
// than the 640 x 400 window it opens with.
WindowBox largest_window(int32_t screen_w, int32_t screen_h);
