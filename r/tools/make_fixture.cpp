// Writes tests/testthat/reference.txt: random tables with missing values and,
// for every coefficient and option, the resemblance matrix of the plain
// reference loop (tessora::reference_matrix, not the fast kernel the package
// runs), as float bits. Built and run by r/tools/make_fixture.sh; run again
// only when the engine's values are meant to change.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include <tessora/tessora.hpp>

namespace {

constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();  // bits 7fc00000

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

struct Case {
  int m, n;
  int kind;  // 0: counts 0..4, 1: reals 0..10 with zeros, 2: with pairs that share nothing
  double missing;
};

std::vector<float> make_table(const Case& c, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<float> x(static_cast<std::size_t>(c.m) * c.n);
  for (float& v : x) {
    if (c.kind == 0) v = static_cast<float>(static_cast<int>(u(rng) * 5));
    else v = u(rng) < 0.15 ? 0.0f : static_cast<float>(u(rng) * 10.0);
    if (u(rng) < c.missing) v = NAN;
  }
  if (c.kind == 2) {
    // Object 0 known only in the first half of the variables, object 1 only
    // in the second half, object 2 not at all.
    for (int v = 0; v < c.n; ++v) {
      if (v >= c.n / 2) x[v] = NAN;
      else x[c.n + v] = NAN;
      x[2 * c.n + v] = NAN;
    }
  }
  for (float& v : x)
    if (std::isnan(v)) v = kMissing;
  return x;
}

}  // namespace

int main() {
  std::mt19937 rng(20250613);
  const Case cases[] = {{9, 7, 0, 0.15}, {11, 13, 1, 0.10}, {7, 6, 2, 0.10}};
  std::printf("# Random tables (objects by rows, float bits, 7fc00000 missing) and the\n"
              "# reference loop's resemblance matrices: lower triangle with diagonal.\n");
  int id = 0;
  for (const Case& c : cases) {
    ++id;
    const std::vector<float> x = make_table(c, rng);
    std::printf("table %d %d %d\n", id, c.m, c.n);
    for (int i = 0; i < c.m; ++i) {
      for (int v = 0; v < c.n; ++v) std::printf("%s%08x", v ? " " : "", bits(x[i * c.n + v]));
      std::printf("\n");
    }
    const auto table = tessora::TableView::row_major(x.data(), c.m, c.n, true, tessora::Missing::not_a_number());
    std::printf("counts %d\n", id);
    for (int i = 0; i < c.m; ++i) {
      for (int j = 0; j <= i; ++j) {
        int k = 0;
        for (int v = 0; v < c.n; ++v) k += !std::isnan(x[i * c.n + v]) && !std::isnan(x[j * c.n + v]);
        std::printf("%s%d", j ? " " : "", k);
      }
      std::printf("\n");
    }
    for (const tessora::CoefficientInfo& info : tessora::coefficients()) {
      for (int variant = 0; variant < 2; ++variant) {
        const bool scale = variant == 1 && info.scalable;
        const bool dissimilarity = variant == 1 && info.similarity;
        if (variant == 1 && !scale && !dissimilarity) continue;
        const tessora::Matrix res = tessora::reference_matrix(table, {info.number, scale, dissimilarity});
        std::printf("result %d %d %d %d\n", id, info.number, scale, dissimilarity);
        for (int i = 0; i < c.m; ++i) {
          for (int j = 0; j <= i; ++j) {
            std::printf("%s%08x", j ? " " : "", bits(res(i, j)));
          }
          std::printf("\n");
        }
      }
    }
  }
  return 0;
}
