// Frame preparation: the displayed page into a 32-bit frame.
#include "runtime/host/frame_prepare.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/core/clock.h"
#include "runtime/core/deliberate_race.h"
#include "runtime/core/error.h"
#include "runtime/core/wakeup.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/host_seam.h"
#include "runtime/host/host_state.h"
#include "runtime/screen/color.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

int32_t displayorder_screen = 1;

namespace {

// display()'s preparation state (see FramePreparation).
FramePreparation preparation;

// What display() last saw on display: whether that page changes by itself (displayed_page_blinks).
// Written by frame preparation; read by the main loop thread.
std::atomic<bool> page_blinks{false};

// The structure of a page, as frame conversion needs it: what it is and where its buffers are.
// A screen page's structure changes only under the display lock, so these reads never race.
struct PageStructure {
  bool text = false;
  int32_t width = 0, height = 0;
  int32_t bits_per_pixel = 0;
  int32_t mode = 0;
  int32_t font = 0;
  const uint8_t* pixels = nullptr;
  const uint32_t* palette = nullptr;
};

PageStructure structure_of(const img_struct* page) {
  PageStructure s;
  s.text = page->text != 0;
  s.width = page->width;
  s.height = page->height;
  s.bits_per_pixel = page->bits_per_pixel;
  s.mode = page->mode;
  s.font = static_cast<int32_t>(page->font);
  s.pixels = page->pixels;
  s.palette = page->palette;
  return s;
}

}  // namespace

// Reading the displayed page's contents.
//
// The program thread draws into the displayed page, moves its cursor and changes its palette
// entries while frame preparation reads them, without a lock. That is deliberate: a frame that
// catches a drawing half done is harmless, because the next preparation sees the difference and
// builds a fresh frame. Every unsynchronised read of a page's contents (pixels, text cells,
// palette entries, cursor) goes through this namespace and nowhere else, so that the thread
// sanitizer can be told about exactly this race (tools/tsan.supp). The page's structure is read
// by structure_of above, outside this namespace, and stays visible to the sanitizer.
// The thread sanitizer is told in the code itself: each function below has it ignore the
// preparation thread's memory accesses while it runs (a suppression by function name is not
// enough: in a long run the sanitizer often cannot restore the reading thread's stack, and then
// no name matches). Nothing else is exempt.
namespace displayed_page_read {

// The text cursor of a page, as the program last left it.
struct PageCursor {
  int32_t x = 1, y = 1;
  int32_t show = 0;
  int32_t first = 0, last = 0;
  int32_t holding = 0;
};

[[gnu::noinline]] PageCursor cursor(const img_struct* page) {
  [[maybe_unused]] const DeliberateRace race;
  PageCursor c;
  c.x = page->cursor_x;
  c.y = page->cursor_y;
  c.show = page->cursor_show;
  c.first = page->cursor_firstvalue;
  c.last = page->cursor_lastvalue;
  c.holding = page->holding_cursor;
  return c;
}

[[gnu::noinline]] bool bytes_equal(const void* page_bytes, const void* copy, size_t n) {
  [[maybe_unused]] const DeliberateRace race;
  return std::memcmp(page_bytes, copy, n) == 0;
}

[[gnu::noinline]] void copy_bytes(void* destination, const void* page_bytes, size_t n) {
  [[maybe_unused]] const DeliberateRace race;
  std::memcpy(destination, page_bytes, n);
}

}  // namespace displayed_page_read

namespace {

// Grows a byte buffer to at least `bytes`; contents are not kept.
bool grow_buffer(uint8_t** buffer, int32_t* capacity, int32_t bytes) {
  if (*capacity >= bytes && *buffer) return true;
  std::free(*buffer);
  *buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(std::max(bytes, 1))));
  *capacity = *buffer ? bytes : 0;
  return *buffer != nullptr;
}

// Gives the frame a buffer of at least w * h pixels (buffers only grow) and sets its size.
bool size_frame(display_frame_struct& f, int32_t w, int32_t h) {
  int64_t bytes = static_cast<int64_t>(w) * h * 4;
  if (bytes > std::numeric_limits<int32_t>::max()) return false;
  if (f.bgra_bytes < bytes || !f.bgra) {
    std::free(f.bgra);
    f.bgra = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(std::max<int64_t>(bytes, 4))));
    f.bgra_bytes = f.bgra ? static_cast<int32_t>(bytes) : 0;
    if (!f.bgra) return false;
  }
  f.w = w;
  f.h = h;
  return true;
}

