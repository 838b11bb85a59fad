// Frame preparation: turns the displayed page into 32-bit frames for the window thread, and the
// window-free arithmetic of presenting them (scaling, window size, frame hand-over).
//
// Three display frames travel between frame preparation (main loop thread, or the program thread
// while automatic display is off) and the display callback (window thread):
//
//   1 free -> 2 being prepared -> 3 ready -> 4 shown -> 1 free
//             (2 -> 1 when nothing changed; 3 -> 1 when a newer frame is shown;
//              3 -> 2 when preparation reuses the oldest ready frame because none is free)
//
// Every move of `state` is a compare-exchange, so a frame is never claimed by both sides at once.
// Preparation writes `bgra`, `w` and `h` only while it holds the frame in state 2 and publishes them
// with the release that moves it to 3; the window reads them only after its acquire that moves the
// frame to 4. A frame's pixels are therefore never written while they are being shown.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct img_struct;

struct display_frame_struct {
  // 1 free, 2 being prepared, 3 ready, 4 shown. Preparation moves 1/3 -> 2 -> 3 or 1; the window
  // moves 3 -> 4 and 3/4 -> 1. Published with release, read with acquire.
  std::atomic<int32_t> state{1};
  // Sequence number given when preparation starts (written by preparation while the frame is in
  // state 2; read by the window to find the newest ready frame).
  std::atomic<int64_t> order{0};
  // w * h pixels 0xAARRGGBB, row by row; owned by preparation, read by the window in state 4.
  uint32_t* bgra = nullptr;
  int32_t w = 0, h = 0;
  int32_t bgra_bytes = 0;
};

extern display_frame_struct display_frame[3];
// Next order to hand out (frame preparation only; never runs on two threads at once).
extern int64_t display_frame_order_next;
// Order of the most recently completed frame. Written by frame preparation, read by the window
// thread to decide whether anything new exists.
extern std::atomic<int64_t> last_hardware_display_frame_order;
// last_hardware_display_frame_order as seen at the last completed window redraw (window thread).
extern int64_t last_rendered_hardware_display_frame_order;

// Change-detection caches of frame preparation (preparation thread only).
extern uint8_t* pixeldata;
extern int32_t pixeldatasize;
extern uint32_t paldata[256];
extern uint8_t* screen_last;
extern int32_t screen_last_size;
// Text blink and cursor state of the current and the last text frame (preparation thread only).
extern int32_t show_cursor, show_flashing, cx, cy;
extern int32_t show_cursor_last, show_flashing_last, cx_last, cy_last;

// Layer order of what the display callback draws; only the screen layer carries anything.
extern int32_t displayorder_screen, displayorder_hardware, displayorder_glrender,
    displayorder_hardware1;

// Returns the three frames to free with order 0 and no buffer, and forgets every cache, so the
// next preparation builds a whole frame (start-up; tests between cases).
void reset_display_frames();

// Prepares a frame from display_page (main loop thread, or the program thread when automatic
// display is off). Answers the display lock at its start and end.
void display();

// Exchanges the red and blue bytes of the 256 paldata entries.
void swap_paldata_BGRA_with_RGBA();

// ---------------------------------------------------------------------------------------------
// Frame conversion, usable on any page record (display() applies it to display_page).

// Everything frame preparation needs from outside the page itself.
struct FrameClock {
  uint32_t display_cycle = 0;  // the main loop's `frame` counter: bit 3 is the blink phase
  int64_t ticks_ms = 0;        // GetTicks(): bit 9 is the mode 10 blink phase
  bool blink_enable = true;    // attribute bit 7 blinks (else it selects a bright background)
};

enum class FrameResult { Completed, Unchanged, NoFrameAvailable, Locked };

// Prepares one frame from `page` into a free (or the oldest ready) display frame. Does not answer
// the display lock; display() does that around it.
FrameResult prepare_frame_from_page(const img_struct* page, const FrameClock& clock);

// Frame size of a page: pixels for graphics pages, columns and rows times the font's cell size
// for text pages.
void page_frame_size(const img_struct* page, int32_t* w, int32_t* h);

// Cursor rows of a text cell ch rows high for scan lines start..end: the first row and the number
// of rows (0 = no cursor).
struct CursorRows {
  int32_t first = 0;
  int32_t count = 0;
};
CursorRows cursor_rows(int32_t start, int32_t end, int32_t ch);

// ---------------------------------------------------------------------------------------------
// The window side's frame hand-over (window thread).

// Picks the frame the window should show: the newest ready frame if it is newer than the one on
// screen (which it then replaces, freeing every older frame), else the one on screen. Returns its
// index or -1 when no frame has ever been completed; *is_new tells whether it was just picked.
int32_t pick_frame_to_show(bool* is_new);

// ---------------------------------------------------------------------------------------------
// Scaling of the frame into the window.

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

// ---------------------------------------------------------------------------------------------
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
