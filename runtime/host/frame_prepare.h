// Frame preparation: turns the displayed page into 32-bit frames for the window thread (main loop
// thread, or the program thread while automatic display is off). The frames travel to the window
// through the hand-over in frame_handover.h.
#pragma once

#include <cstdint>

struct img_struct;

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

// True when the displayed page changes on screen by itself, without the program drawing: a text
// page (blinking cursor and characters, every 8 display cycles) or mode 10 (its palette phase
// changes every 512 ms). The main loop then keeps preparing frames while the program waits.
bool displayed_page_blinks();

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
