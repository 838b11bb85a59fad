// Screen modes and pages: the screen statement, the width statement, page copies and the start-up
// screen.
#include "runtime/screen/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image_internal.h"
#include "runtime/screen/palettes.h"
#include "runtime/screen/text.h"

uint32_t* page = nullptr;
uint32_t pages = 0;

int32_t sub_screen_width_in_characters = -1;
int32_t sub_screen_height_in_characters = -1;
int32_t sub_screen_font = -1;
int32_t width8050switch = 0;
int32_t width_lprint = 80;
int32_t key_display_redraw = 0;

std::atomic<int32_t> screen_last_valid{0};

namespace {

using namespace image_internal;

constexpr size_t text_window_offset = 0xB8000;
constexpr size_t text_window_bytes = 65536;
constexpr size_t mode13_offset = 0xA0000;
// Largest text geometry the width statement accepts: a screen page of 255 x 255 cells is 127 KiB,
// well beyond anything an adapter offered, while bigger values would only exhaust memory.
constexpr int32_t max_text_cells = 255;
// Highest screen page number: a page list of 64 Ki entries is 256 KiB.
constexpr uint32_t max_page_number = 65535;

// State of the screen statement that outlives one call.
struct ScreenState {
  int32_t last_active_page = 0;
  // Page 0 is an image the program supplied: the next mode change hands it back instead of freeing
  // it.
  bool keep_page0 = false;
};
ScreenState screen = {};

// Frees screen pages 1 and up; a current page among them becomes page 0. The pages go under one
// display lock, after page 0 has taken the place of any of them on display.
void free_pages_above_0() {
  if (std::none_of(page + std::min<uint32_t>(pages, 1), page + pages,
                   [](uint32_t index) { return index != 0; }))
    return;
  const DisplayLock lock;
  for (uint32_t n = 1; n < pages; ++n) {
    const uint32_t index = page[n];
    if (display_page_index == index) display_page_index = page[0];
    if (write_page_index == index) write_page_index = page[0];
    if (read_page_index == index) read_page_index = page[0];
  }
  refresh_page_pointers();
  for (uint32_t n = 1; n < pages; ++n) {
    if (page[n] != 0) release_image(page[n]);
    page[n] = 0;
  }
}

bool grow_page_list(uint32_t count) {
  if (count <= pages) return true;
  auto* grown = static_cast<uint32_t*>(std::realloc(page, count * sizeof(uint32_t)));
  if (!grown) return false;
  std::fill(grown + pages, grown + count, 0u);
  page = grown;
  pages = count;
  return true;
}

// Lends the screen's shared palette (page 0's) to another page, dropping its own.
void share_page0_palette(img_struct& im) {
  if (im.bytes_per_pixel == 4) return;
  const PageStructureChange fence(im);
  if (im.flags & IMG_FREEPALETTE) std::free(im.palette);
  im.flags &= ~IMG_FREEPALETTE;
  im.palette = img[page[0]].palette;
}

// Rows of the write page's text window after a page change: cursor kept when it lies inside.
void reset_text_window_of_write_page() {
  img_struct& im = *write_page;
  const int32_t rows = rows_of(im);
  im.top_row = 1;
  if (im.cursor_y > rows) im.cursor_y = 1;
  im.bottom_row = default_bottom_row(rows);
}

// Copies the graphics state (viewport .. drawing-macro scale) from one record to another.
void copy_graphics_state(img_struct& to, const img_struct& from) {
  to.view_x1 = from.view_x1;
  to.view_y1 = from.view_y1;
  to.view_x2 = from.view_x2;
  to.view_y2 = from.view_y2;
  to.view_offset_x = from.view_offset_x;
  to.view_offset_y = from.view_offset_y;
  to.x = from.x;
  to.y = from.y;
  to.clipping_or_scaling = from.clipping_or_scaling;
  to.scaling_x = from.scaling_x;
  to.scaling_y = from.scaling_y;
  to.scaling_offset_x = from.scaling_offset_x;
  to.scaling_offset_y = from.scaling_offset_y;
  to.window_x1 = from.window_x1;
  to.window_y1 = from.window_y1;
  to.window_x2 = from.window_x2;
  to.window_y2 = from.window_y2;
  to.draw_angle = from.draw_angle;
  to.draw_scale = from.draw_scale;
}

// Text dimensions (columns, rows) of an image as the width rules see them.
struct TextSize {
  int32_t columns = 0;
  int32_t rows = 0;
};

TextSize text_size_of(const img_struct& im) {
  if (im.text) return {im.width, im.height};
  return {im.width / font_cell_width(im.font), im.height / font_cell_height(im.font)};
}

struct TextGeometry {
  int32_t columns;
  int32_t rows;
  int32_t font;
};

// Chooses the text geometry of a new mode 0 screen from the pending width statement values and
// the dimensions of the screen being replaced.
TextGeometry choose_text_geometry(TextSize old) {
  TextGeometry g = {80, 25, 16};
  if (sub_screen_width_in_characters != -1 && sub_screen_height_in_characters != -1 &&
      sub_screen_font != -1) {
    g = {sub_screen_width_in_characters, sub_screen_height_in_characters, sub_screen_font};
  } else if (sub_screen_width_in_characters != -1) {
    g = {sub_screen_width_in_characters, 25, 16};
    if (old.rows == 43) g = {g.columns, 43, 14};
    if (old.rows == 50) g = {g.columns, 50, 8};
    if (g.columns == 40) ++g.font;
  } else if (sub_screen_height_in_characters != -1) {
    const int32_t rows = sub_screen_height_in_characters;
    g = {80, rows, rows == 43 ? 14 : rows == 50 ? 8 : 16};
    if (old.columns == 40) {
      g.columns = 40;
      ++g.font;
    }
  } else if (old.columns == 80 && old.rows == 50) {
    g = {80, 50, 8};
  } else if (old.columns == 40 && old.rows == 50) {
    g = {40, 50, 9};
  } else if (old.columns == 80 && old.rows == 43) {
    g = {80, 43, 8};
  } else if (old.columns == 40 && old.rows == 43) {
    g = {40, 43, 9};
  } else if (old.columns == 40 && old.rows == 25) {
    g = {40, 25, 17};
  }
  sub_screen_width_in_characters = -1;
  sub_screen_height_in_characters = -1;
  sub_screen_font = -1;
  return g;
}

// Builds the eight text pages of a mode 0 screen; those that fit lie in the 64 KiB text window
// of emulated memory. Returns page 0's index, or 0 when page 0 could not be made.
uint32_t build_text_screen(TextGeometry g) {
  size_t page_bytes = static_cast<size_t>(g.columns) * g.rows * 2;
  if (g.columns == 40 && g.rows == 25) {
    page_bytes = 2048;
    g.font = 17;
  } else if (g.columns == 80 && g.rows == 25) {
    page_bytes = 4096;
    g.font = 16;
  }
  const size_t in_window = std::min<size_t>(text_window_bytes / page_bytes, 8);
  if (!grow_page_list(8)) return 0;
  for (uint32_t n = 0; n < 8; ++n) {
    uint32_t index;
    if (n < in_window)
      index = imgframe(cmem + text_window_offset + n * page_bytes, g.columns, g.rows, 0);
    else
      index = imgnew(g.columns, g.rows, 0);
    if (index == 0) {
      // Page 0 is required; later pages are made again on demand.
      if (n == 0) return 0;
      continue;
    }
    img_struct& im = img[index];
    im.flags |= IMG_SCREEN;
    selectfont(g.font, &im);
    page[n] = index;
    if (n > 0) share_page0_palette(im);
  }
  fill_cells(cmem + text_window_offset, text_window_bytes / 2);
  return page[0];
}

// Builds page 0 of a new screen mode, or takes the program's image (index non-zero) as page 0.
// Returns its index, or 0 when it could not be made.
uint32_t build_page0(int32_t mode, uint32_t image, TextSize old) {
  uint32_t index = 0;
  if (image != 0) {
    // An image the program made becomes the screen; the next mode change hands it back.
    screen.keep_page0 = true;
    index = image;
    mode = -1;
  }
  switch (mode) {
    case 13:
      index = imgframe(cmem + mode13_offset, 320, 200, 13);
      if (index) std::memset(cmem + mode13_offset, 0, 64000);
      break;
    case 12:
    case 11:
      index = imgnew(640, 480, mode);
      if (index && old.columns == 80 && old.rows == 60) selectfont(8, &img[index]);
      break;
    case 10:
    case 9:
      index = imgnew(640, 350, mode);
      if (index && old.columns == 80 && old.rows == 43) selectfont(8, &img[index]);
      break;
    case 8:
    case 2:
      index = imgnew(640, 200, mode);
      break;
    case 7:
    case 1:
      index = imgnew(320, 200, mode);
      break;
    case 0:
      return build_text_screen(choose_text_geometry(old));
    default:  // an image handle, taken above
      break;
  }
  if (index) {
    grow_page_list(1);  // pages is at least 1 here
    page[0] = index;
  }
  return index;
}

// The mode change of the screen statement: replaces every page of the screen.
void change_mode(int32_t mode, uint32_t image) {
  screen_last_valid.store(0);
  TextSize old = {};
  if (pages > 0 && page[0] != 0) old = text_size_of(img[page[0]]);

  free_pages_above_0();
  if (pages > 0 && page[0] != 0) {
    if (screen.keep_page0)
      img[page[0]].flags &= ~IMG_SCREEN;
    else
      release_image(page[0]);
  }
  screen.keep_page0 = false;
  if (pages > 0) {
    pages = 1;
    page[0] = 0;
  }

  uint32_t index = build_page0(mode, image, old);
  if (index == 0) {
    // The pages of the requested mode could not be allocated. Fall back to the plain 80x25 text
    // screen, which lives in emulated memory, so that the page list never names a freed image.
    error(out_of_memory);
    sub_screen_width_in_characters = 80;
    sub_screen_height_in_characters = 25;
    sub_screen_font = 16;
    index = build_page0(0, 0, old);
    if (index == 0) error(image_table_full);  // not even 1 KiB for a palette: fatal
  }
  img[index].flags |= IMG_SCREEN;
  display_page_index = write_page_index = read_page_index = index;
  refresh_page_pointers();
  write_page->draw_angle = 0.0;
  write_page->draw_scale = 1.0;
  screen.last_active_page = 0;
  key_display_redraw = 1;
  key_update();
}

// The active page of the screen statement: write and read page, text window, graphics state.
void select_active_page(int32_t n) {
  const uint32_t index = page[n];
  write_page_index = read_page_index = index;
  refresh_page_pointers();
  defaultcolors();
  reset_text_window_of_write_page();
  if (n != screen.last_active_page && !write_page->text) {
    const uint32_t from =
        static_cast<uint32_t>(screen.last_active_page) < pages ? page[screen.last_active_page] : 0;
    if (from != 0 && from != index && img[from].valid) copy_graphics_state(*write_page, img[from]);
  }
  screen.last_active_page = n;
}

// Replaces a record's font after a width statement in a graphics mode: the screen's other pages
// go, the record reverts to its mode's defaults but keeps its colours (and in modes 9 to 12 the
// window corners).
void reset_to_font(int32_t font) {
  // One fence for the pages that go, the revert and the new font.
  const PageStructureChange fence(*write_page);
  if (write_page->flags & IMG_SCREEN) free_pages_above_0();
  img_struct& before = *write_page;
  const uint32_t color = before.color, background = before.background_color;
  const bool keeps_window = before.mode >= 9 && before.mode <= 12;
  const float wx1 = before.window_x1, wy1 = before.window_y1;
  const float wx2 = before.window_x2, wy2 = before.window_y2;
  imgrevert(write_page_index);
  if (keeps_window) {
    zqg_sub_window(wx1, wy1, wx2, wy2, window_corners | window_screen);
    write_page->clipping_or_scaling = 0;
  }
  write_page->color = color;
  write_page->background_color = background;
  selectfont(font, write_page);
}

// The width statement's switch of the screen to a new text geometry.
void change_to_text_mode(int32_t columns, int32_t rows, int32_t font) {
  sub_screen_width_in_characters = columns;
  sub_screen_height_in_characters = rows;
  sub_screen_font = font;
  zqg_screen(0, 0, 0, 0, 0, screen_mode_given);
}

int32_t text_font_for_rows(int32_t rows) { return rows >= 50 ? 8 : rows >= 43 ? 14 : 16; }
int32_t text_font_for_exact_rows(int32_t rows) { return rows == 43 ? 14 : rows == 50 ? 8 : 16; }

// Width statement on a text screen.
void width_of_text_page(int32_t width, int32_t height, bool has_width, bool has_height) {
  const img_struct& im = *write_page;
  if ((has_width && (width < 1 || width > max_text_cells)) ||
      (has_height && (height < 1 || height > max_text_cells))) {
    error(illegal_function_call);
    return;
  }
  const int32_t columns = has_width ? width : im.width;
  const int32_t rows = has_height ? height : im.height;
  int32_t font = text_font_for_rows(rows);
  if (columns <= 40) ++font;
  if (static_cast<uint32_t>(font) == im.font && columns == im.width && rows == im.height) return;
  change_to_text_mode(columns, rows, font);
}

// Width statement in a graphics mode whose geometry no font fits: switch to a text screen.
void width_leaving_graphics(int32_t width, int32_t height, bool has_width, bool has_height) {
  const bool width_ok = width == 40 || width == 80;
  const bool height_ok = height == 25 || height == 43 || height == 50;
  if ((has_width && !width_ok) || (has_height && !height_ok)) {
    error(illegal_function_call);
    return;
  }
  if (has_width && has_height) {
    int32_t font = text_font_for_exact_rows(height);
    if (width == 40) ++font;
    change_to_text_mode(width, height, font);
  } else if (has_width) {
    sub_screen_width_in_characters = width;
    zqg_screen(0, 0, 0, 0, 0, screen_mode_given);
  } else {
    sub_screen_height_in_characters = height;
    zqg_screen(0, 0, 0, 0, 0, screen_mode_given);
  }
}

// Width statement in modes 1 to 13: picks the font whose cells tile the page, if any.
void width_of_legacy_graphics(int32_t width, int32_t height, bool has_width, bool has_height) {
  const img_struct& im = *write_page;
  const int32_t mode = im.mode;
  const int64_t w = width, h = height;
  int32_t font = 0;  // 0: no font fits
  if (mode <= 8 || mode == 13) {
    const bool width_fits = !has_width || w * 8 == im.width;
    const bool height_fits = !has_height || h * 8 == im.height;
    if (width_fits && height_fits) font = 8;
  } else {
    const int32_t tall = mode <= 10 ? 14 : 16;
    if (has_width && w * 8 != im.width) {
      font = 0;
    } else if (!has_height) {
      font = font_cell_height(im.font) > 8 ? tall : 8;
    } else if (h * 8 == im.height) {
      font = 8;
    } else if (h * tall == im.height) {
      font = tall;
    } else if (tall == 14 && h == 43 && im.height == 350) {
      font = 8;
    }
  }
  if (font == 0) {
    width_leaving_graphics(width, height, has_width, has_height);
    return;
  }
  if (static_cast<uint32_t>(font) == im.font) return;
  reset_to_font(font);
}

// Width statement on a 32-bit or 256-colour image: resizes it to the given text grid.
void width_of_resizable(int32_t width, int32_t height, bool has_width, bool has_height) {
  const img_struct& im = *write_page;
  if ((has_width && width < 1) || (has_height && height < 1)) {
    error(illegal_function_call);
    return;
  }
  const int64_t new_width = has_width ? int64_t{width} * font_cell_width(im.font) : im.width;
  const int64_t new_height = has_height ? int64_t{height} * font_cell_height(im.font) : im.height;
  if (new_width > 65535 || new_height > 65535) {
    error(illegal_function_call);  // the record cannot hold the size
    return;
  }
  if (new_width == im.width && new_height == im.height) return;
  const size_t bytes = static_cast<size_t>(new_width) * new_height * im.bytes_per_pixel;
  auto* pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!pixels) {
    error(out_of_memory);
    return;
  }
  const PageStructureChange fence(*write_page);
  if (write_page->flags & IMG_SCREEN) free_pages_above_0();
  img_struct& target = *write_page;
  const uint32_t color = target.color, background = target.background_color, font = target.font;
  if (target.flags & IMG_FREEMEM) std::free(target.pixels);
  target.pixels = pixels;
  target.flags |= IMG_FREEMEM;
  target.width = static_cast<uint16_t>(new_width);
  target.height = static_cast<uint16_t>(new_height);
  imgrevert(write_page_index);
  write_page->color = color;
  write_page->background_color = background;
  selectfont(static_cast<int32_t>(font), write_page);
}

}  // namespace

