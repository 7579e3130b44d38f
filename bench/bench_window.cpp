// The desktop window on the offscreen platform: a 100,000-line report from
// the first line written to the last line shown, and the matrix picture.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "console/window/session.hpp"
#include "console/window/text_view.hpp"

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
