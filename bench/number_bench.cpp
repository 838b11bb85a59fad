// Number text and formatted output against the C library doing comparable work in the same run.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/decimal_text.h"
#include "runtime/core/extended.h"
#include "runtime/core/memory.h"
#include "runtime/core/number_text.h"
#include "runtime/core/print_using.h"
#include "runtime/core/strings.h"

namespace {

// A fixed spread of doubles: every magnitude from 1e-12 to 1e18, both signs, some integers.
const std::vector<double>& sample_values() {
  static const std::vector<double> values = [] {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 18);
    std::vector<double> v;
    for (int i = 0; i < 1024; ++i) {
      double x = mantissa(random) * std::pow(10.0, exponent(random));
      if (i % 3 == 0) x = -x;
      if (i % 7 == 0) x = static_cast<double>(static_cast<int64_t>(x) % 100000);
      v.push_back(x);
    }
    return v;
  }();
  return values;
}

// The printed texts of the sample, for the readers.
const std::vector<std::string>& sample_texts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (double x : sample_values()) {
      char buffer[double_text_capacity];
      std::string s(buffer, double_to_text(x, buffer));
      for (char& c : s)
        if (c == 'D') c = 'E';
      t.push_back(s);
    }
    return t;
  }();
  return texts;
}

void ensure_strings() {
  static bool ready = false;
  if (!ready) {
    memory_init();
    strings_init();
    ready = true;
  }
}

void BM_double_to_text(benchmark::State& state) {
  const auto& values = sample_values();
  size_t i = 0;
  char buffer[double_text_capacity];
  for (auto _ : state) {
    benchmark::DoNotOptimize(double_to_text(values[i++ & 1023], buffer));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_double_to_text);

void BM_zqs_str_double(benchmark::State& state) {
  ensure_strings();
  const auto& values = sample_values();
  const uint32_t base = zqs_tmp_list_nexti;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(zqs_str(values[i++ & 1023]));
    zqs_cleanup(base, 0);
  }
}
BENCHMARK(BM_zqs_str_double);

// Baseline: the C library's shortest general form with 16 digits.
void BM_snprintf_g16(benchmark::State& state) {
  const auto& values = sample_values();
  size_t i = 0;
  char buffer[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "% .16G", values[i++ & 1023]));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_snprintf_g16);

// The exact conversion behind double_to_text against the standard library's on the same values,
// with the 15 decimals the printed text starts from.
void BM_decimal_scientific(benchmark::State& state) {
  const auto& values = sample_values();
  size_t i = 0;
  char buffer[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        decimal_scientific(buffer, buffer + sizeof buffer, values[i++ & 1023], 15));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_decimal_scientific);

// Baseline: std::to_chars where the standard library has it (libstdc++).
void BM_to_chars_scientific(benchmark::State& state) {
  const auto& values = sample_values();
  size_t i = 0;
  char buffer[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::to_chars(buffer, buffer + sizeof buffer, values[i++ & 1023],
                                           std::chars_format::scientific, 15));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_to_chars_scientific);

void BM_text_to_number(benchmark::State& state) {
  const auto& texts = sample_texts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(text_to_number(texts[i++ & 1023]).value);
}
BENCHMARK(BM_text_to_number);

void BM_func_val(benchmark::State& state) {
  ensure_strings();
  std::vector<zqs*> strings;
  for (const auto& t : sample_texts()) {
    zqs* s = zqs_new(0, 0);
    zqs_set(s, zqs_new_txt_len(t.data(), static_cast<uint32_t>(t.size())));
    strings.push_back(s);
  }
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(func_val(strings[i++ & 1023]));
  for (zqs* s : strings) zqs_free(s);
}
BENCHMARK(BM_func_val);

// Baselines: the C library's readers on the same texts.
void BM_strtod(benchmark::State& state) {
  const auto& texts = sample_texts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtod(texts[i++ & 1023].c_str(), nullptr));
}
BENCHMARK(BM_strtod);

void BM_strtold(benchmark::State& state) {
  const auto& texts = sample_texts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtold(texts[i++ & 1023].c_str(), nullptr));
}
BENCHMARK(BM_strtold);

// The software extended format (the browser's) against the hardware's on the same work: reading
// "d.dddE+n" texts of 18 digits, and a multiply-add.
const std::vector<std::string>& scientific_texts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (double x : sample_values()) {
      char buffer[40];
      t.emplace_back(buffer, static_cast<size_t>(std::snprintf(buffer, sizeof buffer, "%.17E", x)));
    }
    return t;
  }();
  return texts;
}

void BM_soft_extended_parse(benchmark::State& state) {
  const auto& texts = scientific_texts();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& text = texts[i++ & 1023];
    benchmark::DoNotOptimize(vost::parse_decimal(text.data(), text.data() + text.size()));
  }
}
BENCHMARK(BM_soft_extended_parse);

void BM_strtold_scientific(benchmark::State& state) {
  const auto& texts = scientific_texts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtold(texts[i++ & 1023].c_str(), nullptr));
}
BENCHMARK(BM_strtold_scientific);

template <typename Number>
void BM_multiply_add(benchmark::State& state) {
  const auto& values = sample_values();
  const Number factor = 0.75;  // keeps the sum finite
  Number sum = 0;
  size_t i = 0;
  for (auto _ : state) {
    sum = sum * factor + Number(values[i++ & 1023]);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_multiply_add<vost::SoftExtended>);
BENCHMARK(BM_multiply_add<long double>);

// A typical report line: a label, a money amount with commas and a percentage.
constexpr const char* report_format = "Total: $$###,###.## (##.#%)";

void BM_print_using_double(benchmark::State& state) {
  ensure_strings();
  const auto& values = sample_values();
  zqs* format = zqs_new(0, 0);
  zqs_set(format, zqs_new_txt(report_format));
  zqs* destination = zqs_new(0, 0);
  size_t i = 0;
  for (auto _ : state) {
    const double x = std::fmod(values[i++ & 1023], 1e6);
    print_using_double(format, x, 0, destination);
    destination->length = 0;
  }
  zqs_free(destination);
  zqs_free(format);
}
BENCHMARK(BM_print_using_double);

// Baseline: one snprintf of the amount with two decimals.
void BM_snprintf_money(benchmark::State& state) {
  const auto& values = sample_values();
  size_t i = 0;
  char buffer[64];
  for (auto _ : state) {
    const double x = std::fmod(values[i++ & 1023], 1e6);
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "Total: $%11.2f", x));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_snprintf_money);

}  // namespace

BENCHMARK_MAIN();