enum class Conversion { Completed, Unchanged };

// out[i] = colours[in[i]]; the table is taken into a local copy so that the stores into the
// frame cannot be mistaken for changes of it.
void lookup_pixels(uint32_t* __restrict out, const uint8_t* __restrict in, int32_t n,
                   const uint32_t* colours) {
  uint32_t table[256];
  std::memcpy(table, colours, sizeof table);
  for (int32_t i = 0; i < n; ++i) out[i] = table[in[i]];
}

// Palette-based graphics page: one byte per pixel through the page's palette.
Conversion convert_indexed_page(FramePreparation& prep, const PageStructure& page,
                                const FrameClock& clock, display_frame_struct& f) {
  int32_t bits = std::clamp(page.bits_per_pixel, 1, 8);
  int32_t palette_size = 1 << bits;
  int32_t n = page.width * page.height;

  // The colours in use, read once. Mode 10 pages keep attribute numbers (0..8) in entries 4..7;
  // their colours 0..3 come from the blink palette of the current half-second phase. They are
  // worked out here rather than written back into the page, whose palette belongs to the program.
  uint32_t colours[256];
  displayed_page_read::copy_bytes(colours, page.palette, static_cast<size_t>(palette_size) * 4);
  if (page.mode == 10) {
    int32_t phase = (clock.ticks_ms & 512) ? 1 : 0;
    uint32_t attributes[8];
    displayed_page_read::copy_bytes(attributes, page.palette, sizeof attributes);
    for (int32_t i = 0; i < 4 && i < palette_size; ++i)
      colours[i] = pal_mode10[phase][std::min<uint32_t>(attributes[4 + i], 8)];
  }

  bool force = force_display_update.load() != 0;
  if (n != prep.pixeldatasize) {
    if (!grow_buffer(&prep.pixeldata, &prep.pixeldatasize, n)) return Conversion::Unchanged;
    prep.pixeldatasize = n;
  } else if (!force) {
    if (displayorder_screen == 0) return Conversion::Unchanged;
    if (displayed_page_read::bytes_equal(page.pixels, prep.pixeldata, static_cast<size_t>(n)) &&
        std::memcmp(colours, prep.paldata, static_cast<size_t>(palette_size) * 4) == 0 &&
        screen_last_valid.load() == 1)
      return Conversion::Unchanged;
  }
  displayed_page_read::copy_bytes(prep.pixeldata, page.pixels, static_cast<size_t>(n));
  std::memcpy(prep.paldata, colours, static_cast<size_t>(palette_size) * 4);

  if (!size_frame(f, page.width, page.height)) return Conversion::Unchanged;
  lookup_pixels(f.bgra, prep.pixeldata, n, prep.paldata);
  return Conversion::Completed;
}

// 32-bit page: the pixels are already frame pixels.
Conversion convert_32bit_page(const PageStructure& page, display_frame_struct& f, int32_t self) {
  size_t bytes = static_cast<size_t>(page.width) * page.height * 4;
  if (force_display_update.load() == 0) {
    int32_t previous = newest_completed_frame(self);
    if (previous >= 0 && screen_last_valid.load() == 1 && display_frame[previous].w == page.width &&
        display_frame[previous].h == page.height) {
      if (displayorder_screen == 0) return Conversion::Unchanged;
      if (displayed_page_read::bytes_equal(page.pixels, display_frame[previous].bgra, bytes))
        return Conversion::Unchanged;
    }
  }
  if (!size_frame(f, page.width, page.height)) return Conversion::Unchanged;
  displayed_page_read::copy_bytes(f.bgra, page.pixels, bytes);
  return Conversion::Completed;
}

