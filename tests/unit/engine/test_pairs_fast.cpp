// compute() against the reference loop, bit for bit, on random matrices whose
// sizes hit every tail of a vector width, for every coefficient row.
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "engine/pairs.hpp"
#include "test_pairs_support.hpp"

namespace tessora::engine {
namespace {

using testing::bits;

// Missing values, zeros, small integers, negatives and inexact fractions.
DataMatrix random_matrix(std::int32_t n, std::int32_t m, std::mt19937& rng) {
  DataMatrix d;
  d.n = n;
  d.m = m;
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_int_distribution<int> small(0, 5);
  std::uniform_real_distribution<float> real(-3.0f, 50.0f);
  for (std::int64_t e = 0; e < std::int64_t{n} * m; ++e) {
    const int p = pick(rng);
    d.x.push_back(p < 2 ? -1.0f : p < 3 ? 0.0f : p < 6 ? static_cast<float>(small(rng)) : real(rng));
  }
  return d;
}

TEST(FastPath, SameBitsAsTheReferenceLoop) {
  std::mt19937 rng(20240611);
  const std::int32_t sizes[] = {1, 3, 7, 8, 9, 16, 17};
  for (std::int32_t n : sizes) {
    for (std::int32_t m : sizes) {
      const DataMatrix d = random_matrix(n, m, rng);
      for (std::int32_t c = -1; c <= 36; ++c) {
        for (std::int32_t scaling : {0, 1}) {
          const ResemblanceMatrix want = compute_reference(d, c, scaling);
          const ResemblanceMatrix got = compute(d, c, scaling);
          ASSERT_EQ(got.size(), want.size());
          for (std::size_t i = 0; i < static_cast<std::size_t>(m); ++i)
            for (std::size_t j = 0; j <= i; ++j)
              ASSERT_EQ(bits(got.at(i, j)), bits(want.at(i, j)))
                  << "n " << n << " m " << m << " coefficient " << c << " scaling " << scaling
                  << " entry (" << i << ", " << j << ")";
        }
      }
    }
  }
}

}  // namespace
}  // namespace tessora::engine
