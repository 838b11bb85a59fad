// The image table, screen modes and pages, the width statement and the image handle statements.
#include "runtime/screen/image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/process_flags.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/palettes.h"
#include "runtime/screen/text.h"

img_struct* img = nullptr;
uint32_t nimg = 0;
uint32_t nextimg = 0;
uint32_t* fimg = nullptr;
uint32_t nfimg = 0;
int32_t lastfimg = -1;

uint32_t* page = nullptr;
uint32_t pages = 0;
img_struct* display_page = nullptr;
img_struct* write_page = nullptr;
img_struct* read_page = nullptr;
uint32_t display_page_index = 0;
uint32_t write_page_index = 0;
uint32_t read_page_index = 0;

int32_t sub_screen_width_in_characters = -1;
int32_t sub_screen_height_in_characters = -1;
int32_t sub_screen_font = -1;
int32_t sub_screen_keep_page0 = 0;
int32_t width8050switch = 0;
int32_t width_lprint = 80;
int32_t key_display_redraw = 0;

uint8_t* cblend = nullptr;
uint8_t* ablend = nullptr;
uint8_t* ablend127 = nullptr;
uint8_t* ablend128 = nullptr;

std::atomic<int32_t> lock_display{0};
std::atomic<int32_t> lock_display_required{0};
std::atomic<int32_t> screen_last_valid{0};

