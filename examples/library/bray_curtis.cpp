// The Bray-Curtis dissimilarities of five plots (objects) over four species
// (variables), one cover value unknown, how many species each pair of plots
// was compared on, and each plot's two nearest plots.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

#include <tessora/tessora.hpp>

int main() {
  const float cover[5][4] = {
      {35, 20, 0, 5},
      {30, NAN, 10, 5},  // species 2 not recorded in plot 2
      {0, 15, 25, 40},
      {10, 10, 10, 10},
      {35, 18, 2, 6},
  };
  try {
    const auto table = tessora::TableView::row_major(&cover[0][0], 5, 4, true, tessora::Missing::not_a_number());
    const tessora::Engine engine(table, {tessora::coefficient_number("bray-curtis")});

    std::vector<float> d(25);
    std::vector<std::uint32_t> k(25);
    engine.compute_block({0, 5, 0, 5}, d.data(), 5, k.data(), 5);

    std::printf("%s, %s\n", tessora::coefficient_info(8).name.data(), TESSORA_VERSION_STRING);
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) std::printf(" %9.6f", d[i * 5 + j]);
      std::printf("   |");
      for (int j = 0; j < 5; ++j) std::printf(" %u", k[i * 5 + j]);
      std::printf("\n");
    }

    std::vector<std::int64_t> nearest(5 * 2);
    std::vector<float> value(5 * 2);
    engine.neighbors(2, nearest.data(), value.data());
    for (int i = 0; i < 5; ++i)
      std::printf("plot %d: nearest %lld (%.6f), then %lld (%.6f)\n", i, static_cast<long long>(nearest[i * 2]),
                  value[i * 2], static_cast<long long>(nearest[i * 2 + 1]), value[i * 2 + 1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bray_curtis: %s\n", e.what());
    return 1;
  }
}
