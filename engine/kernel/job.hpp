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
#include "engine/pair_steps.hpp"

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

// Takes the values of runs of pairs instead of an array: the pairs (p, j)
// for j in [j_begin, j_end), p < j_begin, with their values and counts.
// Called from every worker at once.
class PairSink {
 public:
  virtual void take(std::size_t p, std::size_t j_begin, std::size_t j_end, const float* values,
                    const std::uint32_t* counts) = 0;

  // A whole tile at once: the objects p in [p_begin, p_end) against the
  // partners j in [j0, j_end), j > p; the pair (p, j) at
  // (p - p_begin) * stride + (j - j0). By default a run per object.
  virtual void take_tile(std::size_t p_begin, std::size_t p_end, std::size_t j0, std::size_t j_end,
                         const float* values, const std::uint32_t* counts, std::size_t stride) {
    for (std::size_t p = p_begin; p < p_end; ++p) {
      const std::size_t from = std::max(j0, p + 1);
      if (from >= j_end) continue;
      const std::size_t at = (p - p_begin) * stride + (from - j0);
      take(p, from, j_end, values + at, counts + at);
    }
  }

 protected:
  ~PairSink() = default;
};

// Where the value (and count) of a pair p < j goes: a sink, the packed lower
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

  PairSink* sink = nullptr;

  bool wants_values() const { return triangle != nullptr || values != nullptr || sink != nullptr; }

  // The pairs (p, j) for j in [j_begin, j_end), p < j_begin: values[t] and
  // counts[t] of the pair (p, j_begin + t). values may be nullptr when no
  // value is wanted. A run is one copy in the condensed order and along a
  // block's rows, a column of the triangle or of a block's mirror. (A sink
  // takes whole tiles instead: PairSink::take_tile.)
  void put_run(std::size_t p, std::size_t j_begin, std::size_t j_end, const float* value_run,
               const std::uint32_t* count_run) const {
    if (triangle) {
      for (std::size_t j = j_begin; j < j_end; ++j)
        triangle[ResemblanceMatrix::pair_index(j, p)] = value_run[j - j_begin];
      return;
    }
    if (condensed) {
      const std::size_t at = p * m - p * (p + 1) / 2 + (j_begin - p - 1) - first;
      const std::size_t count = j_end - j_begin;
      if (values) std::copy_n(value_run, count, values + at);
      if (counts) std::copy_n(count_run, count, counts + at);
      return;
    }
    if (p >= row_begin && p < row_end) {
      const std::size_t from = std::max(j_begin, col_begin), to = std::min(j_end, col_end);
      if (from < to) {
        if (values) std::copy_n(value_run + (from - j_begin), to - from, values + (p - row_begin) * value_stride + (from - col_begin));
        if (counts) std::copy_n(count_run + (from - j_begin), to - from, counts + (p - row_begin) * count_stride + (from - col_begin));
      }
    }
    if (p >= col_begin && p < col_end) {
      const std::size_t from = std::max(j_begin, row_begin), to = std::min(j_end, row_end);
      for (std::size_t j = from; j < to; ++j) {
        if (values) values[(j - row_begin) * value_stride + (p - col_begin)] = value_run[j - j_begin];
        if (counts) counts[(j - row_begin) * count_stride + (p - col_begin)] = count_run[j - j_begin];
      }
    }
  }

  void put(std::size_t p, std::size_t j, float value, std::uint32_t count) const {
    if (sink) {
      sink->take(p, j, j + 1, &value, &count);
      return;
    }
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

// One piece of work: the partners j0 .. j_end - 1 (one tile, or a run of
// whole tiles from j0 on) against the objects p_begin .. p_end - 1, all
// pairs p < j among them.
struct Item {
  std::size_t j0 = 0;
  std::size_t j_end = 0;
  std::size_t p_begin = 0;
  std::size_t p_end = 0;
};

// Hands out the items of the regions. Wide tables go tile by tile, the
// largest tiles first so that the last items are the smallest, and a
// worker's tile of partners (many variables) serves its next items too.
// Narrow tables go row span by row span, each item a run of tiles (their
// transposing costs little), so that every object's values land in long
// runs that one worker writes. Counts the pairs done; carries the stop
// request and watches an outside cancel flag.
class Schedule {
 public:
  // Objects per item along p: enough to pay for transposing the tile, few
  // enough to balance the threads and to answer a stop quickly.
  static constexpr std::size_t kSpan = 64;
  // Narrow tables: partners per item, at most.
  static constexpr std::size_t kRunPartners = 512;

  Schedule(std::span<const Region> regions, std::size_t width, bool rows_first = false,
           const std::atomic<bool>* cancel = nullptr)
      : regions_(regions), width_(width), rows_first_(rows_first), cancel_(cancel) {}

  bool next(Item& item) {
    std::lock_guard lock(mutex_);
    if (stopped()) return false;
    return rows_first_ ? next_by_rows(item) : next_by_tiles(item);
  }

  void done(std::uint64_t pairs) { done_.fetch_add(pairs, std::memory_order_relaxed); }
  std::uint64_t pairs_done() const { return done_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true, std::memory_order_relaxed); }
  bool stopped() const {
    if (stop_.load(std::memory_order_relaxed)) return true;
    return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
  }

 private:
  bool next_by_tiles(Item& item) {
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

  // Items of kSpan objects against runs of whole tiles (aligned to the
  // region's first partner), from the first tile that holds a partner
  // beyond the span's first object.
  bool next_by_rows(Item& item) {
    const std::size_t run = std::max(width_, kRunPartners / width_ * width_);
    while (region_ < regions_.size()) {
      const Region& r = regions_[region_];
      if (!started_) {
        p_next_ = r.p_begin;
        in_span_ = false;
        started_ = true;
      }
      while (p_next_ < r.p_end) {
        const std::size_t first = std::max(r.j_begin, p_next_ + 1);
        if (first >= r.j_end) break;  // no partner beyond this span, nor beyond the later ones
        if (!in_span_) {
          j_next_ = r.j_begin + (first - r.j_begin) / width_ * width_;
          in_span_ = true;
        }
        if (j_next_ < r.j_end) {
          const std::size_t j_end = std::min(r.j_end, j_next_ + run);
          item = {j_next_, j_end, p_next_, std::min({r.p_end, p_next_ + kSpan, j_end - 1})};
          j_next_ = j_end;
          return true;
        }
        p_next_ = std::min(r.p_end, p_next_ + kSpan);
        in_span_ = false;
      }
      ++region_;
      started_ = false;
    }
    return false;
  }

  std::mutex mutex_;
  std::span<const Region> regions_;
  std::size_t width_;
  bool rows_first_;
  const std::atomic<bool>* cancel_;
  std::size_t region_ = 0, tiles_ = 0, p_next_ = 0, j_next_ = 0;
  bool started_ = false, in_span_ = false;
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
