// The resemblance matrix as the window's picture sees it, without pixels:
// the values of a run, the dissimilarity that the clustering uses, the
// colour map, and the blocks of cells that one pixel shows when there are
// more objects than pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "tessora/coefficients.hpp"
#include "tessora/table.hpp"

namespace tessora::console {

// The values of one run, copied from the engine's result in memory: the
// m by m matrix as a packed lower triangle and a diagonal, and the data
// matrix (n values per object, gaps marked as `missing` says) for the k
// counts. The diagonal tells how a value becomes a dissimilarity: zero for
// distances, one for similarities (0 when the run converted them to
// D = 1 - S), the object's own sum or variance for 12 and 23.
struct MatrixData {
  std::int32_t coefficient = 0;
  Diagonal diagonal = Diagonal::zero;
  std::size_t m = 0;
  std::vector<float> triangle;  // (i, j), i > j, at i(i-1)/2 + j
  std::vector<float> diag;
  std::size_t n = 0;
  std::vector<float> data;  // object by object
  Missing missing{};        // which data values are gaps

  float at(std::size_t i, std::size_t j) const {
    if (i == j) return diag[i];
    return i > j ? triangle[i * (i - 1) / 2 + j] : triangle[j * (j - 1) / 2 + i];
  }
  // k: the variables known in both objects.
  std::size_t known_in_both(std::size_t i, std::size_t j) const;
  // A similarity matrix that the run converted to D = 1 - S: its diagonal
  // reads 0 instead of 1.
  bool converted() const;
  // Whether the sizes hold together; the picture shows nothing otherwise.
  bool consistent() const;
};

// ---- The dissimilarity that the clustering works on ----------------------
//
//  distances (and converted similarities)  the value itself
//  similarities (diagonal 1)               1 - S; for the correlation, 1 - r
//                                          runs from 0 to 2
//  12 and 23 (own sum, own variance on     (S_ii + S_jj) / 2 - S_ij: half the
//  the diagonal)                           sum of |x - y| for 12, half the
//                                          variance of the difference for 23
//
// A pair whose dissimilarity is NaN or infinite counts as the largest finite
// dissimilarity of the matrix (0 when there is none): it joins late, without
// an infinity swamping the averages of its clusters.
double dissimilarity(const MatrixData& d, std::size_t i, std::size_t j);

// The dissimilarities of all pairs, packed as the triangle, with the rule
// for NaN and infinite ones applied. Throws std::bad_alloc.
std::vector<double> clustering_input(const MatrixData& d);

// ---- Colours ---------------------------------------------------------------

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A perceptually uniform sequential map from dark blue-violet (t = 0)
// through teal and green to yellow (t = 1); t is clamped to [0, 1].
Rgb colour_map(double t);
inline constexpr Rgb kInfinityColour{215, 48, 39};  // red, outside the map
inline constexpr Rgb kNanColour{160, 160, 160};     // mid grey

// The finite values' range, and whether INF or NaN occur.
struct ValueRange {
  float low = 0, high = 0;
  bool finite = false;  // some value is finite
  bool infinity = false;
  bool nan = false;
};
ValueRange value_range(const MatrixData& d);

// The colour of one value within a range.
Rgb value_colour(float value, const ValueRange& range);

// ---- Aggregation -----------------------------------------------------------
//
// A cell of the picture shows a block of rows by a block of columns. Its
// value is the mean of the block's finite values; a block without a finite
// value shows INF when it holds one, otherwise NaN.
//
// row_bin and col_bin give, for each object, the picture row (column) that
// shows it, or -1 when it is not in view. Returns rows by cols values, row
// by row. Small views read cell by cell; large ones (more than
// `direct_limit` cells in view) sweep the packed triangle once, each pair
// feeding its two mirror cells, on several threads.
inline constexpr std::size_t kDirectLimit = std::size_t(4) << 20;
std::vector<float> aggregate(const MatrixData& d, const std::vector<int>& row_bin, std::size_t rows,
                             const std::vector<int>& col_bin, std::size_t cols,
                             std::size_t direct_limit = kDirectLimit);

// For the objects in display order `order`, shown from display position
// `first` (fractional) at `scale` pixels per object over `pixels` pixels:
// each object's picture row or column, the number of them, and the pixel
// where each begins (one more entry: the end of the last).
struct Binning {
  std::vector<int> of_object;
  std::size_t bins = 0;
  std::vector<int> pixel_start;
};
Binning bin_objects(const std::vector<std::size_t>& order, double first, double scale, int pixels);

}  // namespace tessora::console
