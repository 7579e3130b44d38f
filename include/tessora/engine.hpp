// Computing resemblance matrices: the whole matrix, or any block of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "tessora/coefficients.hpp"
#include "tessora/table.hpp"

namespace tessora {

// What the values are.
struct Settings {
  // Any number: 1 to 34, or outside as in the dialogue (below 1 the unscaled
  // Euclidean distance, above 34 zero for every pair with diagonal 1).
  std::int32_t coefficient = 1;
  // Multiply each distance by n / k (all variables over those known in both).
  // Applies to 1, 2 and 13 only; ignored for every other coefficient.
  bool scale = false;
  // Write D = 1 - S, the diagonal included, rounded to float. Only for the
  // similarities (is_similarity); Error for any other coefficient.
  bool dissimilarity = false;
};

// How a computation runs. None of these changes a value by one bit.
struct RunOptions {
  unsigned threads = 0;  // worker threads; 0: one per core
  // Called on the calling thread about every 50 ms while the workers run,
  // with the fraction of pairs done; returning false cancels.
  std::function<bool(double fraction)> progress;
  // Set (from any thread) to stop the computation: the workers stop within
  // 100 ms and the call throws Cancelled.
  const std::atomic<bool>* cancel = nullptr;
};

// The objects row_begin .. row_end - 1 against col_begin .. col_end - 1.
struct Block {
  std::int64_t row_begin = 0, row_end = 0;
  std::int64_t col_begin = 0, col_end = 0;
};

class Matrix;
Matrix reference_matrix(const TableView& table, const Settings& settings);

// Which neighbours Engine::neighbors finds, and for which objects.
struct NeighborOptions {
  // The object itself is a candidate, with its diagonal value (and its own
  // count of known values as the shared count).
  bool include_self = false;
  // A pair whose objects share fewer known variables is never a neighbour
  // (1: every pair with a variable in common; 0: even pairs with none).
  std::int64_t min_shared = 1;
  // The objects whose neighbours are wanted, row_begin .. row_end - 1, each
  // against every object; row_end = -1 for all up to the last object. The
  // unit of parts and of tasks on many machines.
  std::int64_t row_begin = 0;
  std::int64_t row_end = -1;
};

// What Engine::within keeps.
struct WithinOptions {
  bool include_self = false;    // also (i, i) when the diagonal value is within
  std::int64_t min_shared = 1;  // as in NeighborOptions
  // The pairs (i, j), i < j, with i in row_begin .. row_end - 1 (row_end -1:
  // to the last object): cutting the rows into runs gives each pair once.
  std::int64_t row_begin = 0;
  std::int64_t row_end = -1;
  // More pairs than this within the threshold is an Error, raised before the
  // list grows past it.
  std::int64_t max_pairs = 100'000'000;
};

// The pairs of Engine::within, in order of i, then j.
struct PairList {
  std::vector<std::int64_t> i, j;
  std::vector<float> values;
  std::vector<std::uint32_t> shared;  // filled when asked for
};

// A whole resemblance matrix: exactly symmetric, so each pair is stored once,
// in a packed lower triangle, beside the diagonal.
class Matrix {
 public:
  Matrix();
  Matrix(Matrix&&) noexcept;
  Matrix& operator=(Matrix&&) noexcept;
  ~Matrix();

  std::int64_t size() const;
  float operator()(std::int64_t i, std::int64_t j) const;  // no bounds check
  // Pair (i, j), i > j, at index i (i - 1) / 2 + j.
  std::span<const float> triangle() const;
  // Row i of the triangle: the pairs (i, 0) .. (i, i - 1), side by side.
  std::span<const float> lower_row(std::int64_t i) const;
  std::span<const float> diagonal() const;
  // D = 1 - S for every entry, the diagonal included, rounded to float.
  void to_dissimilarity();

 private:
  struct Storage;
  explicit Matrix(std::unique_ptr<Storage> storage);
  friend class Engine;
  friend Matrix reference_matrix(const TableView& table, const Settings& settings);

  std::unique_ptr<Storage> storage_;
};

// A table made ready for one coefficient: its layout settled and the
// statistics over all objects (variable maxima, ranges, totals) taken once,
// so that every block gives exactly the bits of the whole computation.
// The table's memory must outlive the Engine (a table already laid out object
// by object is used in place). Thread-safe: several threads may compute
// blocks of one Engine at once.
class Engine {
 public:
  // Throws Error for a bad view (negative sizes, null data with values,
  // strides whose products overflow, more than 2^31 - 1 objects or
  // variables) or settings (dissimilarity for a coefficient that is not a
  // similarity), std::bad_alloc when memory cannot be had.
  Engine(const TableView& table, const Settings& settings);
  Engine(Engine&&) noexcept;
  Engine& operator=(Engine&&) noexcept;
  ~Engine();

