// The picture's copy of a run's result: the matrix values exactly as the
// engine holds them (the float values that MATRIX.TXT was written from) and
// the data matrix for the k counts. Written against the run's result types
// without naming them, so that the window library needs no engine; the
// coefficient's diagonal comes from the library's public registry.
#pragma once

#include <algorithm>
#include <cstddef>

#include "tessora/coefficients.hpp"
#include "tessora/table.hpp"
#include "window/core/matrix_picture.hpp"

namespace tessora::console {

// `written` has `coefficient`, `data` (n, m and the values x, object by
// object) and `matrix` (size(), triangle(), diagonal()); `missing` is the
// rule by which the data marks its gaps.
template <class Written>
MatrixData copy_run_values(const Written& written, Missing missing) {
  MatrixData out;
  out.coefficient = written.coefficient;
  out.diagonal = diagonal_of(written.coefficient);
  out.missing = missing;
  const auto m = written.matrix.size();
  out.m = m > 0 ? static_cast<std::size_t>(m) : 0;
  out.triangle.assign(written.matrix.triangle().begin(), written.matrix.triangle().end());
  out.diag.assign(written.matrix.diagonal().begin(), written.matrix.diagonal().end());
  out.n = written.data.n > 0 ? static_cast<std::size_t>(written.data.n) : 0;
  if (static_cast<std::size_t>(std::max(written.data.m, 0)) == out.m && written.data.x.size() >= out.n * out.m) {
    out.data.assign(written.data.x.begin(), written.data.x.begin() + static_cast<std::ptrdiff_t>(out.n * out.m));
  } else {
    out.n = 0;  // no k counts rather than wrong ones
  }
  // The triangle may hold more room than the pairs.
  const std::size_t pairs = out.m > 0 ? out.m * (out.m - 1) / 2 : 0;
  if (out.triangle.size() > pairs) out.triangle.resize(pairs);
  return out;
}

}  // namespace tessora::console
