// Printing a full 40x25 screen, on a text page and on a mode 1 graphics page, against plain loops
// that write the same cells or glyph pixels directly.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "runtime/core/strings.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "runtime/screen/text.h"
#include "tests/support/headless_runtime.h"

namespace {

constexpr int columns = 40;
constexpr int rows = 25;

void init_once() { ensure_headless_runtime(); }

// The text of one screen row: printable characters that change from row to row.
std::string row_text(int row) {
  std::string text(columns, ' ');
  for (int column = 0; column < columns; ++column) {
    text[column] = static_cast<char>(33 + (row * 7 + column) % 90);
  }
  return text;
}

// Prints 25 full rows, each placed with the cursor statement and ending with a held cursor, so
// that nothing scrolls.
void print_screen(const std::string* texts) {
  const uint32_t temporary_base = zqs_tmp_list_nexti;
  for (int row = 0; row < rows; ++row) {
    zqg_sub_locate(row + 1, 1, 0, 0, 0, 3);
    zqs_print(zqs_new_txt_len(texts[row].data(), columns), 0);
  }
  zqs_cleanup(temporary_base, 0);
}

struct Screen {
  std::string texts[rows];
  Screen() {
    for (int row = 0; row < rows; ++row) texts[row] = row_text(row);
  }
};

void BM_PrintTextPage40x25(benchmark::State& state) {
  init_once();
  zqg_screen(0, 0, 0, 0, 0, 1);
  zqsub_width(0, 40, 25, 0, 0, 3);
  const Screen screen;
  for (auto _ : state) {
    print_screen(screen.texts);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * columns * rows);
}
BENCHMARK(BM_PrintTextPage40x25);

// Baseline: the same 1000 cells written by a plain loop (character and attribute).
void BM_BaselineTextCells40x25(benchmark::State& state) {
  const Screen screen;
  static uint8_t cells[columns * rows * 2];
  for (auto _ : state) {
    for (int row = 0; row < rows; ++row) {
      uint8_t* cell = cells + row * columns * 2;
      for (int column = 0; column < columns; ++column) {
        cell[column * 2] = static_cast<uint8_t>(screen.texts[row][column]);
        cell[column * 2 + 1] = 7;
      }
    }
    benchmark::DoNotOptimize(cells);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * columns * rows);
}
BENCHMARK(BM_BaselineTextCells40x25);

void BM_PrintMode1Page40x25(benchmark::State& state) {
  init_once();
  zqg_screen(1, 0, 0, 0, 0, 1);
  const Screen screen;
  for (auto _ : state) {
    print_screen(screen.texts);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * columns * rows);
}
BENCHMARK(BM_PrintMode1Page40x25);

// Baseline: the same 64000 glyph pixels copied by a bare blit loop (foreground 3, background 0,
// masked as the page stores them).
void BM_BaselineGlyphBlit40x25(benchmark::State& state) {
  fonts_init();
  const Screen screen;
  static uint8_t pixels[320 * 200];
  for (auto _ : state) {
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        const uint8_t* glyph = charset8x8 + static_cast<uint8_t>(screen.texts[row][column]) * 64;
        uint8_t* target = pixels + row * 8 * 320 + column * 8;
        for (int y = 0; y < 8; ++y) {
          for (int x = 0; x < 8; ++x) target[y * 320 + x] = (glyph[y * 8 + x] ? 3 : 0) & 3;
        }
      }
    }
    benchmark::DoNotOptimize(pixels);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * columns * rows);
}
BENCHMARK(BM_BaselineGlyphBlit40x25);

}  // namespace

BENCHMARK_MAIN();
