// The plain reference loop. It follows the passes in the order they are
// defined, one pair at a time, and stays obviously correct: it is the oracle
// that the fast kernel must match bit for bit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/coefficients.hpp"
#include "analysis/numeric.hpp"
#include "analysis/pairs.hpp"

namespace tessora::analysis {

namespace detail {

// The per-variable statistics over all objects, or none when the coefficient
// uses none.
std::vector<VariableStats> variable_statistics(const DataMatrix& data, Statistics wanted) {
  const auto n = static_cast<std::size_t>(data.n > 0 ? data.n : 0);  // a negative dimension holds no values
  const auto m = static_cast<std::size_t>(data.m > 0 ? data.m : 0);
  std::vector<VariableStats> stats;
  if (wanted == Statistics::none) return stats;
  stats.resize(n);
  for (std::size_t v = 0; v < n; ++v) {
    if (wanted == Statistics::max_and_range) {
      // The maximum is never below 0, the minimum never above ten million.
      float most = 0.0f;
      float least = 10000000.0f;
      for (std::size_t j = 0; j < m; ++j) {
        const float x = data.at(v, j);
        if (!known(x)) continue;
        if (x > most) most = x;
        if (x < least) least = x;
      }
      stats[v].max = most;
      stats[v].range = num::store(num::wide(most) - least);
    } else {
      float total = 0.0f;
      for (std::size_t j = 0; j < m; ++j) {
        const float x = data.at(v, j);
        if (known(x)) total = num::add(total, x);
      }
      stats[v].total = total;
    }
  }
  return stats;
}

// The diagonal entry of object i.
float diagonal_entry(const DataMatrix& data, std::size_t i, Diagonal diagonal) {
  const auto n = static_cast<std::size_t>(data.n > 0 ? data.n : 0);
  const float* own = n > 0 ? data.object(i) : nullptr;
  switch (diagonal) {
    case Diagonal::zero:
      return 0.0f;
    case Diagonal::one:
      return 1.0f;
    case Diagonal::own_sum: {
      float sum = 0.0f;
      for (std::size_t v = 0; v < n; ++v)
        if (known(own[v])) sum = num::add(sum, own[v]);
      return sum;
    }
    case Diagonal::own_variance: {
      // Over all of the object's own known values, whatever its partners know.
      float count = 0.0f, sum = 0.0f, squares = 0.0f;
      for (std::size_t v = 0; v < n; ++v) {
        if (!known(own[v])) continue;
        count = num::add(count, 1.0);
        sum = num::add(sum, own[v]);
        squares = num::add(squares, num::square(own[v]));
      }
      const double c = count;
      return num::store((squares - num::wide(num::square(sum)) / c) / (c - 1.0));
    }
  }
  return 0.0f;
}

float pair_value(const Coefficient& row, const PairSums& sums, std::int32_t n, std::int32_t scaling) {
  const WideSums wide = widen(sums);
  float value = row.final(wide);
  if (row.guard && row.guard(wide)) value = 0.0f;
  // The stored distance itself is scaled, not its square.
  if (row.scaled && scaling == 1) value = num::store(static_cast<double>(n) / wide.k * num::wide(value));
  return value;
}

}  // namespace detail

ResemblanceMatrix compute_reference(const DataMatrix& data, std::int32_t number,
                                    std::int32_t scaling) {
  const Coefficient& row = coefficient(number);
  const auto n = static_cast<std::size_t>(data.n > 0 ? data.n : 0);
  const auto m = static_cast<std::size_t>(data.m > 0 ? data.m : 0);

  ResemblanceMatrix res(data.m);
  const std::vector<VariableStats> stats = detail::variable_statistics(data, row.statistics);
  const VariableStats unused{};
  auto stats_of = [&](std::size_t v) -> const VariableStats& {
    return stats.empty() ? unused : stats[v];
  };

  for (std::size_t i = 0; i + 1 < m; ++i) {
    const float* xi = n > 0 ? data.object(i) : nullptr;
    for (std::size_t j = i + 1; j < m; ++j) {
      const float* xj = n > 0 ? data.object(j) : nullptr;
      PairSums s{};  // every pair starts from zero

      // One scan of the variables known in both, adding the pass's terms.
      auto pass = [&](Term term, bool count) {
        for (std::size_t v = 0; v < n; ++v) {
          if (!known(xi[v]) || !known(xj[v])) continue;
          if (count) s.k = num::add(s.k, 1.0);
          term(s, xi[v], xj[v], stats_of(v));
        }
      };
      pass(row.first, true);
      if (row.second) pass(row.second, false);
      if (row.squares) pass(row.squares, false);

      // One entry serves res(i, j) and res(j, i).
      res.set_pair(j, i, detail::pair_value(row, s, data.n, scaling));
    }
  }

  for (std::size_t i = 0; i < m; ++i) res.set_diagonal(i, detail::diagonal_entry(data, i, row.diagonal));
  return res;
}

}  // namespace tessora::analysis