namespace {

// Error numbers raised here.
constexpr int32_t illegal_function_call = 5;
constexpr int32_t out_of_memory = 7;
constexpr int32_t invalid_handle = 258;
constexpr int32_t image_table_full = 502;
constexpr int32_t free_list_full = 503;

constexpr uint32_t table_step = 4096;
constexpr size_t text_window_offset = 0xB8000;
constexpr size_t text_window_bytes = 65536;
constexpr size_t mode13_offset = 0xA0000;
constexpr uint16_t blank_cell = 0x0720;  // character 32, attribute 7
// Largest text geometry the width statement accepts: a screen page of 255 x 255 cells is 127 KiB,
// well beyond anything an adapter offered, while bigger values would only exhaust memory.
constexpr int32_t max_text_cells = 255;
// Highest screen page number: a page list of 64 Ki entries is 256 KiB.
constexpr uint32_t max_page_number = 65535;

// One row of the mode table: the fixed properties of an emulated screen mode.
struct ModeInfo {
  int32_t mode;
  uint8_t bits_per_pixel;
  uint8_t bytes_per_pixel;
  uint8_t font;
  uint32_t color;
  uint32_t background_color;
};

constexpr ModeInfo mode_table[] = {
    {0, 16, 2, 16, 7, 0},    {1, 2, 1, 8, 3, 0},     {2, 1, 1, 8, 1, 0},
    {7, 4, 1, 8, 15, 0},     {8, 4, 1, 8, 15, 0},    {9, 4, 1, 14, 15, 0},
    {10, 2, 1, 14, 3, 0},    {11, 1, 1, 16, 1, 0},   {12, 4, 1, 16, 15, 0},
    {13, 8, 1, 8, 15, 0},    {256, 8, 1, 16, 15, 0}, {32, 32, 4, 16, 0xFFFFFFFFu, 0xFF000000u},
};

const ModeInfo* find_mode(int32_t mode) {
  for (const ModeInfo& m : mode_table)
    if (m.mode == mode) return &m;
  return nullptr;
}

// State of the screen statement that outlives one call.
struct ScreenState {
  int32_t last_active_page = 0;
};
ScreenState screen = {};

// Blend tables live in static storage: they cost nothing until init_blend touches them, and
// building them can never fail.
uint8_t colour_blend_table[256 * 256 * 256];
uint8_t alpha_blend_table[256 * 256];
bool blend_ready = false;

void refresh_page_pointers() {
  display_page = &img[display_page_index];
  write_page = &img[write_page_index];
  read_page = &img[read_page_index];
}

int32_t font_width_of(uint32_t font) {
  const int32_t w = font < static_cast<uint32_t>(font_slots) ? fontwidth[font] : 0;
  return w > 0 ? w : 1;
}

int32_t font_height_of(uint32_t font) {
  const int32_t h = font < static_cast<uint32_t>(font_slots) ? fontheight[font] : 0;
  return h > 0 ? h : 1;
}

// Text rows of an image: its height on text pages, pixel rows per font row otherwise.
int32_t rows_of(const img_struct& im) {
  return im.text ? im.height : im.height / font_height_of(im.font);
}

void set_text_window(img_struct& im) {
  im.cursor_x = 1;
  im.cursor_y = 1;
  im.top_row = 1;
  im.bottom_row = static_cast<uint16_t>(std::max(rows_of(im) - 1, 1));
}

void fill_cells(uint8_t* pixels, size_t cells) {
  for (size_t i = 0; i < cells; ++i) {
    pixels[i * 2] = blank_cell & 0xFF;
    pixels[i * 2 + 1] = blank_cell >> 8;
  }
}

size_t pixel_bytes(const img_struct& im) {
  return static_cast<size_t>(im.width) * im.height * im.bytes_per_pixel;
}

// Fields 1 to 3, 5 and 6 of record set-up: everything but the palette, for the record's mode,
// width and height.
void apply_mode_defaults(img_struct& im, const ModeInfo& m) {
  im.bytes_per_pixel = m.bytes_per_pixel;
  im.bits_per_pixel = m.bits_per_pixel;
  im.font = m.font;
  im.color = m.color;
  im.background_color = m.background_color;
  im.print_mode = 3;
  im.draw_angle = 0.0;
  im.draw_scale = 1.0;
  if (m.mode == 0) {
    im.text = 1;
    im.cursor_show = 0;
    im.cursor_firstvalue = 4;
    im.cursor_lastvalue = 4;
  }
  im.draw_color = im.color;
  im.pixel_mask = m.bits_per_pixel <= 31 ? (1u << m.bits_per_pixel) - 1 : 0xFFFFFFFFu;
  set_text_window(im);
  if (m.mode != 0) {
    im.x = static_cast<float>(im.width / 2);
    im.y = static_cast<float>(im.height / 2);
    im.view_x1 = 0;
    im.view_y1 = 0;
    im.view_x2 = im.width - 1;
    im.view_y2 = im.height - 1;
    im.view_offset_x = 0;
    im.view_offset_y = 0;
    im.scaling_x = 1.0f;
    im.scaling_y = 1.0f;
    im.scaling_offset_x = 0.0f;
    im.scaling_offset_y = 0.0f;
    im.window_x1 = 0.0f;
    im.window_y1 = 0.0f;
    im.window_x2 = static_cast<float>(im.width - 1);
    im.window_y2 = static_cast<float>(im.height - 1);
    im.clipping_or_scaling = 0;
  }
}

// Frees what the record owns (pixels, palette) and then its slot.
void release_image(uint32_t index) {
  img_struct& im = img[index];
  if (im.flags & IMG_FREEMEM) std::free(im.pixels);
  if (im.flags & IMG_FREEPALETTE) std::free(im.palette);
  im.pixels = nullptr;
  im.palette = nullptr;
  freeimg(index);
}

// Frees screen pages 1 and up; a current page among them becomes page 0.
void free_pages_above_0() {
  for (uint32_t n = 1; n < pages; ++n) {
    const uint32_t index = page[n];
    if (index == 0) continue;
    if (display_page_index == index) display_page_index = page[0];
    if (write_page_index == index) write_page_index = page[0];
    if (read_page_index == index) read_page_index = page[0];
    release_image(index);
    page[n] = 0;
  }
  refresh_page_pointers();
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
  if (im.flags & IMG_FREEPALETTE) std::free(im.palette);
  im.flags &= ~IMG_FREEPALETTE;
  im.palette = img[page[0]].palette;
}

// The display lock handshake: while a change frees or reallocates the visible screen, frame
// preparation must stand still. Taken only when the presentation side runs.
bool take_display_lock() {
  if (!(autodisplay.load() && lock_display_required.load())) return false;
  int32_t expected = 0;
  lock_display.compare_exchange_strong(expected, 1);
  while (lock_display.load() != 2) {
    const timespec zero = {0, 0};
    nanosleep(&zero, nullptr);
  }
  return true;
}

void release_display_lock(bool taken) {
  if (taken) lock_display.store(0);
}

// Rows of the write page's text window after a page change: cursor kept when it lies inside.
void reset_text_window_of_write_page() {
  img_struct& im = *write_page;
  const int32_t rows = rows_of(im);
  im.top_row = 1;
  if (im.cursor_y > rows) im.cursor_y = 1;
  im.bottom_row = static_cast<uint16_t>(std::max(rows - 1, 1));
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
  return {im.width / font_width_of(im.font), im.height / font_height_of(im.font)};
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
    sub_screen_keep_page0 = 1;
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
    if (sub_screen_keep_page0)
      img[page[0]].flags &= ~IMG_SCREEN;
    else
      release_image(page[0]);
  }
  sub_screen_keep_page0 = 0;
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
    const uint32_t from = static_cast<uint32_t>(screen.last_active_page) < pages
                              ? page[screen.last_active_page]
                              : 0;
    if (from != 0 && from != index && img[from].valid) copy_graphics_state(*write_page, img[from]);
  }
  screen.last_active_page = n;
}

