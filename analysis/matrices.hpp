// The data matrix and the resemblance matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessora::analysis {

// The missing-value code: a value is known when it is not exactly -1.0f.
inline constexpr float kMissing = -1.0f;
inline bool known(float x) { return x != kMissing; }

// n variables by m objects, stored object by object: the n values of one
// object lie next to each other. Indices here count from 0.
struct DataMatrix {
  std::int32_t n = 0;  // variables
  std::int32_t m = 0;  // objects
  std::vector<float> x;

  // Values per object in storage: n, or none when n is 0 or less (a data file
  // with R or C of 0 or less holds no values along that dimension).
  std::size_t stride() const { return n > 0 ? static_cast<std::size_t>(n) : 0; }

  float at(std::size_t v, std::size_t i) const { return x[i * stride() + v]; }
  const float* object(std::size_t i) const { return x.data() + i * stride(); }
};

// The m by m resemblance matrix. It is exactly symmetric, so each pair value
// is stored once, in a packed lower triangle, beside the diagonal.
class ResemblanceMatrix {
 public:
  ResemblanceMatrix() = default;
  // Throws std::bad_alloc when the storage cannot be had (m(m-1)/2 is checked
  // in 64 bits first).
  explicit ResemblanceMatrix(std::int32_t m);

  std::int32_t size() const { return m_; }

  // Index of the pair (i, j), i > j, in the packed triangle.
  static std::size_t pair_index(std::size_t i, std::size_t j) { return i * (i - 1) / 2 + j; }

  float at(std::size_t i, std::size_t j) const {
    if (i == j) return diag_[i];
    return i > j ? tri_[pair_index(i, j)] : tri_[pair_index(j, i)];
  }
  void set_pair(std::size_t i, std::size_t j, float v) {
    if (i > j) tri_[pair_index(i, j)] = v; else tri_[pair_index(j, i)] = v;
  }
  void set_diagonal(std::size_t i, float v) { diag_[i] = v; }

  // Row i of the lower triangle: entries (i, 0) .. (i, i-1), contiguous.
  float* lower_row(std::size_t i) { return tri_.data() + pair_index(i, 0); }
  const float* lower_row(std::size_t i) const { return tri_.data() + pair_index(i, 0); }
  std::vector<float>& triangle() { return tri_; }
  const std::vector<float>& triangle() const { return tri_; }
  std::vector<float>& diagonal() { return diag_; }
  const std::vector<float>& diagonal() const { return diag_; }

 private:
  std::int32_t m_ = 0;
  std::vector<float> tri_;
  std::vector<float> diag_;
};

}  // namespace tessora::analysis
