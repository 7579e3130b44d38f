// Where the pairs of a resemblance matrix go, and how many rows a block may
// hold: the index arithmetic and the band policy every front end shares.
#pragma once

#include <cstdint>

namespace tessora {

// The packed lower triangle of Matrix::triangle(): pair (i, j), i > j.
constexpr std::int64_t triangle_index(std::int64_t i, std::int64_t j) { return i * (i - 1) / 2 + j; }

// The condensed order of a distance vector (scipy's pdist, R's dist): the
// pairs (i, j), i < j, row by row with j ascending.
constexpr std::int64_t condensed_size(std::int64_t objects) { return objects * (objects - 1) / 2; }
// Where row i's pairs begin: the pairs of the rows before it.
constexpr std::int64_t condensed_start(std::int64_t objects, std::int64_t i) {
  return i * objects - i * (i + 1) / 2;
}
constexpr std::int64_t condensed_index(std::int64_t objects, std::int64_t i, std::int64_t j) {
  return condensed_start(objects, i) + (j - i - 1);
}
// The row i whose pairs hold condensed index `index` (0 <= index <
// condensed_size(objects)).
std::int64_t condensed_row(std::int64_t objects, std::int64_t index);

// The band policy: how much one block of results may take while a front end
// streams a matrix, cuts it into parts or hands it to Dask tasks.
inline constexpr std::int64_t kBandBytes = std::int64_t{64} << 20;

// Rows per block of `columns` cells of `cell_bytes` each that stay within
// `budget` bytes; at least 1.
std::int64_t band_rows(std::int64_t columns, std::int64_t cell_bytes, std::int64_t budget = kBandBytes);

// The end of the run of condensed rows from `row_begin` whose pairs take at
// most `budget` bytes of `pair_bytes` each; at least one row more than
// row_begin while rows are left, at most `objects`.
std::int64_t condensed_band_end(std::int64_t objects, std::int64_t row_begin, std::int64_t pair_bytes,
                                std::int64_t budget = kBandBytes);

}  // namespace tessora