// Resolves an image handle (negative) to a valid index, or 0.
uint32_t handle_index(int32_t handle) {
  const int64_t index = -static_cast<int64_t>(handle);
  if (index < 1 || index >= nextimg || !img[index].valid) return 0;
  return static_cast<uint32_t>(index);
}

// Frees a free-standing image; a current write or read page moves to the display page.
void free_standalone_image(uint32_t index) {
  if (write_page_index == index) write_page_index = display_page_index;
  if (read_page_index == index) read_page_index = display_page_index;
  release_image(index);
  refresh_page_pointers();
}

// Resolves the optional handle argument of the queries: the write page when not given.
const img_struct* query_target(int32_t handle, int32_t passed) {
  if (!(passed & 1)) return write_page;
  const uint32_t index = resolve_image(handle);
  return index ? &img[index] : nullptr;
}

// Replaces a record's font after a width statement in a graphics mode: the screen's other pages
// go, the record reverts to its mode's defaults but keeps its colours (and in modes 9 to 12 the
// window corners).
void reset_to_font(int32_t font) {
  if (write_page->flags & IMG_SCREEN) free_pages_above_0();
  img_struct& before = *write_page;
  const uint32_t color = before.color, background = before.background_color;
  const bool keeps_window = before.mode >= 9 && before.mode <= 12;
  const float wx1 = before.window_x1, wy1 = before.window_y1;
  const float wx2 = before.window_x2, wy2 = before.window_y2;
  imgrevert(write_page_index);
  if (keeps_window) {
    zqg_sub_window(wx1, wy1, wx2, wy2, 1 | 2);
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
  zqg_screen(0, 0, 0, 0, 0, 1);
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
    zqg_screen(0, 0, 0, 0, 0, 1);
  } else {
    sub_screen_height_in_characters = height;
    zqg_screen(0, 0, 0, 0, 0, 1);
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
      font = font_height_of(im.font) > 8 ? tall : 8;
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
  const int64_t new_width = has_width ? int64_t{width} * font_width_of(im.font) : im.width;
  const int64_t new_height = has_height ? int64_t{height} * font_height_of(im.font) : im.height;
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
  bool locked = false;
  if (write_page->flags & IMG_SCREEN) {
    locked = take_display_lock();
    free_pages_above_0();
  }
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
  release_display_lock(locked);
}

}  // namespace

// ---- Slots and records ----

uint32_t newimg() {
  uint32_t index;
  if (lastfimg >= 0) {
    index = fimg[lastfimg--];
  } else {
    if (nextimg >= nimg) {
      const size_t grown_count = static_cast<size_t>(nimg) + table_step;
      auto* grown = static_cast<img_struct*>(std::realloc(img, grown_count * sizeof(img_struct)));
      if (!grown) {
        error(image_table_full);
        return 0;
      }
      std::memset(static_cast<void*>(grown + nimg), 0, table_step * sizeof(img_struct));
      img = grown;
      nimg = static_cast<uint32_t>(grown_count);
      refresh_page_pointers();
    }
    index = nextimg++;
  }
  std::memset(static_cast<void*>(&img[index]), 0, sizeof(img_struct));
  img[index].valid = 1;
  return index;
}

