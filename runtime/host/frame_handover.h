// The frame hand-over between frame preparation and the window thread.
//
// Three display frames travel between frame preparation (main loop thread, or the program thread
// while automatic display is off) and the display callback (window thread):
//
//   free -> being prepared -> ready -> shown -> free
//   (being prepared -> free when nothing changed; ready -> free when a newer frame is shown;
//    ready -> being prepared when preparation reuses the oldest ready frame because none is free;
//    an older frame of another size than the one shown: ready -> being prepared -> free, or
//    shown -> free, with its buffer freed by the window)
//
// A frame is taken only by compare-exchange, so it is never taken by both sides at once:
// preparation takes a free or ready frame (-> being prepared); the window takes a ready frame
// (-> shown), frees an older ready or shown frame of the same size, and takes an older ready frame
// of another size as being prepared to give its buffer back. The side holding a frame then moves it
// on with a plain release store: preparation its frame being prepared to ready, or to free when
// nothing changed; the window a frame it retires to free (a shown frame is the window's alone,
// since preparation never takes one). Preparation writes `bgra`, `w` and `h` only while it holds
// the frame being prepared and publishes them with the release that makes it ready; the window
// reads them only after its acquire that makes the frame shown. A frame's pixels are therefore
// never written while shown.
#pragma once

#include <atomic>
#include <cstdint>

// The states of a display frame.
enum frame_state : int32_t {
  frame_free = 1,
  frame_being_prepared = 2,
  frame_ready = 3,
  frame_shown = 4,
};

struct display_frame_struct {
  // A frame_state. Preparation moves free/ready -> being prepared -> ready or free; the window
  // moves ready -> shown and ready/shown -> free. Published with release, read with acquire.
  std::atomic<int32_t> state{frame_free};
  // Sequence number given when preparation starts (written by preparation while the frame is
  // being prepared; read by the window to find the newest ready frame).
  std::atomic<int64_t> order{0};
  // w * h pixels 0xAARRGGBB, row by row; owned by preparation, read by the window while shown.
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
// last_hardware_display_frame_order as seen at the last redraw shown in the window (window thread).
extern int64_t last_rendered_hardware_display_frame_order;

// Window thread. Whether the picture in the window must be drawn again: a frame was just picked
// (frame_is_new), a preparation finished or was abandoned since the last redraw shown, the host or
// the runtime asked for one (request_window_redraw, a resize), or `other` (a request under way).
bool redraw_due(bool frame_is_new, bool other);
// Window thread, after a redraw that redraw_due asked for: shown, or not shown because the program
// is paused (the buffers are not swapped then) -- the redraw then stays due, and happens once the
// pause ends.
void redraw_finished(bool shown);

// Takes a frame for preparation: the highest-index free frame, else the oldest ready one; -1 when
// every frame is being prepared or shown. The frame is then frame_being_prepared.
int32_t claim_frame();
// The completed frame with the highest order (ready or shown) other than except, or -1.
int32_t newest_completed_frame(int32_t except);

// Picks the frame the window should show: the newest ready frame if it is newer than the one on
// screen (which it then replaces, freeing every older frame), else the one on screen. Returns its
// index or -1 when no frame has ever been completed; *is_new tells whether it was just picked.
int32_t pick_frame_to_show(bool* is_new);
