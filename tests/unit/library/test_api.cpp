// The public library against the plain reference loop, bit for bit: views of
// every layout and both missing rules, blocks cut anywhere, shared counts,
// cancelling, and every argument the library refuses.
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pairs.hpp"
#include "tessora/tessora.hpp"

namespace tessora {
namespace {

using engine::DataMatrix;
using engine::ResemblanceMatrix;

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

const float kQuietNaN = std::bit_cast<float>(0x7FC00000u);
const float kNaNs[] = {std::bit_cast<float>(0x7FC00000u), std::bit_cast<float>(0xFFC00000u),
                       std::bit_cast<float>(0x7FC007A2u), std::bit_cast<float>(0x7F800001u)};

// A table of objects by variables: values 0 to 20 with fractions, some
// negatives, -1 where a value is missing (a share `missing`), and, when
// `specials`, infinities and NaNs as values.
DataMatrix random_table(std::int32_t m, std::int32_t n, double missing, bool specials, std::mt19937& rng) {
  DataMatrix d;
  d.m = m;
  d.n = n;
  d.x.resize(static_cast<std::size_t>(m) * n);
  std::bernoulli_distribution gap(missing), special(0.03);
  std::uniform_real_distribution<float> value(-2.0f, 20.0f);
  std::uniform_int_distribution<int> which(0, 5);
  for (float& x : d.x) {
    if (gap(rng)) x = engine::kMissing;
    else if (specials && special(rng)) {
      const int w = which(rng);
      x = w < 4 ? kNaNs[w] : (w == 4 ? INFINITY : -INFINITY);
    } else x = std::round(value(rng) * 4.0f) / 4.0f;
  }
  return d;
}

// The whole matrix of the engine against the reference, every entry.
::testing::AssertionResult same(const Matrix& got, const ResemblanceMatrix& want) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "size " << got.size();
  for (std::int64_t i = 0; i < got.size(); ++i)
    for (std::int64_t j = 0; j < got.size(); ++j)
      if (bits(got(i, j)) != bits(want.at(i, j))) {
        char text[160];
        std::snprintf(text, sizeof text, "(%lld, %lld): got 0x%08X, expected 0x%08X", static_cast<long long>(i),
                      static_cast<long long>(j), bits(got(i, j)), bits(want.at(i, j)));
        return ::testing::AssertionFailure() << text;
      }
  return ::testing::AssertionSuccess();
}

// The same values in the four layouts a caller may hand over.
struct Layouts {
  std::vector<float> objects_by_rows_c, objects_by_rows_f, objects_by_cols_c, objects_by_cols_f;
  std::vector<TableView> views;
};

Layouts layouts(const std::vector<float>& object_major, std::int64_t m, std::int64_t n, Missing missing) {
  Layouts l;
  l.objects_by_rows_c = object_major;  // m x n, C order
  l.objects_by_rows_f.resize(m * n);   // m x n, Fortran order
  l.objects_by_cols_c.resize(m * n);   // n x m, C order
  l.objects_by_cols_f.resize(m * n);   // n x m, Fortran order (object-major again)
  for (std::int64_t i = 0; i < m; ++i)
    for (std::int64_t v = 0; v < n; ++v) {
      const float x = object_major[i * n + v];
      l.objects_by_rows_f[v * m + i] = x;
      l.objects_by_cols_c[v * m + i] = x;
      l.objects_by_cols_f[i * n + v] = x;
    }
  l.views = {TableView::row_major(l.objects_by_rows_c.data(), m, n, true, missing),
             TableView::column_major(l.objects_by_rows_f.data(), m, n, true, missing),
             TableView::row_major(l.objects_by_cols_c.data(), n, m, false, missing),
             TableView::column_major(l.objects_by_cols_f.data(), n, m, false, missing)};
  // Objects in reverse order through a negative stride.
  return l;
}

TEST(Views, EveryLayoutAndMissingRuleGivesTheDialoguesBits) {
  std::mt19937 rng(20261207);
  struct Case {
    std::int32_t m, n;
    double missing;
    bool specials;
  } cases[] = {{2, 1, 0.0, false}, {7, 3, 0.2, false}, {19, 17, 0.3, true}, {40, 9, 0.1, true}, {33, 70, 0.5, false}};
  for (const Case& c : cases) {
    const DataMatrix d = random_table(c.m, c.n, c.missing, c.specials, rng);
    // NaN marks the gaps instead of -1, each gap with one of several NaNs;
    // the NaN values of the -1 table stay values there, so they are made
    // ordinary here.
    std::vector<float> with_nan(d.x.begin(), d.x.end());
    std::size_t k = 0;
    for (float& x : with_nan) {
      if (std::isnan(x)) x = 3.5f;
      else if (x == engine::kMissing) x = kNaNs[k++ % 4];
    }
    engine::Floats canonical(with_nan.size());
    for (std::size_t i = 0; i < with_nan.size(); ++i) canonical[i] = std::isnan(with_nan[i]) ? kQuietNaN : with_nan[i];
    const engine::Table nan_table{canonical.data(), static_cast<std::size_t>(c.n), static_cast<std::size_t>(c.m),
                                    engine::kNaNBits};

    const Layouts marker = layouts({d.x.begin(), d.x.end()}, c.m, c.n, Missing::value(-1.0f));
    const Layouts nan = layouts(with_nan, c.m, c.n, Missing::not_a_number());
    for (std::int32_t number = -1; number <= 36; ++number) {
      for (bool scale : {false, true}) {
        if (scale && !is_scalable(number)) continue;
        const ResemblanceMatrix want_marker = engine::compute_reference(d, number, scale ? 1 : 0);
        const ResemblanceMatrix want_nan = engine::compute_reference(nan_table, number, scale ? 1 : 0, c.n);
        for (std::size_t l = 0; l < 4; ++l) {
          RunOptions run;
          run.threads = 1 + l % 2;
          EXPECT_TRUE(same(Engine(marker.views[l], {number, scale}).compute(run), want_marker))
              << "marker rule, layout " << l << ", coefficient " << number << ", m " << c.m;
          EXPECT_TRUE(same(Engine(nan.views[l], {number, scale}).compute(run), want_nan))
              << "NaN rule, layout " << l << ", coefficient " << number << ", m " << c.m;
        }
      }
    }
  }
}

TEST(Views, ZeroIsMissingWhateverItsSign) {
  // -0 equals the marker 0: both are gaps, so objects 0 and 1 share only the
  // last variable.
  const float x[] = {0.0f, 2.0f, 5.0f, 1.0f, -0.0f, 7.0f};
  const Engine e(TableView::row_major(x, 2, 3, true, Missing::value(0.0f)), {2});
  EXPECT_EQ(e.compute()(0, 1), 2.0f);
  std::uint32_t k = 0;
  e.compute_block({0, 1, 1, 2}, nullptr, 0, &k, 1);
  EXPECT_EQ(k, 1u);
}

// Blocks of every shape equal the same entries of the whole matrix, and the
// counts equal a plain count.
TEST(Blocks, EqualTheWholeMatrixWhereverTheyAreCut) {
  std::mt19937 rng(7);
  const std::int32_t m = 53, n = 21;  // tiles of 8 or 16 partners: a last partial tile
  const DataMatrix d = random_table(m, n, 0.3, true, rng);
  const TableView view = TableView::row_major(d.x.data(), m, n, true, Missing::value(-1.0f));
  const Block blocks[] = {{0, m, 0, m},   {0, 1, 0, 1},   {5, 6, 40, 41}, {40, 41, 5, 6},  {0, 1, 0, m},
                          {17, 18, 0, m}, {0, m, 30, 31}, {8, 24, 8, 24}, {3, 29, 11, 50}, {45, 53, 0, 9},
                          {0, 9, 45, 53}, {10, 30, 20, 53}, {16, 33, 16, 17}, {52, 53, 52, 53}, {7, 7, 0, m}};
  for (std::int32_t number : {1, 8, 14, 16, 17, 20, 23, 24, 27, 35}) {
    for (bool dissimilarity : {false, true}) {
      if (dissimilarity && !is_similarity(number)) continue;
      const Engine engine(view, {number, false, dissimilarity});
      const Matrix whole = engine.compute();
      for (const Block& b : blocks) {
        const std::int64_t rows = b.row_end - b.row_begin, cols = b.col_end - b.col_begin;
        const std::int64_t stride = cols + 3;  // a row stride wider than the block
        std::vector<float> values(rows * stride + 1, -7.0f);
        std::vector<std::uint32_t> counts(rows * stride + 1, 99);
        RunOptions run;
        run.threads = 2;
        engine.compute_block(b, values.data(), stride, counts.data(), stride, run);
        for (std::int64_t r = 0; r < rows; ++r)
          for (std::int64_t c = 0; c < cols; ++c) {
            const std::int64_t i = b.row_begin + r, j = b.col_begin + c;
            ASSERT_EQ(bits(values[r * stride + c]), bits(whole(i, j)))
                << "coefficient " << number << " (" << i << ", " << j << ")";
            std::uint32_t k = 0;
            for (std::int32_t v = 0; v < n; ++v) k += d.x[i * n + v] != -1.0f && d.x[j * n + v] != -1.0f;
            ASSERT_EQ(counts[r * stride + c], k) << "(" << i << ", " << j << ")";
          }
        // Nothing beyond the block's columns was written.
        for (std::int64_t r = 0; r < rows; ++r)
          for (std::int64_t c = cols; c < stride; ++c) ASSERT_EQ(values[r * stride + c], -7.0f);
      }
    }
  }
}

// Runs of rows in the condensed order equal the whole matrix's pairs, and
// their counts a plain count; the runs together fill the whole vector.
TEST(Condensed, RowRunsGiveTheWholeMatricesPairsInOrder) {
  std::mt19937 rng(11);
  const std::int32_t m = 45, n = 13;
  const DataMatrix d = random_table(m, n, 0.35, true, rng);
  const TableView view = TableView::row_major(d.x.data(), m, n, true, Missing::value(-1.0f));
  auto offset = [&](std::int64_t i) { return i * m - i * (i + 1) / 2; };
  const std::int64_t runs[][2] = {{0, m}, {0, 1}, {3, 17}, {17, 44}, {44, 45}, {20, 20}};
  for (std::int32_t number : {1, 8, 17, 24, 31, 35}) {
    for (bool dissimilarity : {false, true}) {
      if (dissimilarity && !is_similarity(number)) continue;
      const Engine engine(view, {number, false, dissimilarity});
      const Matrix whole = engine.compute();
      for (const auto& run : runs) {
        const std::int64_t size = offset(run[1]) - offset(run[0]);
        std::vector<float> values(size + 1, -7.0f);
        std::vector<std::uint32_t> counts(size + 1, 99);
        engine.compute_condensed(run[0], run[1], values.data(), counts.data());
        std::int64_t at = 0;
        for (std::int64_t i = run[0]; i < run[1]; ++i)
          for (std::int64_t j = i + 1; j < m; ++j, ++at) {
            ASSERT_EQ(bits(values[at]), bits(whole(i, j))) << "coefficient " << number << " (" << i << ", " << j << ")";
            std::uint32_t k = 0;
            for (std::int32_t v = 0; v < n; ++v) k += d.x[i * n + v] != -1.0f && d.x[j * n + v] != -1.0f;
            ASSERT_EQ(counts[at], k);
          }
        EXPECT_EQ(at, size);
        EXPECT_EQ(values[size], -7.0f) << "written past the run";
      }
    }
  }
  const Engine engine(view, {1});
  float out[4];
  EXPECT_THROW(engine.compute_condensed(5, 46, out), Error);
  EXPECT_THROW(engine.compute_condensed(6, 5, out), Error);
  EXPECT_THROW(engine.compute_condensed(0, 1, nullptr), Error);
}

TEST(Blocks, CountsAloneNeedNoValueBuffer) {
  const float x[] = {1, -1, 3, -1, -1, 2, 4, 5, 6};  // 3 objects of 3 variables
  const Engine engine(TableView::row_major(x, 3, 3, true, Missing::value(-1.0f)), {35});
  std::uint32_t k[9] = {};
  engine.compute_block({0, 3, 0, 3}, nullptr, 0, k, 3);
  const std::uint32_t want[9] = {2, 1, 2, 1, 1, 1, 2, 1, 3};
  for (int e = 0; e < 9; ++e) EXPECT_EQ(k[e], want[e]) << e;
}

TEST(Cancel, StopsALargeRunSoon) {
  std::mt19937 rng(3);
  const DataMatrix d = random_table(3000, 2000, 0.1, false, rng);
  const Engine engine(TableView::row_major(d.x.data(), 3000, 2000, true), {17});
  std::atomic<bool> cancel{false};
  RunOptions run;
  run.cancel = &cancel;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(engine.compute(run), Cancelled);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stopper.join();
  // The whole run takes tens of seconds; a stop is seen within a tile.
  EXPECT_LT(seconds, 5.0);
}

TEST(Cancel, ProgressReturningFalseCancels) {
  std::mt19937 rng(4);
  const DataMatrix d = random_table(1500, 1000, 0.1, false, rng);
  const Engine engine(TableView::row_major(d.x.data(), 1500, 1000, true), {17});
  RunOptions run;
  run.threads = 1;
  int calls = 0;
  run.progress = [&](double) { return ++calls < 2; };
  EXPECT_THROW(engine.compute_block({0, 1500, 0, 1500}, std::vector<float>(1500 * 1500).data(), 1500, nullptr, 0, run),
               Cancelled);
}

// Every argument the library refuses, with the words of its message.
TEST(Errors, EveryBadArgumentIsRefusedWithItsMessage) {
  const float x[12] = {};
  const TableView good = TableView::row_major(x, 4, 3, true);
  const Engine engine(good, {1});
  float out[16];
  std::uint32_t k[16];
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"negative objects", [&] { Engine({x, -1, 3, 3, 1}, {1}); }, "number of objects must be 0 or more, not -1"},
      {"negative variables", [&] { Engine({x, 4, -2, 3, 1}, {1}); }, "number of variables must be 0 or more, not -2"},
      {"too many objects", [&] { Engine({x, std::int64_t{1} << 31, 1, 1, 1}, {1}); }, "2147483648 is more than"},
      {"null data", [&] { Engine({nullptr, 4, 3, 3, 1}, {1}); }, "data pointer is null"},
      {"stride overflow", [&] { Engine({x, 4, 3, std::int64_t{1} << 62, 1}, {1}); }, "object stride"},
      {"strides together", [&] { Engine({x, 3, 3, std::int64_t{1} << 59, std::int64_t{1} << 59}, {1}); },
       "strides together overflow"},
      {"dissimilarity of a distance", [&] { Engine(good, {8, false, true}); },
       "dissimilarity (D = 1 - S) is only for the similarities 4, 5, 7, 19, 21, 24-34, not 8 bray-curtis"},
      {"scale of a ratio", [&] { Engine(good, {8, true, false}); }, "scale (by n / k) is only for the coefficients 1, 2, 13, not 8"},
      {"too many threads", [&] { RunOptions r; r.threads = 5000; engine.compute(r); }, "threads must be from 0 (one per core) to 4096, not 5000"},
      {"negative threads", [&] { thread_count(-1); }, "threads must be from 0 (one per core) to 4096, not -1"},
      {"one object", [&] { check_table(TableView::row_major(x, 1, 3, true)); }, "the table has 1 object: at least 2 are needed"},
      {"no variables", [&] { check_table(TableView::row_major(x, 3, 0, true)); }, "the table has no variables"},
      {"a number beyond the menu", [&] { check_settings({35}); }, "unknown coefficient '35': give a number from 1 to 34"},
      {"objects neither", [&] { objects_are_rows("diagonal"); }, "objects must be 'rows' or 'columns', not 'diagonal'"},
      {"missing not a number", [&] { missing_from_text("abc"); }, "missing 'abc' is neither a number nor NA"},
      {"k of 0", [&] { std::int64_t i[4]; engine.neighbors(0, i, nullptr); }, "k must be from 1 to 3 (the other objects), not 0"},
      {"k of m", [&] { std::int64_t i[16]; engine.neighbors(4, i, nullptr); }, "k must be from 1 to 3 (the other objects), not 4"},
      {"k past m with self", [&] { std::int64_t i[20]; engine.neighbors(5, i, nullptr, nullptr, {true}); },
       "k must be from 1 to 4 (the objects, self included), not 5"},
      {"min_shared past n", [&] { std::int64_t i[4]; engine.neighbors(1, i, nullptr, nullptr, {false, 4}); },
       "min_shared must be from 0 to 3 (the variables), not 4"},
      {"neighbour rows", [&] { std::int64_t i[4]; engine.neighbors(1, i, nullptr, nullptr, {false, 1, 2, 7}); },
       "the rows 2 to 7 are not a range within the 4 objects"},
      {"k checked without an engine", [&] { check_neighbors(1'000'000, 50, 1'000'000, {}); },
       "k must be from 1 to 999999 (the other objects), not 1000000"},
      {"min_shared checked without an engine", [&] { check_neighbors(10, 5, 3, {true, 6}); },
       "min_shared must be from 0 to 5 (the variables), not 6"},
      {"rows checked without an engine", [&] { check_neighbors(10, 5, 3, {false, 1, 9, 11}); },
       "the rows 9 to 11 are not a range within the 10 objects"},
      {"NaN threshold", [&] { engine.within(NAN); }, "the threshold must be a number, not NaN"},
      {"pair limit", [&] { WithinOptions w; w.max_pairs = 2; w.min_shared = 0; engine.within(1e30f, w); },
       "more than 2 pairs lie within the threshold"},
      {"block rows beyond m", [&] { engine.compute_block({0, 5, 0, 1}, out, 1); }, "rows 0 to 5 are not a range"},
      {"block columns reversed", [&] { engine.compute_block({0, 1, 3, 2}, out, 1); }, "columns 3 to 2"},
      {"negative block start", [&] { engine.compute_block({-1, 1, 0, 1}, out, 1); }, "rows -1 to 1"},
      {"no buffer", [&] { engine.compute_block({0, 1, 0, 1}, nullptr, 1); }, "neither a value nor a count"},
      {"narrow stride", [&] { engine.compute_block({0, 2, 0, 3}, out, 2); }, "row stride 2 is less than the block's 3"},
      {"narrow count stride", [&] { engine.compute_block({0, 2, 0, 3}, out, 3, k, 1); }, "count buffer's row stride 1"},
      {"diagonal outside", [&] { engine.diagonal(4); }, "object 4 is outside"},
      {"unknown name", [&] { coefficient_number("braycurtis"); }, "unknown coefficient 'braycurtis'"},
      {"number beyond the menu", [&] { coefficient_number("35"); }, "unknown coefficient '35'"},
      {"info beyond the menu", [&] { coefficient_info(0); }, "unknown coefficient '0'"},
      {"incomparable with a bad view", [&] { incomparable_pairs({x, -3, 1, 1, 1}); }, "must be 0 or more"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << ": nothing was thrown";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
  }
}

