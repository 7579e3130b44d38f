// The condensed order's row arithmetic and the band policy.
#include <algorithm>
#include <cmath>

#include "tessora/layout.hpp"

namespace tessora {

std::int64_t condensed_row(std::int64_t objects, std::int64_t index) {
  // Row i begins at i (2m - i - 1) / 2: solve for i in double, then settle
  // the rounding with exact integer steps.
  const double m = static_cast<double>(objects);
  const double b = 2.0 * m - 1.0;
  auto i = static_cast<std::int64_t>((b - std::sqrt(std::max(0.0, b * b - 8.0 * static_cast<double>(index)))) / 2.0);
  i = std::clamp<std::int64_t>(i, 0, std::max<std::int64_t>(0, objects - 2));
  while (i > 0 && condensed_start(objects, i) > index) --i;
  while (i + 1 < objects - 1 && condensed_start(objects, i + 1) <= index) ++i;
  return i;
}

std::int64_t band_rows(std::int64_t columns, std::int64_t cell_bytes, std::int64_t budget) {
  const std::int64_t row = std::max<std::int64_t>(1, columns) * std::max<std::int64_t>(1, cell_bytes);
  return std::max<std::int64_t>(1, budget / row);
}

std::int64_t condensed_band_end(std::int64_t objects, std::int64_t row_begin, std::int64_t pair_bytes,
                                std::int64_t budget) {
  if (row_begin >= objects) return objects;
  const std::int64_t pairs = std::max<std::int64_t>(1, budget / std::max<std::int64_t>(1, pair_bytes));
  const std::int64_t first = condensed_start(objects, row_begin);
  const std::int64_t last = condensed_size(objects);
  if (last - first <= pairs) return objects;
  // The first row whose start lies beyond the budget ends the band.
  const std::int64_t end = condensed_row(objects, first + pairs);
  return std::clamp<std::int64_t>(end, row_begin + 1, objects);
}

}  // namespace tessora
