// The pair framework: from the data matrix to the resemblance matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/coefficients.hpp"
#include "analysis/matrices.hpp"

namespace tessora::analysis {

// The plain reference loop: statistics, pairs i < j in order with their passes
// over the variables in order, scaling, then the diagonal step. It is the
// oracle that every faster path is tested against. Throws std::bad_alloc.
ResemblanceMatrix compute_reference(const DataMatrix& data, std::int32_t coefficient,
                                    std::int32_t scaling);

// Called on the calling thread while the work runs, with the fraction done;
// returning false abandons the computation (compute then returns an empty
// matrix and sets *cancelled).
using ProgressFn = std::function<bool(double fraction)>;

// The fastest path this machine has; the same bits as compute_reference.
ResemblanceMatrix compute(const DataMatrix& data, std::int32_t coefficient,
                          std::int32_t scaling, const ProgressFn& progress = {},
                          bool* cancelled = nullptr);

namespace detail {

// The steps that every path shares with the reference loop: the per-variable
// statistics before the pair loop (empty when the coefficient uses none), and
// the diagonal entry of object i.
std::vector<VariableStats> variable_statistics(const DataMatrix& data, Statistics wanted);
float diagonal_entry(const DataMatrix& data, std::size_t i, Diagonal diagonal);

// The stored value of one pair from its completed sums: the final formula,
// the guard, then the scaling by n / k. n is the data matrix's own n.
float pair_value(const Coefficient& row, const PairSums& sums, std::int32_t n, std::int32_t scaling);

}  // namespace detail

}  // namespace tessora::analysis
