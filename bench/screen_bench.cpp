// Drawing cost against plain loops over the same pixels, measured in the same run:
//   box fill (indexed and 32-bit) against memset / std::fill,
//   horizontal and diagonal lines against a bare Bresenham loop,
//   single points through the point statement against a direct byte store.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/baselines.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/image.h"
#include "tests/support/headless_runtime.h"

namespace {

constexpr int page_width = 320;
constexpr int page_height = 200;

// Starts the runtime once and selects a page of the mode as the write page.
void use_page(int32_t mode) {
  static bool started = false;
  if (!started) {
    init_headless_runtime();
    started = true;
  }
  if (mode == 13) {
    zqg_screen(13, 0, 0, 0, 0, 1);
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

}  // namespace

BENCHMARK_MAIN();
