#include "engine/pairs.hpp"

#include "engine/kernel/kernel.hpp"

namespace tessora::engine {

ResemblanceMatrix compute(const DataMatrix& data, std::int32_t coefficient, std::int32_t scaling,
                          const ProgressFn& progress, bool* cancelled) {
  return kernel::compute(data, coefficient, scaling, progress, cancelled);
}

}  // namespace tessora::engine
