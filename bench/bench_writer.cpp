// The record layer's writer: real items formatted by the fast and by the
// reference algorithm, and rows written item by item or through the row
// fast path into a file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "console/hooks.hpp"
#include "recordio/real_text.hpp"
#include "recordio/runtime.hpp"

namespace {

using tessora::recordio::Runtime;

// Values as a resemblance matrix holds them: mostly fixed form, some below
// 0.1 or of a million and more, a few zeros.
std::vector<float> make_values(std::size_t n) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> log_value(std::log(30.0), 1.5);
  std::vector<float> v(n);
  for (float& x : v) {
    const double u = unit(rng);
    if (u < 0.02) {
      x = 0.0f;
    } else if (u < 0.12) {
      x = static_cast<float>(std::pow(10.0, -5.0 + 4.0 * unit(rng)));
    } else if (u < 0.13) {
      x = static_cast<float>(std::pow(10.0, 6.0 + 3.0 * unit(rng)));
    } else {
      x = static_cast<float>(std::exp(log_value(rng)));
    }
  }
  return v;
}

const std::vector<float>& values() {
  static const std::vector<float> v = make_values(4096);
  return v;
}

class QuietHooks final : public tessora::console::Hooks {
 public:
  bool write_piece(std::string_view, tessora::console::Stream) override { return true; }
  tessora::console::ReadResult read_line(std::string&, std::size_t) override {
    return tessora::console::ReadResult::end_of_input;
  }
  int end_of_run(int code) override { return code; }
  bool statement_start() override { return true; }
};

void BM_FormatReal(benchmark::State& state) {
  char buffer[tessora::recordio::kMaxRealText];
  for (auto _ : state) {
    for (float v : values()) benchmark::DoNotOptimize(tessora::recordio::format_real(v, buffer));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values().size()));
}
BENCHMARK(BM_FormatReal);

void BM_FormatRealReference(benchmark::State& state) {
  for (auto _ : state) {
    for (float v : values()) benchmark::DoNotOptimize(tessora::recordio::format_real_reference(v));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values().size()));
}
BENCHMARK(BM_FormatRealReference);

// 1000 rows of 4096 values to a file in /tmp; argument 0 passes one item per
// value, 1 the whole row at once.
void BM_WriteRows(benchmark::State& state) {
  const bool whole_rows = state.range(0) == 1;
  char name[] = "/tmp/tessora-bench-writer-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  ::close(fd);
  constexpr int kRows = 1000;
  for (auto _ : state) {
    QuietHooks hooks;
    Runtime rt(hooks);
    rt.open(1, name, true);
    for (int r = 0; r < kRows; ++r) {
      rt.begin_write(1);
      if (whole_rows) {
        rt.write_items(values());
      } else {
        for (float v : values()) rt.write_item(v);
      }
      rt.end_write();
    }
    rt.close(1);
  }
  std::remove(name);
  state.SetItemsProcessed(state.iterations() * kRows * static_cast<std::int64_t>(values().size()));
}
BENCHMARK(BM_WriteRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
