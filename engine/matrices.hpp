// The data matrix and the resemblance matrix.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tessora::engine {

// Memory that reads as zero without a pass over it: large blocks are mapped
// fresh from the system (whose pages start as zeros), 2 MB aligned and
// offered huge pages, which cuts page faults and translation misses where
// rows of the data matrix and of the triangle are visited out of order;
// small ones come from calloc. Throws std::bad_alloc when none can be had.
void* allocate_zeroed(std::size_t bytes);
void release_zeroed(void* p, std::size_t bytes) noexcept;

// An allocator whose new elements are zeros from allocate_zeroed: the data
// matrix (where a null value leaves an item at zero) and the triangle run to
// tens of megabytes, and zeroing them first would cost a pass over memory on
// the run's thread. Elements are not written again when constructed.
template <class T>
struct ZeroedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = ZeroedAllocator<U>;
  };
  ZeroedAllocator() = default;
  template <class U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > std::size_t(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(allocate_zeroed(count * sizeof(T)));
  }
  void deallocate(T* p, std::size_t count) noexcept { release_zeroed(p, count * sizeof(T)); }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Floats whose storage starts as zeros. (resize() within the capacity does
// not clear what a shrink left behind; these vectors are sized once.)
using Floats = std::vector<float, ZeroedAllocator<float>>;

// The missing-value code: a value is known when it is not exactly -1.0f.
inline constexpr float kMissing = -1.0f;
inline bool known(float x) { return x != kMissing; }

// A value is missing when its bits are these: -1.0f in the data file (the
// only float equal to -1.0f), one canonical NaN when NaNs mark the gaps.
inline constexpr std::uint32_t kMissingBits = std::bit_cast<std::uint32_t>(kMissing);
inline constexpr std::uint32_t kNaNBits = 0x7FC00000u;
inline bool known(float x, std::uint32_t missing) { return std::bit_cast<std::uint32_t>(x) != missing; }

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

// Objects laid out one after the other, n values each, with the bits that
// mark a missing value: what the pair framework reads.
struct Table {
  const float* x = nullptr;
  std::size_t n = 0;  // variables
  std::size_t m = 0;  // objects
  std::uint32_t missing = kMissingBits;

  const float* object(std::size_t i) const { return x + i * n; }
  bool known(float value) const { return engine::known(value, missing); }
};

// The table of a data matrix (-1 missing; a dimension of 0 or less holds no values).
inline Table table_of(const DataMatrix& d) {
  return {d.x.data(), d.stride(), d.m > 0 ? static_cast<std::size_t>(d.m) : 0, kMissingBits};
}

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
  Floats tri_;
  std::vector<float> diag_;
};

}  // namespace tessora::engine
