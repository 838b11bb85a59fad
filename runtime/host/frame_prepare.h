// Frame preparation: turns the displayed page into 32-bit frames for the window thread (main loop
// thread, or the program thread while automatic display is off). The frames travel to the window
// through the hand-over in frame_handover.h.
#pragma once

#include <cstdint>

struct img_struct;

// What frame preparation keeps from one frame to the next: copies of what the last frame showed
// (to see whether anything changed) and the text blink and cursor state. One value, owned by
// whichever thread prepares frames: the main loop thread, or the program thread while automatic
// display is off. The two never prepare at once: sub__display waits until the main loop has
// handed preparation over, and automatic display is turned on again by the program itself.
struct FramePreparation {
  // The last converted pixel bytes of a palette-based graphics page (grows only).
  uint8_t* pixeldata = nullptr;
  int32_t pixeldatasize = 0;
  // The palette entries as last used.
  uint32_t paldata[256] = {};
  // The text cells as last drawn, and as read for this frame (both grow only).
  uint8_t* screen_last = nullptr;
  int32_t screen_last_size = 0;
  uint8_t* screen_now = nullptr;
  int32_t screen_now_size = 0;
  // Text blink and cursor state of the current and of the last text frame.
  int32_t show_cursor = 0, show_flashing = 0, cx = 0, cy = 0;
  int32_t show_cursor_last = 0, show_flashing_last = 0, cx_last = -1, cy_last = -1;

  FramePreparation() = default;
  FramePreparation(const FramePreparation&) = delete;
  FramePreparation& operator=(const FramePreparation&) = delete;
  // Frees the buffers and forgets everything: the next frame is built whole.
  void forget();
  // Exchanges the red and blue bytes of the 256 paldata entries.
  void swap_paldata_BGRA_with_RGBA();
};

// The screen layer's place among what the display callback draws (1, the first layer); 0 would
// hide it, and preparation then finds nothing changed. Nothing in this program moves it; tests
// set it to check the hidden case.
extern int32_t displayorder_screen;

// Returns the three frames to free with order 0 and no buffer, and forgets display()'s
// preparation state, so the next preparation builds a whole frame (start-up; tests between
// cases). Nothing may be preparing a frame meanwhile.
void reset_display_frames();

// display()'s preparation state, for reading by whichever thread prepares frames (and tests).
const FramePreparation& frame_preparation();

// Prepares a frame from display_page (main loop thread, or the program thread when automatic
// display is off). Answers the display lock at its start and end.
void display();

// True when the page display() last looked at changes on screen by itself, without the program
// drawing: a text page (blinking cursor and characters, every 8 display cycles) or mode 10 (its
// palette phase changes every 512 ms). The main loop then keeps preparing frames while the
// program waits. Any thread: it reads what preparation recorded, never the page itself, which
// the program may be rebuilding under the display lock.
bool displayed_page_blinks();
// ---------------------------------------------------------------------------------------------
// Frame conversion, usable on any page record (display() applies it to display_page).

// Everything frame preparation needs from outside the page itself.
struct FrameClock {
  uint32_t display_cycle = 0;  // the main loop's `frame` counter: bit 3 is the blink phase
  int64_t ticks_ms = 0;        // GetTicks(): bit 9 is the mode 10 blink phase
  bool blink_enable = true;    // attribute bit 7 blinks (else it selects a bright background)
};

enum class FrameResult { Completed, Unchanged, NoFrameAvailable, Locked };

// Prepares one frame from `page` into a free (or the oldest ready) display frame, with display()'s
// preparation state. Does not answer the display lock; display() does that around it.
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
