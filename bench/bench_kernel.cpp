// The pair kernel of every coefficient on 1000 objects by 1000 variables with
// 10% missing values, through the library's whole-matrix call, in
// pair-variable steps per second, on all cores and on one; a block of
// 1000 x 1000 pairs through the block call and straight to the kernel; the
// reference loop of a few coefficients as the baseline (on fewer objects: it
// is slow); narrow tables (10 to 100 variables) in pairs per second. The
// instruction set in use is printed first.
//
//   [TESSORA_KERNEL_TARGET=AVX2] bench_kernel [--benchmark_filter=kernel/all/5] ...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include "engine/coefficients.hpp"
#include "engine/kernel/kernel.hpp"
#include "engine/pairs.hpp"
#include "tessora/tessora.hpp"

namespace {

using tessora::engine::DataMatrix;
using tessora::engine::kMissing;

// Counts and fractions, 10% missing: what a survey table looks like.
DataMatrix table(std::int32_t n, std::int32_t m) {
  DataMatrix d;
  d.n = n;
  d.m = m;
  d.x.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(m));
  std::mt19937 rng(42);
  std::bernoulli_distribution missing(0.1);
  std::uniform_int_distribution<int> count(0, 20);
  std::uniform_real_distribution<float> real(0.0f, 100.0f);
  for (float& x : d.x) x = missing(rng) ? kMissing : (rng() % 2 ? static_cast<float>(count(rng)) : real(rng));
  return d;
}

const DataMatrix& kernel_table() {
  static const DataMatrix d = table(1000, 1000);
  return d;
}
const DataMatrix& reference_table() {
  static const DataMatrix d = table(1000, 200);
  return d;
}

double steps(const DataMatrix& d) {
  return static_cast<double>(d.m) * (d.m - 1) / 2.0 * d.n;
}

tessora::TableView view_of(const DataMatrix& d) {
  return tessora::TableView::row_major(d.x.data(), d.m, d.n, true, tessora::Missing::value(kMissing));
}

// The whole matrix through the library, as every front end computes it.
void kernel_run(benchmark::State& state, std::int32_t coefficient, unsigned threads) {
  const DataMatrix& d = kernel_table();
  tessora::RunOptions run;
  run.threads = threads;
  for (auto _ : state) {
    const tessora::Engine engine(view_of(d), {coefficient});
    auto res = engine.compute(run);
    benchmark::DoNotOptimize(res.triangle().data());
  }
  state.counters["steps/s"] =
      benchmark::Counter(steps(d), benchmark::Counter::kIsIterationInvariantRate);
}

void reference_run(benchmark::State& state, std::int32_t coefficient) {
  const DataMatrix& d = reference_table();
  for (auto _ : state) {
    auto res = tessora::engine::compute_reference(d, coefficient, 0);
    benchmark::DoNotOptimize(res.triangle().data());
  }
  state.counters["steps/s"] =
      benchmark::Counter(steps(d), benchmark::Counter::kIsIterationInvariantRate);
}

// A block of 1000 x 1000 pairs (objects 0-999 against 1000-1999) through the
// library's block call, and the same pairs handed straight to the kernel:
// the difference is what the block call costs outside the kernel.
const DataMatrix& block_table() {
  static const DataMatrix d = table(1000, 2000);
  return d;
}

void block_run(benchmark::State& state, std::int32_t coefficient, bool through_library, unsigned threads) {
  const DataMatrix& d = block_table();
  const tessora::Engine engine(view_of(d), {coefficient});
  const auto prepared = tessora::engine::kernel::prepare(tessora::engine::table_of(d), coefficient, 0, d.n);
  std::vector<float> out(1000 * 1000);
  tessora::RunOptions run;
  run.threads = threads;
  tessora::engine::kernel::Control control;
  control.options.threads = threads;
  for (auto _ : state) {
    if (through_library) {
      engine.compute_block({0, 1000, 1000, 2000}, out.data(), 1000, nullptr, 0, run);
    } else {
      const tessora::engine::kernel::detail::Region region{0, 1000, 1000, 2000};
      tessora::engine::kernel::detail::Output o;
      o.values = out.data();
      o.value_stride = 1000;
      o.row_begin = 0;
      o.row_end = 1000;
      o.col_begin = 1000;
      o.col_end = 2000;
      tessora::engine::kernel::run_pairs(prepared, std::span(&region, 1), o, control);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["steps/s"] = benchmark::Counter(1e6 * d.n, benchmark::Counter::kIsIterationInvariantRate);
}

// Narrow tables: 10,000 objects of n variables, every pair into a condensed
// vector that is reused (its pages touched once), in pairs per second: the
// cost of each pair, not of its variables, and not of fresh memory.
const DataMatrix& narrow_table(std::int32_t n) {
  static std::vector<std::pair<std::int32_t, DataMatrix>> tables;
  for (const auto& [width, d] : tables)
    if (width == n) return d;
  tables.emplace_back(n, table(n, 10000));
  return tables.back().second;
}

void narrow_run(benchmark::State& state, std::int32_t coefficient, std::int32_t n, unsigned threads) {
  const DataMatrix& d = narrow_table(n);
  const tessora::Engine engine(view_of(d), {coefficient});
  std::vector<float> out(static_cast<std::size_t>(d.m) * (d.m - 1) / 2, 0.0f);
  tessora::RunOptions run;
  run.threads = threads;
  for (auto _ : state) {
    engine.compute_condensed(0, d.m, out.data(), nullptr, run);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["pairs/s"] = benchmark::Counter(static_cast<double>(d.m) * (d.m - 1) / 2.0,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
  // TESSORA_KERNEL_TARGET=AVX2 (or SSE4, SCALAR, ...) measures another compiled instruction set.
  if (const char* wanted = std::getenv("TESSORA_KERNEL_TARGET")) {
    for (std::int64_t t : tessora::engine::kernel::available_targets())
      if (std::string(hwy::TargetName(t)) == wanted) hwy::SetSupportedTargetsForTest(t);
  }
  std::printf("kernel instruction set: %s\n", tessora::engine::kernel::active_target().c_str());
  for (const auto& row : tessora::engine::menu_coefficients()) {
    const std::string name = std::to_string(row.number) + "/" + std::string(row.name);
    benchmark::RegisterBenchmark(("kernel/all/" + name).c_str(), kernel_run, row.number, 0u)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("kernel/one/" + name).c_str(), kernel_run, row.number, 1u)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (std::int32_t c : {1, 8}) {
    const std::string name = std::to_string(c) + "/" + std::string(tessora::engine::coefficient(c).name);
    for (unsigned threads : {0u, 1u}) {
      const std::string cores = threads == 0 ? "all/" : "one/";
      benchmark::RegisterBenchmark(("block/library/" + cores + name).c_str(), block_run, c, true, threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("block/kernel/" + cores + name).c_str(), block_run, c, false, threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (std::int32_t n : {10, 20, 50, 100}) {
    for (std::int32_t c : {1, 2, 8, 16, 17, 24, 29}) {
      const std::string name = std::to_string(n) + "/" + std::to_string(c) + "/" +
                               std::string(tessora::engine::coefficient(c).name);
      benchmark::RegisterBenchmark(("narrow/all/" + name).c_str(), narrow_run, c, n, 0u)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("narrow/one/" + name).c_str(), narrow_run, c, n, 1u)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (std::int32_t c : {1, 5, 17, 25}) {
    const std::string name = std::to_string(c) + "/" + std::string(tessora::engine::coefficient(c).name);
    benchmark::RegisterBenchmark(("reference/" + name).c_str(), reference_run, c)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
