// The pair framework: from the data matrix to the resemblance matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/matrices.hpp"

namespace tessora::engine {

// The plain reference loop: statistics, pairs i < j in order with their passes
// over the variables in order, scaling, then the diagonal step. It is the
// oracle that every faster path is tested against. Throws std::bad_alloc.
ResemblanceMatrix compute_reference(const DataMatrix& data, std::int32_t coefficient,
                                    std::int32_t scaling);
// The same over any table; n_signed is the n that scaling multiplies by.
ResemblanceMatrix compute_reference(const Table& table, std::int32_t coefficient, std::int32_t scaling,
                                    std::int32_t n_signed);

// Called on the calling thread while the work runs, with the fraction done;
// returning false abandons the computation (compute then returns an empty
// matrix and sets *cancelled).
using ProgressFn = std::function<bool(double fraction)>;


}  // namespace tessora::engine
