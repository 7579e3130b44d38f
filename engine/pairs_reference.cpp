// The plain reference loop. It follows the passes in the order they are
// defined, one pair at a time, and stays obviously correct: it is the oracle
// that the fast kernel must match bit for bit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/numeric.hpp"
#include "engine/pair_steps.hpp"
#include "engine/pairs.hpp"

namespace tessora::engine {


ResemblanceMatrix compute_reference(const Table& table, std::int32_t number, std::int32_t scaling,
                                    std::int32_t n_signed) {
  const Coefficient& row = coefficient(number);
  const std::size_t n = table.n;
  const std::size_t m = table.m;

  ResemblanceMatrix res(static_cast<std::int32_t>(m));
  const std::vector<VariableStats> stats = variable_statistics(table, row.statistics);
  const VariableStats unused{};
  auto stats_of = [&](std::size_t v) -> const VariableStats& {
    return stats.empty() ? unused : stats[v];
  };

  for (std::size_t i = 0; i + 1 < m; ++i) {
    const float* xi = table.object(i);
    for (std::size_t j = i + 1; j < m; ++j) {
      const float* xj = table.object(j);
      PairSums s{};  // every pair starts from zero

      // One scan of the variables known in both, adding the pass's terms.
      auto pass = [&](Term term, bool count) {
        for (std::size_t v = 0; v < n; ++v) {
          if (!table.known(xi[v]) || !table.known(xj[v])) continue;
          if (count) s.k = num::add(s.k, 1.0);
          term(s, xi[v], xj[v], stats_of(v));
        }
      };
      pass(row.first, true);
      if (row.second) pass(row.second, false);
      if (row.squares) pass(row.squares, false);

      // One entry serves res(i, j) and res(j, i).
      res.set_pair(j, i, pair_value(row, s, n_signed, scaling));
    }
  }

  for (std::size_t i = 0; i < m; ++i) res.set_diagonal(i, diagonal_entry(table, i, row.diagonal));
  return res;
}

ResemblanceMatrix compute_reference(const DataMatrix& data, std::int32_t number,
                                    std::int32_t scaling) {
  if (data.m <= 0) return ResemblanceMatrix(data.m);
  return compute_reference(table_of(data), number, scaling, data.n);
}

}  // namespace tessora::engine
