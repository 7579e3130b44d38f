// Nearest neighbours and thresholds against the whole matrix: every row of
// the matrix sorted by the ranking order (ties by index, NaN left out)
// gives the neighbours, and filtering it gives the pairs within a threshold,
// bit for bit, whatever the threads, the row ranges and the options.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tessora/tessora.hpp"

namespace tessora {
namespace {

// Small integers (many ties), gaps that leave some pairs nothing in common,
// and now and then an infinity or a NaN that is a value (-1 marks a gap).
std::vector<float> random_table(std::int64_t m, std::int64_t n, std::mt19937& rng) {
  std::vector<float> x(static_cast<std::size_t>(m * n));
  std::uniform_int_distribution<int> value(0, 3), kind(0, 19);
  for (float& v : x) {
    const int k = kind(rng);
    v = k < 5 ? -1.0f : k == 5 ? INFINITY : k == 6 ? NAN : static_cast<float>(value(rng));
  }
  // Object 0 knows nothing; object 1 only its first variable.
  for (std::int64_t v = 0; v < n; ++v) {
    x[static_cast<std::size_t>(v)] = -1.0f;
    x[static_cast<std::size_t>(n + v)] = v == 0 ? 2.0f : -1.0f;
  }
  return x;
}

struct Whole {
  std::int64_t m;
  std::vector<float> values;
  std::vector<std::uint32_t> counts;
};

Whole whole_matrix(const Engine& engine) {
  const std::int64_t m = engine.objects();
  Whole w{m, std::vector<float>(static_cast<std::size_t>(m * m)), std::vector<std::uint32_t>(static_cast<std::size_t>(m * m))};
  engine.compute_block({0, m, 0, m}, w.values.data(), m, w.counts.data(), m);
  return w;
}

bool same_bits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

// The neighbours of row i by sorting the matrix's row.
std::vector<std::int64_t> sorted_row(const Whole& w, std::int64_t i, bool ascending, const NeighborOptions& o) {
  std::vector<std::int64_t> order;
  for (std::int64_t j = 0; j < w.m; ++j) {
    const auto at = static_cast<std::size_t>(i * w.m + j);
    if ((j == i && !o.include_self) || std::isnan(w.values[at]) || w.counts[at] < o.min_shared) continue;
    order.push_back(j);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
    const float va = w.values[static_cast<std::size_t>(i * w.m + a)], vb = w.values[static_cast<std::size_t>(i * w.m + b)];
    return ascending ? va < vb : va > vb;
  });
  return order;
}

TEST(Neighbors, EqualTheSortedRowsOfTheWholeMatrix) {
  std::mt19937 rng(11);
  for (const std::int64_t m : {2, 9, 31}) {
    const std::int64_t n = 5;
    const std::vector<float> x = random_table(m, n, rng);
    const TableView view = TableView::row_major(x.data(), m, n, true);
    for (const CoefficientInfo& c : coefficients()) {
      for (const bool dissimilarity : {false, true}) {
        if (dissimilarity && !c.similarity) continue;
        const Engine engine(view, {c.number, false, dissimilarity});
        const Whole w = whole_matrix(engine);
        const bool ascending = ranking_of(c.number, dissimilarity) == Ranking::ascending;
        for (const NeighborOptions& o : {NeighborOptions{false, 1}, NeighborOptions{true, 1}, NeighborOptions{false, 0},
                                         NeighborOptions{true, 3}}) {
          const std::int64_t k = std::min<std::int64_t>(o.include_self ? m : m - 1, 4);
          std::vector<std::int64_t> idx(static_cast<std::size_t>(m * k));
          std::vector<float> val(idx.size());
          std::vector<std::uint32_t> shared(idx.size());
          engine.neighbors(k, idx.data(), val.data(), shared.data(), o);
          for (std::int64_t i = 0; i < m; ++i) {
            const std::vector<std::int64_t> want = sorted_row(w, i, ascending, o);
            for (std::int64_t t = 0; t < k; ++t) {
              const auto at = static_cast<std::size_t>(i * k + t);
              SCOPED_TRACE(testing::Message() << "coefficient " << c.number << (dissimilarity ? " D" : "") << " m " << m
                                              << " self " << o.include_self << " min_shared " << o.min_shared
                                              << " object " << i << " place " << t);
              if (t < static_cast<std::int64_t>(want.size())) {
                const std::int64_t j = want[static_cast<std::size_t>(t)];
                ASSERT_EQ(idx[at], j);
                ASSERT_TRUE(same_bits(val[at], w.values[static_cast<std::size_t>(i * m + j)]));
                ASSERT_EQ(shared[at], w.counts[static_cast<std::size_t>(i * m + j)]);
              } else {
                ASSERT_EQ(idx[at], -1);
                ASSERT_TRUE(std::isnan(val[at]));
                ASSERT_EQ(shared[at], 0u);
              }
            }
          }
        }
      }
    }
  }
}

TEST(Neighbors, RowRangesAndThreadsGiveTheSameAnswer) {
  std::mt19937 rng(5);
  const std::int64_t m = 300, n = 7, k = 6;
  const std::vector<float> x = random_table(m, n, rng);
  for (const std::int32_t number : {1, 8, 16, 24, 29}) {
    const Engine engine(TableView::row_major(x.data(), m, n, true), {number});
    std::vector<std::int64_t> whole(static_cast<std::size_t>(m * k));
    std::vector<float> whole_values(whole.size());
    engine.neighbors(k, whole.data(), whole_values.data());
    for (const unsigned threads : {1u, 2u, 7u}) {
      RunOptions run;
      run.threads = threads;
      // Parts of the rows, cut at odd places, one of them empty.
      const std::int64_t cuts[] = {0, 1, 1, 77, 150, 299, 300};
      std::vector<std::int64_t> parts(whole.size());
      std::vector<float> part_values(whole.size());
      for (std::size_t p = 0; p + 1 < std::size(cuts); ++p) {
        NeighborOptions o;
        o.row_begin = cuts[p];
        o.row_end = cuts[p + 1];
        engine.neighbors(k, parts.data() + cuts[p] * k, part_values.data() + cuts[p] * k, nullptr, o, run);
      }
      EXPECT_EQ(parts, whole) << number << " threads " << threads;
      for (std::size_t t = 0; t < whole.size(); ++t)
        ASSERT_TRUE(same_bits(part_values[t], whole_values[t])) << number << " threads " << threads;
    }
  }
}

// Enough objects that the pairs come in many runs from both workers, every
// list fills early and keeps being displaced, and ties (small integers, few
// variables) decide by index across runs.
TEST(Neighbors, ManyObjectsAndTiesGiveTheSortedRows) {
  std::mt19937 rng(23);
  const std::int64_t m = 1500, n = 3;
  const std::vector<float> x = random_table(m, n, rng);
  const TableView view = TableView::row_major(x.data(), m, n, true);
  for (const std::int32_t number : {1, 8, 14, 23, 27}) {
    const Engine engine(view, {number});
    const Whole w = whole_matrix(engine);
    const bool ascending = ranking_of(number, false) == Ranking::ascending;
    const NeighborOptions o;
    std::vector<std::vector<std::int64_t>> want(static_cast<std::size_t>(m));
    for (std::int64_t i = 0; i < m; ++i) want[static_cast<std::size_t>(i)] = sorted_row(w, i, ascending, o);
    // Lists of 20 and of 40 candidates, with and without the shared counts
    // (which keep less room beside the k best, so are cut back more often).
    struct Case {
      unsigned threads;
      std::int64_t k;
      bool counts;
    };
    for (const Case& c : {Case{1, 20, false}, {2, 20, false}, {3, 20, true}, {1, 40, true}, {2, 40, false}, {2, 7, true}}) {
      RunOptions run;
      run.threads = c.threads;
      std::vector<std::int64_t> idx(static_cast<std::size_t>(m * c.k));
      std::vector<float> val(idx.size());
      std::vector<std::uint32_t> shared(c.counts ? idx.size() : 0);
      engine.neighbors(c.k, idx.data(), val.data(), c.counts ? shared.data() : nullptr, o, run);
      for (std::int64_t i = 0; i < m; ++i) {
        const std::vector<std::int64_t>& row = want[static_cast<std::size_t>(i)];
        for (std::int64_t t = 0; t < c.k; ++t) {
          const auto at = static_cast<std::size_t>(i * c.k + t);
          const std::int64_t j = t < static_cast<std::int64_t>(row.size()) ? row[static_cast<std::size_t>(t)] : -1;
          SCOPED_TRACE(testing::Message() << "coefficient " << number << " threads " << c.threads << " k " << c.k
                                          << " counts " << c.counts << " object " << i << " place " << t);
          ASSERT_EQ(idx[at], j);
          if (j >= 0) {
            ASSERT_TRUE(same_bits(val[at], w.values[static_cast<std::size_t>(i * m + j)]));
            if (c.counts) {
              ASSERT_EQ(shared[at], w.counts[static_cast<std::size_t>(i * m + j)]);
            }
          }
        }
      }
    }
  }
}

// Tables of more than 128 variables go tile by tile down the objects (the
// partners held across a worker's tiles), narrower ones object span by span
// (the rows held): both orders, with rows cut into parts, give the sorted
// rows of the matrix.
TEST(Neighbors, BothOrdersOfWorkGiveTheSortedRows) {
  std::mt19937 rng(41);
  for (const std::int64_t n : {100, 150}) {
    const std::int64_t m = 500;
    const std::vector<float> x = random_table(m, n, rng);
    for (const std::int32_t number : {1, 8, 23}) {
      const Engine engine(TableView::row_major(x.data(), m, n, true), {number});
      const Whole w = whole_matrix(engine);
      const bool ascending = ranking_of(number, false) == Ranking::ascending;
      for (const unsigned threads : {1u, 2u, 3u}) {
        const std::int64_t k = 30;
        RunOptions run;
        run.threads = threads;
        std::vector<std::int64_t> idx(static_cast<std::size_t>(m * k));
        std::vector<float> val(idx.size());
        std::vector<std::uint32_t> shared(idx.size());
        for (const auto& [r0, r1] : {std::pair<std::int64_t, std::int64_t>{0, 170}, {170, 171}, {171, m}}) {
          NeighborOptions o;
          o.row_begin = r0;
          o.row_end = r1;
          engine.neighbors(k, idx.data() + r0 * k, val.data() + r0 * k, threads == 2 ? shared.data() + r0 * k : nullptr,
                           o, run);
        }
        for (std::int64_t i = 0; i < m; ++i) {
          const std::vector<std::int64_t> want = sorted_row(w, i, ascending, NeighborOptions{});
          for (std::int64_t t = 0; t < k; ++t) {
            const auto at = static_cast<std::size_t>(i * k + t);
            const std::int64_t j = t < static_cast<std::int64_t>(want.size()) ? want[static_cast<std::size_t>(t)] : -1;
            SCOPED_TRACE(testing::Message() << "n " << n << " coefficient " << number << " threads " << threads
                                            << " object " << i << " place " << t);
            ASSERT_EQ(idx[at], j);
            if (j >= 0) {
              ASSERT_TRUE(same_bits(val[at], w.values[static_cast<std::size_t>(i * m + j)]));
              if (threads == 2) {
                ASSERT_EQ(shared[at], w.counts[static_cast<std::size_t>(i * m + j)]);
              }
            }
          }
        }
      }
    }
  }
}

// A list keeps a candidate as its place in the order and gives the value
// back from it: -0 and +0 tie (and go by index) yet keep their own bits, as
// do negative values, infinities and the largest and smallest floats.
TEST(Neighbors, ValuesComeBackWithTheirBits) {
  std::mt19937 rng(31);
  const float pool[] = {-0.0f, 0.0f, -2.0f, 3.0f, 0.5f, -1e-38f, 1e-45f, -3.4e38f, INFINITY, -INFINITY};
  const std::int64_t m = 60, n = 3;
  std::vector<float> x(static_cast<std::size_t>(m * n));
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pool));  // the last: a gap
  for (float& v : x) {
    const std::size_t at = pick(rng);
    v = at < std::size(pool) ? pool[at] : -1.0f;
  }
  const TableView view = TableView::row_major(x.data(), m, n, true);
  std::size_t negative_zeros = 0;
  for (const CoefficientInfo& c : coefficients()) {
    for (const bool dissimilarity : {false, true}) {
      if (dissimilarity && !c.similarity) continue;
      const Engine engine(view, {c.number, false, dissimilarity});
      const Whole w = whole_matrix(engine);
      for (const float v : w.values) negative_zeros += v == 0.0f && std::signbit(v);
      const bool ascending = ranking_of(c.number, dissimilarity) == Ranking::ascending;
      NeighborOptions o;
      o.include_self = true;
      o.min_shared = 0;
      const std::int64_t k = m;
      for (const bool counts : {false, true}) {
        std::vector<std::int64_t> idx(static_cast<std::size_t>(m * k));
        std::vector<float> val(idx.size());
        std::vector<std::uint32_t> shared(idx.size());
        engine.neighbors(k, idx.data(), val.data(), counts ? shared.data() : nullptr, o);
        for (std::int64_t i = 0; i < m; ++i) {
          const std::vector<std::int64_t> want = sorted_row(w, i, ascending, o);
          for (std::int64_t t = 0; t < static_cast<std::int64_t>(want.size()); ++t) {
            const auto at = static_cast<std::size_t>(i * k + t);
            const std::int64_t j = want[static_cast<std::size_t>(t)];
            SCOPED_TRACE(testing::Message() << "coefficient " << c.number << (dissimilarity ? " D" : "") << " counts "
                                            << counts << " object " << i << " place " << t);
            ASSERT_EQ(idx[at], j);
            ASSERT_TRUE(same_bits(val[at], w.values[static_cast<std::size_t>(i * m + j)]));
          }
        }
      }
    }
  }
  EXPECT_GT(negative_zeros, 0u) << "the table gives no -0 to check";
}