int32_t freeimg(uint32_t index) {
  if (index >= nimg || !img[index].valid) return 0;
  img_struct& im = img[index];
  if (im.lock_id != 0 && im.lock != nullptr && im.lock->id == im.lock_id) free_mem_lock(im.lock);
  std::memset(static_cast<void*>(&im), 0, sizeof(img_struct));
  if (lastfimg >= static_cast<int32_t>(nfimg) - 1) {
    const size_t grown_count = static_cast<size_t>(nfimg) + table_step;
    auto* grown = static_cast<uint32_t*>(std::realloc(fimg, grown_count * sizeof(uint32_t)));
    if (!grown) {
      error(free_list_full);
      return 1;
    }
    fimg = grown;
    nfimg = static_cast<uint32_t>(grown_count);
  }
  fimg[++lastfimg] = index;
  return 1;
}

uint32_t imgframe(uint8_t* pixels, int32_t width, int32_t height, int32_t mode) {
  const ModeInfo* m = find_mode(mode);
  // The record holds sizes in 16 bits; anything larger cannot be represented.
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || !m) return 0;
  uint32_t* palette = nullptr;
  if (mode != 32) {
    palette = static_cast<uint32_t*>(std::calloc(256, sizeof(uint32_t)));
    if (!palette) return 0;
  } else {
    init_blend();
  }
  const uint32_t index = newimg();
  if (index == 0) {
    std::free(palette);
    return 0;
  }
  img_struct& im = img[index];
  im.pixels = pixels;
  im.width = static_cast<uint16_t>(width);
  im.height = static_cast<uint16_t>(height);
  im.mode = static_cast<uint16_t>(mode);
  apply_mode_defaults(im, *m);
  if (palette) {
    im.palette = palette;
    im.flags |= IMG_FREEPALETTE;
    restorepalette(&im);
    im.transparent_color = -1;
  }
  return index;
}

uint32_t imgnew(int32_t width, int32_t height, int32_t mode) {
  const uint32_t index = imgframe(nullptr, width, height, mode);
  if (index == 0) return 0;
  img_struct& im = img[index];
  const size_t bytes = pixel_bytes(im);
  auto* pixels = static_cast<uint8_t*>(mode == 0 ? std::malloc(bytes) : std::calloc(bytes, 1));
  if (!pixels) {
    std::free(im.palette);
    im.palette = nullptr;
    im.flags = 0;
    freeimg(index);
    return 0;
  }
  if (mode == 0) fill_cells(pixels, bytes / 2);
  im.pixels = pixels;
  im.flags |= IMG_FREEMEM;
  return index;
}

void imgrevert(uint32_t index) {
  img_struct& im = img[index];
  const ModeInfo* m = find_mode(im.mode);
  if (!m) return;
  // Keep identity, size, memory and palette; everything else goes back to the mode's defaults.
  img_struct kept = im;
  std::memset(static_cast<void*>(&im), 0, sizeof(img_struct));
  im.lock = kept.lock;
  im.lock_id = kept.lock_id;
  im.valid = kept.valid;
  im.console = kept.console;
  im.width = kept.width;
  im.height = kept.height;
  im.mode = kept.mode;
  im.pixels = kept.pixels;
  im.palette = kept.palette;
  im.flags = kept.flags;
  apply_mode_defaults(im, *m);
  if (im.mode != 32) {
    restorepalette(&im);
    im.transparent_color = -1;
  }
  if (im.text)
    fill_cells(im.pixels, static_cast<size_t>(im.width) * im.height);
  else
    std::memset(im.pixels, 0, pixel_bytes(im));
}

