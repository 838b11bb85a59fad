// The per-statement costs of the execution frame: the statement check and the temporary-string
// cycle of a key-polling statement.
//
//   core_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"

namespace {

constexpr int statements_per_iteration = 1000;

void start_runtime() {
  new_error = 0;
  zqevent = 0;
  memory_init();
  strings_init();
}

// Baseline: a loop of 1000 "statements" that do nothing but keep their line number alive.
void BM_EmptyStatements(benchmark::State& state) {
  for (auto _ : state) {
    for (uint32_t line = 1; line <= statements_per_iteration; ++line)
      benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(state.iterations() * statements_per_iteration);
}
BENCHMARK(BM_EmptyStatements);

// The same loop with the statement check after every statement (no event pending).
void BM_CheckedStatements(benchmark::State& state) {
  start_runtime();
  for (auto _ : state) {
    for (uint32_t line = 1; line <= statements_per_iteration; ++line) {
      benchmark::DoNotOptimize(line);
      check_statement(line);
    }
  }
  state.SetItemsProcessed(state.iterations() * statements_per_iteration);
}
BENCHMARK(BM_CheckedStatements);

// One key-polling statement: k$ = CHR$(n) + "x": IF k$ = "Ax" THEN ... with its cleanups.
void BM_TemporaryStringStatement(benchmark::State& state) {
  start_runtime();
  zqs* key = zqs_new(0, 0);
  int code = 0;
  for (auto _ : state) {
    uint32_t base = zqs_tmp_list_nexti;
    zqs_set(key, zqs_add(func_chr(code++ & 255), zqs_new_txt("x")));
    zqs_cleanup(base, 0);
    benchmark::DoNotOptimize(
        zqs_cleanup(base, static_cast<uint32_t>(zqs_equal(key, zqs_new_txt("Ax")))));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TemporaryStringStatement);

// Baseline for the above: the same bytes built in a fixed buffer with no string machinery.
void BM_PlainBufferStatement(benchmark::State& state) {
  char key[2];
  int code = 0;
  for (auto _ : state) {
    key[0] = static_cast<char>(code++ & 255);
    key[1] = 'x';
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(key[0] == 'A' && key[1] == 'x');
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainBufferStatement);

}  // namespace

BENCHMARK_MAIN();
