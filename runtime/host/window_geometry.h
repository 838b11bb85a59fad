// Window geometry: where the frame goes in the window (scaling, letterbox bars) and the window
// size the frame asks for. Window thread, except where a comment says otherwise.
#pragma once

#include <atomic>
#include <cstdint>

// Window client size and frame size the rectangle is computed for (window thread).
extern int32_t environment__window_width, environment__window_height;
extern int32_t environment_2d__screen_width, environment_2d__screen_height;
// The window rectangle the frame is drawn into (inclusive) and its scale (window thread).
extern int32_t environment_2d__screen_x1, environment_2d__screen_y1, environment_2d__screen_x2,
    environment_2d__screen_y2;
// Scaled size: written by the window thread, read by the program (func__scaledwidth/height).
extern std::atomic<int32_t> environment_2d__screen_scaled_width,
    environment_2d__screen_scaled_height;
extern float environment_2d__screen_x_scale, environment_2d__screen_y_scale;
extern int32_t environment_2d__screen_smooth;
// 0 none, 1 bars left and right, 2 bars top and bottom.
extern int32_t environment_2d__letterbox;

struct Environment2d {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int32_t scaled_width = 0, scaled_height = 0;
  float x_scale = 1.0f, y_scale = 1.0f;
  int32_t smooth = 0;
  int32_t letterbox = 0;
};

// Where a frame_w x frame_h frame goes in a window_w x window_h window, given the presentation
// (full_screen 0 windowed, 1 stretched, 2 square pixels) and the windowed scaling (resize_auto).
Environment2d compute_environment_2d(int32_t window_w, int32_t window_h, int32_t frame_w,
                                     int32_t frame_h, int32_t full_screen_mode,
                                     int32_t smooth_in_full_screen, int32_t resize_auto_mode);

// Computes the rectangle from the environment__window_* and environment_2d__screen_* sizes and
// the presentation globals, and stores it in the environment_2d__ globals.
void prepare_environment_2d();

// Window coordinates of frame coordinates under the current rectangle.
int32_t environment_2d__get_window_x1_coord(int32_t x);
int32_t environment_2d__get_window_y1_coord(int32_t y);
int32_t environment_2d__get_window_x2_coord(int32_t x);
int32_t environment_2d__get_window_y2_coord(int32_t y);
struct WindowRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
};
WindowRect environment_2d__screen_to_window_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Window size bookkeeping (window thread).

extern int32_t display_required_x, display_required_y;
extern int32_t resize_snapback_x, resize_snapback_y;
extern float resize_auto_ideal_aspect, resize_auto_accept_aspect;

struct WindowSizeInput {
  int32_t frame_w = 0, frame_h = 0;
  int32_t window_w = 0, window_h = 0;            // display_x, display_y
  int32_t window_prev_w = 0, window_prev_h = 0;  // display_x_prev, display_y_prev
  int32_t snapback = 1;                          // resize_snapback
  int32_t auto_scale = 0;                        // resize_auto
};
struct WindowSizeAction {
  bool reshape = false;  // ask for a new window size
  int32_t w = 0, h = 0;
};

// Decides whether the windowed window must be resized: to the frame's aspect when it scales with
// the window (resize_auto), or back to the frame size (snap-back). Updates resize_snapback_x/y,
// the display_required size and the two aspects.
WindowSizeAction decide_window_size(const WindowSizeInput& in);
