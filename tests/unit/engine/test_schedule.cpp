// The kernel's schedule and its output runs, on their own: every pair p < j
// of the regions handed out exactly once in both orders of work, items that
// stay within their tiles, and runs that land where single pairs land.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/kernel/job.hpp"

namespace tessora::engine::kernel::detail {
namespace {

struct ScheduleCase {
  const char* name;
  std::vector<Region> regions;
  std::size_t width;
};

// The pairs of the items a schedule hands out, with how often each came.
std::map<std::pair<std::size_t, std::size_t>, int> handed_out(const ScheduleCase& c, bool rows_first) {
  Schedule schedule(c.regions, c.width, rows_first);
  std::map<std::pair<std::size_t, std::size_t>, int> seen;
  Item item;
  while (schedule.next(item)) {
    EXPECT_LT(item.p_begin, item.p_end) << c.name;
    EXPECT_LT(item.j0, item.j_end) << c.name;
    // Going tile by tile, an item is one tile at most.
    if (!rows_first) {
      EXPECT_LE(item.j_end - item.j0, c.width) << c.name;
    }
    for (std::size_t p = item.p_begin; p < item.p_end; ++p)
      for (std::size_t j = std::max(item.j0, p + 1); j < item.j_end; ++j) ++seen[{p, j}];
  }
  return seen;
}

TEST(Schedule, EveryPairOfTheRegionsOnceInBothOrders) {
  const ScheduleCase cases[] = {
      {"whole triangle", {{0, 300, 0, 300}}, 16},
      {"narrow vectors", {{0, 97, 0, 97}}, 8},
      {"one object", {{0, 1, 0, 1}}, 16},
      {"rows against later objects", {{40, 170, 40, 700}}, 16},
      {"neighbour rows: both regions", {{130, 260, 130, 1100}, {0, 130, 130, 260}}, 16},
      {"a block off the diagonal", {{0, 70, 300, 1000}}, 8},
      {"empty regions among others", {{5, 5, 5, 90}, {0, 64, 64, 65}, {64, 64, 0, 0}}, 16},
  };
  for (const ScheduleCase& c : cases) {
    std::map<std::pair<std::size_t, std::size_t>, int> want;
    for (const Region& r : c.regions)
      for (std::size_t p = r.p_begin; p < r.p_end; ++p)
        for (std::size_t j = std::max(r.j_begin, p + 1); j < r.j_end; ++j) ++want[{p, j}];
    for (const bool rows_first : {false, true})
      EXPECT_EQ(handed_out(c, rows_first), want) << c.name << (rows_first ? ", by rows" : ", by tiles");
  }
}

TEST(Schedule, AStopEndsTheItems) {
  const Region all{0, 500, 0, 500};
  std::atomic<bool> cancel{false};
  Schedule schedule(std::span(&all, 1), 16, true, &cancel);
  Item item;
  ASSERT_TRUE(schedule.next(item));
  cancel = true;
  EXPECT_FALSE(schedule.next(item));
}

// A run of pairs and the same pairs one at a time give the same buffers, in
// every kind of output: the triangle, the condensed order, and blocks the
// pairs fall into directly, mirrored, both ways or only in part.
TEST(OutputRuns, LandWhereSinglePairsLand) {
  constexpr std::size_t m = 40;
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> value(0.0f, 1.0f);
  struct Shape {
    const char* name;
    std::size_t row_begin, row_end, col_begin, col_end;
  };
  const Shape blocks[] = {{"whole", 0, m, 0, m},      {"upper", 0, 10, 20, 40}, {"lower", 20, 40, 0, 10},
                          {"crossing", 5, 25, 8, 33}, {"one row", 17, 18, 0, m}, {"one column", 0, m, 31, 32}};
  auto fill = [&](Output& out, bool runs, std::vector<float>& values, std::vector<std::uint32_t>& counts) {
    std::fill(values.begin(), values.end(), -1.0f);
    std::fill(counts.begin(), counts.end(), 7u);
    out.values = out.triangle ? nullptr : values.data();
    out.counts = out.triangle ? nullptr : counts.data();
    std::mt19937 same(9);
    for (std::size_t p = 0; p + 1 < m; ++p) {
      // The row's pairs in runs of up to 16, as the kernel hands them over.
      for (std::size_t j0 = p + 1; j0 < m; j0 += 16) {
        const std::size_t j1 = std::min(m, j0 + 16);
        float v[16];
        std::uint32_t k[16];
        for (std::size_t j = j0; j < j1; ++j) {
          v[j - j0] = value(same);
          k[j - j0] = static_cast<std::uint32_t>(p * 100 + j);
        }
        if (runs) {
          out.put_run(p, j0, j1, v, k);
        } else {
          for (std::size_t j = j0; j < j1; ++j) out.put(p, j, v[j - j0], k[j - j0]);
        }
      }
    }
  };
  for (const Shape& b : blocks) {
    Output out;
    out.row_begin = b.row_begin;
    out.row_end = b.row_end;
    out.col_begin = b.col_begin;
    out.col_end = b.col_end;
    out.value_stride = out.count_stride = b.col_end - b.col_begin + 2;
    const std::size_t cells = (b.row_end - b.row_begin) * out.value_stride;
    std::vector<float> by_run(cells), by_pair(cells);
    std::vector<std::uint32_t> k_run(cells), k_pair(cells);
    fill(out, true, by_run, k_run);
    fill(out, false, by_pair, k_pair);
    EXPECT_EQ(by_run, by_pair) << b.name;
    EXPECT_EQ(k_run, k_pair) << b.name;
  }
  {
    Output out;
    out.condensed = true;
    out.m = m;
    std::vector<float> by_run(m * (m - 1) / 2), by_pair(by_run.size());
    std::vector<std::uint32_t> k_run(by_run.size()), k_pair(by_run.size());
    fill(out, true, by_run, k_run);
    fill(out, false, by_pair, k_pair);
    EXPECT_EQ(by_run, by_pair) << "condensed";
    EXPECT_EQ(k_run, k_pair) << "condensed";
  }
  {
    std::vector<float> by_run(m * (m - 1) / 2), by_pair(by_run.size()), unused;
    std::vector<std::uint32_t> no_counts;
    Output out;
    out.triangle = by_run.data();
    fill(out, true, unused, no_counts);
    out.triangle = by_pair.data();
    fill(out, false, unused, no_counts);
    EXPECT_EQ(by_run, by_pair) << "triangle";
  }
}

}  // namespace
}  // namespace tessora::engine::kernel::detail
