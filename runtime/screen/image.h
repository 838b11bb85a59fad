// Images, screen pages and screen modes.
//
// Every screen page and every off-screen image is an img_struct in the global table img. Pages are
// addressed by number (page[n] holds the image index), images by negative handle (-index).
// Indexed images hold one byte per pixel whatever their bit depth (the colour is ANDed with
// pixel_mask); text images hold two bytes per cell (character, attribute); 32-bit images hold one
// 0xAARRGGBB word per pixel. The mode 13 page lies in cmem at 0xA0000 and text pages at 0xB8000.
//
// The program thread alone creates, changes and frees images. Frame preparation (the main loop
// thread) reads the displayed page's record, pixels, cells, palette and font at the same time, so:
// - records never move: the table grows by whole blocks, never by reallocation;
// - display_page is published atomically (release) and read with acquire;
// - a screen page's structure (its pixel and palette buffers, size, mode, kind and font) changes
//   only under the display lock (display_lock.h), since a screen page may be on display or may
//   just have been: release_image, imgrevert, selectfont and the statements that resize or
//   replace pages take it for screen pages, and an image stops being a screen page only inside a
//   mode change, which holds it.
// Only the page's contents (pixels, cells, palette entries, cursor) change under preparation's
// feet; a frame that catches them half-drawn is repaired by the next one.
#pragma once

#include <atomic>
#include <cstdint>

struct mem_lock;

struct img_struct {
  mem_lock* lock;
  uint64_t lock_id;
  uint8_t valid;
  uint8_t text;
  uint8_t console;
  uint16_t width;   // pixels; columns for text images
  uint16_t height;  // pixels; rows for text images
  uint8_t bytes_per_pixel;
  uint8_t bits_per_pixel;
  uint32_t pixel_mask;
  uint16_t mode;
  uint32_t color;
  uint32_t background_color;
  uint32_t draw_color;
  uint32_t font;
  uint16_t top_row, bottom_row;
  uint16_t cursor_x, cursor_y;
  uint8_t cursor_show;
  uint8_t cursor_firstvalue, cursor_lastvalue;
  uint8_t* pixels;
  uint32_t flags;
  uint32_t* palette;
  int32_t transparent_color;
  uint8_t alpha_disabled;
  uint8_t holding_cursor;
  uint8_t print_mode;
  // Graphics state carried from page to page (view_x1 .. draw_scale).
  int32_t view_x1, view_y1, view_x2, view_y2;
  int32_t view_offset_x, view_offset_y;
  float x, y;
  uint8_t clipping_or_scaling;
  float scaling_x, scaling_y, scaling_offset_x, scaling_offset_y;
  float window_x1, window_y1, window_x2, window_y2;
  double draw_angle, draw_scale;
};

// flags bits
inline constexpr uint32_t IMG_FREEPALETTE = 1;  // palette owned by the record
inline constexpr uint32_t IMG_SCREEN = 2;       // a page of the screen
inline constexpr uint32_t IMG_FREEMEM = 4;      // pixel data owned by the record

// The image table: records addressed by index, in blocks of block_records that stay where they
// are until the table is reset (screen_init), so a record's address never changes under a reader.
// Index 0 is "no image"; the table starts with one block and gains one whenever it is full.
class ImageTable {
 public:
  static constexpr uint32_t block_records = 4096;
  static constexpr uint32_t max_blocks = 4096;  // 16 Mi records

  img_struct& operator[](uint32_t index) const {
    return blocks_[index / block_records][index % block_records];
  }
  // Records the table holds now (whole blocks).
  uint32_t capacity() const { return block_count_ * block_records; }
  bool empty() const { return block_count_ == 0; }
  // Adds a zero-filled block; false when memory or the block directory runs out.
  bool add_block();
  // Frees every block (the records' own buffers are the caller's to release first).
  void clear();

 private:
  img_struct* blocks_[max_blocks] = {};
  uint32_t block_count_ = 0;
};

// Image table.
extern ImageTable img;
extern uint32_t nimg;  // img.capacity()
extern uint32_t nextimg;
// Capacity of the stack of freed indices, which newimg() reuses, newest first, before nextimg
// advances; it grows by 4096 entries when full.
extern uint32_t nfimg;

