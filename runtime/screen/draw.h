// Drawing primitives and the coordinate system of graphics pages.
//
// Everything here draws into write_page and reads from read_page (image.h). Coordinates given by
// the program go through the page's mapping before they reach pixels:
//   clipping_or_scaling 0: pixel = round(c)
//   clipping_or_scaling 1: pixel = round(c) + view offset
//   clipping_or_scaling 2: pixel = round(c * scaling + scaling offset) + view offset
// Rounding is to nearest with halves to even (2.5 -> 2, 3.5 -> 4). All drawing is clipped to the
// viewport (view_x1..view_x2, view_y1..view_y2, inclusive); drawing outside is silently dropped.
//
// One owner per rule: ColourBlend owns the 32-bit blending of a colour over a pixel (blend_pixel()
// is its one-pixel form), PixelPen the store of one pixel (pset() is its one-pixel form),
// pset_and_clip() the viewport test, fast_boxfill() the filling of rows (and fill_span() is its
// one-row form with the viewport clip). Lines, boxes, circles, fills and glyphs go through these.
// Loops over many pixels take a PixelPen once per statement instead of calling pset() per pixel;
// where a loop has a faster path beside the general one (a horizontal line filled as a row, a
// circle wholly inside the viewport), DrawPath::General forces the general one, so that tests can
// compare the two.
//
// Program thread only. Every statement (sub_*, func_*, zqg_*) does nothing while an error is
// pending; bad arguments raise error 5 (text pages, bad window or viewport corners).
//
// draw.cpp holds the statements, which take program coordinates, with the rounding and the mapping;
// pixels.cpp the pixel layer under them, in pixel coordinates: the pen, single pixels, rows, and
// the line clipper and rasteriser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/extended.h"
#include "runtime/screen/image.h"

// Rounding to nearest, halves to even (the processor's default rounding).
int32_t zqr_float_to_long(float value);
int32_t zqr_double_to_long(double value);
int64_t zqr(extended value);  // extended precision: long double on x86

// Coordinate mapping of a page: program coordinate -> pixel (rounded in single precision).
int32_t map_x(const img_struct& im, float x);
int32_t map_y(const img_struct& im, float y);
// The graphics cursor in pixels before the view offset (window mapping applied when active).
float cursor_pixel_x(const img_struct& im);
float cursor_pixel_y(const img_struct& im);

// A 32-bit colour prepared for blending over many pixels: alpha 255 replaces the pixel, 0 keeps
// it, 127 and 128 average colour and pixel (shift and add) and take the alpha byte from ablend127
// or ablend128, every other alpha blends blue, green and red through cblend and the alpha byte
// through ablend. The table rows are chosen once, here.
class ColourBlend {
 public:
  explicit ColourBlend(uint32_t colour) : colour_(colour) {
    const uint32_t alpha = colour >> 24;
    if (alpha == 255)
      kind_ = Kind::replace;
    else if (alpha == 0)
      kind_ = Kind::keep;
    else
      choose_tables(alpha);
  }
  // The colour stored as it is, whatever its alpha: what a page with blending turned off does.
  static ColourBlend unblended(uint32_t colour) { return ColourBlend(colour, Kind::replace); }

  // The colour blended over one pixel.
  uint32_t over(uint32_t destination) const {
    switch (kind_) {
      case Kind::replace:
        return colour_;
      case Kind::keep:
        return destination;
      case Kind::average:
        return (((colour_ & 0xFEFEFE) + (destination & 0xFEFEFE)) >> 1) |
               (static_cast<uint32_t>(alpha_[destination >> 24]) << 24);
      default:
        return (static_cast<uint32_t>(alpha_[(destination >> 24) << 8]) << 24) |
               (static_cast<uint32_t>(red_[(destination >> 16) & 255]) << 16) |
               (static_cast<uint32_t>(green_[(destination >> 8) & 255]) << 8) |
               blue_[destination & 255];
    }
  }
  // True when blending leaves every pixel as it is (alpha 0).
  bool keeps_pixels() const { return kind_ == Kind::keep; }

 private:
  enum class Kind : uint8_t { replace, keep, average, table };
  ColourBlend(uint32_t colour, Kind kind) : colour_(colour), kind_(kind) {}
  // Builds the blend tables when needed (the first time something really blends) and picks the
  // rows of this alpha.
  void choose_tables(uint32_t alpha);

  uint32_t colour_;
  Kind kind_ = Kind::replace;
  // average: the alpha row by old alpha; table: ablend's column of this alpha, by old alpha * 256.
  const uint8_t* alpha_ = nullptr;
  // table: cblend's rows of this alpha and of the colour's blue, green and red, by old component.
  const uint8_t* blue_ = nullptr;
  const uint8_t* green_ = nullptr;
  const uint8_t* red_ = nullptr;
};

// Blends a 32-bit colour over an existing 32-bit pixel (ColourBlend for one pixel).
uint32_t blend_pixel(uint32_t destination, uint32_t colour);

// One colour as a drawing loop stores it into an image. The fields a store needs are copied out of
// the record once (a byte store may alias anything, so a loop that read them through the record
// would load them again after every pixel) and a 32-bit colour's blend is prepared once. store()
// is the pixel writer's rule: indexed pages keep colour AND pixel_mask; 32-bit pages store the
// colour when blending is off, else blend it. It does not clip.
class PixelPen {
 public:
  PixelPen(const img_struct& im, uint32_t colour)
      : pixels_(im.pixels),
        width_(im.width),
        byte_(static_cast<uint8_t>(colour & im.pixel_mask)),
        wide_(im.bytes_per_pixel != 1),
        blend_(ColourBlend::unblended(colour)) {
    if (wide_ && !im.alpha_disabled) blend_ = ColourBlend(colour);
  }

