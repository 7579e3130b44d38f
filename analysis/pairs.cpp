#include "analysis/pairs.hpp"

namespace tessora::analysis {

ResemblanceMatrix compute(const DataMatrix& data, std::int32_t coefficient, std::int32_t scaling,
                          const ProgressFn& /*progress*/, bool* cancelled) {
  if (cancelled) *cancelled = false;
  return compute_reference(data, coefficient, scaling);
}

}  // namespace tessora::analysis