// Draws one text cell, cw x ch pixels, with its top-left pixel at (px, py); ch is the font's
// height, so every row of the cell is a row of the glyph.
void draw_text_cell(uint32_t* frame, int32_t frame_w, int32_t px, int32_t py, int32_t cw,
                    int32_t ch, int32_t font, uint8_t c, uint32_t fg, uint32_t bg) {
  const uint8_t* glyph = font_glyph(font, c);
  bool doubled = font_is_doubled(font);
  for (int32_t row = 0; row < ch; ++row) {
    uint32_t* out = frame + static_cast<size_t>(py + row) * frame_w + px;
    const uint8_t* bits = glyph + row * 8;
    if (doubled) {
      for (int32_t x = 0; x < 8 && 2 * x + 1 < cw; ++x)
        out[2 * x] = out[2 * x + 1] = bits[x] ? fg : bg;
    } else {
      for (int32_t x = 0; x < 8 && x < cw; ++x) out[x] = bits[x] ? fg : bg;
    }
  }
}

// Text page: cells drawn from the built-in fonts, only those that changed since the last frame.
Conversion convert_text_page(FramePreparation& prep, const PageStructure& page,
                             const displayed_page_read::PageCursor& cursor_state,
                             const FrameClock& clock, display_frame_struct& f, int32_t self) {
  int32_t font = page.font;
  if (!font_is_builtin(font)) return Conversion::Unchanged;  // no loadable-font renderer here
  int32_t cw = font_width(static_cast<uint32_t>(font));
  int32_t ch = font_height(static_cast<uint32_t>(font));
  if (cw <= 0 || ch <= 0 || !page.palette || !page.pixels) return Conversion::Unchanged;

  bool check_last = screen_last_valid.load() == 1;
  int32_t cells = page.width * page.height;
  if (cells * 2 != prep.screen_last_size) {
    int32_t capacity = 0;
    std::free(prep.screen_last);
    prep.screen_last = nullptr;
    if (!grow_buffer(&prep.screen_last, &capacity, cells * 2)) {
      prep.screen_last_size = 0;
      return Conversion::Unchanged;
    }
    prep.screen_last_size = cells * 2;
    check_last = false;
  }
  if (displayorder_screen == 0 && check_last) return Conversion::Unchanged;

  uint32_t colours[256];
  displayed_page_read::copy_bytes(colours, page.palette, sizeof colours);
  if (check_last) {
    if (std::memcmp(colours, prep.paldata, sizeof colours) != 0) {
      std::memcpy(prep.paldata, colours, sizeof colours);
      check_last = false;
    }
  } else {
    std::memcpy(prep.paldata, colours, sizeof colours);
  }

  if (!grow_buffer(&prep.screen_now, &prep.screen_now_size, cells * 2))
    return Conversion::Unchanged;
  displayed_page_read::copy_bytes(prep.screen_now, page.pixels, static_cast<size_t>(cells) * 2);
  bool changed = false;
  if (check_last)
    changed = std::memcmp(prep.screen_now, prep.screen_last, static_cast<size_t>(cells) * 2) != 0;

  prep.show_cursor = prep.show_flashing = (clock.display_cycle & 8) ? 1 : 0;
  prep.cx = cursor_state.x - 1;
  prep.cy = cursor_state.y - 1;
  if (cursor_state.holding == 2 && prep.cy < page.height - 1) {
    prep.cy += 1;
    prep.cx = 0;
  }
  if (check_last) {
    if (prep.show_flashing != prep.show_flashing_last ||
        prep.show_cursor != prep.show_cursor_last || prep.cx != prep.cx_last ||
        prep.cy != prep.cy_last)
      changed = true;
  } else {
    changed = true;
  }
  if (!changed) return Conversion::Unchanged;

  int32_t frame_w = page.width * cw;
  int32_t frame_h = page.height * ch;
  if (!size_frame(f, frame_w, frame_h)) return Conversion::Unchanged;
  if (check_last) {
    int32_t previous = newest_completed_frame(self);
    if (previous < 0) {
      alert("Text Screen Update: Failed to locate previous frame's data for comparison");
      check_last = false;
    } else if (display_frame[previous].w != frame_w || display_frame[previous].h != frame_h) {
      // A frame of another size cannot serve as the background: draw every cell.
      check_last = false;
    } else {
      std::memcpy(f.bgra, display_frame[previous].bgra, static_cast<size_t>(frame_w) * frame_h * 4);
    }
  }

  bool flashing_changed = prep.show_flashing != prep.show_flashing_last;
  bool cursor_changed = prep.show_cursor != prep.show_cursor_last;
  bool cursor_moved = prep.cx != prep.cx_last || prep.cy != prep.cy_last;
  CursorRows cursor = cursor_rows(cursor_state.first, cursor_state.last, ch);
  bool blink_enable = clock.blink_enable;

  for (int32_t y = 0; y < page.height; ++y) {
    for (int32_t x = 0; x < page.width; ++x) {
      size_t at = (static_cast<size_t>(y) * page.width + x) * 2;
      uint8_t c = prep.screen_now[at];
      uint8_t a = prep.screen_now[at + 1];
      bool is_cursor_cell = x == prep.cx && y == prep.cy;
      if (check_last && c == prep.screen_last[at] && a == prep.screen_last[at + 1]) {
        // Besides changed cells: blinking cells when the blink phase turns, and the cursor's
        // cell when the cursor turns on or off or moves (its old cell to clear it, its new cell
        // so that it shows at once rather than at the next blink).
        bool redraw = ((a & 0x80) && flashing_changed) || (is_cursor_cell && cursor_changed) ||
                      (is_cursor_cell && cursor_moved) ||
                      (x == prep.cx_last && y == prep.cy_last && cursor_moved);
        if (!redraw) continue;
      }
      prep.screen_last[at] = c;
      prep.screen_last[at + 1] = a;

      int32_t fg = a & 15;
      int32_t bg = blink_enable ? (a >> 4) & 7 : a >> 4;
      if (blink_enable && (a & 0x80) && prep.show_flashing) fg = bg;
      draw_text_cell(f.bgra, frame_w, x * cw, y * ch, cw, ch, font, c, prep.paldata[fg],
                     prep.paldata[bg]);

      if (is_cursor_cell && cursor_state.show && prep.show_cursor && cursor.count > 0) {
        uint32_t colour = prep.paldata[a & 15];
        for (int32_t row = cursor.first; row < cursor.first + cursor.count; ++row) {
          uint32_t* out = f.bgra + static_cast<size_t>(y * ch + row) * frame_w + x * cw;
          std::fill(out, out + cw, colour);
        }
      }
    }
  }

  prep.show_flashing_last = prep.show_flashing;
  prep.show_cursor_last = prep.show_cursor;
  prep.cx_last = prep.cx;
  prep.cy_last = prep.cy;
  return Conversion::Completed;
}

}  // namespace

