// The font of a page: the _FONT statement and the font queries.
#include "runtime/screen/font_select.h"

#include "runtime/core/error.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"

namespace {

// Loadable fonts occupy slots 32..48 once loaded; this runtime has no font loader, so these
// slots stay empty unless something fills their metrics.
bool is_loaded_font(int32_t font) {
  return font >= 32 && font_height(static_cast<uint32_t>(font)) != 0;
}

// The image an image-or-page argument names (passed bit 1), else the write page; null after a
// bad handle.
img_struct* font_target(int32_t handle, int32_t passed) {
  if (!(passed & font_handle_given)) return write_page;
  const uint32_t index = resolve_image(handle);
  if (error_pending() || index == 0) return nullptr;
  return &img[index];
}

}  // namespace

void sub__font(int32_t font, int32_t handle, int32_t passed) {
  if (error_pending()) return;
  img_struct* im = font_target(handle, passed);
  if (!im) return;
  if (!font_is_builtin(font) && !is_loaded_font(font)) {
    error(invalid_handle);
    return;
  }
  if (im->text && !(fontflags[font] & font_flag_builtin)) {
    error(illegal_function_call);
    return;
  }
  if (im->text && (im->flags & IMG_SCREEN)) {
    // Every page of a text screen shows the same font; the cells, cursor and window stay.
    const DisplayLock lock;
    screen_last_valid.store(0);
    for_each_screen_page([font](img_struct& p) { p.font = static_cast<uint32_t>(font); });
    return;
  }
  selectfont(font, im);
}

int32_t func__font(int32_t handle, int32_t passed) {
  if (error_pending()) return 0;
  const img_struct* im = font_target(handle, passed);
  return im ? static_cast<int32_t>(im->font) : 0;
}

namespace {

// The font a width or height query is about: the given one (8, 14, 16 or a loaded font), else
// the write page's. -1 after an error.
int32_t queried_font(int32_t font, int32_t passed) {
  if (!(passed & fontsize_font_given)) return static_cast<int32_t>(write_page->font);
  if (font == 8 || font == 14 || font == 16 || is_loaded_font(font)) return font;
  error(invalid_handle);
  return -1;
}

}  // namespace

int32_t func__fontwidth(int32_t font, int32_t passed) {
  if (error_pending()) return 0;
  font = queried_font(font, passed);
  return font < 0 ? 0 : font_width(static_cast<uint32_t>(font));
}

int32_t func__fontheight(int32_t font, int32_t passed) {
  if (error_pending()) return 0;
  font = queried_font(font, passed);
  return font < 0 ? 0 : font_height(static_cast<uint32_t>(font));
}
