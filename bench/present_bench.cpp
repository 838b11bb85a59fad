// Frame preparation against plain loops over the same pixels, measured in the same run.
//
//   present_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Unchanged 320x200 page: against one memcmp of its pixels (a comparison is all it may cost).
// Changed 320x200 and 640x480 pages: against a plain palette-lookup loop over the same pixels.
// Full 80x25 text page (every cell changed): against a lookup loop over its 640x400 frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/baselines.h"
#include "runtime/host/frame_handover.h"
#include "runtime/host/frame_prepare.h"
#include "runtime/host/host_state.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "runtime/screen/palettes.h"

namespace {

struct BenchPage {
  img_struct rec{};
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256);

  BenchPage(int w, int h, bool text) {
    rec.width = static_cast<uint16_t>(w);
    rec.height = static_cast<uint16_t>(h);
    rec.text = text ? 1 : 0;
    rec.bits_per_pixel = text ? 0 : 8;
    rec.mode = text ? 0 : 13;
    rec.font = 16;
    rec.cursor_x = rec.cursor_y = 1;
    pixels.resize(static_cast<size_t>(w) * h * (text ? 2 : 1));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 320);
    std::memcpy(palette.data(), palette_256, sizeof palette_256);
    rec.pixels = pixels.data();
    rec.palette = palette.data();
  }
};

void setup() {
  static bool done = false;
  if (!done) {
    fonts_init();
    build_default_palettes();
    done = true;
  }
  reset_display_frames();
  screen_last_valid.store(0);
  force_display_update.store(0);
}

// Prepares a frame and hands it to the "window" at once, as the display callback would.
void prepare_and_show(const BenchPage& page, const FrameClock& clock) {
  benchmark::DoNotOptimize(prepare_frame_from_page(&page.rec, clock));
  bool is_new = false;
  benchmark::DoNotOptimize(pick_frame_to_show(&is_new));
}

void BM_DisplayUnchanged320x200(benchmark::State& state) {
  setup();
  BenchPage page(320, 200, false);
  FrameClock clock;
  prepare_and_show(page, clock);
  for (auto _ : state) prepare_and_show(page, clock);
}
BENCHMARK(BM_DisplayUnchanged320x200);

void BM_BaselineCompare320x200(benchmark::State& state) {
  std::vector<uint8_t> a(320 * 200, 3), b(320 * 200, 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), a.size()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BaselineCompare320x200);

void changed_page(benchmark::State& state, int w, int h) {
  setup();
  BenchPage page(w, h, false);
  FrameClock clock;
  uint8_t v = 0;
  for (auto _ : state) {
    page.pixels[page.pixels.size() - 1] = ++v;  // the last pixel: the comparison runs to the end
    prepare_and_show(page, clock);
  }
}

void BM_DisplayChanged320x200(benchmark::State& state) { changed_page(state, 320, 200); }
BENCHMARK(BM_DisplayChanged320x200);
void BM_DisplayChanged640x480(benchmark::State& state) { changed_page(state, 640, 480); }
BENCHMARK(BM_DisplayChanged640x480);

void lookup_loop(benchmark::State& state, int n) {
  std::vector<uint8_t> in(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) in[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint32_t> out(static_cast<size_t>(n));
  std::vector<uint32_t> lut(256);
  for (int i = 0; i < 256; ++i) lut[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010101);
  for (auto _ : state) {
    bare_palette_lookup(out.data(), in.data(), n, lut.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void BM_BaselineLookup320x200(benchmark::State& state) { lookup_loop(state, 320 * 200); }
BENCHMARK(BM_BaselineLookup320x200);
void BM_BaselineLookup640x480(benchmark::State& state) { lookup_loop(state, 640 * 480); }
BENCHMARK(BM_BaselineLookup640x480);

void BM_DisplayText80x25Full(benchmark::State& state) {
  setup();
  BenchPage page(80, 25, true);
  FrameClock clock;
  prepare_and_show(page, clock);
  uint8_t shift = 0;
  for (auto _ : state) {
    ++shift;
    for (size_t i = 0; i < page.pixels.size(); i += 2) page.pixels[i] += 1;  // every cell changes
    benchmark::DoNotOptimize(shift);
    prepare_and_show(page, clock);
  }
}
BENCHMARK(BM_DisplayText80x25Full);

void BM_BaselineLookup640x400(benchmark::State& state) { lookup_loop(state, 640 * 400); }
BENCHMARK(BM_BaselineLookup640x400);

}  // namespace

BENCHMARK_MAIN();
