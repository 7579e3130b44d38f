// cli_kernel_rate M N COEFFICIENT: the library's whole-matrix computation on
// a random M x N table (10% missing), best of 3; prints the pair-variable
// steps per second (N m (m - 1) / 2 over the seconds). bench/cli_bench.sh
// compiles it against the built library.
#include <tessora/tessora.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const long m = std::atol(argv[1]), n = std::atol(argv[2]);
  std::mt19937 rng(1);
  std::lognormal_distribution<float> amount(0.0f, 1.5f);
  std::vector<float> x(static_cast<std::size_t>(m * n));
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = (k % n != 0 && rng() % 10 == 0) ? -1.0f : amount(rng);
  const auto view = tessora::TableView::row_major(x.data(), m, n, true);
  const tessora::Engine engine(view, {tessora::coefficient_number(argv[3])});
  double best = 1e30;
  for (int r = 0; r < 3; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    const tessora::Matrix d = engine.compute();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::printf("%.4g\n", static_cast<double>(n) * m * (m - 1) / 2 / best);
}