void FramePreparation::forget() {
  std::free(pixeldata);
  std::free(screen_last);
  std::free(screen_now);
  pixeldata = screen_last = screen_now = nullptr;
  pixeldatasize = screen_last_size = screen_now_size = 0;
  std::memset(paldata, 0, sizeof paldata);
  show_cursor = show_flashing = cx = cy = 0;
  show_cursor_last = show_flashing_last = 0;
  cx_last = cy_last = -1;
}

void FramePreparation::swap_paldata_BGRA_with_RGBA() {
  for (uint32_t& entry : paldata)
    entry = (entry & 0xFF00FF00u) | ((entry >> 16) & 0xFFu) | ((entry & 0xFFu) << 16);
}

void reset_display_frames() {
  for (auto& f : display_frame) {
    f.state.store(frame_free);
    f.order.store(0);
    std::free(f.bgra);
    f.bgra = nullptr;
    f.w = f.h = 0;
    f.bgra_bytes = 0;
  }
  display_frame_order_next = 1;
  last_hardware_display_frame_order.store(0);
  last_rendered_hardware_display_frame_order = 0;
  preparation.forget();
  page_blinks.store(false);
}

void page_frame_size(const img_struct* page, int32_t* w, int32_t* h) {
  const PageStructure s = structure_of(page);
  if (s.text) {
    int32_t font = s.font >= 0 && s.font < font_slots ? s.font : 16;
    *w = s.width * font_width(static_cast<uint32_t>(font));
    *h = s.height * font_height(static_cast<uint32_t>(font));
  } else {
    *w = s.width;
    *h = s.height;
  }
}

