// The pair framework: statistics, the known-in-both rule, scaling, the
// diagonal step, numbers outside the menu and the matrix storage.
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pair_steps.hpp"
#include "engine/pairs.hpp"
#include "test_pairs_support.hpp"

namespace tessora::engine {
namespace {

using testing::kMinusNaN;
using testing::objects;
using testing::same_bits;

const DataMatrix kExample = objects({{1, 2, -1, 4}, {3, 1, 5, 0}, {6, 2, 0, 1}});

TEST(VariableStatistics, MaximumNeverBelowZeroMinimumNeverAboveTenMillion) {
  struct Row { std::vector<float> values; float max, range; };
  const std::vector<Row> rows = {
      {{-5, -3}, 0.0f, 5.0f},           // all negative
      {{7, 7, 7}, 7.0f, 0.0f},          // constant
      {{0, 0}, 0.0f, 0.0f},
      {{2e7f, 3e7f}, 3e7f, 2e7f},       // above ten million: Rv = Mv - 10000000
      {{-1, 4, -1}, 4.0f, 0.0f},        // -1 is missing
      {{-1.5f, 2}, 2.0f, 3.5f},         // -1.5 is a value
      {{-1, -1}, 0.0f, -1e7f},          // nothing known
  };
  for (const Row& r : rows) {
    DataMatrix d;  // one variable, one object per value
    d.n = 1;
    d.m = static_cast<std::int32_t>(r.values.size());
    d.x.assign(r.values.begin(), r.values.end());
    const auto stats = variable_statistics(table_of(d), Statistics::max_and_range);
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_TRUE(same_bits(stats[0].max, r.max)) << r.values[0];
    EXPECT_TRUE(same_bits(stats[0].range, r.range)) << r.values[0];
  }
}

TEST(VariableStatistics, TotalsAndMaximaAreTakenOverAllObjects) {
  const auto ranges = variable_statistics(table_of(kExample), Statistics::max_and_range);
  const auto totals = variable_statistics(table_of(kExample), Statistics::totals);
  const float max[] = {6, 2, 5, 4}, range[] = {5, 1, 5, 4}, total[] = {10, 5, 5, 5};
  ASSERT_EQ(ranges.size(), 4u);
  ASSERT_EQ(totals.size(), 4u);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(ranges[v].max, max[v]) << v;
    EXPECT_EQ(ranges[v].range, range[v]) << v;
    EXPECT_EQ(totals[v].total, total[v]) << v;
  }
  EXPECT_TRUE(variable_statistics(table_of(kExample), Statistics::none).empty());
}

TEST(PairLoop, OnlyMinusOneExactlyIsMissing) {
  // K = {1}: the second variable is missing in object j.
  const DataMatrix d = objects({{-1.5f, 2}, {-2, -1}});
  EXPECT_EQ(compute_reference(d, 2, 0).at(0, 1), 0.5f);
  EXPECT_EQ(compute_reference(d, 3, 0).at(0, 1), 0.5f);  // k = 1
}

// With NaNs of both signs in the data, SDIFF keeps the first one it meets:
// each update is running sum first, term second.
TEST(PairLoop, RunningSumKeepsItsNaNAgainstALaterNaNTerm) {
  using testing::kPlusNaN;
  EXPECT_TRUE(same_bits(compute_reference(objects({{kMinusNaN, kPlusNaN}, {0, 0}}), 15, 0).at(0, 1), kMinusNaN));
  EXPECT_TRUE(same_bits(compute_reference(objects({{kPlusNaN, kMinusNaN}, {0, 0}}), 15, 0).at(0, 1), kPlusNaN));
}

TEST(PairLoop, ScalingMultipliesTheStoredDistanceByNOverK) {
  struct Row { std::int32_t coefficient, scaling; float expected; };
  const Row rows[] = {
      {1, 0, 5.0f}, {1, 1, 10.0f}, {1, 2, 5.0f}, {1, -1, 5.0f},
      {2, 0, 7.0f}, {2, 1, 14.0f},
      {13, 0, 7.0f}, {13, 1, 14.0f},
      {3, 1, 3.5f}, {6, 1, 1.0f},  // never scaled
      {0, 1, 5.0f}, {-2, 1, 5.0f},  // numbers below 1 take 1's formula, unscaled
  };
  const DataMatrix d = objects({{0, 0, -1, -1}, {3, 4, -1, 5}});  // n = 4, k = 2
  for (const Row& r : rows) {
    const ResemblanceMatrix res = compute_reference(d, r.coefficient, r.scaling);
    EXPECT_TRUE(same_bits(res.at(0, 1), r.expected)) << r.coefficient << " " << r.scaling;
    EXPECT_EQ(res.at(0, 0), 0.0f);
    EXPECT_EQ(res.at(1, 1), 0.0f);
  }
  // With every variable known in both, scaling changes nothing.
  EXPECT_EQ(compute_reference(objects({{0, 0}, {3, 4}}), 1, 1).at(0, 1), 5.0f);
}

TEST(PairLoop, DiagonalStep) {
  struct Row { std::int32_t coefficient; float d1, d2, d3; };
  const Row rows[] = {
      {1, 0, 0, 0}, {3, 0, 0, 0}, {4, 1, 1, 1}, {5, 1, 1, 1}, {7, 1, 1, 1}, {8, 0, 0, 0},
      {12, 7, 9, 9},  // own sums
      {19, 1, 1, 1}, {20, 0, 0, 0}, {21, 1, 1, 1}, {22, 0, 0, 0},
      {23, 2.33333325f, 4.91666651f, 6.91666651f},  // own variances over all own known values
      {24, 1, 1, 1}, {25, 1, 1, 1}, {34, 1, 1, 1}, {35, 1, 1, 1}, {0, 0, 0, 0}, {-2, 0, 0, 0},
  };
  for (const Row& r : rows) {
    const ResemblanceMatrix res = compute_reference(kExample, r.coefficient, 0);
    EXPECT_TRUE(same_bits(res.at(0, 0), r.d1)) << r.coefficient;
    EXPECT_TRUE(same_bits(res.at(1, 1), r.d2)) << r.coefficient;
    EXPECT_TRUE(same_bits(res.at(2, 2), r.d3)) << r.coefficient;
  }
  // One known value: (x^2 - x^2 / 1) / 0.
  EXPECT_TRUE(same_bits(compute_reference(objects({{5, -1}, {2, 3}}), 23, 0).at(0, 0), kMinusNaN));
}

TEST(PairLoop, NumbersOutsideTheMenu) {
  for (std::int32_t c : {0, -2, std::numeric_limits<std::int32_t>::min()}) {
    const ResemblanceMatrix res = compute_reference(kExample, c, 1);
    const ResemblanceMatrix euclid = compute_reference(kExample, 1, 0);
    for (std::size_t i = 0; i < 3; ++i)
      for (std::size_t j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(res.at(i, j), euclid.at(i, j))) << c;
  }
  for (std::int32_t c : {35, 1000, std::numeric_limits<std::int32_t>::max()}) {
    const ResemblanceMatrix res = compute_reference(kExample, c, 1);
    for (std::size_t i = 0; i < 3; ++i)
      for (std::size_t j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(res.at(i, j), i == j ? 1.0f : 0.0f)) << c;
  }
}

TEST(PairLoop, OneObjectHasOnlyItsDiagonal) {
  const DataMatrix one = objects({{1, -1, 4, 7}});
  struct Row { std::int32_t coefficient; float expected; };
  const Row rows[] = {{1, 0.0f}, {4, 1.0f}, {12, 12.0f}, {23, 9.0f}, {35, 1.0f}};
  for (const Row& r : rows) {
    const ResemblanceMatrix res = compute_reference(one, r.coefficient, 0);
    ASSERT_EQ(res.size(), 1);
    EXPECT_TRUE(res.triangle().empty());
    EXPECT_TRUE(same_bits(res.at(0, 0), r.expected)) << r.coefficient;
  }
}

TEST(ResemblanceMatrix, SizesAndLimits) {
  EXPECT_EQ(ResemblanceMatrix(0).size(), 0);
  EXPECT_EQ(ResemblanceMatrix(-7).size(), 0);
  EXPECT_TRUE(ResemblanceMatrix(-7).diagonal().empty());
  const ResemblanceMatrix four(4);
  EXPECT_EQ(four.triangle().size(), 6u);
  EXPECT_EQ(four.diagonal().size(), 4u);
  EXPECT_THROW(ResemblanceMatrix{std::numeric_limits<std::int32_t>::max()}, std::bad_alloc);
  EXPECT_THROW(ResemblanceMatrix(1 << 24), std::bad_alloc);  // 2^47 bytes and more
}

TEST(ResemblanceMatrix, EachPairIsStoredOnceForBothTriangles) {
  ResemblanceMatrix res(3);
  res.set_pair(0, 2, 1.5f);
  res.set_pair(2, 1, -4.0f);
  res.set_pair(0, 1, 7.0f);
  EXPECT_EQ(res.at(2, 0), 1.5f);
  EXPECT_EQ(res.at(0, 2), 1.5f);
  EXPECT_EQ(res.at(1, 2), -4.0f);
  EXPECT_EQ(res.at(1, 0), 7.0f);
  EXPECT_EQ(res.triangle().size(), 3u);
}

}  // namespace
}  // namespace tessora::engine
