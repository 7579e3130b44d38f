// What the workers of the fast kernel share: the recipe of the coefficient,
// the job, and the schedule that hands out blocks of pairs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/matrices.hpp"

namespace tessora::engine::kernel::detail {

// The plan of a coefficient number (any number, like coefficient()): its row's.
inline Plan plan_of(std::int32_t number) { return coefficient(number).plan; }

// The pairs p < j with p in [p_begin, p_end) and j in [j_begin, j_end).
struct Region {
  std::size_t p_begin = 0, p_end = 0;
  std::size_t j_begin = 0, j_end = 0;
};

// The number of pairs p < j in a region.
inline std::uint64_t pairs_in(const Region& r) {
  std::uint64_t pairs = 0;
  for (std::size_t p = r.p_begin; p < r.p_end; ++p) {
    const std::size_t from = std::max(r.j_begin, p + 1);
    if (from < r.j_end) pairs += r.j_end - from;
  }
  return pairs;
}

// Where the value (and count) of a pair p < j goes: the packed lower
// triangle, or a block of rows by columns in which the pair may appear as
// (p, j), as (j, p), or both.
struct Output {
  float* triangle = nullptr;
  float* values = nullptr;  // block entries, or nullptr when only counts are wanted
  std::size_t value_stride = 0;
  std::uint32_t* counts = nullptr;
  std::size_t count_stride = 0;
  std::size_t row_begin = 0, row_end = 0, col_begin = 0, col_end = 0;
  // Condensed: pair (p, j), p < j, at p m - p (p + 1) / 2 + (j - p - 1) -
  // first, the pairs row by row (values and counts as above, no strides).
  bool condensed = false;
  std::size_t m = 0, first = 0;

  bool wants_values() const { return triangle != nullptr || values != nullptr; }

  void put(std::size_t p, std::size_t j, float value, std::uint32_t count) const {
    if (triangle) {
      triangle[ResemblanceMatrix::pair_index(j, p)] = value;
      return;
    }
    if (condensed) {
      const std::size_t at = p * m - p * (p + 1) / 2 + (j - p - 1) - first;
      if (values) values[at] = value;
      if (counts) counts[at] = count;
      return;
    }
    if (p >= row_begin && p < row_end && j >= col_begin && j < col_end) {
      if (values) values[(p - row_begin) * value_stride + (j - col_begin)] = value;
      if (counts) counts[(p - row_begin) * count_stride + (j - col_begin)] = count;
    }
    if (j >= row_begin && j < row_end && p >= col_begin && p < col_end) {
      if (values) values[(j - row_begin) * value_stride + (p - col_begin)] = value;
      if (counts) counts[(j - row_begin) * count_stride + (p - col_begin)] = count;
    }
  }
};

// Everything a worker reads, and where it writes (each pair by exactly one
// worker).
struct Job {
  const float* x = nullptr;  // object-major, n values per object
  std::size_t n = 0;         // variables (0 when the matrix has none)
  std::size_t m = 0;         // objects
  std::uint32_t missing = kMissingBits;  // the bits of a missing value
  std::int32_t n_signed = 0; // the data matrix's own n, for the scaling
  std::int32_t scaling = 0;
  const Coefficient* row = nullptr;
  Plan plan{};
  const VariableStats* stats = nullptr;  // n entries, or nullptr
  const std::uint8_t* finite = nullptr;  // m entries: 1 when the object's known values are all finite
  Output out{};
  std::size_t chunk = 0;                 // variables per tile; 0: the kernel's choice
  std::size_t tile_bytes = 256 << 10;    // the most one worker's tile may take
};

// One piece of work: the partners j0 .. j_end - 1 (one tile, at most its
// width) against the objects p_begin .. p_end - 1, all pairs p < j among them.
struct Item {
  std::size_t j0 = 0;
  std::size_t j_end = 0;
  std::size_t p_begin = 0;
  std::size_t p_end = 0;
};

// Hands out the items of the regions, in each the largest tiles first so
// that the last items are the smallest; counts the pairs done; carries the
// stop request and watches an outside cancel flag.
class Schedule {
 public:
  // Objects per item along p: enough to pay for transposing the tile, few
  // enough to balance the threads and to answer a stop quickly.
  static constexpr std::size_t kSpan = 64;

  Schedule(std::span<const Region> regions, std::size_t width, const std::atomic<bool>* cancel = nullptr)
      : regions_(regions), width_(width), cancel_(cancel) {}

  bool next(Item& item) {
    std::lock_guard lock(mutex_);
    if (stopped()) return false;
    while (region_ < regions_.size()) {
      const Region& r = regions_[region_];
      if (!started_) {
        tiles_ = r.j_end > r.j_begin ? (r.j_end - r.j_begin + width_ - 1) / width_ : 0;
        p_next_ = r.p_begin;
        started_ = true;
      }
      while (tiles_ > 0) {
        const std::size_t j0 = r.j_begin + (tiles_ - 1) * width_;
        const std::size_t j_end = std::min(r.j_end, j0 + width_);
        const std::size_t p_limit = std::min(r.p_end, j_end - 1);  // every p below the last j
        if (p_next_ < p_limit) {
          item = {j0, j_end, p_next_, std::min(p_limit, p_next_ + kSpan)};
          p_next_ = item.p_end;
          return true;
        }
        --tiles_;
        p_next_ = r.p_begin;
      }
      ++region_;
      started_ = false;
    }
    return false;
  }

  void done(std::uint64_t pairs) { done_.fetch_add(pairs, std::memory_order_relaxed); }
  std::uint64_t pairs_done() const { return done_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true, std::memory_order_relaxed); }
  bool stopped() const {
    if (stop_.load(std::memory_order_relaxed)) return true;
    return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
  }

 private:
  std::mutex mutex_;
  std::span<const Region> regions_;
  std::size_t width_;
  const std::atomic<bool>* cancel_;
  std::size_t region_ = 0, tiles_ = 0, p_next_ = 0;
  bool started_ = false;
  std::atomic<std::uint64_t> done_{0};
  std::atomic<bool> stop_{false};
};

// The kernel of one instruction set.
struct TargetKernel {
  std::int64_t target;  // Highway target bit
  std::size_t width;    // partners per tile
  void (*work)(const Job& job, Schedule& schedule);  // runs items until none is left
};

// The kernel for the best instruction set this processor runs (honouring
// hwy::SetSupportedTargetsForTest).
const TargetKernel& best_kernel();

// The instruction sets compiled into the kernel that this processor runs
// (under the same test narrowing), best first.
std::vector<std::int64_t> compiled_targets();

}  // namespace tessora::engine::kernel::detail