  size_t width() const { return width_; }
  // Stores the colour into pixel index at (x + y * width).
  void store(size_t at) const {
    if (!wide_) {
      pixels_[at] = byte_;
      return;
    }
    auto* p = reinterpret_cast<uint32_t*>(pixels_) + at;
    *p = blend_.over(*p);
  }
  void store(int32_t x, int32_t y) const {
    store(static_cast<size_t>(x) + static_cast<size_t>(y) * width_);
  }
  // Calls loop(store) once, with store(at) a function that does what store(at) does for this page:
  // a plain byte store on indexed pages. A loop over many pixels thus tests the page's kind once.
  template <typename Loop>
  void with_store(Loop loop) const {
    if (!wide_) {
      loop([pixels = pixels_, byte = byte_](size_t at) { pixels[at] = byte; });
      return;
    }
    loop([this](size_t at) { store(at); });
  }
  // Stores the colour into count pixels from index at on, step apart (step = width: a column).
  void store_run(size_t at, int32_t count, size_t step) const {
    with_store([&](auto put) {
      for (int32_t i = 0; i < count; ++i, at += step) put(at);
    });
  }

 private:
  uint8_t* pixels_;
  size_t width_;
  uint8_t byte_;
  bool wide_;
  ColourBlend blend_;  // of 32-bit pages
};

// Which way a drawing routine sets its pixels: Auto takes a faster path where one applies,
// General always the per-pixel path with every check. Statements use Auto; tests draw the same
// shapes both ways and compare the pixels.
enum class DrawPath : uint8_t { Auto, General };

// Writes one pixel of the write page without any check (indexed: colour AND pixel_mask; 32-bit:
// blended unless alpha_disabled).
void pset(int32_t x, int32_t y, uint32_t colour);
// pset() only inside the write page's viewport.
void pset_and_clip(int32_t x, int32_t y, uint32_t colour);
// Reads one pixel of the read page without any check.
uint32_t point(int32_t x, int32_t y);

// What lineclip() leaves of a line: whether any of it is drawn and, when it is, its clipped end
// points and the number of pixels cut off at the start (which a style pattern skips).
struct LineClip {
  bool draw = false;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int32_t skip_pixels = 0;
};
// Clips the line (x1,y1)-(x2,y2) against the inclusive rectangle.
LineClip lineclip(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top,
                  int32_t right, int32_t bottom);

// Maps, clips and draws a line with a 16-bit style pattern (bit 15 first).
void zq32_line(float x1, float y1, float x2, float y2, uint32_t colour, uint32_t style);
// Draws a solid line between pixel coordinates, clipped to the viewport.
void fast_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Draws between pixel coordinates, clipped to the viewport, with a 16-bit style (0xFFFF solid): the
// line of zq32_line and fast_line after the mapping. Auto fills a solid horizontal line as a row,
// sets a solid vertical one as a column and counts the accumulator of other lines in fixed point
// where that gives the same pixels.
void pixel_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t style,
                DrawPath path);
// Maps, orders, clips and fills a box.
void zq32_boxfill(float x1, float y1, float x2, float y2, uint32_t colour);
// Fills an ordered pixel rectangle of the write page that already lies inside the page.
void fast_boxfill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Fills the pixels x1..x2 (any order) of row y of the write page, clipped to the viewport.
void fill_span(int32_t x1, int32_t x2, int32_t y, uint32_t colour);

// Raises error 5 for a graphics statement on a text page (refuse_text_page()).
void refuse_graphics_statement();
// Graphics statements have no pixels to draw on a text page: raises error 5 and returns true when
// im is one. Every graphics statement asks this before it changes anything.
inline bool refuse_text_page(const img_struct& im) {
  if (!im.text) [[likely]]
    return false;
  refuse_graphics_statement();
  return true;
}

// LINE: passed bit 1 first point given, 2 second point relative, 4 first point relative,
// 8 colour given, 16 style given. box 0 line, 1 outline, 2 filled.
// clang-format off
enum line_passed : int32_t {
  line_first_point = 1, line_second_relative = 2, line_first_relative = 4, line_colour = 8,
  line_style = 16,
};
// clang-format on
void sub_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box, uint32_t style,
              int32_t passed);
// PSET / PRESET: passed bit 1 relative to the cursor, 2 colour given.
enum pset_passed : int32_t { pset_relative = 1, pset_colour = 2 };
void sub_pset(float x, float y, uint32_t colour, int32_t passed);
void sub_preset(float x, float y, uint32_t colour, int32_t passed);
// PSET by the given path: without a window Auto rounds the single-precision coordinate instead of
// mapping it in extended precision (the same pixel).
void pset_statement(float x, float y, uint32_t colour, int32_t passed, DrawPath path);
// POINT(x, y) with passed non-zero: colour of the read page at (x, y), -1 outside its viewport.
// POINT(n) with passed 0: n 0/1 cursor in pixels, 2/3 cursor as stored.
double func_point(float x, float y, int32_t passed);
// WINDOW: passed bit 1 corners given, 2 screen orientation (y grows downward).
enum window_passed : int32_t { window_corners = 1, window_screen = 2 };
void zqg_sub_window(float x1, float y1, float x2, float y2, int32_t passed);
// VIEW: passed bit 1 corners given, 2 screen keyword (no view offset), 4 fill, 8 border.
enum view_passed : int32_t { view_corners = 1, view_screen = 2, view_fill = 4, view_border = 8 };
void zqg_sub_view(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border,
                  int32_t passed);
// PMAP: n 0/1 window -> pixel, 2/3 pixel -> window.
double func_pmap(float value, int32_t n);
