// Circles, flood fill and the drawing language against plain loops measured in the same run:
//   a full-screen set of concentric circles against a bare loop of the same outline trace (and
//   against a bare midpoint circle loop), and the same for ellipses and arcs,
//   a 640 x 480 flood fill against memset / std::fill and against a bare breadth-first fill,
//   a long drawing string against a bare line loop over the same segments and against a bare loop
//   of the statement's own steps (read the moves, move the pen, round, step the lines).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/baselines.h"
#include "runtime/core/strings.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/circle.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/draw_macro.h"
#include "runtime/screen/image.h"
#include "runtime/screen/paint.h"
#include "tests/support/headless_runtime.h"

namespace {

constexpr int page_width = 640;
constexpr int page_height = 480;
constexpr int circle_count = 239;  // radii 1..239 around the centre: the whole page height

// Starts the runtime once and makes a 640 x 480 page of the mode (12 indexed, 32 for 32-bit) the
// write page.
void use_page(int32_t mode) {
  static bool started = false;
  static int32_t indexed_page = 0, rgb_page = 0;
  if (!started) {
    init_headless_runtime();
    started = true;
  }
  int32_t& handle = mode == 32 ? rgb_page : indexed_page;
  if (handle == 0) handle = func__newimage(page_width, page_height, mode, 1);
  sub__dest(handle);
  sub__source(handle);
}

// ---- Circles ----

// A textbook integer midpoint circle with eight-way symmetry into a byte buffer.
void bare_midpoint_circle(uint8_t* pixels, int cx, int cy, int r, uint8_t colour) {
  int x = r, y = 0, err = 1 - r;
  auto put = [&](int px, int py) { pixels[py * page_width + px] = colour; };
  while (x >= y) {
    put(cx + x, cy + y);
    put(cx - x, cy + y);
    put(cx + x, cy - y);
    put(cx - x, cy - y);
    put(cx + y, cy + x);
    put(cx - y, cy + x);
    put(cx + y, cy - x);
    put(cx - y, cy - x);
    ++y;
    if (err < 0) {
      err += 2 * y + 1;
    } else {
      --x;
      err += 2 * (y - x) + 1;
    }
  }
}

void BM_CircleSetFullScreen(benchmark::State& state) {
  use_page(12);
  uint32_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      sub_circle(page_width / 2, page_height / 2, r, colour, 0, 0, 0, 2);
    colour = (colour + 1) & 15;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_CircleSetFullScreen);

void BM_Baseline_MidpointCircleSet(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  uint8_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      bare_midpoint_circle(pixels.data(), page_width / 2, page_height / 2, r, colour);
    colour = static_cast<uint8_t>((colour + 1) & 15);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_Baseline_MidpointCircleSet);

// The same circles traced by a bare loop of the circle statement's own rotation steps.
void BM_Baseline_CircleTrace(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  uint8_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      bare_circle_trace<false, page_width>(pixels.data(), page_width / 2, page_height / 2, r, r, r,
                                           BareArc{}, colour);
    colour = static_cast<uint8_t>((colour + 1) & 15);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_Baseline_CircleTrace);

// ---- Ellipses and arcs: the same radii, flattened to half height, or cut to an arc ----

constexpr double ellipse_aspect = 0.5;
constexpr double arc_start = 0.5, arc_end = 4.0;

void BM_EllipseSetFullScreen(benchmark::State& state) {
  use_page(12);
  uint32_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      sub_circle(page_width / 2, page_height / 2, r, colour, 0, 0, ellipse_aspect, 2 | 16);
    colour = (colour + 1) & 15;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_EllipseSetFullScreen);

void BM_Baseline_EllipseTrace(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  uint8_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      bare_circle_trace<false, page_width>(pixels.data(), page_width / 2, page_height / 2, r, r,
                                           r * static_cast<long double>(ellipse_aspect), BareArc{},
                                           colour);
    colour = static_cast<uint8_t>((colour + 1) & 15);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_Baseline_EllipseTrace);

void BM_ArcSetFullScreen(benchmark::State& state) {
  use_page(12);
  uint32_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      sub_circle(page_width / 2, page_height / 2, r, colour, arc_start, arc_end, 0, 2 | 4 | 8);
    colour = (colour + 1) & 15;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_ArcSetFullScreen);

void BM_Baseline_ArcTrace(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  const BareArc arc{arc_start, arc_end, false};
  uint8_t colour = 1;
  for (auto _ : state) {
    for (int r = 1; r <= circle_count; ++r)
      bare_circle_trace<true, page_width>(pixels.data(), page_width / 2, page_height / 2, r, r, r,
                                          arc, colour);
    colour = static_cast<uint8_t>((colour + 1) & 15);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * circle_count);
}
BENCHMARK(BM_Baseline_ArcTrace);

// ---- Flood fill of a whole 640 x 480 page ----

// Clears the write page, so that each fill starts from the same whole page whatever the
// benchmarks before it drew there (circles in the border colour would fence the fill in).
void clear_page() {
  const img_struct& im = *write_page;
  std::memset(im.pixels, 0, static_cast<size_t>(im.width) * im.height * im.bytes_per_pixel);
}

void BM_Paint640x480Indexed(benchmark::State& state) {
  use_page(12);
  clear_page();
  uint32_t colour = 1;
  for (auto _ : state) {
    // Each fill repaints the whole page in a new colour, with a border colour that never occurs.
    sub_paint(320, 240, colour, 15, nullptr, 2 | 4);
    colour = colour % 14 + 1;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Paint640x480Indexed);

void BM_Paint640x480_32Bit(benchmark::State& state) {
  use_page(32);
  clear_page();
  write_page->alpha_disabled = 1;
  uint32_t colour = 0xFF000001;
  for (auto _ : state) {
    sub_paint(320, 240, colour++, 0xFFFFFFFF, nullptr, 2 | 4);
    benchmark::ClobberMemory();
  }
  write_page->alpha_disabled = 0;
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Paint640x480_32Bit);

void BM_Baseline_Memset640x480(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  int colour = 1;
  for (auto _ : state) {
    std::memset(pixels.data(), colour++ & 255, pixels.size());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Baseline_Memset640x480);

void BM_Baseline_FillWords640x480(benchmark::State& state) {
  std::vector<uint32_t> pixels(page_width * page_height);
  uint32_t colour = 0xFF000001;
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), colour++);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Baseline_FillWords640x480);

// A bare four-neighbour breadth-first fill with a visited map and one queue: the floor for any
// fill that must find its region pixel by pixel.
void BM_Baseline_BareBreadthFirst640x480(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height), visited(pixels.size());
  std::vector<int> queue;
  queue.reserve(pixels.size());
  uint8_t colour = 1;
  for (auto _ : state) {
    queue.clear();
    const int start = 240 * page_width + 320;
    queue.push_back(start);
    visited[start] = 1;
    pixels[start] = colour;
    for (size_t head = 0; head < queue.size(); ++head) {
      const int at = queue[head], x = at % page_width, y = at / page_width;
      auto reach = [&](int n) {
        if (visited[n] || pixels[n] == 15) return;
        visited[n] = 1;
        pixels[n] = colour;
        queue.push_back(n);
      };
      if (x > 0) reach(at - 1);
      if (x < page_width - 1) reach(at + 1);
      if (y > 0) reach(at - page_width);
      if (y < page_height - 1) reach(at + page_width);
    }
    std::memset(visited.data(), 0, visited.size());
    colour = static_cast<uint8_t>(colour % 14 + 1);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Baseline_BareBreadthFirst640x480);

// ---- A long drawing string ----

constexpr int square_count = 250;  // 1000 moves of 20 pixels

const std::string& long_draw_string() {
  static const std::string commands = [] {
    std::string s;
    for (int i = 0; i < square_count; ++i) s += "R20D20L20U20";
    return s;
  }();
  return commands;
}

void BM_DrawLongString(benchmark::State& state) {
  use_page(12);
  const std::string& commands = long_draw_string();
  for (auto _ : state) {
    write_page->x = 300;
    write_page->y = 200;
    sub_draw(zqs_new_txt_len(commands.data(), static_cast<uint32_t>(commands.size())));
    zqs_cleanup(0, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * square_count * 4);
}
BENCHMARK(BM_DrawLongString);

void BM_Baseline_BareLineLoop(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  for (auto _ : state) {
    for (int i = 0; i < square_count; ++i) {
      bare_bresenham<page_width>(pixels.data(), 300, 200, 320, 200, 1);
      bare_bresenham<page_width>(pixels.data(), 320, 200, 320, 220, 1);
      bare_bresenham<page_width>(pixels.data(), 320, 220, 300, 220, 1);
      bare_bresenham<page_width>(pixels.data(), 300, 220, 300, 200, 1);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * square_count * 4);
}
BENCHMARK(BM_Baseline_BareLineLoop);

// The same string run by a bare loop of the drawing statement's own steps: each command letter
// and its whole-number length read from the text, the pen moved in extended precision (aspect and
// scale 1 on this page), the end points rounded to nearest and the segment drawn by the statement's
// line stepping. No sub-strings, variables, prefixes, clipping or error checks.
void BM_Baseline_DrawStringTrace(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  const std::string& commands = long_draw_string();
  for (auto _ : state) {
    long double x = 300, y = 200;
    for (size_t at = 0; at < commands.size();) {
      const char letter = commands[at++];
      long double length = 0;
      while (at < commands.size() && commands[at] >= '0' && commands[at] <= '9')
        length = length * 10 + (commands[at++] - '0');
      long double to_x = x, to_y = y;
      if (letter == 'R') to_x += length;
      if (letter == 'L') to_x -= length;
      if (letter == 'D') to_y += length;
      if (letter == 'U') to_y -= length;
      bare_dda_line<page_width>(
          pixels.data(), static_cast<int>(std::llrint(x)), static_cast<int>(std::llrint(y)),
          static_cast<int>(std::llrint(to_x)), static_cast<int>(std::llrint(to_y)), 1);
      x = to_x;
      y = to_y;
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * square_count * 4);
}
BENCHMARK(BM_Baseline_DrawStringTrace);

}  // namespace
BENCHMARK_MAIN();
