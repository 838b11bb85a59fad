// The window's class, icon and icon name.
#include "runtime/host/window/window_identity.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <memory>
#include <new>

const char window_instance_name[] = "vostrandelimerix";
const char window_class_name[] = "Vostrandelimerix";

namespace {

// The window whose icon name follows the title (window thread only; set once it exists).
struct {
  Display* display = nullptr;
  Window window = None;
} identified;

void set_class(Display* display, Window window) {
  XClassHint hint;
  hint.res_name = const_cast<char*>(window_instance_name);
  hint.res_class = const_cast<char*>(window_class_name);
  XSetClassHint(display, window, &hint);
}

// _NET_WM_ICON holds every size in a row: width, height, then the pixels, each a 32-bit item.
// Xlib takes the items of a 32-bit property as longs, so the list is built in a buffer of its own
// that lives only until Xlib has taken it.
void set_icon(Display* display, Window window) {
  size_t items = 0;
  for (const WindowIconImage& image : window_icon_images)
    items += 2 + static_cast<size_t>(image.size) * static_cast<size_t>(image.size);
  std::unique_ptr<long[]> list(new (std::nothrow) long[items]);
  if (!list) return;  // no memory to spare: the window goes without an icon
  long* item = list.get();
  for (const WindowIconImage& image : window_icon_images) {
    *item++ = image.size;
    *item++ = image.size;
    const size_t pixels = static_cast<size_t>(image.size) * static_cast<size_t>(image.size);
    for (size_t i = 0; i < pixels; ++i) *item++ = static_cast<long>(image.pixels[i]);
  }
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(list.get()),
                  static_cast<int>(items));
}

// The title's bytes are Latin-1, as in the window's name (WM_NAME, a STRING property); the
// desktop's _NET_WM_ICON_NAME is UTF-8.
std::string utf8_of_latin1(const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

// WM_ICON_NAME is written the way the toolkit writes the title into WM_NAME, so the two match.
void set_icon_names(Display* display, Window window, const std::string& name) {
  char* names[] = {const_cast<char*>(name.c_str())};
  XTextProperty property;
  if (XStringListToTextProperty(names, 1, &property)) {
    XSetWMIconName(display, window, &property);
    XFree(property.value);
  }
  const std::string utf8 = utf8_of_latin1(name);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
}

}  // namespace

void set_window_identity(Display* display, Window window) {
  identified.display = display;
  identified.window = window;
  set_class(display, window);
  set_icon(display, window);
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name) {
    set_icon_names(display, window, name);
    XFree(name);
  }
}

void set_window_icon_name(const std::string& title) {
  if (identified.display) set_icon_names(identified.display, identified.window, title);
}
