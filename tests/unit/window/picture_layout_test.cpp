// The picture's geometry without pixels: where the cells, numbers,
// dendrogram and legend go; which object numbers are written; and the
// dendrogram's lines at a given resolution.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>

#include "window/core/clustering.hpp"
#include "window/core/picture_layout.hpp"

namespace tessora::console {
namespace {

// ---- Layout --------------------------------------------------------------------------------

PictureParts plain_parts() {
  PictureParts p;
  p.labels = 30;
  p.legend_width = 90;
  p.legend_height = 36;
  p.legend_length = 260;
  return p;
}

PictureParts clustered_parts() {
  PictureParts p = plain_parts();
  p.dendrogram_min = 40;
  p.dendrogram_max = 160;
  return p;
}

bool inside(const Box& b, int width, int height) {
  return b.x >= 0 && b.y >= 0 && b.right() <= width && b.bottom() <= height;
}

bool overlap(const Box& a, const Box& b) {
  return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.x < b.right() && b.x < a.right() &&
         a.y < b.bottom() && b.y < a.bottom();
}

// The room the numbers, the dendrogram and the legend leave for the cells.
Box room_left(const PictureLayout& l, int width, int height) {
  const int left = std::max(l.row_labels.right(), l.dendrogram.right());
  const int top = l.column_labels.bottom();
  const int right = l.legend_below ? width : l.legend.x;
  const int bottom = l.legend_below ? l.legend.y : height;
  return Box{left, top, right - left, bottom - top};
}

struct LayoutCase {
  const char* name;
  int width, height;
  bool clustered;
  bool below;  // where the legend should go
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, PartsStayInsideApartAndTheCellsSquare) {
  const LayoutCase& c = GetParam();
  const PictureParts parts = c.clustered ? clustered_parts() : plain_parts();
  const PictureLayout l = layout_picture(c.width, c.height, parts);
  EXPECT_EQ(l.legend_below, c.below);
  EXPECT_EQ(l.cells.width, l.cells.height);
  const Box all[] = {l.cells, l.row_labels, l.column_labels, l.dendrogram, l.legend};
  for (std::size_t i = 0; i < std::size(all); ++i) {
    EXPECT_TRUE(inside(all[i], c.width, c.height)) << i;
    for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(overlap(all[i], all[j])) << i << " and " << j;
  }
  EXPECT_EQ(l.dendrogram.width > 0, c.clustered);
  // The legend below holds its length; the numbers run along the cells.
  if (l.legend_below) {
    EXPECT_GE(l.legend.width, parts.legend_length);
  }
  EXPECT_EQ(l.row_labels.height, l.cells.height);
  EXPECT_EQ(l.column_labels.width, l.cells.width);
  EXPECT_EQ(l.row_labels.right(), l.cells.x);
  EXPECT_EQ(l.column_labels.bottom(), l.cells.y);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Layout,
                         ::testing::Values(LayoutCase{"wide", 700, 400, false, false},
                                           LayoutCase{"tall", 400, 700, false, true},
                                           LayoutCase{"square", 500, 500, false, true},
                                           LayoutCase{"wide_clustered", 900, 400, true, false},
                                           LayoutCase{"tall_clustered", 420, 700, true, true},
                                           LayoutCase{"too_narrow_for_the_legend_below", 280, 700, false, false},
                                           LayoutCase{"least", 240, 200, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Wide pictures give the dendrogram the width the square leaves, up to its
// largest; the cells then start further right.
TEST(Layout, DendrogramTakesTheSpareWidthUpToItsLargest) {
  const PictureParts p = clustered_parts();
  const PictureLayout narrow = layout_picture(560, 400, p);
  const PictureLayout wide = layout_picture(620, 400, p);
  const PictureLayout wider = layout_picture(2000, 400, p);
  EXPECT_EQ(narrow.cells.width, wide.cells.width);
  EXPECT_GT(wide.dendrogram.width, narrow.dendrogram.width);
  EXPECT_EQ(wider.dendrogram.width, p.dendrogram_max);
}

class Fitting : public ::testing::TestWithParam<std::pair<int, int>> {};

// Within any room, the fitting size keeps the largest square and leaves
// little beside it: the cells take at least 80% of what the other parts
// leave (all but the margins without a dendrogram).
TEST_P(Fitting, KeepsTheSquareAndFillsTheRoom) {
  const auto [width, height] = GetParam();
  for (const PictureParts& parts : {plain_parts(), clustered_parts()}) {
    const PictureLayout roomy = layout_picture(width, height, parts);
    const PictureSize fitted = fitting_size(width, height, parts);
    EXPECT_LE(fitted.width, width);
    EXPECT_LE(fitted.height, height);
    const PictureLayout l = layout_picture(fitted.width, fitted.height, parts);
    EXPECT_EQ(l.cells.width, roomy.cells.width);
    const Box room = room_left(l, fitted.width, fitted.height);
    EXPECT_GE(l.cells.area(), 0.8 * room.area()) << fitted.width << "x" << fitted.height;
    if (parts.dendrogram_min == 0) {
      EXPECT_GE(l.cells.area(), 0.95 * room.area());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rooms, Fitting,
                         ::testing::Values(std::pair{370, 480}, std::pair{430, 430}, std::pair{700, 400},
                                           std::pair{1000, 600}, std::pair{300, 900}, std::pair{1400, 1300}));

// ---- Object numbers along an axis ---------------------------------------------------------

struct LabelCase {
  const char* name;
  std::size_t m;
  double first, scale;
  int length, text;
  std::size_t step;
};

class AxisLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(AxisLabels, WholeApartAndOnEveryStep) {
  const LabelCase& c = GetParam();
  const auto labels = axis_labels(c.m, c.first, c.scale, c.length, c.text);
  ASSERT_FALSE(labels.empty());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const AxisLabel& a = labels[i];
    EXPECT_GE(a.centre - c.text / 2.0, 0) << i;
    EXPECT_LE(a.centre + c.text / 2.0, c.length) << i;
    EXPECT_DOUBLE_EQ(a.centre, (static_cast<double>(a.position) + 0.5 - c.first) * c.scale);
    EXPECT_EQ(a.position % c.step, 0u) << i;
    EXPECT_LT(a.position, c.m);
    if (i > 0) {
      EXPECT_GE(a.centre - labels[i - 1].centre, c.text + 2) << i;
    }
  }
  // None that would fit is left out.
  const std::size_t before = labels.front().position;
  if (before >= c.step) {
    const double centre = (static_cast<double>(before - c.step) + 0.5 - c.first) * c.scale;
    EXPECT_LT(centre - c.text / 2.0, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AxisLabels,
                         ::testing::Values(LabelCase{"eight_large_cells", 8, 0, 40, 320, 16, 1},
                                           LabelCase{"three_hundred_whole", 300, 0, 1.1, 330, 16, 20},
                                           LabelCase{"zoomed_part_way", 300, 117.3, 6.5, 330, 16, 5},
                                           LabelCase{"ten_thousand", 10000, 0, 0.05, 500, 16, 500},
                                           LabelCase{"one_object", 1, 0, 300, 300, 16, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AxisLabels, FirstAndLastCellsNumberedWhenTheyFit) {
  const auto labels = axis_labels(8, 0, 40, 320, 16);
  ASSERT_EQ(labels.size(), 8u);
  EXPECT_EQ(labels.front().centre, 20);
  EXPECT_EQ(labels.back().centre, 300);
  // At 1.1 pixels an object the first number would stick out above the
  // cells: it is left out, not cut.
  const auto small = axis_labels(300, 0, 1.1, 330, 16);
  EXPECT_EQ(small.front().position, 20u);
}

TEST(AxisLabels, NothingForNothing) {
  EXPECT_TRUE(axis_labels(0, 0, 1, 100, 16).empty());
  EXPECT_TRUE(axis_labels(10, 0, 0, 100, 16).empty());
  EXPECT_TRUE(axis_labels(10, std::nan(""), 1, 100, 16).empty());
  EXPECT_TRUE(axis_labels(10, 20, 5, 100, 16).empty());  // scrolled past the end
  EXPECT_TRUE(axis_labels(10, 0, 5, 10, 16).empty());    // no room for one number
}

// ---- The dendrogram's lines -------------------------------------------------------------------

// Points at 0, 1, 4 and 10 (the hand-worked merges), in leaf order 3, 2, 0, 1.
const std::vector<Merge> kFour = {{0, 1, 1, 2}, {2, 4, 3.5, 3}, {3, 5, 25.0 / 3, 4}};

bool same(const Segment& a, const Segment& b) {
  return std::abs(a.x0 - b.x0) < 1e-9 && std::abs(a.y0 - b.y0) < 1e-9 && std::abs(a.x1 - b.x1) < 1e-9 &&
         std::abs(a.y1 - b.y1) < 1e-9;
}

TEST(DendrogramLines, RoomyLeavesGiveTheWholeTree) {
  // Leaves 40 pixels apart: object 3 at 20, 2 at 60, 0 at 100, 1 at 140.
  // Heights run from x = 100 (0) to x = 0 (25/3): x = 100 - 12 h.
  const auto lines = dendrogram_lines(kFour, {100, 140, 60, 20}, 100, 0, 4);
  const std::vector<Segment> want = {
      {88, 100, 88, 140}, {88, 100, 100, 100}, {88, 140, 100, 140},  // {0, 1} at 1, midway at 120
      {58, 60, 58, 120},  {58, 60, 100, 60},   {58, 120, 88, 120},   // with 2 at 3.5, at 90
      {0, 20, 0, 90},     {0, 20, 100, 20},    {0, 90, 58, 90},      // with 3 at the root
  };
  ASSERT_EQ(lines.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(same(lines[i], want[i])) << i;
}

TEST(DendrogramLines, LeavesWithinOneStepGiveOneStem) {
  const auto lines = dendrogram_lines(kFour, {2, 3, 1, 0}, 100, 0, 4);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(same(lines[0], Segment{100, 1.5, 0, 1.5}));
}

TEST(DendrogramLines, MergesNotOfTheseObjectsGiveNothing) {
  EXPECT_TRUE(dendrogram_lines(kFour, {1, 2, 3}, 100, 0, 4).empty());
  EXPECT_TRUE(dendrogram_lines({{0, 9, 1, 2}}, {1, 2}, 100, 0, 4).empty());
  EXPECT_TRUE(dendrogram_lines({}, {1}, 100, 0, 4).empty());
}

// Average linkage of m random points (or of points on a line, which peels
// them off one by one), with the leaves `pitch` pixels apart from y = 10.
struct Tree {
  std::vector<Merge> merges;
  std::vector<double> leaf_y;
};

Tree random_tree(std::size_t m, double pitch, bool on_a_line, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal;
  std::vector<std::array<double, 3>> points(m);
  for (std::size_t i = 0; i < m; ++i) {
    for (double& v : points[i]) v = on_a_line ? std::pow(1.03, static_cast<double>(i)) : normal(random);
  }
  std::vector<double> d;
  for (std::size_t i = 1; i < m; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      double s = 0;
      for (int v = 0; v < 3; ++v) s += (points[i][v] - points[j][v]) * (points[i][v] - points[j][v]);
      d.push_back(std::sqrt(s));
    }
  }
  Tree t;
  t.merges = average_linkage(d, m);
  const auto order = leaf_order(t.merges, m);
  t.leaf_y.resize(m);
  for (std::size_t p = 0; p < m; ++p) t.leaf_y[order[p]] = 10 + (static_cast<double>(p) + 0.5) * pitch;
  return t;
}

struct TreeCase {
  const char* name;
  std::size_t m;
  double pitch;
  bool on_a_line;
};

class DendrogramAtAResolution : public ::testing::TestWithParam<TreeCase> {};

// At every height the horizontal lines stand at least the gap apart, and
// every line joins the rest: a horizontal starts on its fork's vertical
// and ends on a leaf or on the vertical of the fork below.
TEST_P(DendrogramAtAResolution, LinesApartAtEveryHeightAndJoined) {
  const TreeCase& c = GetParam();
  const Tree t = random_tree(c.m, c.pitch, c.on_a_line, 11);
  ASSERT_EQ(t.merges.size(), c.m - 1);
  const double leaf_x = 200, root_x = 0, gap = 4;
  const auto lines = dendrogram_lines(t.merges, t.leaf_y, leaf_x, root_x, gap);
  ASSERT_FALSE(lines.empty());
  std::vector<Segment> horizontal, vertical;
  for (const Segment& s : lines) (s.y0 == s.y1 ? horizontal : vertical).push_back(s);
  EXPECT_EQ(vertical.size() * 2, horizontal.size());
  for (double x = 0.5; x < leaf_x; x += 1) {
    std::vector<double> ys;
    for (const Segment& s : horizontal) {
      if (std::min(s.x0, s.x1) < x && x < std::max(s.x0, s.x1)) ys.push_back(s.y0);
    }
    std::sort(ys.begin(), ys.end());
    for (std::size_t i = 1; i < ys.size(); ++i) ASSERT_GE(ys[i] - ys[i - 1], gap) << "at x " << x;
  }
  auto on_a_vertical = [&](double x, double y) {
    return std::any_of(vertical.begin(), vertical.end(), [&](const Segment& v) {
      return std::abs(v.x0 - x) < 1e-9 && std::min(v.y0, v.y1) - 1e-9 <= y && y <= std::max(v.y0, v.y1) + 1e-9;
    });
  };
  for (const Segment& h : horizontal) {
    EXPECT_TRUE(on_a_vertical(h.x0, h.y0));
    EXPECT_TRUE(h.x1 == leaf_x || on_a_vertical(h.x1, h.y1));
  }
  // Roomy leaves show every fork.
  if (c.pitch >= gap) {
    EXPECT_EQ(lines.size(), 3 * (c.m - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Trees, DendrogramAtAResolution,
                         ::testing::Values(TreeCase{"three_hundred_at_one_pixel", 300, 1.1, false},
                                           TreeCase{"three_hundred_at_a_third", 300, 0.33, false},
                                           TreeCase{"chained_at_one_pixel", 300, 1.0, true},
                                           TreeCase{"fifty_roomy", 50, 6, false},
                                           TreeCase{"chained_roomy", 40, 5, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessora::console
