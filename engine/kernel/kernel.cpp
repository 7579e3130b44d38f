// The fast kernel's coordinator: statistics, the workers, progress and stop,
// the diagonal. The vector loop itself is in pair_loop.cpp.
#include "engine/kernel/kernel.hpp"

#include <hwy/targets.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/coefficients.hpp"
#include "engine/kernel/job.hpp"
#include "engine/pair_steps.hpp"
#include "engine/pairs.hpp"
#include "engine/worker_pool.hpp"

namespace tessora::engine::kernel {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// Runs the workers on the shared pool; the calling thread reports progress
// meanwhile and watches the cancel flag. False when asked to stop. However
// the coordinator leaves (a progress function that throws), the workers are
// told to stop and waited for before the shared state goes away.
bool run_workers(const detail::Job& job, const detail::TargetKernel& kernel, detail::Schedule& schedule,
                 unsigned threads, const ProgressFn* progress, const std::atomic<bool>* cancel,
                 double total) {
  struct StopFirst {
    detail::Schedule& schedule;
    std::unique_ptr<WorkerPool::Batch> batch;
    ~StopFirst() {
      if (batch && !batch->wait_for(std::chrono::milliseconds(0))) schedule.stop();
    }
  } guard{schedule, nullptr};
  guard.batch = WorkerPool::shared().start(threads, [&](unsigned) {
    try {
      kernel.work(job, schedule);
    } catch (...) {
      schedule.stop();
      throw;
    }
  });

  bool go_on = true;
  while (!guard.batch->wait_for(kProgressInterval)) {
    if (!progress && !cancel) continue;
    if (cancel && cancel->load(std::memory_order_relaxed)) go_on = false;
    if (go_on && progress && *progress)
      go_on = (*progress)(total > 0 ? static_cast<double>(schedule.pairs_done()) / total : 1.0);
    if (!go_on) schedule.stop();
  }
  guard.batch->wait();  // the first failure of a worker, if any
  return go_on && !schedule.stopped();
}

// Every pair of the regions gets the value of sums that stay 0.
void fill_constant(const Prepared& prepared, std::span<const detail::Region> regions,
                   const detail::Output& out) {
  const float value = pair_value(*prepared.row, PairSums{}, prepared.n_signed, prepared.scaling);
  for (const detail::Region& r : regions)
    for (std::size_t p = r.p_begin; p < r.p_end; ++p)
      for (std::size_t j = std::max(r.j_begin, p + 1); j < r.j_end; ++j) out.put(p, j, value, 0);
}

}  // namespace

Prepared prepare(const Table& table, std::int32_t number, std::int32_t scaling, std::int32_t n_signed) {
  Prepared p;
  p.table = table;
  p.number = number;
  p.row = &coefficient(number);
  p.n_signed = n_signed;
  p.scaling = scaling;
  p.stats = variable_statistics(table, p.row->statistics);
  // Objects whose known values are all finite: their sums need no NaN order.
  p.finite.assign(table.m, 1);
  for (std::size_t i = 0; i < table.m; ++i) {
    const float* x = table.object(i);
    for (std::size_t v = 0; v < table.n; ++v)
      if (!std::isfinite(x[v]) && table.known(x[v])) {
        p.finite[i] = 0;
        break;
      }
  }
  return p;
}

bool run_pairs(const Prepared& prepared, std::span<const detail::Region> regions,
               const detail::Output& out, const Control& control) {
  const Table& table = prepared.table;
  Plan plan = detail::plan_of(prepared.number);
  const bool values = out.wants_values();
  if (!values || (plan.recipe == Recipe::constant && out.counts)) plan = {Recipe::count};
  if (table.n == 0 || plan.recipe == Recipe::constant) {
    // No variable, or a formula that reads no sum: every pair has the value
    // of sums that stay 0.
    if (out.triangle && regions.size() == 1 && regions[0].p_begin == 0 && regions[0].j_begin == 0 &&
        regions[0].p_end == table.m && regions[0].j_end == table.m) {
      std::fill(out.triangle, out.triangle + table.m * (table.m - 1) / 2,
                pair_value(*prepared.row, PairSums{}, prepared.n_signed, prepared.scaling));
    } else {
      fill_constant(prepared, regions, out);
    }
    return !(control.cancel && control.cancel->load());
  }

  detail::Job job;
  job.x = table.x;
  job.n = table.n;
  job.m = table.m;
  job.missing = table.missing;
  job.n_signed = prepared.n_signed;
  job.scaling = prepared.scaling;
  job.row = prepared.row;
  job.plan = plan;
  job.stats = prepared.stats.empty() ? nullptr : prepared.stats.data();
  job.finite = prepared.finite.data();
  job.out = out;
  job.chunk = control.options.tile_variables;

  const detail::TargetKernel& kernel = detail::best_kernel();
  unsigned threads = control.options.threads != 0 ? control.options.threads : WorkerPool::shared().size();
  // The tiles of all workers together stay within 32 MB.
  job.tile_bytes = std::min<std::size_t>(job.tile_bytes, (std::size_t{32} << 20) / threads);
  // Up to this many variables, items go row span by row span (job.hpp).
  constexpr std::size_t kNarrow = 128;
  detail::Schedule schedule(regions, kernel.width, table.n <= kNarrow, control.cancel);
  const bool watched = (control.progress && *control.progress) || control.cancel;
  if (threads == 1 && !(control.progress && *control.progress)) {
    kernel.work(job, schedule);  // nothing to report: work on this thread (it watches the cancel flag)
    return !schedule.stopped();
  }
  double total = 0;
  if (watched)
    for (const detail::Region& r : regions) total += static_cast<double>(detail::pairs_in(r));
  return run_workers(job, kernel, schedule, threads, control.progress, control.cancel, total);
}

ResemblanceMatrix compute(const DataMatrix& data, std::int32_t number, std::int32_t scaling,
                          const ProgressFn& progress, bool* cancelled, const Options& options) {
  if (cancelled) *cancelled = false;
  ResemblanceMatrix res(data.m);
  if (data.m <= 0) return res;
  const Prepared prepared = prepare(table_of(data), number, scaling, data.n);
  const std::size_t m = prepared.table.m;
  if (m >= 2) {
    const detail::Region all{0, m, 0, m};
    detail::Output out;
    out.triangle = res.triangle().data();
    Control control;
    control.options = options;
    control.progress = progress ? &progress : nullptr;
    if (!run_pairs(prepared, std::span(&all, 1), out, control)) {
      if (cancelled) *cancelled = true;
      return ResemblanceMatrix();
    }
  }
  for (std::size_t i = 0; i < m; ++i)
    res.set_diagonal(i, diagonal_entry(prepared.table, i, prepared.row->diagonal));
  return res;
}

std::vector<std::int64_t> available_targets() { return detail::compiled_targets(); }

std::string active_target() { return hwy::TargetName(detail::best_kernel().target); }

}  // namespace tessora::engine::kernel