void restorepalette(img_struct* im) {
  uint32_t* pal = im->palette;
  if (im->bytes_per_pixel == 4 || !pal) return;
  switch (im->mode) {
    case 1:
      pal[0] = palette_256[0];
      pal[1] = palette_256[3];
      pal[2] = palette_256[5];
      pal[3] = palette_256[7];
      break;
    case 2:
    case 11:
      pal[0] = 0x000000;
      pal[1] = 0xFFFFFF;
      break;
    case 9:
      for (int i = 0; i < 6; ++i) pal[i] = palette_64[i];
      pal[6] = palette_64[20];
      pal[7] = palette_64[7];
      for (int i = 8; i < 16; ++i) pal[i] = palette_64[48 + i];
      break;
    case 10:
      // Colours 0..3 hold the attribute numbers the presentation maps through pal_mode10.
      pal[4] = 0;
      pal[5] = 4;
      pal[6] = 6;
      pal[7] = 8;
      break;
    case 13:
    case 256:
      std::memcpy(pal, palette_256, sizeof(palette_256));
      break;
    default:  // 0, 7, 8, 12
      std::memcpy(pal, palette_256, 16 * sizeof(uint32_t));
      break;
  }
}

int32_t selectfont(int32_t font, img_struct* im) {
  im->font = static_cast<uint32_t>(font);
  set_text_window(*im);
  return 1;
}

void defaultcolors() {
  const ModeInfo* m = find_mode(write_page->mode);
  write_page->color = m ? m->color : 15;
  write_page->background_color = m ? m->background_color : 0;
  write_page->draw_color = write_page->color;
}

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
  img_struct& im = img[index];
  share_page0_palette(im);
  im.flags |= IMG_SCREEN;
  selectfont(static_cast<int32_t>(img[page[0]].font), &im);
  page[wanted] = index;
}

void init_blend() {
  if (blend_ready) return;
  for (int a = 0; a < 256; ++a) {
    const float fa = static_cast<float>(a) / 255.0f;
    const float fb = 1.0f - fa;
    for (int s = 0; s < 256; ++s) {
      uint8_t* row = colour_blend_table + (a << 16) + (s << 8);
      for (int d = 0; d < 256; ++d)
        row[d] = static_cast<uint8_t>(
            std::nearbyint(fa * static_cast<float>(s) + fb * static_cast<float>(d)));
    }
  }
  for (int a1 = 0; a1 < 256; ++a1) {
    const float f1 = 1.0f - static_cast<float>(a1) / 255.0f;
    for (int a2 = 0; a2 < 256; ++a2) {
      const float f2 = 1.0f - static_cast<float>(a2) / 255.0f;
      alpha_blend_table[(a1 << 8) + a2] =
          static_cast<uint8_t>(std::nearbyint((1.0f - f1 * f2) * 255.0f));
    }
  }
  cblend = colour_blend_table;
  ablend = alpha_blend_table;
  ablend127 = alpha_blend_table + 127 * 256;
  ablend128 = alpha_blend_table + 128 * 256;
  blend_ready = true;
}

uint32_t resolve_image(int32_t handle_or_page) {
  if (handle_or_page < 0) {
    const uint32_t index = handle_index(handle_or_page);
    if (index == 0) error(invalid_handle);
    return index;
  }
  validatepage(handle_or_page);
  if (error_pending()) return 0;
  return page[handle_or_page];
}

// ---- Start-up ----

void screen_init() {
  // Re-initialisation (test fixtures) first releases the previous table.
  if (img) {
    for (uint32_t i = 2; i < nextimg; ++i)
      if (img[i].valid) release_image(i);
    std::free(img);
    std::free(fimg);
    std::free(page);
  }
  img = static_cast<img_struct*>(std::calloc(table_step, sizeof(img_struct)));
  fimg = static_cast<uint32_t*>(std::calloc(table_step, sizeof(uint32_t)));
  if (!img || !fimg) {
    error(image_table_full);
    return;
  }
  nimg = table_step;
  nfimg = table_step;
  lastfimg = -1;
  nextimg = 2;  // 0 means "no image" and -1 is the failure handle
  page = nullptr;
  pages = 0;
  display_page_index = write_page_index = read_page_index = 0;
  refresh_page_pointers();
  sub_screen_width_in_characters = -1;
  sub_screen_height_in_characters = -1;
  sub_screen_font = -1;
  sub_screen_keep_page0 = 0;
  width_lprint = 80;
  screen = {};
  build_default_palettes();
  zqg_screen(0, 0, 0, 0, 0, 1);
  width8050switch = 1;
}

