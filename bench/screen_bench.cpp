// Drawing cost against plain loops over the same pixels, measured in the same run:
//   box fill (indexed and 32-bit) against memset / std::fill, the blended box against a bare
//   table-blend loop,
//   horizontal, diagonal and styled lines against a bare Bresenham loop (styled: with the same
//   pattern),
//   single points through the point statement against a bare loop that maps, clips and stores
//   each point (and against a direct byte store).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/baselines.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/blend.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tests/support/headless_runtime.h"

namespace {

constexpr int page_width = 320;
constexpr int page_height = 200;

// Starts the runtime once and selects a page of the mode as the write page: the mode 13 screen or
// a 32-bit image of the same size.
void use_page(int32_t mode) {
  static bool started = false;
  if (!started) {
    init_headless_runtime();
    started = true;
  }
  if (mode == 13) {
    // The screen statement changes nothing when the screen is in mode 13 already, and leaves the
    // 32-bit image the write page: page 0 is made the write page here.
    zqg_screen(13, 0, 0, 0, 0, 1);
    sub__dest(0);
  } else {
    static int32_t rgb_page = 0;
    if (rgb_page == 0) rgb_page = func__newimage(page_width, page_height, 32, 1);
    sub__dest(rgb_page);
  }
}

// ---- Box fill ----

void BM_BoxFill_Mode13(benchmark::State& state) {
  use_page(13);
  uint32_t colour = 1;
  for (auto _ : state) {
    sub_line(0, 0, page_width - 1, page_height - 1, colour++ & 255, 2, 0, 1 | 8);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_BoxFill_Mode13);

void BM_Baseline_Memset(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  int colour = 1;
  for (auto _ : state) {
    std::memset(pixels.data(), colour++ & 255, pixels.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Baseline_Memset);

void BM_BoxFill_32BitOpaque(benchmark::State& state) {
  use_page(32);
  uint32_t colour = 0xFF000000;
  for (auto _ : state) {
    sub_line(0, 0, page_width - 1, page_height - 1, colour++, 2, 0, 1 | 8);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height * 4);
}
BENCHMARK(BM_BoxFill_32BitOpaque);

void BM_BoxFill_32BitBlended(benchmark::State& state) {
  use_page(32);
  for (auto _ : state) {
    sub_line(0, 0, page_width - 1, page_height - 1, 0xC8336699, 2, 0, 1 | 8);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height * 4);
}
BENCHMARK(BM_BoxFill_32BitBlended);

void BM_Baseline_FillWords(benchmark::State& state) {
  std::vector<uint32_t> pixels(page_width * page_height);
  uint32_t colour = 0xFF000000;
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), colour++);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height * 4);
}
BENCHMARK(BM_Baseline_FillWords);

// The blended box's pixels blended by a bare loop through the same tables, over a page of the
// same content.
void BM_Baseline_BlendWords(benchmark::State& state) {
  init_blend();
  std::vector<uint32_t> pixels(page_width * page_height, 0xFF000000);
  for (auto _ : state) {
    bare_blend_words(pixels.data(), page_width * page_height, 0xC8336699, cblend, ablend);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * page_width * page_height * 4);
}
BENCHMARK(BM_Baseline_BlendWords);

// ---- Lines: every row of the page, or 200 diagonals ----

void BM_Line_Horizontal(benchmark::State& state) {
  use_page(13);
  for (auto _ : state) {
    for (int y = 0; y < page_height; ++y)
      sub_line(0, static_cast<float>(y), page_width - 1, static_cast<float>(y), 7, 0, 0, 1 | 8);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Line_Horizontal);

void BM_Baseline_BresenhamHorizontal(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  for (auto _ : state) {
    for (int y = 0; y < page_height; ++y)
      bare_bresenham<page_width>(pixels.data(), 0, y, page_width - 1, y, 7);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * page_width * page_height);
}
BENCHMARK(BM_Baseline_BresenhamHorizontal);

void BM_Line_Diagonal(benchmark::State& state) {
  use_page(13);
  for (auto _ : state) {
    for (int x = 0; x < 120; ++x)
      sub_line(static_cast<float>(x), 0, static_cast<float>(x + 199), page_height - 1, 7, 0, 0,
               1 | 8);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 120 * page_height);
}
BENCHMARK(BM_Line_Diagonal);

void BM_Baseline_BresenhamDiagonal(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  for (auto _ : state) {
    for (int x = 0; x < 120; ++x)
      bare_bresenham<page_width>(pixels.data(), x, 0, x + 199, page_height - 1, 7);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 120 * page_height);
}
BENCHMARK(BM_Baseline_BresenhamDiagonal);

void BM_Line_Styled(benchmark::State& state) {
  use_page(13);
  for (auto _ : state) {
    for (int x = 0; x < 120; ++x)
      sub_line(static_cast<float>(x), 0, static_cast<float>(x + 199), page_height - 1, 7, 0, 0xF0F0,
               1 | 8 | 16);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 120 * page_height);
}
BENCHMARK(BM_Line_Styled);

void BM_Baseline_BresenhamStyled(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  for (auto _ : state) {
    for (int x = 0; x < 120; ++x)
      bare_bresenham_styled<page_width>(pixels.data(), x, 0, x + 199, page_height - 1, 7, 0xF0F0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 120 * page_height);
}
BENCHMARK(BM_Baseline_BresenhamStyled);

// ---- Points ----

void BM_Pset(benchmark::State& state) {
  use_page(13);
  for (auto _ : state) {
    for (int y = 0; y < page_height; y += 2)
      for (int x = 0; x < page_width; x += 2)
        sub_pset(static_cast<float>(x), static_cast<float>(y), 9, 2);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (page_width / 2) * (page_height / 2));
}
BENCHMARK(BM_Pset);

void BM_Baseline_ByteStore(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  for (auto _ : state) {
    for (int y = 0; y < page_height; y += 2)
      for (int x = 0; x < page_width; x += 2) pixels[y * page_width + x] = 9;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (page_width / 2) * (page_height / 2));
}
BENCHMARK(BM_Baseline_ByteStore);

// The mapping, viewport clip and store of each point as a bare loop: the point's coordinates
// scaled and offset in single precision, rounded to nearest (halves to even), tested against the
// viewport and stored masked. The mapping is read at run time, so nothing folds away.
void BM_Baseline_PsetMapped(benchmark::State& state) {
  std::vector<uint8_t> pixels(page_width * page_height);
  struct {
    float scale_x = 1, scale_y = 1, offset_x = 0, offset_y = 0;
    int32_t view_x1 = 0, view_y1 = 0, view_x2 = page_width - 1, view_y2 = page_height - 1;
    uint32_t mask = 255;
  } page;
  benchmark::DoNotOptimize(page);
  for (auto _ : state) {
    for (int y = 0; y < page_height; y += 2)
      for (int x = 0; x < page_width; x += 2) {
        const auto px =
            static_cast<long>(std::rint(static_cast<float>(x) * page.scale_x + page.offset_x));
        const auto py =
            static_cast<long>(std::rint(static_cast<float>(y) * page.scale_y + page.offset_y));
        if (px < page.view_x1 || px > page.view_x2 || py < page.view_y1 || py > page.view_y2)
          continue;
        pixels[py * page_width + px] = static_cast<uint8_t>(9 & page.mask);
      }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (page_width / 2) * (page_height / 2));
}
BENCHMARK(BM_Baseline_PsetMapped);

}  // namespace

BENCHMARK_MAIN();
