// The data matrix and the resemblance matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tessora::analysis {

// An allocator whose new elements are left uninitialized. The data matrix
// and the triangle are written in full before anything reads them; zeroing
// tens of megabytes first would cost a pass over memory on the run's thread.
// Advises the system to back [p, p + bytes) with huge pages, where it can.
void offer_huge_pages(void* p, std::size_t bytes) noexcept;

template <class T>
struct UninitializedAllocator : std::allocator<T> {
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static constexpr std::size_t kLarge = std::size_t{8} << 20;

  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

  // Buffers of 8 MB and more are placed on 2 MB boundaries and offered huge
  // pages: far fewer page faults and translation misses where rows of the
  // data matrix and of the triangle are visited out of order.
  T* allocate(std::size_t count) {
    if (count > kLarge / sizeof(T)) {
      if (count > std::size_t(-1) / sizeof(T) - kHugePage) throw std::bad_alloc();
      const std::size_t bytes = (count * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage;
      void* p = std::aligned_alloc(kHugePage, bytes);
      if (p == nullptr) throw std::bad_alloc();
      offer_huge_pages(p, bytes);
      return static_cast<T*>(p);
    }
    return std::allocator<T>::allocate(count);
  }
  void deallocate(T* p, std::size_t count) noexcept {
    if (count > kLarge / sizeof(T)) {
      std::free(p);
    } else {
      std::allocator<T>::deallocate(p, count);
    }
  }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Floats that resize() leaves uninitialized.
using Floats = std::vector<float, UninitializedAllocator<float>>;

// The missing-value code: a value is known when it is not exactly -1.0f.
inline constexpr float kMissing = -1.0f;
inline bool known(float x) { return x != kMissing; }

// n variables by m objects, stored object by object: the n values of one
// object lie next to each other. Indices here count from 0.
struct DataMatrix {
  std::int32_t n = 0;  // variables
  std::int32_t m = 0;  // objects
  Floats x;

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
  Floats& triangle() { return tri_; }
  const Floats& triangle() const { return tri_; }
  std::vector<float>& diagonal() { return diag_; }
  const std::vector<float>& diagonal() const { return diag_; }

 private:
  std::int32_t m_ = 0;
  Floats tri_;  // every pair is written once before it is read
  std::vector<float> diag_;
};

}  // namespace tessora::analysis