void validatepage(int32_t n) {
  if (n < 0) return;
  const uint32_t wanted = static_cast<uint32_t>(n);
  // The page list is indexed by page number, so an absurd number would cost gigabytes of list
  // before any page exists; such pages count as pages whose memory cannot be obtained.
  if (wanted > max_page_number || (wanted >= pages && !grow_page_list(wanted + 1))) {
    error(out_of_memory);
    return;
  }
  if (page[wanted] != 0) return;
  const img_struct& first = img[page[0]];
  const uint32_t index = imgnew(first.width, first.height, first.mode);
  if (index == 0) {
    // The page stays absent; whoever asked for it sees the error and changes nothing.
    error(out_of_memory);
    return;
  }
  // Set up before it becomes a screen page: nothing can show it yet, so nothing needs a fence.
  img_struct& im = img[index];
  share_page0_palette(im);
  selectfont(static_cast<int32_t>(img[page[0]].font), &im);
  im.flags |= IMG_SCREEN;
  page[wanted] = index;
}

// ---- Start-up ----

void screen_init() {
  // Re-initialisation (test fixtures) first releases the previous table.
  if (!img.empty()) std::free(page);
  if (!reset_image_table()) {
    error(image_table_full);
    return;
  }
  page = nullptr;
  pages = 0;
  display_page_index = write_page_index = read_page_index = 0;
  refresh_page_pointers();
  sub_screen_width_in_characters = -1;
  sub_screen_height_in_characters = -1;
  sub_screen_font = -1;
  width_lprint = 80;
  screen = {};
  build_default_palettes();
  zqg_screen(0, 0, 0, 0, 0, screen_mode_given);
  width8050switch = 1;
}

