// The picture's copy of a run's result: the matrix values exactly as the
// engine holds them (the float values that MATRIX.TXT was written from) and
// the data matrix for the k counts. Written against the engine's result
// types without naming them, so that the window library needs no engine.
#pragma once

#include <algorithm>
#include <cstddef>

#include "window/core/matrix_picture.hpp"

namespace tessora::console {

// The engine's diagonal kinds, which carry the same names.
template <class EngineDiagonal>
DiagonalKind to_diagonal_kind(EngineDiagonal d) {
  if (d == EngineDiagonal::one) return DiagonalKind::one;
  if (d == EngineDiagonal::own_sum) return DiagonalKind::own_sum;
  if (d == EngineDiagonal::own_variance) return DiagonalKind::own_variance;
  return DiagonalKind::zero;
}

// `written` has `coefficient`, `data` (n, m and the values x, object by
// object) and `matrix` (size(), triangle(), diagonal()).
template <class Written>
MatrixData copy_run_values(const Written& written, DiagonalKind kind) {
  MatrixData out;
  out.coefficient = written.coefficient;
  out.diagonal = kind;
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
