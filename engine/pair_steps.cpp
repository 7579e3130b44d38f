#include "engine/pair_steps.hpp"

#include "engine/numeric.hpp"

namespace tessora::engine {

std::vector<VariableStats> variable_statistics(const Table& table, Statistics wanted) {
  const std::size_t n = table.n;
  const std::size_t m = table.m;
  std::vector<VariableStats> stats;
  if (wanted == Statistics::none) return stats;
  stats.resize(n);
  for (std::size_t v = 0; v < n; ++v) {
    if (wanted == Statistics::max_and_range) {
      // The maximum is never below 0, the minimum never above ten million.
      float most = 0.0f;
      float least = 10000000.0f;
      for (std::size_t j = 0; j < m; ++j) {
        const float x = table.object(j)[v];
        if (!table.known(x)) continue;
        if (x > most) most = x;
        if (x < least) least = x;
      }
      stats[v].max = most;
      stats[v].range = num::store(num::wide(most) - least);
    } else {
      float total = 0.0f;
      for (std::size_t j = 0; j < m; ++j) {
        const float x = table.object(j)[v];
        if (table.known(x)) total = num::add(total, x);
      }
      stats[v].total = total;
    }
  }
  return stats;
}

float pair_value(const Coefficient& row, const PairSums& sums, std::int32_t n, std::int32_t scaling) {
  return finish_pair(row.final, row.guard, row.scaled, sums, n, scaling);
}

float diagonal_entry(const Table& table, std::size_t i, Diagonal diagonal) {
  const std::size_t n = table.n;
  const float* own = n > 0 ? table.object(i) : nullptr;
  switch (diagonal) {
    case Diagonal::zero:
      return 0.0f;
    case Diagonal::one:
      return 1.0f;
    case Diagonal::own_sum: {
      float sum = 0.0f;
      for (std::size_t v = 0; v < n; ++v)
        if (table.known(own[v])) sum = num::add(sum, own[v]);
      return sum;
    }
    case Diagonal::own_variance: {
      // Over all of the object's own known values, whatever its partners know.
      float count = 0.0f, sum = 0.0f, squares = 0.0f;
      for (std::size_t v = 0; v < n; ++v) {
        if (!table.known(own[v])) continue;
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

std::uint32_t known_count(const Table& table, std::size_t i) {
  std::uint32_t count = 0;
  const float* own = table.object(i);
  for (std::size_t v = 0; v < table.n; ++v) count += table.known(own[v]) ? 1 : 0;
  return count;
}

}  // namespace tessora::engine