  std::int64_t objects() const;
  std::int64_t variables() const;
  const Settings& settings() const;

  // Every pair and the diagonal.
  Matrix compute(const RunOptions& run = {}) const;

  // The entries (i, j) of `block` into values[(i - row_begin) * value_stride
  // + (j - col_begin)], the diagonal entries included, each with exactly the
  // bits of compute(). With counts, the number of variables known in both
  // objects of each pair goes to counts[(i - row_begin) * count_stride +
  // (j - col_begin)] (on the diagonal: the object's own known values).
  // values may be null when counts is given (only the counts are computed).
  // Throws Error for a block outside the table (row_begin <= row_end <= m,
  // the same for the columns), a null buffer for a non-empty block, or a
  // stride smaller than the block's width; Cancelled when stopped.
  void compute_block(const Block& block, float* values, std::int64_t value_stride,
                     std::uint32_t* counts = nullptr, std::int64_t count_stride = 0,
                     const RunOptions& run = {}) const;

  // The pairs (i, j), i < j, of the objects row_begin .. row_end - 1 with
  // every later object, in the condensed order of a distance vector (row by
  // row, j ascending; R's dist order too): pair (i, j) at
  // values[c(i) - c(row_begin) + (j - i - 1)], c(i) = i m - i (i + 1) / 2.
  // The whole vector is row_begin = 0, row_end = m. Same bits as compute();
  // counts and a null values work as in compute_block. Throws Error for rows
  // outside the table or no buffer; Cancelled when stopped.
  void compute_condensed(std::int64_t row_begin, std::int64_t row_end, float* values,
                         std::uint32_t* counts = nullptr, const RunOptions& run = {}) const;

  // The diagonal entry of object i (Error when i is outside 0 .. m - 1).
  float diagonal(std::int64_t i) const;

  // The k nearest objects of each object of the rows (NeighborOptions), by
  // the coefficient's ranking order (ranking_of: smallest value first for
  // the distances and for D = 1 - S, largest first for the others), with the
  // exact values of compute(). Ties go to the lower object index, and NaN is
  // never a neighbour, so the answer is the same on every machine and with
  // any number of threads; -0 and +0 are equal. Row r = i - row_begin holds
  // object i's neighbours nearest first: indices[r * k + t], values[r * k +
  // t] and, when `shared` is given, the shared counts. An object with fewer
  // than k candidates gets index -1, value NaN and count 0 in the places
  // left. values and shared may be null. Throws Error for k outside 1 .. m -
  // 1 (1 .. m with include_self), min_shared outside 0 .. n, rows outside the
  // table or a null `indices`; Cancelled when stopped.
  void neighbors(std::int64_t k, std::int64_t* indices, float* values, std::uint32_t* shared = nullptr,
                 const NeighborOptions& options = {}, const RunOptions& run = {}) const;

  // Every pair (i, j), i < j, whose value lies within `threshold` by the
  // ranking order (value <= threshold when ascending, >= when descending;
  // NaN never), with its value and, when `shared` is true, its count; each
  // pair computed once. Throws Error for a NaN threshold, min_shared
  // outside 0 .. n, rows outside the table, or more than max_pairs pairs.
  PairList within(float threshold, const WithinOptions& options = {}, bool shared = false,
                  const RunOptions& run = {}) const;

  struct Impl;  // internal

 private:
  std::unique_ptr<Impl> impl_;
};

// The same matrix from the plain reference loop: one pair at a time, the
// variables in order, every rounding where the definition puts it. It is the
// oracle that every faster path is tested against, and hundreds of times
// slower than Engine::compute. Checks its arguments as Engine does.
Matrix reference_matrix(const TableView& table, const Settings& settings);

// The comparability check: every pair (i, j), i < j, of objects with no
// variable known in both, in the order (0, 1), (0, 2), ..., (m - 2, m - 1),
// handed to `pair`; it returns false to stop the scan early. Such pairs get
// from a coefficient the value of its formula over empty sums (0 for the
// Euclidean distance, 0/0 = NaN for most ratios) and a count of 0; the
// dialogue refuses to go on when any exists. Throws Error for a bad view.
void for_each_incomparable_pair(const TableView& table,
                                const std::function<bool(std::int64_t i, std::int64_t j)>& pair);

// The first `limit` incomparable pairs.
std::vector<std::pair<std::int64_t, std::int64_t>> incomparable_pairs(const TableView& table,
                                                                      std::size_t limit = SIZE_MAX);

}  // namespace tessora
