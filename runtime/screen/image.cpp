// The image table: slots, records and their mode defaults, the current pages, image handles and
// the image queries.
#include "runtime/screen/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/font.h"
#include "runtime/screen/geometry.h"
#include "runtime/screen/image_internal.h"
#include "runtime/screen/palettes.h"
#include "runtime/screen/text.h"

using namespace image_internal;

ImageTable img;
uint32_t nimg = 0;
uint32_t nextimg = 0;
uint32_t nfimg = 0;

std::atomic<img_struct*> display_page{nullptr};
img_struct* write_page = nullptr;
img_struct* read_page = nullptr;
uint32_t display_page_index = 0;
uint32_t write_page_index = 0;
uint32_t read_page_index = 0;

bool ImageTable::add_block() {
  if (block_count_ == max_blocks) return false;
  auto* block = static_cast<img_struct*>(std::calloc(block_records, sizeof(img_struct)));
  if (!block) return false;
  blocks_[block_count_++] = block;
  return true;
}

void ImageTable::clear() {
  for (uint32_t b = 0; b < block_count_; ++b) {
    std::free(blocks_[b]);
    blocks_[b] = nullptr;
  }
  block_count_ = 0;
}

namespace {

constexpr uint32_t free_list_step = 4096;

// The stack of freed indices (nfimg entries): freeimg() pushes, newimg() pops. top is the position
// of the newest entry, -1 while the stack is empty.
struct {
  uint32_t* indices = nullptr;
  int32_t top = -1;
} free_stack;
constexpr uint16_t blank_cell = 0x0720;  // character 32, attribute 7

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
    {0, 16, 2, 16, 7, 0}, {1, 2, 1, 8, 3, 0},     {2, 1, 1, 8, 1, 0},
    {7, 4, 1, 8, 15, 0},  {8, 4, 1, 8, 15, 0},    {9, 4, 1, 14, 15, 0},
    {10, 2, 1, 14, 3, 0}, {11, 1, 1, 16, 1, 0},   {12, 4, 1, 16, 15, 0},
    {13, 8, 1, 8, 15, 0}, {256, 8, 1, 16, 15, 0}, {32, 32, 4, 16, 0xFFFFFFFFu, 0xFF000000u},
};

const ModeInfo* find_mode(int32_t mode) {
  for (const ModeInfo& m : mode_table)
    if (m.mode == mode) return &m;
  return nullptr;
}

void set_text_window(img_struct& im) {
  im.cursor_x = 1;
  im.cursor_y = 1;
  im.top_row = 1;
  im.bottom_row = default_bottom_row(rows_of(im));
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
    reset_viewport(im);
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

// Frees a free-standing image; a current write or read page moves to the display page.
void free_standalone_image(uint32_t index) {
  if (write_page_index == index) write_page_index = display_page_index;
  if (read_page_index == index) read_page_index = display_page_index;
  release_image(index);
  refresh_page_pointers();
}

// Resolves the optional handle argument of the queries: the write page when not given.
const img_struct* query_target(int32_t handle, int32_t passed) {
  if (!(passed & query_handle_given)) return write_page;
  const uint32_t index = resolve_image(handle);
  return index ? &img[index] : nullptr;
}
}  // namespace

namespace image_internal {

void refresh_page_pointers() {
  display_page.store(&img[display_page_index], std::memory_order_release);
  write_page = &img[write_page_index];
  read_page = &img[read_page_index];
}

// Text rows of an image: its height on text pages, pixel rows per font row otherwise.
int32_t rows_of(const img_struct& im) {
  return im.text ? im.height : im.height / font_cell_height(im.font);
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

namespace {

// Frees what the record owns (pixels, palette) and then its slot; no fence.
void release_unfenced(uint32_t index) {
  img_struct& im = img[index];
  if (im.flags & IMG_FREEMEM) std::free(im.pixels);
  if (im.flags & IMG_FREEPALETTE) std::free(im.palette);
  im.pixels = nullptr;
  im.palette = nullptr;
  freeimg(index);
}

}  // namespace

// Frees what the record owns (pixels, palette) and then its slot.
void release_image(uint32_t index) {
  const PageStructureChange fence(img[index]);
  release_unfenced(index);
}

// Resolves an image handle (negative) to a valid index, or 0.
uint32_t handle_index(int32_t handle) {
  const int64_t index = -static_cast<int64_t>(handle);
  if (index < 1 || index >= nextimg || !img[index].valid) return 0;
  return static_cast<uint32_t>(index);
}

bool reset_image_table() {
  // Re-initialisation (test fixtures) first releases the previous table. Nothing prepares frames
  // then (start-up, or a test with its preparation stopped), so no fence is needed.
  if (!img.empty()) {
    for (uint32_t i = 2; i < nextimg; ++i)
      if (img[i].valid) release_unfenced(i);
    img.clear();
    std::free(free_stack.indices);
  }
  nimg = 0;
  const bool table_made = img.add_block();
  free_stack.indices = static_cast<uint32_t*>(std::calloc(free_list_step, sizeof(uint32_t)));
  if (!table_made || !free_stack.indices) return false;
  nimg = img.capacity();
  nfimg = free_list_step;
  free_stack.top = -1;
  nextimg = 2;  // 0 means "no image" and -1 is the failure handle
  return true;
}

}  // namespace image_internal

// ---- Slots and records ----

uint32_t newimg() {
  uint32_t index;
  if (free_stack.top >= 0) {
    index = free_stack.indices[free_stack.top--];
  } else {
    if (nextimg >= nimg) {
      // A new block; the records already handed out stay where they are.
      if (!img.add_block()) {
        error(image_table_full);
        return 0;
      }
      nimg = img.capacity();
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
  if (free_stack.top >= static_cast<int32_t>(nfimg) - 1) {
    const size_t grown_count = static_cast<size_t>(nfimg) + free_list_step;
    auto* grown =
        static_cast<uint32_t*>(std::realloc(free_stack.indices, grown_count * sizeof(uint32_t)));
    if (!grown) {
      error(image_free_list_full);
      return 1;
    }
    free_stack.indices = grown;
    nfimg = static_cast<uint32_t>(grown_count);
  }
  free_stack.indices[++free_stack.top] = index;
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
  const PageStructureChange fence(im);
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
  const PageStructureChange fence(*im);
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

// ---- Image handles ----

int32_t func__newimage(int32_t width, int32_t height, int32_t mode, int32_t passed) {
  if (error_pending()) return 0;
  if (width < 1 || height < 1) {
    error(illegal_function_call);
    return 0;
  }
  if (passed & newimage_mode) {
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
  selectfont(static_cast<int32_t>(from.font), &im);  // the write page's font is always valid
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
  if ((passed & copyimage_mode) && mode != img[from].mode) {
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
  if (passed & freeimage_handle) {
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
int32_t func__display() { return error_pending() ? 0 : -static_cast<int32_t>(display_page_index); }

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
