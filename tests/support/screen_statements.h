// Screen statements run on the calling thread (the program thread) while frame preparation runs
// on a thread of its own, with the presentation side live: automatic display on and the display
// lock required, as in the game. The stress test and the fuzz target of the screen statements
// share it; both hand it bytes, which it reads as statements with their arguments.
//
// The statements change the screen's structure and contents: screen modes and pages, width, new,
// copied and freed images, a burst of images that grows the image table, page copies, fonts,
// palettes, colours, view, window, cls, pset, line, circle, paint, draw, print, locate, and the
// write and read page. An error a statement raises is answered as by a program that goes on: it
// is cleared. What ends the process by design (the runtime's own tables out of memory) stays out
// of reach: image sizes, live images and their bytes, page numbers, circle radii and fills are
// capped, so that no run comes near the fuzzer's memory limit or time-out.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/strings.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/screen/circle.h"
#include "runtime/screen/color.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/draw_macro.h"
#include "runtime/screen/font_select.h"
#include "runtime/screen/image.h"
#include "runtime/screen/paint.h"
#include "runtime/screen/text.h"
#include "tests/support/headless_runtime.h"

// Frame preparation on its own thread, as the main loop runs it: the blink query, then display(),
// pass after pass. It starts parked. park() returns once the current pass is finished and the
// thread waits; resume() lets it go on.
class PreparationThread {
 public:
  PreparationThread() : thread_([this] { run(); }) {}
  ~PreparationThread() {
    set(State::Stopping);
    thread_.join();
  }
  PreparationThread(const PreparationThread&) = delete;
  PreparationThread& operator=(const PreparationThread&) = delete;

  void park() {
    set(State::ParkRequested);
    for (State s = state_.load(); s != State::Parked; s = state_.load()) state_.wait(s);
  }
  void resume() { set(State::Running); }
  uint64_t passes() const { return passes_.load(); }

 private:
  enum class State { Parked, ParkRequested, Running, Stopping };

  void set(State s) {
    state_.store(s);
    state_.notify_all();
  }

  void run() {
    for (;;) {
      State s = state_.load();
      if (s == State::Stopping) return;
      if (s != State::Running) {
        if (s == State::ParkRequested && state_.compare_exchange_strong(s, State::Parked))
          state_.notify_all();
        state_.wait(State::Parked);
        continue;
      }
      displayed_page_blinks();
      frame.fetch_add(1);  // turns the blink phase now and then
      display();
      passes_.fetch_add(1);
    }
  }

  std::atomic<State> state_{State::Parked};
  std::atomic<uint64_t> passes_{0};
  std::thread thread_;  // last: it starts once the state exists
};

// The program side: reads statements from bytes and runs them (see the top of this file).
class ScreenStatements {
 public:
  // The statement numbers of the byte stream (the first byte of a statement, modulo count).
  // clang-format off
  enum Statement : uint8_t {
    Screen, ScreenImage, Width, NewImage, CopyImage, FreeImage, GrowTable, PageCopy, Font,
    Palette, PaletteColor, Color, View, Window, Cls, Pset, Line, Circle, Paint, Draw, Print,
    Locate, Dest, Source, statement_count
  };
  // clang-format on

  // Limits that keep every run far from the process's memory and time limits.
  static constexpr size_t max_live_images = 200;
  static constexpr int64_t max_live_bytes = int64_t{192} << 20;
  static constexpr int32_t max_page = 7;
  static constexpr int32_t max_width_argument = 99;  // 99 cells of 16 pixels: 1 584 pixels
  static constexpr double max_radius = 2048;
  static constexpr int32_t max_fills = 2;  // a fill costs the whole page
  // Tiny images made per run to grow the image table (4 096 records at first) twice. Freed slots
  // are reused before the table grows, so only live images grow it; 1 x 1 32-bit images cost one
  // small allocation each.
  static constexpr int32_t max_table_fillers = 8192;

  // Images the statements make are at most max_image_side pixels (or text cells) wide and high.
  explicit ScreenStatements(int32_t max_image_side) : max_image_side_(max_image_side) {}
  // Leaves the runtime as the whole start-up makes it (the built-in icons among it), for the tests
  // that run after; frame preparation must have stopped.
  ~ScreenStatements() {
    lock_display_required.store(0);
    init_headless_runtime();
  }

  // A fresh screen with the presentation side running: the whole start-up the first time, then a
  // fresh image table and screen and fresh preparation caches, which is all the statements reach
  // (a tenth of the start-up's cost). Frame preparation must be parked: this replaces what it
  // reads.
  void reset() {
    lock_display_required.store(0);  // nothing answers the display lock meanwhile
    if (!started_) {
      init_headless_runtime();
      started_ = true;
    } else {
      reset_display_frames();
      screen_init();
    }
    clear_pending_error();
    screen_hide.store(0);
    autodisplay.store(1);
    lock_display.store(0);
    lock_display_required.store(1);
    images_.clear();
    table_fillers_ = 0;
    fills_ = 0;
  }