CursorRows cursor_rows(int32_t start, int32_t end, int32_t ch) {
  const int32_t bottom = ch == 16 ? 14 : ch - 1;
  auto from_bottom = [&](int32_t rows) { return CursorRows{bottom - rows + 1, rows}; };
  auto to_bottom = [&](int32_t from) { return CursorRows{from, ch - from}; };
  const int32_t s = start, e = end;
  CursorRows r;
  // clang-format off
  if (e == 0 && s == 0) r = {0, 1};
  else if (e == 0) r = {0, 0};
  else if (e < s) r = to_bottom(e);
  else if (s == e && s <= 3) r = {s, 1};
  else if (s == e) r = from_bottom(1);
  else if (s >= 3 && e == s + 1) r = from_bottom(2);
  else if (s >= 3 && e == s + 2) r = from_bottom(3);
  else if (s >= 3) r = {ch - ch / 2, ch / 2};
  else if (s <= 1 && e <= 3) r = {s, e - s + 1};
  else if (s <= 1) r = to_bottom(s);
  else if (e == 3) r = {2, 2};  // s == 2 from here on
  else if (e == 4) r = from_bottom(3);
  else r = to_bottom(2);
  // clang-format on

  // A cursor that starts below the cell is not drawn; one that runs past it is cut at its edge.
  if (r.first >= ch || r.count <= 0) return {0, 0};
  if (r.first < 0) {
    r.count += r.first;
    r.first = 0;
  }
  r.count = std::min(r.count, ch - r.first);
  if (r.count <= 0) return {0, 0};
  return r;
}

namespace {

// Prepares one frame from a page whose structure has been read.
FrameResult prepare_frame(FramePreparation& prep, const img_struct* page, const PageStructure& s,
                          const FrameClock& clock) {
  if (s.width <= 0 || s.height <= 0 || !s.pixels ||
      (!s.text && s.bits_per_pixel != 32 && !s.palette))
    return FrameResult::Unchanged;

  int32_t index = claim_frame();
  if (index < 0) {
    alert("Software frame buffer: Failed to find available frame");
    return FrameResult::NoFrameAvailable;
  }
  display_frame_struct& f = display_frame[index];
  int64_t order = display_frame_order_next++;
  f.order.store(order, std::memory_order_relaxed);

  Conversion result;
  if (s.text)
    result = convert_text_page(prep, s, displayed_page_read::cursor(page), clock, f, index);
  else if (s.bits_per_pixel == 32)
    result = convert_32bit_page(s, f, index);
  else
    result = convert_indexed_page(prep, s, clock, f);

  if (result == Conversion::Completed) {
    force_display_update.store(0);
    screen_last_valid.store(1);
    f.state.store(frame_ready, std::memory_order_release);
    last_hardware_display_frame_order.store(order);
    wake_window();
    return FrameResult::Completed;
  }
  // Nothing changed: the frame goes back unused. The window is not told about it, so an unchanged
  // screen costs the window thread nothing (it keeps showing the frame it has).
  f.state.store(frame_free, std::memory_order_release);
  return FrameResult::Unchanged;
}

}  // namespace

const FramePreparation& frame_preparation() { return preparation; }

FrameResult prepare_frame_from_page(const img_struct* page, const FrameClock& clock) {
  if (!page) return FrameResult::Unchanged;
  return prepare_frame(preparation, page, structure_of(page), clock);
}

void display() {
  answer_display_lock();
  if (screen_hide.load()) {
    if (display_called.exchange(1) == 0) program_wakeup.notify();
    return;
  }
  // Between the two answers the program cannot hold the lock: the page's structure stays put.
  if (lock_display.load() == 0) {
    const img_struct* page = display_page.load(std::memory_order_acquire);
    const PageStructure s = page ? structure_of(page) : PageStructure{};
    page_blinks.store(page && (s.text || s.mode == 10), std::memory_order_relaxed);
    if (page) {
      FrameClock clock;
      clock.display_cycle = frame.load();
      clock.ticks_ms = GetTicks();
      clock.blink_enable = H3C0_blink_enable.load() != 0;
      prepare_frame(preparation, page, s, clock);
    }
  }
  answer_display_lock();
  // Someone may wait for these: sub__display for the hand-over of automatic display, display_now
  // for a finished preparation.
  int32_t handing_over = -1;
  const bool handed_over = autodisplay.compare_exchange_strong(handing_over, 0);
  const bool awaited = display_called.exchange(1) == 0;
  if (handed_over || awaited) program_wakeup.notify();
}

bool displayed_page_blinks() { return page_blinks.load(std::memory_order_relaxed); }