TEST(Coefficients, NamesSlugsAndNumbersFindTheSameRow) {
  struct Case {
    const char* text;
    std::int32_t number;
  } cases[] = {{"8", 8},           {" 24 ", 24},           {"bray-curtis", 8}, {"BRAYCUR DIS", 8},
               {"braycur dis", 8}, {"bray_curtis", 8},     {"Euclidean", 1},   {"chi-square", 20},
               {"CHI SQ", 20},     {"anderberg-1", 28},    {"ANDERB 1", 28},   {"yule-2", 34}};
  for (const Case& c : cases) EXPECT_EQ(coefficient_number(c.text), c.number) << c.text;
  ASSERT_EQ(coefficients().size(), 34u);
  for (const CoefficientInfo& c : coefficients()) {
    EXPECT_EQ(coefficient_number(c.slug), c.number);
    EXPECT_EQ(coefficient_number(c.name), c.number);
    EXPECT_EQ(c.similarity, is_similarity(c.number));
    EXPECT_EQ(c.similarity, c.diagonal == Diagonal::one);
  }
  EXPECT_EQ(coefficient_info(12).kind, Kind::sum);
  EXPECT_EQ(coefficient_info(23).kind, Kind::covariance);
  EXPECT_TRUE(is_similarity(40));
  EXPECT_FALSE(is_similarity(0));
}

