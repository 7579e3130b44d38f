// What an Engine holds, and the helpers its computations share (engine.cpp
// and neighbors.cpp).
#pragma once

#include <vector>

#include "engine/kernel/kernel.hpp"
#include "engine/matrices.hpp"
#include "tessora/checks.hpp"
#include "tessora/engine.hpp"

namespace tessora {

struct Engine::Impl {
  Settings settings;
  engine::Floats copy;  // the table, when the caller's layout is not the kernel's
  engine::kernel::Prepared prepared;
  std::vector<float> diagonal;
};

namespace detail {

inline engine::kernel::Control control_of(const RunOptions& run) {
  engine::kernel::Control c;
  c.options.threads = thread_count(run.threads);
  c.progress = run.progress ? &run.progress : nullptr;
  c.cancel = run.cancel;
  return c;
}

// D = 1 - S, in double, rounded once.
inline float complement(float s) { return static_cast<float>(1.0 - static_cast<double>(s)); }

}  // namespace detail
}  // namespace tessora
