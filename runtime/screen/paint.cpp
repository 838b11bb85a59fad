// Breadth-first flood fill in rings, with direction masks and a visited map.
#include "runtime/screen/paint.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"

namespace {

// Direction mask bits of a frontier entry: the neighbours it still has to look at.
enum Direction : uint8_t { left = 1, right = 2, up = 4, down = 8 };
constexpr uint8_t all_directions = left | right | up | down;
// A pixel reached by a step looks every way but back.
constexpr uint8_t reached_going_left = all_directions & ~right;
constexpr uint8_t reached_going_right = all_directions & ~left;
constexpr uint8_t reached_going_up = all_directions & ~down;
constexpr uint8_t reached_going_down = all_directions & ~up;

// Image widths and heights are 16-bit, so 16-bit coordinates hold every pixel.
struct FrontierEntry {
  uint16_t x, y;
  uint8_t directions;
};

// The two frontiers and the visited map of one fill variant, kept for the life of the process.
// The frontiers are vectors that grow with the largest ring ever met; the visited map grows with
// the largest page ever filled and is all zero between fills.
struct FillBuffers {
  std::vector<FrontierEntry> current, next;
  std::vector<uint8_t> visited;

  void prepare(size_t pixel_count) {
    if (current.capacity() == 0) {
      current.reserve(65536);
      next.reserve(65536);
    }
    if (visited.size() < pixel_count) visited.assign(std::max<size_t>(pixel_count, 307200), 0);
  }
};

uint32_t last_ring_peak = 0;

// How each variant stores the fill colour into a reached pixel, prepared once per fill.
struct StoreIndexed {
  using Pixel = uint8_t;
  explicit StoreIndexed(uint32_t fill) : value(static_cast<Pixel>(fill)) {}
  Pixel paint(Pixel) const { return value; }
  Pixel value;
};
struct StoreOpaque32 {
  using Pixel = uint32_t;
  explicit StoreOpaque32(uint32_t fill) : value(fill) {}
  Pixel paint(Pixel) const { return value; }
  Pixel value;
};
struct StoreBlended32 {
  using Pixel = uint32_t;
  explicit StoreBlended32(uint32_t fill) : blend(fill) {}
  Pixel paint(Pixel old) const { return blend.over(old); }
  ColourBlend blend;
};

// The inclusive pixel box a fill may touch: the viewport, held inside the image.
struct FillBox {
  int32_t x1, y1, x2, y2;
};

// Fills from (start_x, start_y), which lies inside box, on an image of the variant's pixel type.
template <typename Store>
void flood_fill(img_struct& im, const FillBox& box, int32_t start_x, int32_t start_y, uint32_t fill,
                uint32_t border) {
  using Pixel = typename Store::Pixel;
  static FillBuffers buffers;  // one set per variant
  const size_t width = im.width;
  const size_t pixel_count = width * im.height;
  auto* pixels = reinterpret_cast<Pixel*>(im.pixels);
  const auto border_value = static_cast<Pixel>(border);
  const Store store(fill);

  last_ring_peak = 0;
  const size_t start = static_cast<size_t>(start_y) * width + static_cast<size_t>(start_x);
  if (pixels[start] == border_value) return;
  buffers.prepare(pixel_count);
  uint8_t* visited = buffers.visited.data();
  pixels[start] = store.paint(pixels[start]);
  visited[start] = 1;
  buffers.current.clear();
  buffers.current.push_back(
      {static_cast<uint16_t>(start_x), static_cast<uint16_t>(start_y), all_directions});
  last_ring_peak = 1;

  auto reach = [&](int32_t x, int32_t y, uint8_t directions) {
    const size_t at = static_cast<size_t>(y) * width + static_cast<size_t>(x);
    if (visited[at]) return;
    visited[at] = 1;
    if (pixels[at] == border_value) return;
    pixels[at] = store.paint(pixels[at]);
    buffers.next.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(y), directions});
  };

  while (!buffers.current.empty()) {
    buffers.next.clear();
    for (const FrontierEntry& e : buffers.current) {
      const int32_t x = e.x, y = e.y;
      if ((e.directions & left) && x - 1 >= box.x1) reach(x - 1, y, reached_going_left);
      if ((e.directions & right) && x + 1 <= box.x2) reach(x + 1, y, reached_going_right);
      if ((e.directions & up) && y - 1 >= box.y1) reach(x, y - 1, reached_going_up);
      if ((e.directions & down) && y + 1 <= box.y2) reach(x, y + 1, reached_going_down);
    }
    last_ring_peak = std::max(last_ring_peak, static_cast<uint32_t>(buffers.next.size()));
    std::swap(buffers.current, buffers.next);
  }
  std::memset(visited, 0, pixel_count);
}

