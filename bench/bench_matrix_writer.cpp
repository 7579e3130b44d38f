// The MATRIX.TXT writer: rows formatted in parallel and handed over whole,
// against the plain writer that passes every value as its own item, each
// formatted from the exact decimal digits the standard library gives (what a
// straightforward program does), and against one item per value with the
// fast formatter.
//
// All write a full 4000 x 4000 matrix (16 million values) to MATRIX.TXT in a
// temporary directory, through the record layer over a quiet scripted console
// that answers the layout question with 0. Before timing, the files are
// compared byte for byte. At the end the ratios of the times are printed.
// A last benchmark times the number formatting alone on one thread.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "engine/matrices.hpp"
#include "dialogue/datafile.hpp"
#include "dialogue/matrix_output.hpp"
#include "console/hooks.hpp"
#include "recordio/real_text.hpp"
#include "recordio/runtime.hpp"

namespace {

namespace fs = std::filesystem;
using tessora::engine::ResemblanceMatrix;

constexpr std::int32_t kObjects = 4000;
constexpr std::int32_t kCoefficient = 1;  // a distance: no conversion question

// Answers every question with 0 and drops every console line.
class QuietHooks final : public tessora::console::Hooks {
 public:
  bool write_piece(std::string_view, tessora::console::Stream) override { return true; }
  tessora::console::ReadResult read_line(std::string& line, std::size_t) override {
    line.assign(1, '0');  // (assigning a literal trips a false -Wrestrict in GCC 12)
    return tessora::console::ReadResult::line;
  }
  int end_of_run(int code) override { return code; }
  bool statement_start() override { return true; }
};

// Distances as a real run gives them: mostly between 0.1 and a few thousand
// (fixed form), some below 0.1 and some of a million or more (exponent form),
// a few exact zeros; 0 on the diagonal.
ResemblanceMatrix make_matrix() {
  ResemblanceMatrix res(kObjects);
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> log_value(std::log(30.0), 1.5);
  for (float& v : res.triangle()) {
    const double u = unit(rng);
    if (u < 0.02) {
      v = 0.0f;
    } else if (u < 0.12) {
      v = static_cast<float>(std::pow(10.0, -5.0 + 4.0 * unit(rng)));
    } else if (u < 0.13) {
      v = static_cast<float>(std::pow(10.0, 6.0 + 3.0 * unit(rng)));
    } else {
      v = static_cast<float>(std::exp(log_value(rng)));
    }
  }
  for (float& d : res.diagonal()) d = 0.0f;
  return res;
}

// Shared by every write: a distance is never converted, so the writer leaves
// it as it is and no copy is needed per iteration.
ResemblanceMatrix& matrix() {
  static ResemblanceMatrix res = make_matrix();
  return res;
}

// The same file written one item per value through the record layer, each
// value formatted by the fast formatter: how much of the gain is the
// formatter and how much the rows, the blocks and the threads.
void write_item_by_item() {
  QuietHooks hooks;
  tessora::recordio::Runtime rt(hooks);
  const ResemblanceMatrix& res = matrix();
  rt.open(tessora::dialogue::kFileUnit, "MATRIX.TXT", /*create=*/true);
  rt.begin_write(tessora::dialogue::kFileUnit);
  rt.write_item(std::string_view(" MATRIX "));
  rt.write_item(kCoefficient);
  rt.write_item(std::string_view(" FROM "));
  std::string title = "BENCHMARK MATRIX";
  title.resize(100, ' ');
  rt.write_item(std::string_view(title));
  rt.end_write();
  rt.begin_write(tessora::dialogue::kFileUnit);
  rt.write_item(kObjects);
  rt.end_write();
  for (std::size_t i = 0; i < kObjects; ++i) {
    rt.begin_write(tessora::dialogue::kFileUnit);
    for (std::size_t j = 0; j < kObjects; ++j) rt.write_item(res.at(i, j));
    rt.end_write();
  }
  rt.close(tessora::dialogue::kFileUnit);
}

// One whole MATRIX.TXT step in the current directory.
void write_once(bool plain_rows) {
  static const std::string title = [] {
    std::string t = "BENCHMARK MATRIX";
    t.resize(100, ' ');
    return t;
  }();
  QuietHooks hooks;
  tessora::recordio::Runtime rt(hooks);
  tessora::dialogue::open_matrix_file(rt, kCoefficient, title, kObjects);
  tessora::dialogue::write_matrix_rows(rt, matrix(), /*full=*/true, plain_rows);
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_WriteMatrixPlain(benchmark::State& state) {
  matrix();
  for (auto _ : state) write_once(true);
  state.SetItemsProcessed(state.iterations() * std::int64_t{kObjects} * kObjects);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size("MATRIX.TXT")));
}

