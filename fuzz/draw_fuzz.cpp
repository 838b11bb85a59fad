// Feeds arbitrary command strings to the drawing statement. The first bytes choose the page
// (indexed with two aspects, 32-bit with and without blending), a window and a viewport; the next
// ones are copied into a block of the low-memory area, so that variable ("=") and sub-string
// ("X") references can reach bytes the fuzzer controls as well as anything else in the area.
//
//   byte 0       page and mapping flags
//   byte 1       n, the number of low-memory bytes that follow
//   n bytes      placed at the start of the low-memory block (offset printed by -runs=0 with
//                DRAW_FUZZ_VERBOSE set, and fixed by the start-up order)
//   the rest     the command string
//
// Every run must end with no error, error 5 or error 6, and with a viewport set nothing may
// change outside it.
//
// A string that calls itself runs up to 8192 levels deep before error 6 stops it, so its cost is
// 8192 times that of one pass. To keep every run well under the time limit, inputs are at most
// 512 bytes with at most two fill commands (a fill costs the whole page per level).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/draw_macro.h"
#include "runtime/screen/image.h"
#include "tests/support/headless_runtime.h"

namespace {

constexpr int32_t page_width = 64, page_height = 48;
constexpr uint32_t low_block_size = 256;
constexpr int32_t view_x1 = 8, view_y1 = 6, view_x2 = 55, view_y2 = 41;
constexpr size_t max_input = 512;
constexpr size_t max_fills = 2;

struct Harness {
  int32_t pages[4] = {};
  uint8_t* low_block = nullptr;

  Harness() {
    init_headless_runtime();
    pages[0] = func__newimage(page_width, page_height, 13, 1);
    pages[1] = func__newimage(page_width, page_height, 2, 1);
    pages[2] = func__newimage(page_width, page_height, 32, 1);
    pages[3] = func__newimage(page_width, page_height, 32, 1);
    img[-pages[3]].alpha_disabled = 1;
    low_block = cmem_dynamic_malloc(low_block_size);
    if (std::getenv("DRAW_FUZZ_VERBOSE"))
      std::fprintf(stderr, "draw_fuzz: low-memory block at offset %u\n",
                   static_cast<unsigned>(low_block - dblock));
  }
};

// Selects and resets the page the flags ask for.
void prepare_page(const Harness& h, uint8_t flags) {
  sub__dest(h.pages[flags & 3]);
  sub__source(h.pages[flags & 3]);
  img_struct& im = *write_page;
  std::memset(im.pixels, 0, static_cast<size_t>(page_width) * page_height * im.bytes_per_pixel);
  zqg_sub_view(0, 0, 0, 0, 0, 0, 0);  // whole page; angle 0, scale 1
  zqg_sub_window(0, 0, 0, 0, 0);
  if (flags & 4) zqg_sub_view(view_x1, view_y1, view_x2, view_y2, 0, 0, 1 | ((flags & 16) ? 2 : 0));
  if (flags & 8) zqg_sub_window(-10, -10, 10, 10, 1 | ((flags & 32) ? 2 : 0));
  im.x = 20;
  im.y = 20;
  im.draw_color = 0xFF00FF00u;
  im.color = 15;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness harness;
  if (size < 2 || size > max_input) return 0;
  size_t fills = 0;
  for (size_t i = 0; i < size; ++i) fills += (data[i] | 0x20) == 'p';
  if (fills > max_fills) return 0;
  const uint8_t flags = data[0];
  const size_t blob = data[1] <= size - 2 ? data[1] : size - 2;
  std::memset(harness.low_block, 0, low_block_size);
  std::memcpy(harness.low_block, data + 2, blob);
  const uint8_t* commands = data + 2 + blob;
  const size_t length = size - 2 - blob;

  new_error.store(0);
  zqevent.store(0);
  prepare_page(harness, flags);
  sub_draw(zqs_new_txt_len(reinterpret_cast<const char*>(commands), static_cast<uint32_t>(length)));
  zqs_cleanup(0, 0);

  const uint32_t e = new_error.load();
  if (e != 0 && e != 5 && e != 6) std::abort();
  const img_struct& im = *write_page;
  if (im.width != page_width || im.height != page_height) std::abort();
  if (flags & 4) {
    for (int32_t y = 0; y < page_height; ++y)
      for (int32_t x = 0; x < page_width; ++x) {
        if (x >= view_x1 && x <= view_x2 && y >= view_y1 && y <= view_y2) continue;
        const size_t at = (static_cast<size_t>(y) * page_width + x) * im.bytes_per_pixel;
        for (size_t b = 0; b < im.bytes_per_pixel; ++b)
          if (im.pixels[at + b] != 0) std::abort();
      }
  }
  return 0;
}
