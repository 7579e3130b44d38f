// Which cells of the matrix an output holds, and the blocks of rows it is
// computed and written in.
#pragma once

#include <cstdint>
#include <utility>

#include "cli/options.hpp"
#include "tessora/layout.hpp"

namespace tessora::cli {

enum class Cells { real, count };

// Which columns of row i a layout holds.
enum class Shape {
  square,          // every column
  lower,           // 0 .. i
  lower_strict,    // 0 .. i - 1
  upper,           // i + 1 .. m - 1: the condensed order
  upper_diagonal,  // i .. m - 1: the diagonal entry, then the condensed row
};
Shape shape_of(Format format, Layout layout);
// The columns [first, last) of row i.
std::pair<std::int64_t, std::int64_t> row_columns(Shape shape, std::int64_t i, std::int64_t m);
// The cells of the rows [r0, r1); the diagonal counts in every shape but
// square, upper and upper_diagonal (for progress: lower_strict counts as lower,
// the pairs it is computed with).
std::int64_t cells_in_rows(Shape shape, std::int64_t m, std::int64_t r0, std::int64_t r1);

// How a block of rows [r0, r1) is computed: against every column, against
// the columns up to its last row, or against the columns from its first row
// (upper: the condensed rows and the diagonal).
enum class BlockKind { square, lower, upper };
BlockKind block_kind(Shape shape);

// The end of the block of rows that starts at r0 while each cell of the
// block's width costs `cell_bytes` of memory in flight: the library's band
// policy for rows of that many columns.
std::int64_t block_end(BlockKind kind, std::int64_t m, std::int64_t r0, std::int64_t cell_bytes,
                       std::int64_t budget = kBandBytes);

// A block of rows as computed: rows [r0, r1) against columns [c0, c0 +
// stride), cell (i, j) at (i - r0) * stride + (j - c0).
struct BlockData {
  std::int64_t m = 0, r0 = 0, r1 = 0;
  std::int64_t c0 = 0, stride = 0;
  const float* values = nullptr;
  const std::uint32_t* counts = nullptr;

  // Row i's cells: cell (i, j) at value_row(i)[j].
  const float* value_row(std::int64_t i) const { return values + (i - r0) * stride - c0; }
  const std::uint32_t* count_row(std::int64_t i) const { return counts + (i - r0) * stride - c0; }
  float value(std::int64_t i, std::int64_t j) const { return value_row(i)[j]; }
  std::uint32_t count(std::int64_t i, std::int64_t j) const { return count_row(i)[j]; }
};

}  // namespace tessora::cli
