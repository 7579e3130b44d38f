// The fast pair kernel: resemblance values with the same bits as the
// reference loop, vectorised across pairs, chosen at run time for the
// processor's best instruction set, and spread over all cores.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/kernel/job.hpp"
#include "engine/matrices.hpp"
#include "engine/pairs.hpp"

namespace tessora::engine::kernel {

struct Options {
  unsigned threads = 0;             // worker threads; 0: one per hardware thread
  std::size_t tile_variables = 0;   // variables per tile; 0: as many as suit the cache
};

// A table made ready for one coefficient: the statistics over all objects,
// taken once, and which objects hold only finite known values.
struct Prepared {
  Table table;
  std::int32_t number = 1;
  const Coefficient* row = nullptr;
  std::int32_t n_signed = 0;  // the n that scaling multiplies by
  std::int32_t scaling = 0;
  std::vector<VariableStats> stats;
  std::vector<std::uint8_t> finite;
};
Prepared prepare(const Table& table, std::int32_t number, std::int32_t scaling, std::int32_t n_signed);

// How a run goes: threads, the tile size, progress and stop.
struct Control {
  Options options;
  const ProgressFn* progress = nullptr;     // called on the calling thread about every 50 ms
  const std::atomic<bool>* cancel = nullptr;
};

// Computes the pairs p < j of the regions into `out` (only the counts when
// it wants no values). False when the progress function or the cancel flag
// stopped it.
bool run_pairs(const Prepared& prepared, std::span<const detail::Region> regions,
               const detail::Output& out, const Control& control);

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

}  // namespace tessora::engine::kernel