// ---- Screen statements ----

void zqg_screen(int32_t mode, int32_t colorswitch, int32_t active_page, int32_t visual_page,
                int32_t refresh, int32_t passed) {
  (void)colorswitch;
  (void)refresh;
  if (error_pending()) return;
  if (width8050switch && !(passed == screen_mode_given && mode == 0)) width8050switch = 0;

  const bool page0_exists = pages > 0 && page[0] != 0;
  bool mode_change = false;
  uint32_t image = 0;
  if (passed & screen_mode_given) {
    if (mode < 0) {
      image = handle_index(mode);
      if (image == 0) {
        error(invalid_handle);
        return;
      }
      // A page of the current screen cannot become the whole screen: the change frees it.
      if ((img[image].flags & IMG_SCREEN) && !(page0_exists && page[0] == image)) {
        error(illegal_function_call);
        return;
      }
      mode_change = !page0_exists || page[0] != image;
    } else if ((mode >= 3 && mode <= 6) || mode > 13) {
      error(illegal_function_call);
      return;
    } else {
      mode_change = !page0_exists || img[page[0]].mode != mode ||
                    sub_screen_width_in_characters != -1 || sub_screen_height_in_characters != -1 ||
                    sub_screen_font != -1;
    }
  }
  bool page_change = false;
  if (passed & screen_active_page) {
    if (active_page < 0) {
      error(illegal_function_call);
      return;
    }
    if (!(passed & screen_visual_page)) {
      visual_page = active_page;
      passed |= screen_visual_page;
    }
    if (!mode_change) {
      validatepage(active_page);
      if (error_pending()) return;
      if (page[active_page] != write_page_index || page[active_page] != read_page_index)
        page_change = true;
    }
  }
  if (passed & screen_visual_page) {
    if (visual_page < 0) {
      error(illegal_function_call);
      return;
    }
    if (!mode_change) {
      validatepage(visual_page);
      if (error_pending()) return;
      if (page[visual_page] != display_page_index) page_change = true;
    }
  }
  if (!mode_change && !page_change) return;

  std::optional<DisplayLock> lock;
  if (mode_change) {
    lock.emplace();
    change_mode(mode, image);
  }

  if ((passed & screen_active_page) && !error_pending()) {
    validatepage(active_page);
    if (!error_pending() &&
        (page[active_page] != write_page_index || page[active_page] != read_page_index))
      select_active_page(active_page);
  }
  if ((passed & screen_visual_page) && !error_pending()) {
    validatepage(visual_page);
    if (!error_pending() && page[visual_page] != display_page_index) {
      display_page_index = page[visual_page];
      refresh_page_pointers();
      defaultcolors();
      reset_text_window_of_write_page();
    }
  }
}

