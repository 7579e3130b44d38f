// The calling thread's part while the workers run: progress reports and a
// stop asked for through them.
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "engine/kernel/kernel.hpp"
#include "engine/pairs.hpp"

namespace tessora::engine {
namespace {

// Long enough that no processor finishes it between two reports: about
// 4.5e9 pair-variable steps of the costliest coefficient.
DataMatrix long_job() {
  DataMatrix d;
  d.n = 1000;
  d.m = 3000;
  d.x.resize(static_cast<std::size_t>(d.n) * d.m);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> value(0, 9);
  for (float& x : d.x) x = static_cast<float>(value(rng));
  return d;
}

TEST(KernelProgress, ReportsRisingFractionsAndStopsWhenAsked) {
  const DataMatrix d = long_job();
  struct Row {
    unsigned threads;
    int reports_before_stop;
  };
  const Row rows[] = {{1, 1}, {2, 1}, {2, 3}};
  for (const Row& r : rows) {
    std::vector<double> fractions;
    bool cancelled = false;
    kernel::Options options;
    options.threads = r.threads;
    const ResemblanceMatrix res = kernel::compute(
        d, 17, 0,
        [&](double fraction) {
          fractions.push_back(fraction);
          return static_cast<int>(fractions.size()) < r.reports_before_stop;
        },
        &cancelled, options);
    EXPECT_TRUE(cancelled) << r.threads << " threads";
    EXPECT_EQ(res.size(), 0) << "a stopped computation gives an empty matrix";
    ASSERT_EQ(static_cast<int>(fractions.size()), r.reports_before_stop)
        << "no report after the one that said stop";
    for (std::size_t i = 0; i < fractions.size(); ++i) {
      EXPECT_GE(fractions[i], 0.0);
      EXPECT_LT(fractions[i], 1.0);
      if (i > 0) {
        EXPECT_GE(fractions[i], fractions[i - 1]);
      }
    }
  }
}

TEST(KernelProgress, AnExceptionFromTheProgressFunctionStopsTheWorkersAndPassesOn) {
  const DataMatrix d = long_job();
  kernel::Options options;
  options.threads = 2;
  EXPECT_THROW(kernel::compute(
                   d, 17, 0, [](double) -> bool { throw std::runtime_error("closed"); }, nullptr, options),
               std::runtime_error);
}

TEST(KernelProgress, AFinishedComputationIsNotCancelled) {
  DataMatrix d;
  d.n = 3;
  d.m = 4;
  d.x = {1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3};
  bool cancelled = true;
  kernel::Options options;
  options.threads = 2;
  // Too short for a report; if one comes, it may go on.
  const ResemblanceMatrix res = kernel::compute(d, 1, 0, [](double) { return true; }, &cancelled, options);
  EXPECT_FALSE(cancelled);
  ASSERT_EQ(res.size(), 4);
  EXPECT_EQ(res.at(1, 0), compute_reference(d, 1, 0).at(1, 0));
}

}  // namespace
}  // namespace tessora::engine
