// The steps of the pair framework that every path takes alike: the
// per-variable statistics before the pairs, the stored value of a pair from
// its completed sums, and the diagonal entries. The reference loop and the
// fast kernel both call these, so they cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/matrices.hpp"

namespace tessora::engine {

// The per-variable statistics over all objects (empty when none is wanted).
std::vector<VariableStats> variable_statistics(const Table& table, Statistics wanted);

// One pair's stored value from its sums, the row's formula and guard given:
// pair_value calls it with the row's pointers; the kernel's finishers
// (kernel/finish.cpp) with the same pointers as constants, so that the
// compiler inlines the formula.
[[gnu::always_inline]] inline float finish_pair(Formula final, Guard guard, bool scaled, const PairSums& sums,
                                                std::int32_t n, std::int32_t scaling) {
  const WideSums wide = widen(sums);
  float value = final(wide);
  if (guard && guard(wide)) value = 0.0f;
  // The stored distance itself is scaled, not its square.
  if (scaled && scaling == 1) value = static_cast<float>(static_cast<double>(n) / wide.k * static_cast<double>(value));
  return value;
}

// The stored value of one pair from its completed sums: the final formula,
// the guard, then the scaling by n / k. n is the table's own n.
float pair_value(const Coefficient& row, const PairSums& sums, std::int32_t n, std::int32_t scaling);

// The completed sums of a run of pairs, a column per sum (pair l at [l]),
// as the vector kernel stores its lanes.
struct SumColumns {
  static constexpr std::size_t kMost = 64;
  float k[kMost], ssq[kMost], sad[kMost], smin[kMost], smax[kMost], sprod[kMost], sdiff[kMost], sqi[kMost],
      sqj[kMost], si[kMost], sj[kMost], sonlyi[kMost], sonlyj[kMost], snone[kMost];

  PairSums at(std::size_t l) const {
    return {k[l],   ssq[l], sad[l], smin[l],   smax[l],   sprod[l], sdiff[l],
            sqi[l], sqj[l], si[l],  sj[l],     sonlyi[l], sonlyj[l], snone[l]};
  }
};

// The diagonal entry of object i.
float diagonal_entry(const Table& table, std::size_t i, Diagonal diagonal);

// The number of the object's own known values.
std::uint32_t known_count(const Table& table, std::size_t i);

}  // namespace tessora::engine
