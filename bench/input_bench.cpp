// Costs of the keyboard path and of the clock and generator calls the puzzle makes.
//
//   input_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <atomic>

#include "runtime/core/atomic_ref.h"
#include "runtime/core/clock.h"
#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/host/keyboard.h"

namespace {

void start_runtime() {
  static const bool started = [] {
    memory_init();
    strings_init();
    return true;
  }();
  (void)started;
  new_error = 0;
  zqevent = 0;
  keyboard_init();
}

// Baseline: two acquire loads of bytes, what an empty-ring test needs at least.
void BM_BaselineTwoAcquireLoads(benchmark::State& state) {
  alignas(64) static uint8_t bytes[4] = {0x1E, 0, 0x1E, 0};
  for (auto _ : state) {
    const uint8_t head = AtomicRef<uint8_t>(bytes[0]).load(std::memory_order_acquire);
    const uint8_t tail = AtomicRef<uint8_t>(bytes[2]).load(std::memory_order_acquire);
    benchmark::DoNotOptimize(head == tail);
  }
}
BENCHMARK(BM_BaselineTwoAcquireLoads);

void BM_RingEmptyCheck(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) benchmark::DoNotOptimize(keyboard_ring_empty());
}
BENCHMARK(BM_RingEmptyCheck);

// One poll of a key loop on an empty ring: INKEY$ makes a temporary string, the statement's
// end releases it.
void BM_InkeyOnEmptyRing(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) {
    const uint32_t base = zqs_tmp_list_nexti;
    benchmark::DoNotOptimize(zqs_inkey());
    zqs_cleanup(base, 0);
  }
}
BENCHMARK(BM_InkeyOnEmptyRing);

// A key press and release on the window side and its read on the program side.
void BM_KeyPressToInkey(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) {
    keydown('a');
    keyup('a');
    const uint32_t base = zqs_tmp_list_nexti;
    benchmark::DoNotOptimize(zqs_inkey());
    zqs_cleanup(base, 0);
    func__keyhit();
    func__keyhit();
  }
}
BENCHMARK(BM_KeyPressToInkey);

// Baseline for the generator: the bare 24-bit step.
void BM_BaselineLcgStep(benchmark::State& state) {
  uint32_t seed = 0x50000;
  for (auto _ : state) {
    seed = (seed * 16598013u + 12820163u) & 0xFFFFFF;
    benchmark::DoNotOptimize(static_cast<float>(seed) / 16777216.0f);
  }
}
BENCHMARK(BM_BaselineLcgStep);

void BM_FuncRnd(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) benchmark::DoNotOptimize(func_rnd(0, 0));
}
BENCHMARK(BM_FuncRnd);

void BM_FuncTimer(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) benchmark::DoNotOptimize(func_timer(0, 0));
}
BENCHMARK(BM_FuncTimer);

}  // namespace

BENCHMARK_MAIN();