  // Runs the statements in data. False as soon as one leaves the displayed, write or read page
  // naming an image that does not exist.
  bool run(const uint8_t* data, size_t size) {
    Bytes in{data, data + size};
    while (in.at < in.end) {
      run_one(in);
      clear_pending_error();
      zqs_cleanup(0, 0);
      if (!current_pages_valid()) return false;
    }
    return true;
  }

  // True when the displayed, write and read page are valid images.
  static bool current_pages_valid() {
    for (const int32_t handle : {func__display(), func__dest(), func__source()}) {
      if (handle >= 0) return false;
      func__width(handle, query_handle_given);
      if (take_pending_error() != 0) return false;
    }
    return true;
  }

 private:
  // Reads arguments; past the end every value is 0.
  struct Bytes {
    const uint8_t* at;
    const uint8_t* end;
    uint8_t byte() { return at < end ? *at++ : 0; }
    int32_t small() {
      const uint8_t low = byte();
      return static_cast<int16_t>(low | byte() << 8);
    }
    uint32_t word() {
      const uint32_t high = static_cast<uint16_t>(small());
      return high << 16 | static_cast<uint16_t>(small());
    }
    float coordinate() { return static_cast<float>(small()) / 4; }
    std::string& text(size_t max_length, std::string& into) {
      into.assign(byte() % (max_length + 1), '\0');
      for (char& c : into) c = static_cast<char>(byte());
      return into;
    }
  };

  // An image side, -1 to max_image_side (below 1 is an error); three in four below 127.
  int32_t side(Bytes& in) const {
    const int32_t value = in.small() & 0x7FFF;
    const bool large = value >> 13 == 3;
    return (large ? value : value & 127) % (max_image_side_ + 2) - 1;
  }

  // A screen page number, -1 (an error) to max_page.
  static int32_t page_number(Bytes& in) { return in.byte() % (max_page + 2) - 1; }

  // An image-or-page argument: one of the program's images, a screen page, or a handle that may
  // name anything (a page's own image, a table filler, a free slot).
  int32_t image_or_page(Bytes& in) {
    const uint8_t kind = in.byte() % 4, which = in.byte();
    if (kind < 2 && !images_.empty()) return images_[which % images_.size()];
    if (kind == 3) return -1 - which;
    return which % (max_page + 1);
  }

  // Bytes an image holds now, at most 4 a pixel; 0 for a handle that names nothing.
  static int64_t image_bytes(int32_t handle) {
    const int64_t bytes =
        int64_t{func__width(handle, query_handle_given)} * func__height(handle, query_handle_given);
    clear_pending_error();
    return bytes * 4;
  }

  // Whether one more image of the given size stays within the limits.
  bool room_for(int64_t bytes) const {
    if (images_.size() >= max_live_images) return false;
    for (const int32_t handle : images_) bytes += image_bytes(handle);
    return bytes <= max_live_bytes;
  }

  void keep(int32_t handle) {
    if (handle < -1) images_.push_back(handle);
  }

  void forget(int32_t handle) {
    const auto found = std::find(images_.begin(), images_.end(), handle);
    if (found != images_.end()) images_.erase(found);
  }