void BM_WriteMatrixItemByItem(benchmark::State& state) {
  matrix();
  for (auto _ : state) write_item_by_item();
  state.SetItemsProcessed(state.iterations() * std::int64_t{kObjects} * kObjects);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size("MATRIX.TXT")));
}

void BM_WriteMatrixFast(benchmark::State& state) {
  matrix();
  for (auto _ : state) write_once(false);
  state.SetItemsProcessed(state.iterations() * std::int64_t{kObjects} * kObjects);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size("MATRIX.TXT")));
}

// The text of all 16 million values on one thread, without the record layer
// and the file: what the parallel writer divides among the cores.
void BM_FormatAllValuesOneThread(benchmark::State& state) {
  const ResemblanceMatrix& res = matrix();
  std::string row(std::size_t{kObjects} * tessora::recordio::kMaxRealText, ' ');
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (std::size_t i = 0; i < kObjects; ++i) {
      char* p = row.data();
      for (std::size_t j = 0; j < kObjects; ++j) p += tessora::recordio::format_real(res.at(i, j), p);
      bytes += static_cast<std::size_t>(p - row.data());
      benchmark::DoNotOptimize(row.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kObjects} * kObjects);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

BENCHMARK(BM_WriteMatrixPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WriteMatrixItemByItem)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WriteMatrixFast)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FormatAllValuesOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps each benchmark's mean real time per iteration for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that the lines can be piped and searched.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
  }
  const std::map<std::string, double>& times() const { return times_; }

 private:
  std::map<std::string, double> times_;
};

// A private scratch directory, entered for the run and removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "tessora-writer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    dir_ = pattern;
    home_ = fs::current_path();
    fs::current_path(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::current_path(home_, ec);
    fs::remove_all(dir_, ec);
  }
  const fs::path& path() const { return dir_; }

 private:
  fs::path dir_;
  fs::path home_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ScratchDir scratch;

  // The fast writer is only worth timing if it writes the very same bytes.
  write_once(true);
  const std::string plain = read_file("MATRIX.TXT");
  write_item_by_item();
  const bool item_by_item_same = read_file("MATRIX.TXT") == plain;
  write_once(false);
  if (read_file("MATRIX.TXT") != plain || !item_by_item_same) {
    std::fprintf(stderr, "the two writers wrote different files\n");
    return 1;
  }
  std::printf("MATRIX.TXT: %zu bytes, the same from both writers (in %s)\n", plain.size(),
              scratch.path().c_str());

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& t = reporter.times();
  const auto plain_it = t.find("BM_WriteMatrixPlain");
  const auto fast_it = t.find("BM_WriteMatrixFast");
  if (plain_it != t.end() && fast_it != t.end() && fast_it->second > 0.0) {
    const double ratio = plain_it->second / fast_it->second;
    std::printf("writer: fast path %.1fx the plain writer (target 5x: %s)\n", ratio,
                ratio >= 5.0 ? "met" : "not met");
  }
  const auto items_it = t.find("BM_WriteMatrixItemByItem");
  if (items_it != t.end() && fast_it != t.end() && fast_it->second > 0.0) {
    std::printf("writer: fast path %.1fx one item per value with the fast formatter\n",
                items_it->second / fast_it->second);
  }
  return 0;
}
