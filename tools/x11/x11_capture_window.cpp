// x11_capture_window: prints a window's geometry and optionally saves its picture.
//
//   x11_capture_window WINDOW_ID [OUTPUT.ppm | OUTPUT.png]
//
// Prints "X Y WIDTH HEIGHT" (the window's position relative to the root window and its size) on
// standard output. With an output file, also reads the window's pixels with XGetImage and writes
// them as a binary PPM (P6) or, when built with libpng, as an 8-bit RGB PNG, chosen by the file
// extension. The image always has the window's size; parts of the window outside the screen are
// black. Compare decoded pixels, never file bytes. Exits 0 on success, 1 when the window
// cannot be read or the file not written, 2 on bad usage or when the display cannot be opened.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef VOST_HAVE_PNG
#include <png.h>
#endif

namespace {

bool ends_with(const std::string& text, const char* suffix) {
  size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool write_ppm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  bool ok = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
  return std::fclose(out) == 0 && ok;
}

#ifdef VOST_HAVE_PNG
bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr) != 0;
}
#endif

// Spreads a pixel channel given by its mask to 8 bits.
uint8_t channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  unsigned long value = (pixel & mask) >> shift;
  unsigned long max = mask >> shift;
  return static_cast<uint8_t>(value * 255 / max);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s WINDOW_ID [OUTPUT.ppm|OUTPUT.png]\n", argv[0]);
    return 2;
  }
  Window window = std::strtoul(argv[1], nullptr, 0);
  Display* display = XOpenDisplay(nullptr);
  if (!display || !window) {
    std::fprintf(stderr, "%s: cannot open display or bad window id\n", argv[0]);
    return 2;
  }
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
  std::printf("%d %d %d %d\n", x, y, attributes.width, attributes.height);
  if (argc == 2) return 0;
  // An unmapped window has no pixels to read (XGetImage would end the tool with BadMatch).
  if (attributes.map_state != IsViewable) {
    std::fprintf(stderr, "%s: the window is not mapped\n", argv[0]);
    return 1;
  }

  // Only the part of the window that lies on the screen can be read (without a window manager
  // the window often starts at (1, 1) and hangs over the edge); the rest stays black.
  XWindowAttributes root;
  XGetWindowAttributes(display, attributes.root, &root);
  const int width = attributes.width, height = attributes.height;
  const int left = std::max(0, -x), top = std::max(0, -y);
  const int right = std::min(width, root.width - x), bottom = std::min(height, root.height - y);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3, 0);
  if (right > left && bottom > top) {
    XImage* picture = XGetImage(display, window, left, top, static_cast<unsigned>(right - left),
                                static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
    if (!picture) {
      std::fprintf(stderr, "%s: XGetImage failed\n", argv[0]);
      return 1;
    }
    for (int row = 0; row < picture->height; ++row) {
      for (int column = 0; column < picture->width; ++column) {
        unsigned long pixel = XGetPixel(picture, column, row);
        size_t at = (static_cast<size_t>(top + row) * width + left + column) * 3;
        rgb[at] = channel(pixel, picture->red_mask);
        rgb[at + 1] = channel(pixel, picture->green_mask);
        rgb[at + 2] = channel(pixel, picture->blue_mask);
      }
    }
    XDestroyImage(picture);
  }
  XCloseDisplay(display);

  std::string path = argv[2];
  bool written = false;
  if (ends_with(path, ".png")) {
#ifdef VOST_HAVE_PNG
    written = write_png(path, width, height, rgb);
#else
    std::fprintf(stderr, "%s: built without PNG support; write .ppm instead\n", argv[0]);
#endif
  } else {
    written = write_ppm(path, width, height, rgb);
  }
  if (!written) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
    return 1;
  }
  return 0;
}
