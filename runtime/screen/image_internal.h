// What the image table (image.cpp) shares with the screen modes and pages (screen_mode.cpp).
// Nothing outside those two files uses it.
#pragma once

#include <cstddef>
#include <cstdint>

struct img_struct;

namespace image_internal {

// Points display_page, write_page and read_page at their indices again (the table may have moved).
void refresh_page_pointers();
// Text rows of an image: its height on text pages, pixel rows per font row otherwise.
int32_t rows_of(const img_struct& im);
// Fills cells of a text image with blanks in attribute 7.
void fill_cells(uint8_t* pixels, size_t cells);
// Bytes of an image's pixels.
size_t pixel_bytes(const img_struct& im);
// Frees what the record owns (pixels, palette) and then its slot.
void release_image(uint32_t index);
// Resolves an image handle (negative) to a valid index, or 0.
uint32_t handle_index(int32_t handle);
// Releases every image and starts an empty table; false when the table cannot be allocated.
bool reset_image_table();

}  // namespace image_internal
