// The picture's arithmetic: the dissimilarity the clustering works on, the
// average-linkage merges and leaf order (by hand and against SciPy), the
// colour map, and the aggregation of many cells into one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <atomic>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <string>

#include "window/core/clustering.hpp"
#include "window/core/matrix_picture.hpp"

namespace tessora::console {
namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A matrix from a full m by m table (its lower half is taken).
MatrixData from_table(Diagonal kind, const std::vector<std::vector<float>>& t) {
  MatrixData d;
  d.diagonal = kind;
  d.m = t.size();
  for (std::size_t i = 0; i < d.m; ++i) {
    d.diag.push_back(t[i][i]);
    for (std::size_t j = 0; j < i; ++j) d.triangle.push_back(t[i][j]);
  }
  return d;
}

std::vector<double> packed(const std::vector<std::vector<double>>& t) {
  std::vector<double> out;
  for (std::size_t i = 1; i < t.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) out.push_back(t[i][j]);
  return out;
}

// ---- Dissimilarity ------------------------------------------------------------------

struct DissimilarityCase {
  const char* name;
  Diagonal kind;
  float diag0, diag1, value;
  double expected;
};

class Dissimilarity : public ::testing::TestWithParam<DissimilarityCase> {};

TEST_P(Dissimilarity, OfOnePair) {
  const auto& c = GetParam();
  const MatrixData d = from_table(c.kind, {{c.diag0, c.value}, {c.value, c.diag1}});
  EXPECT_DOUBLE_EQ(dissimilarity(d, 1, 0), c.expected);
  EXPECT_DOUBLE_EQ(dissimilarity(d, 0, 1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Dissimilarity,
    ::testing::Values(DissimilarityCase{"distance", Diagonal::zero, 0, 0, 3.5f, 3.5},
                      DissimilarityCase{"similarity", Diagonal::one, 1, 1, 0.25f, 0.75},
                      DissimilarityCase{"converted_similarity", Diagonal::one, 0, 0, 0.75f, 0.75},
                      DissimilarityCase{"correlation_negative", Diagonal::one, 1, 1, -0.5f, 1.5},
                      DissimilarityCase{"own_sum", Diagonal::own_sum, 10, 6, 4, 4},
                      DissimilarityCase{"own_variance", Diagonal::own_variance, 2, 4, -1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClusteringInput, NanAndInfinityCountAsTheLargestFiniteDissimilarity) {
  const MatrixData d = from_table(Diagonal::zero, {{0, 1, kNan, 2}, {1, 0, 5, kInf}, {kNan, 5, 0, 3}, {2, kInf, 3, 0}});
  // Packed: (1,0) (2,0) (2,1) (3,0) (3,1) (3,2).
  EXPECT_EQ(clustering_input(d), (std::vector<double>{1, 5, 5, 2, 5, 3}));
  const MatrixData none = from_table(Diagonal::zero, {{0, kNan}, {kNan, 0}});
  EXPECT_EQ(clustering_input(none), std::vector<double>{0});
}

TEST(KnownInBoth, CountsVariablesKnownInBothObjects) {
  MatrixData d = from_table(Diagonal::zero, {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}});
  d.n = 4;
  d.data = {1, -1, 0, 2, /**/ 3, 4, -1, -0.5f, /**/ -1, -1, -1, -1};
  EXPECT_EQ(d.known_in_both(0, 1), 2u);
  EXPECT_EQ(d.known_in_both(1, 0), 2u);
  EXPECT_EQ(d.known_in_both(0, 0), 3u);
  EXPECT_EQ(d.known_in_both(0, 2), 0u);
  EXPECT_EQ(d.known_in_both(0, 9), 0u);  // out of range: nothing, no fault
}

struct MissingRuleCase {
  const char* name;
  Missing missing;
  std::size_t k;
};

class KnownInBothByRule : public ::testing::TestWithParam<MissingRuleCase> {};

// The gaps are those of the rule the values came with, not a fixed -1.
TEST_P(KnownInBothByRule, CountsWhatTheRuleCallsKnown) {
  MatrixData d = from_table(Diagonal::zero, {{0, 1}, {1, 0}});
  d.n = 5;
  d.data = {1, -1, 0, kNan, 5, /**/ 3, 0, -1, 2, -1};
  d.missing = GetParam().missing;
  EXPECT_EQ(d.known_in_both(0, 1), GetParam().k);
  EXPECT_EQ(d.known_in_both(1, 0), GetParam().k);
}

INSTANTIATE_TEST_SUITE_P(Rules, KnownInBothByRule,
                         ::testing::Values(MissingRuleCase{"minus_one", Missing{}, 2},  // NaN is a value there
                                           MissingRuleCase{"zero", Missing::value(0), 3},
                                           MissingRuleCase{"not_a_number", Missing::not_a_number(), 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Clustering ----------------------------------------------------------------------

struct Expected {
  std::vector<Merge> merges;
  std::vector<std::size_t> order;
};

void expect_merges(const std::vector<Merge>& got, const std::vector<Merge>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_EQ(got[k].left, want[k].left) << "merge " << k;
    EXPECT_EQ(got[k].right, want[k].right) << "merge " << k;
    EXPECT_NEAR(got[k].height, want[k].height, 1e-12) << "merge " << k;
    EXPECT_EQ(got[k].size, want[k].size) << "merge " << k;
  }
}

TEST(AverageLinkage, FourPointsOnALineWorkedByHand) {
  // Points at 0, 1, 4 and 10. {0,1} join at 1; their distance to 2 is
  // (4 + 3) / 2 = 3.5, to 3 (10 + 9) / 2 = 9.5. {0,1,2} join at 3.5; its
  // distance to 3 is (2 * 9.5 + 6) / 3 = 25 / 3.
  std::vector<double> d = packed({{0}, {1, 0}, {4, 3, 0}, {10, 9, 6, 0}});
  const auto merges = average_linkage(d, 4);
  expect_merges(merges, {{0, 1, 1, 2}, {2, 4, 3.5, 3}, {3, 5, 25.0 / 3, 4}});
  EXPECT_EQ(leaf_order(merges, 4), (std::vector<std::size_t>{3, 2, 0, 1}));
}

TEST(AverageLinkage, TiesGoToTheLowestNumberedClusters) {
  // All three pairs at 1: 0 and 1 join first, then 2 with them.
  std::vector<double> d = {1, 1, 1};
  const auto merges = average_linkage(d, 3);
  expect_merges(merges, {{0, 1, 1, 2}, {2, 3, 1, 3}});
  EXPECT_EQ(leaf_order(merges, 3), (std::vector<std::size_t>{2, 0, 1}));
}

TEST(AverageLinkage, EdgeSizesGiveNoMergesAndNoFault) {
  std::vector<double> none;
  EXPECT_TRUE(average_linkage(none, 0).empty());
  EXPECT_TRUE(average_linkage(none, 1).empty());
  EXPECT_EQ(leaf_order({}, 1), std::vector<std::size_t>{0});
  std::vector<double> wrong = {1, 2};
  EXPECT_TRUE(average_linkage(wrong, 3).empty());  // too few values for 3 objects
  EXPECT_EQ(leaf_order({}, 3), (std::vector<std::size_t>{0, 1, 2}));
  std::atomic<bool> cancel{true};
  std::vector<double> d = {1, 2, 3};
  EXPECT_TRUE(average_linkage(d, 3, &cancel).empty());
}

// ---- Against SciPy -----------------------------------------------------------------------

constexpr const char* kPython = "/usr/bin/python3";

bool have_scipy() {
  const std::string command = std::string(kPython) + " -c 'import scipy.cluster.hierarchy' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

// SciPy's linkage and leaves_list for m objects whose dissimilarities are
// packed as our triangle; SciPy's condensed form runs along the upper one.
Expected scipy_average(const std::vector<double>& d, std::size_t m, const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto in = dir / ("tessora_scipy_" + name + ".txt");
  const auto out = dir / ("tessora_scipy_" + name + ".out");
  {
    std::ofstream f(in);
    f.precision(17);
    for (std::size_t i = 0; i < m; ++i)
      for (std::size_t j = i + 1; j < m; ++j) f << d[j * (j - 1) / 2 + i] << '\n';
  }
  const std::string script =
      "import numpy as np, sys\n"
      "from scipy.cluster.hierarchy import linkage, leaves_list\n"
      "y = np.loadtxt(sys.argv[1], ndmin=1)\n"
      "z = linkage(y, method='average')\n"
      "with open(sys.argv[2], 'w') as f:\n"
      "    for r in z: f.write('%d %d %.17g %d\\n' % (r[0], r[1], r[2], r[3]))\n"
      "    f.write(' '.join(str(i) for i in leaves_list(z)) + '\\n')\n";
  const std::string command =
      std::string(kPython) + " -c \"" + script + "\" " + in.string() + " " + out.string();
  Expected e;
  if (std::system(command.c_str()) != 0) return e;
  std::ifstream f(out);
  for (std::size_t k = 0; k + 1 < m; ++k) {
    Merge mg;
    f >> mg.left >> mg.right >> mg.height >> mg.size;
    e.merges.push_back(mg);
  }
  std::size_t leaf;
  while (f >> leaf) e.order.push_back(leaf);
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  return e;
}

struct ScipyCase {
  const char* name;
  std::size_t m;
  bool integer_ties;  // small whole numbers: many ties
};

class AgainstScipy : public ::testing::TestWithParam<ScipyCase> {};

TEST_P(AgainstScipy, SameMergesHeightsAndLeafOrder) {
  if (!have_scipy()) GTEST_SKIP() << kPython << " has no SciPy (Debian python3-scipy)";
  const auto& c = GetParam();
  std::mt19937_64 rng(2024);
  std::vector<double> d;
  if (c.integer_ties) {
    std::uniform_int_distribution<int> small(1, 4);
    for (std::size_t p = 0; p < c.m * (c.m - 1) / 2; ++p) d.push_back(small(rng));
  } else {
    // Points in the plane, Euclidean distances.
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<std::pair<double, double>> pts(c.m);
    for (auto& p : pts) p = {unit(rng), unit(rng)};
    for (std::size_t i = 1; i < c.m; ++i)
      for (std::size_t j = 0; j < i; ++j)
        d.push_back(std::hypot(pts[i].first - pts[j].first, pts[i].second - pts[j].second));
  }
  const Expected want = scipy_average(d, c.m, c.name);
  ASSERT_EQ(want.merges.size(), c.m - 1) << "SciPy gave no answer";
  std::vector<double> work = d;
  const auto merges = average_linkage(work, c.m);
  ASSERT_EQ(merges.size(), c.m - 1);
  for (std::size_t k = 0; k + 1 < c.m; ++k) {
    EXPECT_EQ(merges[k].left, want.merges[k].left) << "merge " << k;
    EXPECT_EQ(merges[k].right, want.merges[k].right) << "merge " << k;
    EXPECT_NEAR(merges[k].height, want.merges[k].height, 1e-12 * (1 + want.merges[k].height)) << "merge " << k;
    EXPECT_EQ(merges[k].size, want.merges[k].size) << "merge " << k;
  }
  EXPECT_EQ(leaf_order(merges, c.m), want.order);
}

INSTANTIATE_TEST_SUITE_P(Random, AgainstScipy,
                         ::testing::Values(ScipyCase{"fifty_points", 50, false},
                                           ScipyCase{"thirty_with_ties", 30, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Colours ----------------------------------------------------------------------------

struct ColourCase {
  double t;
  Rgb expected;  // the map's published samples
};

class ColourMap : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourMap, MatchesThePublishedSamples) {
  const Rgb got = colour_map(GetParam().t);
  const Rgb want = GetParam().expected;
  // The polynomial keeps within 5 of 255 per channel.
  EXPECT_NEAR(got.r, want.r, 5);
  EXPECT_NEAR(got.g, want.g, 5);
  EXPECT_NEAR(got.b, want.b, 5);
}

INSTANTIATE_TEST_SUITE_P(Samples, ColourMap,
                         ::testing::Values(ColourCase{0.0, {0x44, 0x01, 0x54}}, ColourCase{0.25, {0x3b, 0x52, 0x8b}},
                                           ColourCase{0.5, {0x21, 0x91, 0x8c}}, ColourCase{0.75, {0x5e, 0xc9, 0x62}},
                                           ColourCase{1.0, {0xfd, 0xe7, 0x25}}));

TEST(ColourMap, LightnessRisesAlongTheMapAndEndsAreClamped) {
  auto luma = [](Rgb c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; };
  for (int s = 1; s <= 100; ++s) EXPECT_GT(luma(colour_map(s / 100.0)), luma(colour_map((s - 1) / 100.0))) << s;
  EXPECT_EQ(colour_map(-3), colour_map(0));
  EXPECT_EQ(colour_map(7), colour_map(1));
  EXPECT_EQ(colour_map(std::nan("")), colour_map(0));
}

TEST(ValueColour, RangeEndsInfinityAndNan) {
  const MatrixData d = from_table(Diagonal::zero, {{0, 2, kInf}, {2, 0, kNan}, {kInf, kNan, 0}});
  const ValueRange r = value_range(d);
  EXPECT_TRUE(r.finite && r.infinity && r.nan);
  EXPECT_EQ(r.low, 0);
  EXPECT_EQ(r.high, 2);
  EXPECT_EQ(value_colour(0, r), colour_map(0));
  EXPECT_EQ(value_colour(1, r), colour_map(0.5));
  EXPECT_EQ(value_colour(2, r), colour_map(1));
  EXPECT_EQ(value_colour(kInf, r), kInfinityColour);
  EXPECT_EQ(value_colour(-kInf, r), kInfinityColour);
  EXPECT_EQ(value_colour(kNan, r), kNanColour);
}

// ---- Aggregation --------------------------------------------------------------------------

// The rule, cell by cell over the whole matrix.
std::vector<float> plain_aggregate(const MatrixData& d, const std::vector<int>& rb, std::size_t rows,
                                   const std::vector<int>& cb, std::size_t cols) {
  std::vector<double> sum(rows * cols, 0);
  std::vector<int> count(rows * cols, 0), inf(rows * cols, 0), any(rows * cols, 0);
  for (std::size_t i = 0; i < d.m; ++i) {
    for (std::size_t j = 0; j < d.m; ++j) {
      if (rb[i] < 0 || cb[j] < 0) continue;
      const std::size_t c = static_cast<std::size_t>(rb[i]) * cols + static_cast<std::size_t>(cb[j]);
      const float x = d.at(i, j);
      any[c] = 1;
      if (std::isfinite(x)) {
        sum[c] += x;
        ++count[c];
      } else if (std::isinf(x)) {
        inf[c] = 1;
      }
    }
  }
  std::vector<float> out(rows * cols, kNan);
  for (std::size_t c = 0; c < out.size(); ++c) {
    if (count[c] > 0) {
      out[c] = static_cast<float>(sum[c] / count[c]);
    } else if (inf[c]) {
      out[c] = kInf;
    }
  }
  return out;
}

MatrixData random_matrix(std::size_t m, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-3, 5);
  std::uniform_int_distribution<int> odd(0, 99);
  MatrixData d;
  d.m = m;
  for (std::size_t i = 0; i < m; ++i) d.diag.push_back(value(rng));
  for (std::size_t p = 0; p < m * (m - 1) / 2; ++p) {
    const int o = odd(rng);
    d.triangle.push_back(o == 0 ? kNan : o == 1 ? kInf : value(rng));
  }
  // A whole object of NaN, so that some blocks hold no finite value.
  for (std::size_t j = 0; j < m; ++j) {
    if (j != 7) (j < 7 ? d.triangle[7 * 6 / 2 + j] : d.triangle[j * (j - 1) / 2 + 7]) = kNan;
  }
  d.diag[7] = kNan;
  return d;
}

struct AggregateCase {
  const char* name;
  std::size_t m;
  double first, scale;  // display window
  bool shuffled;        // an order other than the data's
  std::size_t direct_limit;
};

class Aggregation : public ::testing::TestWithParam<AggregateCase> {};

TEST_P(Aggregation, MatchesThePlainComputation) {
  const auto& c = GetParam();
  const MatrixData d = random_matrix(c.m, 11);
  std::vector<std::size_t> order(c.m);
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (c.shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(5));
  const Binning rows = bin_objects(order, c.first, c.scale, 97);
  const Binning cols = bin_objects(order, c.first / 2, c.scale, 61);
  ASSERT_GT(rows.bins, 0u);
  ASSERT_EQ(rows.pixel_start.size(), rows.bins + 1);
  const auto got = aggregate(d, rows.of_object, rows.bins, cols.of_object, cols.bins, c.direct_limit);
  const auto want = plain_aggregate(d, rows.of_object, rows.bins, cols.of_object, cols.bins);
  ASSERT_EQ(got.size(), want.size());
  int nan_cells = 0;
  for (std::size_t k = 0; k < got.size(); ++k) {
    if (std::isnan(want[k])) {
      ++nan_cells;
      EXPECT_TRUE(std::isnan(got[k])) << k;
    } else if (std::isinf(want[k])) {
      EXPECT_EQ(got[k], want[k]) << k;
    } else {
      EXPECT_NEAR(got[k], want[k], 1e-5f) << k;
    }
  }
  // Cell by cell, the NaN object's cells show NaN; in blocks its NaNs give
  // way to the block's finite values.
  if (c.scale >= 1) {
    EXPECT_GT(nan_cells, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Aggregation,
    ::testing::Values(AggregateCase{"whole_many_per_pixel_sweep", 900, 0, 0.1, false, 0},
                      AggregateCase{"whole_many_per_pixel_direct", 900, 0, 0.1, false, std::size_t(1) << 30},
                      AggregateCase{"clustered_order_sweep", 900, 0, 0.1, true, 0},
                      AggregateCase{"zoomed_part_sweep", 900, 300.5, 0.37, true, 0},
                      AggregateCase{"cells_larger_than_pixels", 40, 3.25, 4.5, true, std::size_t(1) << 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Binning, EveryPixelOnceAndObjectsInOrder) {
  std::vector<std::size_t> order = {4, 2, 0, 1, 3};
  // 2.5 pixels per object from position 0.6: object 4 shows its last
  // pixel (x from -1.5 to 1), then 2 from 1, 0 from 3.5 and 1 from 6 to the
  // edge at 7; 3 would start at 8.5.
  const Binning b = bin_objects(order, 0.6, 2.5, 7);
  EXPECT_EQ(b.bins, 4u);
  EXPECT_EQ(b.of_object, (std::vector<int>{2, 3, 1, -1, 0}));
  EXPECT_EQ(b.pixel_start, (std::vector<int>{0, 1, 3, 6, 7}));
  const Binning none = bin_objects(order, 0, 0, 7);  // no scale: nothing, no fault
  EXPECT_EQ(none.bins, 0u);
}

}  // namespace
}  // namespace tessora::console