enum class FillVariant { Indexed, Opaque32, Blended32 };

// The statement's common part: colours, the point and its mapping, the viewport test.
void paint_statement(FillVariant variant, float x, float y, uint32_t fill, uint32_t border,
                     int32_t passed) {
  img_struct& im = *write_page;
  if (!(passed & paint_fill)) fill = im.color;
  if (!(passed & paint_border)) border = fill;
  if (variant == FillVariant::Indexed) {
    fill &= im.pixel_mask;
    border &= im.pixel_mask;
  }
  im.draw_color = fill;

  if (passed & paint_relative) {
    x += im.x;
    y += im.y;
  }
  im.x = x;
  im.y = y;
  const int32_t px = map_x(im, x), py = map_y(im, y);

  const FillBox box{std::max(im.view_x1, 0), std::max(im.view_y1, 0),
                    std::min(im.view_x2, im.width - 1), std::min(im.view_y2, im.height - 1)};
  if (px < box.x1 || px > box.x2 || py < box.y1 || py > box.y2) return;

  switch (variant) {
    case FillVariant::Indexed:
      flood_fill<StoreIndexed>(im, box, px, py, fill, border);
      break;
    case FillVariant::Opaque32:
      flood_fill<StoreOpaque32>(im, box, px, py, fill, border);
      break;
    case FillVariant::Blended32:
      flood_fill<StoreBlended32>(im, box, px, py, fill, border);
      break;
  }
}

// Checks shared by the three entry points; false when the statement must not go on.
bool paint_allowed(bool needs_32_bit) {
  if (error_pending()) return false;
  const img_struct& im = *write_page;
  if (refuse_text_page(im)) return false;
  if (needs_32_bit && im.bytes_per_pixel != 4) {
    error(illegal_function_call);
    return false;
  }
  return true;
}

}  // namespace

void sub_paint(float x, float y, uint32_t fill_colour, uint32_t border_colour, zqs* background,
               int32_t passed) {
  (void)background;  // the tiling form is not part of this statement
  if (!paint_allowed(false)) return;
  if (passed & paint_background) {
    error(illegal_function_call);
    return;
  }
  const img_struct& im = *write_page;
  if (im.bytes_per_pixel == 4) {
    const FillVariant variant = im.alpha_disabled ? FillVariant::Opaque32 : FillVariant::Blended32;
    paint_statement(variant, x, y, fill_colour, border_colour, passed);
    return;
  }
  paint_statement(FillVariant::Indexed, x, y, fill_colour, border_colour, passed);
}

void sub_paint32(float x, float y, uint32_t fill_colour, uint32_t border_colour, int32_t passed) {
  if (!paint_allowed(true)) return;
  paint_statement(FillVariant::Blended32, x, y, fill_colour, border_colour, passed);
}

void sub_paint32x(float x, float y, uint32_t fill_colour, uint32_t border_colour, int32_t passed) {
  if (!paint_allowed(true)) return;
  paint_statement(FillVariant::Opaque32, x, y, fill_colour, border_colour, passed);
}

uint32_t paint_last_ring_peak() { return last_ring_peak; }
