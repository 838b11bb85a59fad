// present_check: compares a present_demo window with the picture it should show.
//
//   present_check graphics WINDOW_ID windowed|stretched|square|tile
//       The graphics scene under the given presentation: the window must have the right size
//       (the frame size when windowed, the whole screen otherwise; a tile is a window of any size
//       the window manager gave, shown with square pixels), every window pixel inside
//       the scaled picture must show the page pixel that the scaling maps onto it, and every
//       pixel outside it must be black.
//   present_check text WINDOW_ID
//       The text scene in a window of its own size: the printed line matches the font glyphs,
//       and the cursor cell blinks (captured for 1.5 s: its cursor rows are seen lit and unlit).
//
// WINDOW_ID as printed by x11_find_window. The window's picture is read from the screen (the
// part of it that lies on the screen; a full-screen window can stick out by its border). Exits
// 0 when the picture is right, 1 when it is not (with the first differences on standard error),
// 2 on bad usage or when the display cannot be opened.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/host/frame_prepare.h"
#include "runtime/host/window_geometry.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "runtime/screen/palettes.h"
#include "tools/present_demo/demo_pattern.h"

namespace {

struct Capture {
  int x = 0, y = 0, width = 0, height = 0;  // window position on the screen and its size
  std::vector<uint32_t> rgb;                // width * height, 0xFFFFFFFF where off-screen
  uint32_t at(int px, int py) const { return rgb[static_cast<size_t>(py) * width + px]; }
};

bool capture(Display* display, Window window, Capture* out) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  Window child = 0;
  int x = 0, y = 0;
  XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
  XWindowAttributes root;
  XGetWindowAttributes(display, attributes.root, &root);
  out->x = x;
  out->y = y;
  out->width = attributes.width;
  out->height = attributes.height;
  out->rgb.assign(static_cast<size_t>(out->width) * out->height, 0xFFFFFFFFu);
  int left = std::max(x, 0), top = std::max(y, 0);
  int right = std::min(x + attributes.width, root.width);
  int bottom = std::min(y + attributes.height, root.height);
  if (right <= left || bottom <= top) return false;
  XImage* picture =
      XGetImage(display, attributes.root, left, top, static_cast<unsigned>(right - left),
                static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
  if (!picture) return false;
  for (int row = 0; row < bottom - top; ++row)
    for (int column = 0; column < right - left; ++column)
      out->rgb[static_cast<size_t>(row + top - y) * out->width + (column + left - x)] =
          static_cast<uint32_t>(XGetPixel(picture, column, row)) & 0xFFFFFFu;
  XDestroyImage(picture);
  return true;
}

// Frame pixel index sampled at window pixel p along one axis, for a picture drawn from window
// coordinate `start` over `size` pixels with texture coordinates 0.01 .. frame - 0.01 texels.
// Returns -1 where the sample falls so close to a texel edge that either neighbour is right.
int sampled_texel(int p, int start, int size, int frame) {
  double t = (p + 0.5 - start) / size;
  double texel = 0.01 + t * (frame - 0.02);
  double fraction = texel - std::floor(texel);
  if (fraction < 0.02 || fraction > 0.98) return -1;
  return static_cast<int>(std::floor(texel));
}

int check_graphics(Display* display, Window window, const std::string& presentation) {
  const bool tile = presentation == "tile";
  int mode = presentation == "stretched" ? 1 : presentation == "square" || tile ? 2 : 0;
  Capture c;
  if (!capture(display, window, &c)) {
    std::fprintf(stderr, "cannot read the window\n");
    return 1;
  }
  int screen_w = DisplayWidth(display, DefaultScreen(display));
  int screen_h = DisplayHeight(display, DefaultScreen(display));
  int want_w = mode ? screen_w : demo_width, want_h = mode ? screen_h : demo_height;
  if (tile) {
    want_w = c.width;
    want_h = c.height;
  }
  if (c.width != want_w || c.height != want_h) {
    std::fprintf(stderr, "window is %dx%d, expected %dx%d\n", c.width, c.height, want_w, want_h);
    return 1;
  }
  WindowGeometry e = compute_environment_2d(c.width, c.height, demo_width, demo_height, mode, 0, 0);
  int errors = 0, checked = 0;
  for (int py = 0; py < c.height; ++py) {
    for (int px = 0; px < c.width; ++px) {
      uint32_t got = c.at(px, py);
      if (got == 0xFFFFFFFFu) continue;  // off the screen
      uint32_t want;
      if (px < e.x1 || px > e.x2 || py < e.y1 || py > e.y2) {
        want = 0;
      } else {
        int tx = sampled_texel(px, e.x1, e.scaled_width, demo_width);
        int ty = sampled_texel(py, e.y1, e.scaled_height, demo_height);
        if (tx < 0 || ty < 0) continue;
        want = palette_256[demo_colour(tx, ty)] & 0xFFFFFFu;
      }
      ++checked;
      if (got != want && ++errors <= 10)
        std::fprintf(stderr, "pixel %d,%d is %06X, expected %06X\n", px, py, got, want);
    }
  }
  std::printf("%s: window %dx%d at %d,%d, picture %d..%d x %d..%d, %d pixels checked, %d wrong\n",
              presentation.c_str(), c.width, c.height, c.x, c.y, e.x1, e.x2, e.y1, e.y2, checked,
              errors);
  return errors == 0 && checked > 0 ? 0 : 1;
}

int check_text(Display* display, Window window) {
  Capture c;
  if (!capture(display, window, &c)) {
    std::fprintf(stderr, "cannot read the window\n");
    return 1;
  }
  if (c.width != 640 || c.height != 400) {
    std::fprintf(stderr, "window is %dx%d, expected 640x400\n", c.width, c.height);
    return 1;
  }
  int errors = 0;
  const uint32_t yellow = palette_256[14] & 0xFFFFFFu, blue = palette_256[1] & 0xFFFFFFu;
  for (size_t i = 0; i < std::strlen(demo_text); ++i) {
    int cell_x = (demo_text_column - 1 + static_cast<int>(i)) * 8;
    int cell_y = (demo_text_row - 1) * 16;
    const uint8_t* glyph = charset8x16 + static_cast<uint8_t>(demo_text[i]) * 128;
    for (int row = 0; row < 16; ++row)
      for (int column = 0; column < 8; ++column) {
        uint32_t want = glyph[row * 8 + column] ? yellow : blue;
        uint32_t got = c.at(cell_x + column, cell_y + row);
        if (got != want && ++errors <= 10)
          std::fprintf(stderr, "text pixel %d,%d is %06X, expected %06X\n", cell_x + column,
                       cell_y + row, got, want);
      }
  }

  CursorRows rows = cursor_rows(demo_cursor_first_line, demo_cursor_last_line, 16);
  const uint32_t grey = palette_256[7] & 0xFFFFFFu;
  int lit = 0, unlit = 0, other = 0;
  for (int sample = 0; sample < 30; ++sample) {
    if (!capture(display, window, &c)) return 1;
    int cell_x = (demo_cursor_column - 1) * 8, cell_y = (demo_cursor_row - 1) * 16;
    int grey_pixels = 0, black_pixels = 0, total = 0;
    for (int row = 0; row < 16; ++row)
      for (int column = 0; column < 8; ++column) {
        uint32_t got = c.at(cell_x + column, cell_y + row);
        bool cursor_row = row >= rows.first && row < rows.first + rows.count;
        if (!cursor_row) {
          if (got != 0) ++errors;
          continue;
        }
        ++total;
        grey_pixels += got == grey;
        black_pixels += got == 0;
      }
    if (grey_pixels == total)
      ++lit;
    else if (black_pixels == total)
      ++unlit;
    else
      ++other;
    timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  std::printf(
      "text: %d glyph or cell errors; cursor rows %d..%d lit in %d, off in %d, torn in %d "
      "of 30 samples\n",
      errors, rows.first, rows.first + rows.count - 1, lit, unlit, other);
  return errors == 0 && lit > 0 && unlit > 0 && other <= 2 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s graphics WINDOW_ID windowed|stretched|square|tile\n"
                 "       %s text WINDOW_ID\n",
                 argv[0], argv[0]);
    return 2;
  }
  std::string what = argv[1];
  Window window = std::strtoul(argv[2], nullptr, 0);
  Display* display = XOpenDisplay(nullptr);
  if (!display || !window) {
    std::fprintf(stderr, "%s: cannot open display or bad window id\n", argv[0]);
    return 2;
  }
  build_default_palettes();
  fonts_init();
  int status = 2;
  if (what == "graphics" && argc == 4)
    status = check_graphics(display, window, argv[3]);
  else if (what == "text")
    status = check_text(display, window);
  else
    std::fprintf(stderr, "%s: unknown check %s\n", argv[0], what.c_str());
  XCloseDisplay(display);
  return status;
}