// Page list and the three current pages.
extern uint32_t* page;
extern uint32_t pages;
// The page on display. Written by the program thread (release); read by frame preparation
// (acquire), which may hold the record past a change: see the rules at the top.
extern std::atomic<img_struct*> display_page;
extern img_struct* write_page;
extern img_struct* read_page;
extern uint32_t display_page_index;
extern uint32_t write_page_index;
extern uint32_t read_page_index;

// Calls function(img_struct&) for every page of the current screen.
template <typename Function>
void for_each_screen_page(Function function) {
  for (uint32_t n = 0; n < pages; ++n) {
    if (page[n]) function(img[page[n]]);
  }
}

// Pending text geometry for the next mode 0 change (-1 when unset).
extern int32_t sub_screen_width_in_characters;
extern int32_t sub_screen_height_in_characters;
extern int32_t sub_screen_font;
extern int32_t width8050switch;
extern int32_t width_lprint;
// Set to 1 by every screen-mode change: the function-key line must be redrawn. The owner of that
// line reads and clears it.
extern int32_t key_display_redraw;

// Default palettes, alpha 0xFF in every entry.
extern uint32_t palette_256[256];
extern uint32_t palette_64[64];
extern uint32_t pal_mode10[2][9];

// Frame preparation must rebuild its last-frame copy. Written by the program thread (mode
// change), read and set by frame preparation.
extern std::atomic<int32_t> screen_last_valid;

// Builds the default palettes, clears the image table and sets screen mode 0 (runtime_init).
// Needs the font tables (fonts_init) first. Calling it again releases every image and starts
// over, which test fixtures rely on.
void screen_init();

uint32_t newimg();
int32_t freeimg(uint32_t index);
uint32_t imgframe(uint8_t* pixels, int32_t width, int32_t height, int32_t mode);
uint32_t imgnew(int32_t width, int32_t height, int32_t mode);
void imgrevert(uint32_t index);
void restorepalette(img_struct* im);
int32_t selectfont(int32_t font, img_struct* im);
void defaultcolors();
// Makes screen page n exist. When its memory cannot be obtained (or n is above 65535) it raises
// error 7 and the page stays absent; the page list only ever names valid images.
void validatepage(int32_t n);

// clang-format off
enum screen_passed : int32_t {
  screen_mode_given = 1, screen_colorswitch = 2, screen_active_page = 4, screen_visual_page = 8,
};
// clang-format on
void zqg_screen(int32_t mode, int32_t colorswitch, int32_t active_page, int32_t visual_page,
                int32_t refresh, int32_t passed);
enum width_passed : int32_t { width_columns = 1, width_rows = 2 };
void zqsub_width(int32_t option, int32_t width, int32_t height, int32_t extra1, int32_t extra2,
                 int32_t passed);
void sub_pcopy(int32_t source, int32_t destination);

enum newimage_passed : int32_t { newimage_mode = 1 };
int32_t func__newimage(int32_t width, int32_t height, int32_t mode, int32_t passed);
enum copyimage_passed : int32_t { copyimage_mode = 1 };
int32_t func__copyimage(int32_t source, int32_t mode, int32_t passed);
enum freeimage_passed : int32_t { freeimage_handle = 1 };
void sub__freeimage(int32_t handle, int32_t passed);
void freeallimages();
void sub__source(int32_t handle);
void sub__dest(int32_t handle);
int32_t func__source();
int32_t func__dest();
int32_t func__display();

// The image queries below: passed bit 1 a handle or page is given (else the write page).
enum image_query_passed : int32_t { query_handle_given = 1 };
int32_t func__width(int32_t handle, int32_t passed);
int32_t func__height(int32_t handle, int32_t passed);
int32_t func__pixelsize(int32_t handle, int32_t passed);
uint32_t func__defaultcolor(int32_t handle, int32_t passed);
uint32_t func__backgroundcolor(int32_t handle, int32_t passed);
int32_t func__clearcolor(int32_t handle, int32_t passed);
int32_t func__blend(int32_t handle, int32_t passed);

// Resolves a handle (negative) or page number (created on demand) to an image index; raises
// error 258 for a bad handle and returns 0.
uint32_t resolve_image(int32_t handle_or_page);