TEST(Within, EqualsTheFilteredMatrix) {
  std::mt19937 rng(3);
  const std::int64_t m = 40, n = 6;
  const std::vector<float> x = random_table(m, n, rng);
  const TableView view = TableView::row_major(x.data(), m, n, true);
  struct Case {
    std::int32_t number;
    bool dissimilarity;
    float threshold;
  } cases[] = {{1, false, 2.0f}, {2, false, 3.0f}, {8, false, 0.25f}, {4, false, 0.5f}, {4, true, 0.5f},
               {24, false, 0.0f}, {25, false, 1.0f}, {23, false, -1.0f}, {12, false, INFINITY}};
  for (const Case& c : cases) {
    const Engine engine(view, {c.number, false, c.dissimilarity});
    const Whole w = whole_matrix(engine);
    const bool ascending = ranking_of(c.number, c.dissimilarity) == Ranking::ascending;
    for (const bool self : {false, true}) {
      for (const std::int64_t min_shared : {0, 1, 2}) {
        WithinOptions o;
        o.include_self = self;
        o.min_shared = min_shared;
        // The rows in three runs, as parts would take them.
        PairList got;
        for (const auto& [r0, r1] : {std::pair<std::int64_t, std::int64_t>{0, 13}, {13, 14}, {14, m}}) {
          o.row_begin = r0;
          o.row_end = r1;
          const PairList part = engine.within(c.threshold, o, true);
          got.i.insert(got.i.end(), part.i.begin(), part.i.end());
          got.j.insert(got.j.end(), part.j.begin(), part.j.end());
          got.values.insert(got.values.end(), part.values.begin(), part.values.end());
          got.shared.insert(got.shared.end(), part.shared.begin(), part.shared.end());
        }
        std::size_t at = 0;
        for (std::int64_t i = 0; i < m; ++i)
          for (std::int64_t j = self ? i : i + 1; j < m; ++j) {
            const auto cell = static_cast<std::size_t>(i * m + j);
            const float v = w.values[cell];
            const bool in = ascending ? v <= c.threshold : v >= c.threshold;
            if (!in || w.counts[cell] < min_shared) continue;
            SCOPED_TRACE(testing::Message() << c.number << " self " << self << " min_shared " << min_shared);
            ASSERT_LT(at, got.i.size());
            ASSERT_EQ(got.i[at], i);
            ASSERT_EQ(got.j[at], j);
            ASSERT_TRUE(same_bits(got.values[at], v));
            ASSERT_EQ(got.shared[at], w.counts[cell]);
            ++at;
          }
        EXPECT_EQ(at, got.i.size()) << c.number;
      }
    }
  }
}