TEST(Comparability, ListsThePairsWithNothingInCommon) {
  // Object 0 shares nothing with 1 and 2 (which share their one value);
  // object 3 has no value at all.
  const float x[] = {1, -1, 2, -1, 3, -1, -1, 4, -1, -1, -1, -1};
  const TableView v = TableView::row_major(x, 4, 3, true);
  using P = std::pair<std::int64_t, std::int64_t>;
  EXPECT_EQ(incomparable_pairs(v), (std::vector<P>{{0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}}));
  EXPECT_EQ(incomparable_pairs(v, 2), (std::vector<P>{{0, 1}, {0, 2}}));
}

}  // namespace
}  // namespace tessora

namespace tessora {
namespace {

TEST(Registry, ListsAndRankingFollowTheRows) {
  EXPECT_EQ(coefficient_numbers([](const CoefficientInfo& c) { return c.similarity; }), "4, 5, 7, 19, 21, 24-34");
  EXPECT_EQ(coefficient_numbers([](const CoefficientInfo& c) { return c.scalable; }), "1, 2, 13");
  EXPECT_EQ(coefficient_numbers([](const CoefficientInfo& c) { return !c.layout_asked; }), "14, 15");
  for (const CoefficientInfo& c : coefficients()) {
    const Ranking want = c.kind == Kind::distance ? Ranking::ascending : Ranking::descending;
    EXPECT_EQ(c.ranking, want) << c.number;
    EXPECT_EQ(ranking_of(c.number), want) << c.number;
    EXPECT_EQ(ranking_of(c.number, true), Ranking::ascending) << c.number;
    EXPECT_EQ(layout_asked(c.number), c.layout_asked) << c.number;
    EXPECT_EQ(coefficient_number(std::int64_t{c.number}), c.number);
  }
  EXPECT_EQ(ranking_of(0), Ranking::ascending);    // below the menu: the Euclidean distance
  EXPECT_EQ(ranking_of(40), Ranking::descending);  // above: diagonal 1
  EXPECT_TRUE(layout_asked(-3));
  EXPECT_EQ(thread_count(0), 0u);
  EXPECT_EQ(thread_count(kMaxThreads), static_cast<unsigned>(kMaxThreads));
  EXPECT_TRUE(objects_are_rows("rows"));
  EXPECT_FALSE(objects_are_rows("columns"));
  EXPECT_TRUE(missing_from_text("NA").nan);
  EXPECT_EQ(missing_from_text("-1").marker, -1.0f);
  EXPECT_EQ(missing_from_text("+0.1").marker, 0.1f);
  EXPECT_EQ(missing_from_text("1e-50").marker, 0.0f);
}

TEST(Layout, CondensedRowsAndBandsCoverEveryPairOnce) {
  for (const std::int64_t m : {2, 3, 7, 100, 4097}) {
    for (std::int64_t i = 0; i + 1 < m; i += std::max<std::int64_t>(1, m / 50)) {
      const std::int64_t first = condensed_start(m, i), last = condensed_start(m, i + 1) - 1;
      EXPECT_EQ(condensed_row(m, first), i) << m;
      EXPECT_EQ(condensed_row(m, last), i) << m;
      EXPECT_EQ(condensed_index(m, i, i + 1), first);
      EXPECT_EQ(condensed_index(m, i, m - 1), last);
    }
    for (const std::int64_t budget : {std::int64_t{1}, std::int64_t{64}, std::int64_t{4096}, std::int64_t{1} << 30}) {
      std::int64_t rows = 0, pairs = 0;
      for (std::int64_t r0 = 0; r0 < m;) {
        const std::int64_t r1 = condensed_band_end(m, r0, 4, budget);
        ASSERT_GT(r1, r0);
        const std::int64_t band = condensed_start(m, r1) - condensed_start(m, r0);
        if (r1 > r0 + 1) {
          EXPECT_LE(band * 4, std::max<std::int64_t>(budget, 4)) << m;  // a pair at least
        }
        pairs += band;
        rows += r1 - r0;
        r0 = r1;
      }
      EXPECT_EQ(rows, m);
      EXPECT_EQ(pairs, condensed_size(m));
    }
  }
  EXPECT_EQ(triangle_index(3, 1), 4);
  EXPECT_EQ(band_rows(1000, 4, 4000 * 10), 10);
  EXPECT_EQ(band_rows(1000, 4, 1), 1);
}

TEST(Matrix, ConversionComplementsEveryEntryAndKeepsNaN) {
  // The sum of minima over one variable: pairs get the smaller value.
  const float x[] = {0.25f, INFINITY, NAN};
  Matrix r = Engine(TableView::row_major(x, 3, 1, true), {12}).compute();
  r.to_dissimilarity();
  EXPECT_EQ(r(0, 0), 0.75f);
  EXPECT_EQ(r(1, 0), 0.75f);
  EXPECT_EQ(r(1, 1), -INFINITY);
  EXPECT_TRUE(std::isnan(r(2, 2)));
  EXPECT_EQ(r.lower_row(2).size(), 2u);
}

}  // namespace
}  // namespace tessora
