// The fast pair kernel: the resemblance matrix with the same bits as the
// reference loop, vectorised across pairs, chosen at run time for the
// processor's best instruction set, and spread over all cores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/matrices.hpp"
#include "analysis/pairs.hpp"

namespace tessora::analysis::kernel {

struct Options {
  unsigned threads = 0;             // worker threads; 0: one per hardware thread
  std::size_t tile_variables = 0;   // variables per tile; 0: as many as suit the cache
};

// The whole computation: statistics, every pair, the diagonal. While the
// workers run, the calling thread calls progress (when given) about every
// 50 ms with the fraction of pairs done; when it returns false the workers
// stop, *cancelled is set and an empty matrix is returned. Throws
// std::bad_alloc.
ResemblanceMatrix compute(const DataMatrix& data, std::int32_t coefficient, std::int32_t scaling,
                          const ProgressFn& progress, bool* cancelled, const Options& options = {});

// The instruction sets compiled into the kernel that this processor can run,
// best first (Highway target bits). The kernel uses the first, unless a test
// narrows the choice with hwy::SetSupportedTargetsForTest.
std::vector<std::int64_t> available_targets();

// The name of the instruction set that compute would use now ("AVX2", ...).
std::string active_target();

}  // namespace tessora::analysis::kernel