void zqsub_width(int32_t option, int32_t width, int32_t height, int32_t extra1, int32_t extra2,
                 int32_t passed) {
  (void)extra1;
  (void)extra2;
  if (error_pending()) return;
  const bool has_width = passed & width_columns, has_height = passed & width_rows;
  if (option == 2) {
    if (has_width && !has_height && width >= 1 && width <= 255)
      width_lprint = width;
    else
      error(illegal_function_call);
    return;
  }
  if (option != 0) {
    error(illegal_function_call);
    return;
  }
  width8050switch = 0;
  if (!has_width && !has_height) {
    error(illegal_function_call);
    return;
  }
  switch (write_page->mode) {
    case 0:
      width_of_text_page(width, height, has_width, has_height);
      break;
    case 32:
    case 256:
      width_of_resizable(width, height, has_width, has_height);
      break;
    default:
      width_of_legacy_graphics(width, height, has_width, has_height);
      break;
  }
}

void sub_pcopy(int32_t source, int32_t destination) {
  if (error_pending()) return;
  // Handles here are checked with error 5, not 258.
  auto resolve = [](int32_t h) -> uint32_t {
    if (h < 0) {
      const uint32_t index = handle_index(h);
      if (index == 0) error(illegal_function_call);
      return index;
    }
    validatepage(h);
    return error_pending() ? 0 : page[h];
  };
  const uint32_t from = resolve(source);
  if (from == 0) return;
  const uint32_t to = resolve(destination);
  if (to == 0 || from == to) return;
  const img_struct& s = img[from];
  const img_struct& d = img[to];
  if (s.bytes_per_pixel != d.bytes_per_pixel || s.width != d.width || s.height != d.height ||
      (s.bytes_per_pixel == 1 && d.pixel_mask < s.pixel_mask)) {
    error(illegal_function_call);
    return;
  }
  std::memmove(d.pixels, s.pixels, pixel_bytes(s));
}
