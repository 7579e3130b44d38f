#include "analysis/pairs.hpp"

#include "analysis/kernel/kernel.hpp"

namespace tessora::analysis {

ResemblanceMatrix compute(const DataMatrix& data, std::int32_t coefficient, std::int32_t scaling,
                          const ProgressFn& progress, bool* cancelled) {
  return kernel::compute(data, coefficient, scaling, progress, cancelled);
}

}  // namespace tessora::analysis
