// The fast kernel's coordinator: statistics, the workers, progress and stop,
// the diagonal. The vector loop itself is in pair_loop.cpp.
#include "analysis/kernel/kernel.hpp"

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

#include "analysis/coefficients.hpp"
#include "analysis/kernel/job.hpp"
#include "analysis/pairs.hpp"

namespace tessora::analysis::kernel {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// The worker threads of one computation. However the coordinator leaves
// (a thread that cannot be started, a progress function that throws), the
// workers are told to stop and joined before the shared state goes away.
class Crew {
 public:
  explicit Crew(detail::Schedule& schedule) : schedule_(schedule) {}
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;
  ~Crew() {
    if (threads_.empty()) return;
    schedule_.stop();
    join();
  }

  template <class F>
  void start(F&& body) { threads_.emplace_back(std::forward<F>(body)); }
  void join() {
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

 private:
  detail::Schedule& schedule_;
  std::vector<std::thread> threads_;
};

// Runs the workers; the calling thread reports progress meanwhile. False when
// the progress function asked to stop.
bool run_workers(const detail::Job& job, const detail::TargetKernel& kernel, unsigned threads,
                 const ProgressFn& progress) {
  detail::Schedule schedule(job.m, kernel.width);
  const double total = static_cast<double>(job.m) * static_cast<double>(job.m - 1) / 2.0;

  std::mutex mutex;
  std::condition_variable finished;
  unsigned running = 0;
  std::exception_ptr failure;

  Crew crew(schedule);  // declared after what the workers use: joined first
  for (unsigned t = 0; t < threads; ++t) {
    {
      std::lock_guard lock(mutex);
      ++running;
    }
    crew.start([&] {
      std::exception_ptr error;
      try {
        kernel.work(job, schedule);
      } catch (...) {
        error = std::current_exception();
        schedule.stop();
      }
      std::lock_guard lock(mutex);
      if (error && !failure) failure = error;
      --running;
      finished.notify_one();
    });
  }

  bool go_on = true;
  {
    std::unique_lock lock(mutex);
    while (running > 0) {
      if (!progress || !go_on) {
        finished.wait(lock, [&] { return running == 0; });
        break;
      }
      if (finished.wait_for(lock, kProgressInterval, [&] { return running == 0; })) break;
      lock.unlock();
      go_on = progress(static_cast<double>(schedule.pairs_done()) / total);
      lock.lock();
      if (!go_on) schedule.stop();
    }
  }
  crew.join();
  if (failure) std::rethrow_exception(failure);
  return go_on;
}

}  // namespace

ResemblanceMatrix compute(const DataMatrix& data, std::int32_t number, std::int32_t scaling,
                          const ProgressFn& progress, bool* cancelled, const Options& options) {
  if (cancelled) *cancelled = false;
  const Coefficient& row = coefficient(number);
  // A negative dimension holds no values along it.
  const auto n = static_cast<std::size_t>(std::max(data.n, 0));
  const auto m = static_cast<std::size_t>(std::max(data.m, 0));

  ResemblanceMatrix res(data.m);
  const std::vector<VariableStats> stats = analysis::detail::variable_statistics(data, row.statistics);

  detail::Job job;
  job.x = data.x.data();
  job.n = n;
  job.m = m;
  job.n_signed = data.n;
  job.scaling = scaling;
  job.row = &row;
  job.plan = detail::plan_of(number);
  job.stats = stats.empty() ? nullptr : stats.data();
  // Objects with finite values only: their sums need no NaN order.
  std::vector<std::uint8_t> finite(m, 1);
  for (std::size_t i = 0; i < m && n > 0; ++i) {
    const float* x = data.object(i);
    for (std::size_t v = 0; v < n; ++v)
      if (!std::isfinite(x[v])) {
        finite[i] = 0;
        break;
      }
  }
  job.finite = finite.data();
  job.triangle = res.triangle().data();
  job.chunk = options.tile_variables;

  if (m >= 2) {
    if (n == 0 || job.plan.recipe == detail::Recipe::constant) {
      // No variable, or a formula that reads no sum: every pair has the value
      // of sums that stay 0.
      std::fill(res.triangle().begin(), res.triangle().end(),
                analysis::detail::pair_value(row, PairSums{}, data.n, scaling));
    } else {
      const detail::TargetKernel& kernel = detail::best_kernel();
      unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
      threads = std::max(1u, threads);
      // The tiles of all workers together stay within 32 MB.
      job.tile_bytes = std::min<std::size_t>(job.tile_bytes, (std::size_t{32} << 20) / threads);
      if (threads == 1 && !progress) {
        detail::Schedule schedule(m, kernel.width);  // nothing to watch: work on this thread
        kernel.work(job, schedule);
      } else if (!run_workers(job, kernel, threads, progress)) {
        if (cancelled) *cancelled = true;
        return ResemblanceMatrix();
      }
    }
  }

  for (std::size_t i = 0; i < m; ++i)
    res.set_diagonal(i, analysis::detail::diagonal_entry(data, i, row.diagonal));
  return res;
}

std::vector<std::int64_t> available_targets() { return detail::compiled_targets(); }

std::string active_target() { return hwy::TargetName(detail::best_kernel().target); }

}  // namespace tessora::analysis::kernel
