// Writes tests/testthat/reference.txt: random tables with missing values and,
// for every coefficient and option, the resemblance matrix of the plain
// reference loop (not the fast kernel the package runs), as float bits.
//
//   g++ -std=c++20 -O1 -ffp-contract=off -I.. -I../build/include \
//       r/tools/make_fixture.cpp ../build/engine/libtessora.a -lhwy -pthread
// (see r/tools/make_fixture.sh). Run again only when the engine's values
// are meant to change.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/matrices.hpp"
#include "engine/pairs.hpp"

namespace {

using tessora::engine::Table;

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
    if (std::isnan(v)) v = std::bit_cast<float>(tessora::engine::kNaNBits);
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
    const Table t{x.data(), static_cast<std::size_t>(c.n), static_cast<std::size_t>(c.m),
                  tessora::engine::kNaNBits};
    std::printf("counts %d\n", id);
    for (int i = 0; i < c.m; ++i) {
      for (int j = 0; j <= i; ++j) {
        int k = 0;
        for (int v = 0; v < c.n; ++v) k += t.known(x[i * c.n + v]) && t.known(x[j * c.n + v]);
        std::printf("%s%d", j ? " " : "", k);
      }
      std::printf("\n");
    }
    for (int number = 1; number <= 34; ++number) {
      const bool scalable = number == 1 || number == 2 || number == 13;
      const bool similarity = number == 4 || number == 5 || number == 7 || number == 19 ||
                              number == 21 || number >= 24;
      for (int variant = 0; variant < 2; ++variant) {
        const bool scale = variant == 1 && scalable;
        const bool dissimilarity = variant == 1 && similarity;
        if (variant == 1 && !scale && !dissimilarity) continue;
        const auto res = tessora::engine::compute_reference(t, number, scale ? 1 : 0, c.n);
        std::printf("result %d %d %d %d\n", id, number, scale, dissimilarity);
        for (int i = 0; i < c.m; ++i) {
          for (int j = 0; j <= i; ++j) {
            float v = res.at(i, j);
            if (dissimilarity) v = static_cast<float>(1.0 - static_cast<double>(v));
            std::printf("%s%08x", j ? " " : "", bits(v));
          }
          std::printf("\n");
        }
      }
    }
  }
  return 0;
}
