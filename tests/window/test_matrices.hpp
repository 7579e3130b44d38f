// Matrices for the picture's tests, made here without the engine: the
// Euclidean distances of points drawn around a few centres.
#pragma once

#include <cmath>
#include <cstddef>
#include <random>

#include "window/core/matrix_picture.hpp"

namespace tessora::console::testing {

// m objects of n variables around `groups` centres (object i near centre
// i % groups), with their distances.
inline MatrixData grouped_points(std::size_t m, std::size_t n = 40, std::size_t groups = 6, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> place(0, 10);
  std::normal_distribution<float> spread(0, 2);
  std::vector<float> centres(groups * n);
  for (float& c : centres) c = place(random);
  MatrixData d;
  d.coefficient = 1;
  d.m = m;
  d.n = n;
  d.data.resize(m * n);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t v = 0; v < n; ++v) d.data[i * n + v] = centres[(i % groups) * n + v] + spread(random);
  d.diag.assign(m, 0);
  for (std::size_t i = 1; i < m; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      double sum = 0;
      for (std::size_t v = 0; v < n; ++v) {
        const double e = static_cast<double>(d.data[i * n + v]) - d.data[j * n + v];
        sum += e * e;
      }
      d.triangle.push_back(static_cast<float>(std::sqrt(sum)));
    }
  }
  return d;
}

}  // namespace tessora::console::testing