// ---- Screen statements ----

void zqg_screen(int32_t mode, int32_t colorswitch, int32_t active_page, int32_t visual_page,
                int32_t refresh, int32_t passed) {
  (void)colorswitch;
  (void)refresh;
  if (error_pending()) return;
  if (width8050switch && !(passed == 1 && mode == 0)) width8050switch = 0;

  const bool page0_exists = pages > 0 && page[0] != 0;
  bool mode_change = false;
  uint32_t image = 0;
  if (passed & 1) {
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
                    sub_screen_width_in_characters != -1 ||
                    sub_screen_height_in_characters != -1 || sub_screen_font != -1;
    }
  }
  bool page_change = false;
  if (passed & 4) {
    if (active_page < 0) {
      error(illegal_function_call);
      return;
    }
    if (!(passed & 8)) {
      visual_page = active_page;
      passed |= 8;
    }
    if (!mode_change) {
      validatepage(active_page);
      if (error_pending()) return;
      if (page[active_page] != write_page_index || page[active_page] != read_page_index)
        page_change = true;
    }
  }
  if (passed & 8) {
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

  const bool locked = mode_change && take_display_lock();
  if (mode_change) change_mode(mode, image);

  if ((passed & 4) && !error_pending()) {
    validatepage(active_page);
    if (!error_pending() &&
        (page[active_page] != write_page_index || page[active_page] != read_page_index))
      select_active_page(active_page);
  }
  if ((passed & 8) && !error_pending()) {
    validatepage(visual_page);
    if (!error_pending() && page[visual_page] != display_page_index) {
      display_page_index = page[visual_page];
      refresh_page_pointers();
      defaultcolors();
      reset_text_window_of_write_page();
    }
  }
  release_display_lock(locked);
}

