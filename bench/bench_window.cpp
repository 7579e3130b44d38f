// The desktop window on the offscreen platform: a 100,000-line report from
// the first line written to the last line shown, and the matrix picture
// of m objects drawn whole.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>
#include <random>
#include <cstdlib>
#include <string>

#include "window/qt/matrix_view.hpp"
#include "window/qt/session.hpp"
#include "window/qt/text_view.hpp"

namespace {

using tessora::console::Stream;
using tessora::console::WindowSession;

void report_of_100000_lines(benchmark::State& state) {
  for (auto _ : state) {
    WindowSession session;
    session.show();
    QApplication::processEvents();
    for (int i = 0; i < 100000; ++i) {
      session.host().write_piece(" OBJECTS 1 AND " + std::to_string(i + 2) + " ARE INCOMPARABLE\r\n", Stream::output);
    }
    session.host().statement_start();
    QApplication::processEvents();
    state.counters["paints"] = static_cast<double>(session.frame().text_view()->paints());
    state.PauseTiming();
    session.frame().hide();
    state.ResumeTiming();
  }
}
BENCHMARK(report_of_100000_lines)->Unit(benchmark::kMillisecond)->Iterations(3);

// m = 20,000: 200 million pairs drawn into a view of about 800 by 800
// pixels, each pixel the mean of a block of about 25 by 25 cells; in the
// data's order and in a shuffled one, as a clustered order reads the rows.
void matrix_picture(benchmark::State& state) {
  const std::size_t m = static_cast<std::size_t>(state.range(0));
  auto data = std::make_shared<tessora::console::MatrixData>();
  data->m = m;
  data->diag.assign(m, 0.0f);
  data->triangle.resize(m * (m - 1) / 2);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(0, 10);
  for (float& x : data->triangle) x = value(rng);
  tessora::console::MatrixView view;
  view.resize(1000, 850);
  view.set_data(data);
  QImage image(view.size(), QImage::Format_RGB32);
  // CPU seconds of all threads per drawing: on a shared machine the wall
  // time also counts the waits for a core.
  auto cpu = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  const double cpu_before = cpu();
  for (auto _ : state) {
    QPainter painter(&image);
    view.render(painter, view.size());
  }
  state.counters["cpu_s_all_threads"] = (cpu() - cpu_before) / static_cast<double>(state.iterations());
  state.counters["cells_per_pixel"] =
      static_cast<double>(m) * static_cast<double>(m) /
      (static_cast<double>(view.cell_area().width()) * view.cell_area().height());
}
BENCHMARK(matrix_picture)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
