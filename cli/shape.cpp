#include "cli/shape.hpp"

#include <algorithm>

namespace tessora::cli {

Shape shape_of(Format format, Layout layout) {
  if (format == Format::long_pairs) return layout == Layout::full ? Shape::upper_diagonal : Shape::upper;
  if (layout == Layout::condensed) return Shape::upper;
  if (layout == Layout::lower) return format == Format::phylip ? Shape::lower_strict : Shape::lower;
  return Shape::square;
}

std::pair<std::int64_t, std::int64_t> row_columns(Shape shape, std::int64_t i, std::int64_t m) {
  switch (shape) {
    case Shape::square: return {0, m};
    case Shape::lower: return {0, i + 1};
    case Shape::lower_strict: return {0, i};
    case Shape::upper: return {i + 1, m};
    case Shape::upper_diagonal: return {i, m};
  }
  return {0, 0};
}

std::int64_t cells_in_rows(Shape shape, std::int64_t m, std::int64_t r0, std::int64_t r1) {
  const std::int64_t rows = r1 - r0;
  switch (shape) {
    case Shape::square: return rows * m;
    case Shape::lower:
    case Shape::lower_strict: return triangle_index(r1, 0) - triangle_index(r0, 0) + rows;
    case Shape::upper: return condensed_start(m, r1) - condensed_start(m, r0);
    case Shape::upper_diagonal: return condensed_start(m, r1) - condensed_start(m, r0) + rows;
  }
  return 0;
}

BlockKind block_kind(Shape shape) {
  switch (shape) {
    case Shape::square: return BlockKind::square;
    case Shape::lower:
    case Shape::lower_strict: return BlockKind::lower;
    case Shape::upper:
    case Shape::upper_diagonal: return BlockKind::upper;
  }
  return BlockKind::square;
}

std::int64_t block_end(BlockKind kind, std::int64_t m, std::int64_t r0, std::int64_t cell_bytes,
                       std::int64_t budget) {
  // A lower block [r0, r1) x [0, r1) is never wider than m: the rows of a
  // square block fit it. An upper block [r0, r1) x [r0, m) computes the
  // pairs of its rows once (and those among its own rows twice), which the
  // engine's block call does faster than its condensed call here.
  const std::int64_t columns = kind == BlockKind::upper ? m - r0 : m;
  return std::min(m, r0 + band_rows(columns, cell_bytes, budget));
}

}  // namespace tessora::cli