  void run_one(Bytes& in) {
    static constexpr int32_t screen_modes[] = {0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 3, 14};
    static constexpr int32_t image_modes[] = {0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 256, 32, 33};
    static constexpr int32_t fonts[] = {8, 9, 14, 15, 16, 17, 7, 32};
    switch (in.byte() % statement_count) {
      case Screen: {
        const int32_t mode = screen_modes[in.byte() % std::size(screen_modes)];
        const int32_t passed = in.byte() & 15;
        const int32_t active = page_number(in), visual = page_number(in);
        zqg_screen(mode, 0, active, visual, 0, passed);
        break;
      }
      case ScreenImage: {
        const int32_t image = image_or_page(in);
        const int32_t passed = screen_mode_given | (in.byte() & 12);
        const int32_t active = page_number(in), visual = page_number(in);
        zqg_screen(image < 0 ? image : -1, 0, active, visual, 0, passed);
        break;
      }
      case Width: {
        const int32_t option = in.byte() % 8 == 0 ? 2 : 0;
        const int32_t columns = in.byte() % (max_width_argument + 1);
        const int32_t rows = in.byte() % (max_width_argument + 1);
        zqsub_width(option, columns, rows, 0, 0, in.byte() & 3);
        break;
      }
      case NewImage: {
        const int32_t width = side(in), height = side(in);
        const uint8_t mode = in.byte() % (std::size(image_modes) + 1);
        if (!room_for(int64_t{width} * height * 4)) break;
        if (mode == std::size(image_modes))
          keep(func__newimage(width, height, 0, 0));  // the write page's mode and colours
        else
          keep(func__newimage(width, height, image_modes[mode], newimage_mode));
        break;
      }
      case CopyImage: {
        const int32_t source = image_or_page(in);
        const uint8_t mode = in.byte();
        if (!room_for(image_bytes(source))) break;
        keep(mode < 16 ? func__copyimage(source, image_modes[mode % std::size(image_modes)],
                                         copyimage_mode)
                       : func__copyimage(source, 0, 0));
        break;
      }
      case FreeImage: {
        const bool write_page_freed = in.byte() % 8 == 0;
        const int32_t handle = write_page_freed ? func__dest() : image_or_page(in);
        sub__freeimage(handle, write_page_freed ? 0 : freeimage_handle);
        if (!error_pending()) forget(handle);
        break;
      }
      case GrowTable: {
        const int32_t count = std::min(in.small() & 0x1FFF, max_table_fillers - table_fillers_);
        for (int32_t i = 0; i < count; ++i) func__newimage(1, 1, 32, newimage_mode);
        table_fillers_ += count;
        break;
      }
      case PageCopy: {
        const int32_t source = image_or_page(in);
        sub_pcopy(source, image_or_page(in));
        break;
      }
      case Font: {
        const int32_t font = fonts[in.byte() % std::size(fonts)];
        const int32_t target = image_or_page(in);
        sub__font(font, target, in.byte() & 1);
        break;
      }
      case Palette: {
        const int32_t attribute = in.small();
        const int32_t colour = static_cast<int32_t>(in.word() & 0x3F3F3F);
        zqg_palette(attribute, colour, in.byte() % 8 != 0);
        break;
      }
      case PaletteColor: {
        const int32_t attribute = in.small();
        const uint32_t colour = in.word();
        const int32_t target = image_or_page(in);
        sub__palettecolor(attribute, colour, target, in.byte() & 1);
        break;
      }
      case Color: {
        const uint32_t foreground = in.word(), background = in.word();
        zqg_sub_color(foreground, background, 0, in.byte() & 7);
        break;
      }
      case View: {
        const int32_t x1 = in.small(), y1 = in.small(), x2 = in.small(), y2 = in.small();
        const uint32_t fill = in.word(), border = in.word();
        zqg_sub_view(x1, y1, x2, y2, fill, border, in.byte() & 15);
        break;
      }
      case Window: {
        const float x1 = in.coordinate(), y1 = in.coordinate();
        const float x2 = in.coordinate(), y2 = in.coordinate();
        zqg_sub_window(x1, y1, x2, y2, in.byte() & 3);
        break;
      }
      case Cls: {
        const int32_t method = in.byte() % 4;
        const uint32_t colour = in.word();
        sub_cls(method, colour, in.byte() & 3);
        break;
      }
      case Pset: {
        const float x = in.coordinate(), y = in.coordinate();
        const uint32_t colour = in.word();
        sub_pset(x, y, colour, in.byte() & 3);
        break;
      }
      case Line: {
        const float x1 = in.coordinate(), y1 = in.coordinate();
        const float x2 = in.coordinate(), y2 = in.coordinate();
        const uint32_t colour = in.word();
        const int32_t box = in.byte() % 3;
        const uint32_t style = static_cast<uint16_t>(in.small());
        sub_line(x1, y1, x2, y2, colour, box, style, in.byte() & 31);
        break;
      }
      case Circle: {
        const double x = in.coordinate(), y = in.coordinate();
        const double radius = std::min<double>(std::abs(in.coordinate()), max_radius);
        const uint32_t colour = in.word();
        const double start = in.small() / 4096.0, end = in.small() / 4096.0;
        const double aspect = in.small() / 256.0;
        sub_circle(x, y, radius, colour, start, end, aspect, in.byte() & 31);
        break;
      }
      case Paint: {
        const float x = in.coordinate(), y = in.coordinate();
        const uint32_t fill = in.word(), border = in.word();
        const int32_t passed = in.byte() & 15;
        if (fills_ < max_fills) sub_paint(x, y, fill, border, nullptr, passed);
        ++fills_;
        break;
      }
      case Draw: {
        // Fills and sub-string calls stay out: a string that calls itself fills the page
        // thousands of times (the drawing-macro fuzz target covers both).
        std::string& commands = in.text(48, text_);
        for (char& c : commands)
          if ((c | 0x20) == 'p' || (c | 0x20) == 'x') c = ' ';
        sub_draw(zqs_new_txt_len(commands.data(), static_cast<uint32_t>(commands.size())));
        break;
      }
      case Print: {
        // The bell stays out: it only waits a quarter of a second. FIXME: so does the tab, which
        // never ends on a page fewer than 8 columns wide (every space wraps the cursor back to
        // column 1, short of the tab stop); let it in once that is mended.
        std::string& text = in.text(64, text_);
        for (char& c : text)
          if (c == '\a' || c == '\t') c = ' ';
        zqs_print(zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size())), in.byte() & 1);
        break;
      }
      case Locate: {
        const int32_t row = in.byte() % 64, column = in.byte() % 128;
        const int32_t cursor = in.byte() % 3, first = in.byte() % 33, last = in.byte() % 33;
        zqg_sub_locate(row, column, cursor, first, last, in.byte() & 31);
        break;
      }
      case Dest:
        sub__dest(image_or_page(in));
        break;
      case Source:
        sub__source(image_or_page(in));
        break;
    }
  }

  const int32_t max_image_side_;
  bool started_ = false;
  std::vector<int32_t> images_;  // handles of the images the statements made and still hold
  int32_t table_fillers_ = 0;
  int32_t fills_ = 0;
  std::string text_;
};