// The pair limit: exactly max_pairs pairs are kept, one more is an Error
// (on every thread count, so whichever worker finds the last pair); a stop
// asked for by the caller ends the run as Cancelled.
TEST(Within, PairLimitAndStop) {
  std::mt19937 rng(9);
  const std::int64_t m = 700, n = 4;
  const std::vector<float> x = random_table(m, n, rng);
  const Engine engine(TableView::row_major(x.data(), m, n, true), {2});
  WithinOptions o;
  o.min_shared = 0;
  const PairList all = engine.within(INFINITY, o);
  const auto total = static_cast<std::int64_t>(all.i.size());
  ASSERT_GT(total, 1000);
  for (const unsigned threads : {1u, 2u, 7u}) {
    RunOptions run;
    run.threads = threads;
    o.max_pairs = total;
    EXPECT_EQ(static_cast<std::int64_t>(engine.within(INFINITY, o, false, run).i.size()), total);
    o.max_pairs = total - 1;
    EXPECT_THROW(engine.within(INFINITY, o, false, run), Error) << threads;
    o.include_self = true;
    o.max_pairs = total;  // the diagonal's pairs come on top
    EXPECT_THROW(engine.within(INFINITY, o, false, run), Error) << threads;
    o.include_self = false;
    std::atomic<bool> stop{true};
    run.cancel = &stop;
    o.max_pairs = total;
    EXPECT_THROW(engine.within(INFINITY, o, false, run), Cancelled) << threads;
  }
}

}  // namespace
}  // namespace tessora