void zqsub_width(int32_t option, int32_t width, int32_t height, int32_t extra1, int32_t extra2,
                 int32_t passed) {
  (void)extra1;
  (void)extra2;
  if (error_pending()) return;
  const bool has_width = passed & 1, has_height = passed & 2;
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

// ---- Image handles ----

int32_t func__newimage(int32_t width, int32_t height, int32_t mode, int32_t passed) {
  if (error_pending()) return 0;
  if (width < 1 || height < 1) {
    error(illegal_function_call);
    return 0;
  }
  if (passed & 1) {
    if (!find_mode(mode)) {
      error(illegal_function_call);
      return 0;
    }
    const uint32_t index = imgnew(width, height, mode);
    return index ? -static_cast<int32_t>(index) : -1;
  }
  const uint32_t index = imgnew(width, height, write_page->mode);
  if (index == 0) return -1;
  img_struct& im = img[index];
  const img_struct& from = *write_page;
  if (im.palette && from.palette) std::memcpy(im.palette, from.palette, 256 * sizeof(uint32_t));
  sub__font(static_cast<int32_t>(from.font), -static_cast<int32_t>(index), 1);
  im.color = from.color;
  im.background_color = from.background_color;
  im.transparent_color = from.transparent_color;
  im.alpha_disabled = from.alpha_disabled;
  im.print_mode = from.print_mode;
  return -static_cast<int32_t>(index);
}

int32_t func__copyimage(int32_t source, int32_t mode, int32_t passed) {
  if (error_pending()) return 0;
  const uint32_t from = resolve_image(source);
  if (from == 0) return -1;
  if ((passed & 1) && mode != img[from].mode) {
    // Hardware images (a 32-bit source copied as mode 33) do not exist in this runtime.
    error(illegal_function_call);
    return -1;
  }
  const size_t bytes = pixel_bytes(img[from]);
  auto* pixels = static_cast<uint8_t*>(std::malloc(std::max<size_t>(bytes, 1)));
  uint32_t* palette = nullptr;
  if (img[from].palette) palette = static_cast<uint32_t*>(std::malloc(256 * sizeof(uint32_t)));
  if (!pixels || (img[from].palette && !palette)) {
    std::free(pixels);
    std::free(palette);
    return -1;
  }
  const uint32_t index = newimg();  // may move the table
  if (index == 0) {
    std::free(pixels);
    std::free(palette);
    return -1;
  }
  const img_struct& s = img[from];
  img_struct& d = img[index];
  std::memcpy(static_cast<void*>(&d), &s, sizeof(img_struct));
  d.lock = nullptr;
  d.lock_id = 0;
  std::memcpy(pixels, s.pixels, bytes);
  d.pixels = pixels;
  d.flags = (s.flags & ~IMG_SCREEN) | IMG_FREEMEM;
  if (palette) {
    std::memcpy(palette, s.palette, 256 * sizeof(uint32_t));
    d.palette = palette;
    d.flags |= IMG_FREEPALETTE;
  } else {
    d.flags &= ~IMG_FREEPALETTE;
  }
  return -static_cast<int32_t>(index);
}

void sub__freeimage(int32_t handle, int32_t passed) {
  if (error_pending()) return;
  uint32_t index;
  if (passed & 1) {
    if (handle >= 0) {
      error(illegal_function_call);
      return;
    }
    index = handle_index(handle);
    if (index == 0) {
      error(invalid_handle);
      return;
    }
  } else {
    index = write_page_index;
  }
  if (img[index].flags & IMG_SCREEN) {
    error(illegal_function_call);
    return;
  }
  free_standalone_image(index);
}

void freeallimages() {
  for (uint32_t i = 2; i < nextimg; ++i) {
    const img_struct& im = img[i];
    if (im.valid && !im.console && !(im.flags & IMG_SCREEN)) free_standalone_image(i);
  }
}

void sub__source(int32_t handle) {
  if (error_pending()) return;
  const uint32_t index = resolve_image(handle);
  if (index == 0) return;
  read_page_index = index;
  refresh_page_pointers();
}

void sub__dest(int32_t handle) {
  if (error_pending()) return;
  const uint32_t index = resolve_image(handle);
  if (index == 0) return;
  write_page_index = index;
  refresh_page_pointers();
}

int32_t func__source() { return error_pending() ? 0 : -static_cast<int32_t>(read_page_index); }
int32_t func__dest() { return error_pending() ? 0 : -static_cast<int32_t>(write_page_index); }
int32_t func__display() {
  return error_pending() ? 0 : -static_cast<int32_t>(display_page_index);
}

namespace {

// Reads one value of the image a query names: 0 while an error is pending or when the handle is
// bad (query_target has raised the error then).
template <typename Result, typename Read>
Result query_value(int32_t handle, int32_t passed, Read read) {
  if (error_pending()) return 0;
  const img_struct* im = query_target(handle, passed);
  return im ? static_cast<Result>(read(*im)) : 0;
}

}  // namespace

int32_t func__width(int32_t handle, int32_t passed) {
  return query_value<int32_t>(handle, passed, [](const img_struct& im) { return im.width; });
}

int32_t func__height(int32_t handle, int32_t passed) {
  return query_value<int32_t>(handle, passed, [](const img_struct& im) { return im.height; });
}

int32_t func__pixelsize(int32_t handle, int32_t passed) {
  return query_value<int32_t>(handle, passed, [](const img_struct& im) {
    return im.text ? 0 : im.bytes_per_pixel == 4 ? 4 : 1;
  });
}

uint32_t func__defaultcolor(int32_t handle, int32_t passed) {
  return query_value<uint32_t>(handle, passed, [](const img_struct& im) { return im.color; });
}

uint32_t func__backgroundcolor(int32_t handle, int32_t passed) {
  return query_value<uint32_t>(handle, passed,
                               [](const img_struct& im) { return im.background_color; });
}

int32_t func__clearcolor(int32_t handle, int32_t passed) {
  return query_value<int32_t>(handle, passed, [](const img_struct& im) {
    if (im.text) return -1;
    if (im.bytes_per_pixel == 4) return 0;
    return im.transparent_color;
  });
}

int32_t func__blend(int32_t handle, int32_t passed) {
  return query_value<int32_t>(handle, passed, [](const img_struct& im) {
    return im.bytes_per_pixel == 4 && !im.alpha_disabled ? -1 : 0;
  });
}
