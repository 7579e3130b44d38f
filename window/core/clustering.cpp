#include "window/core/clustering.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace tessora::console {

namespace {

std::size_t packed(std::size_t i, std::size_t j) {
  if (i < j) std::swap(i, j);
  return i * (i - 1) / 2 + j;
}

}  // namespace

std::vector<Merge> average_linkage(std::vector<double>& d, std::size_t m, const std::atomic<bool>* cancel) {
  if (m < 2 || d.size() != m * (m - 1) / 2) return {};
  std::vector<std::size_t> size(m, 1);
  std::vector<std::size_t> chain;
  chain.reserve(m);
  std::vector<Merge> found;
  found.reserve(m - 1);

  for (std::size_t k = 0; k + 1 < m; ++k) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return {};
    if (chain.empty()) {
      std::size_t first = 0;
      while (size[first] == 0) ++first;
      chain.push_back(first);
    }
    std::size_t x = 0, y = 0;
    double nearest = 0;
    for (;;) {
      x = chain.back();
      nearest = std::numeric_limits<double>::infinity();
      bool have = false;
      if (chain.size() > 1) {
        y = chain[chain.size() - 2];
        nearest = d[packed(x, y)];
        have = true;
      }
      for (std::size_t i = 0; i < m; ++i) {
        if (size[i] == 0 || i == x) continue;
        const double dist = d[packed(x, i)];
        if (!have || dist < nearest) {
          nearest = dist;
          y = i;
          have = true;
        }
      }
      if (chain.size() > 1 && y == chain[chain.size() - 2]) break;
      chain.push_back(y);
    }
    chain.pop_back();
    chain.pop_back();
    if (x > y) std::swap(x, y);
    const std::size_t nx = size[x], ny = size[y];
    found.push_back(Merge{x, y, nearest, nx + ny});
    // The merged cluster lives on under y.
    size[x] = 0;
    size[y] = nx + ny;
    const double wx = static_cast<double>(nx), wy = static_cast<double>(ny);
    for (std::size_t i = 0; i < m; ++i) {
      if (size[i] == 0 || i == y) continue;
      double& to = d[packed(i, y)];
      to = (wx * d[packed(i, x)] + wy * to) / (wx + wy);
    }
  }

  // In order of height, then numbered: the representatives become cluster
  // numbers through a union-find.
  std::stable_sort(found.begin(), found.end(), [](const Merge& a, const Merge& b) { return a.height < b.height; });
  std::vector<std::size_t> parent(2 * m - 1);
  std::iota(parent.begin(), parent.end(), std::size_t{0});
  auto root = [&](std::size_t c) {
    while (parent[c] != c) {
      parent[c] = parent[parent[c]];
      c = parent[c];
    }
    return c;
  };
  for (std::size_t k = 0; k < found.size(); ++k) {
    const std::size_t a = root(found[k].left), b = root(found[k].right);
    found[k].left = std::min(a, b);
    found[k].right = std::max(a, b);
    parent[a] = parent[b] = m + k;
  }
  return found;
}

std::vector<std::size_t> leaf_order(const std::vector<Merge>& merges, std::size_t m) {
  std::vector<std::size_t> order;
  if (m == 0) return order;
  if (merges.size() + 1 != m) {
    order.resize(m);
    std::iota(order.begin(), order.end(), std::size_t{0});
    return order;
  }
  order.reserve(m);
  std::vector<std::size_t> stack{2 * m - 2};
  while (!stack.empty()) {
    const std::size_t c = stack.back();
    stack.pop_back();
    if (c < m) {
      order.push_back(c);
      continue;
    }
    const Merge& merge = merges[c - m];
    stack.push_back(merge.right);
    stack.push_back(merge.left);
  }
  return order;
}

std::vector<Segment> dendrogram_lines(const std::vector<Merge>& merges, const std::vector<double>& leaf_y,
                                      double leaf_x, double root_x, double min_gap) {
  std::vector<Segment> lines;
  const std::size_t m = leaf_y.size();
  if (m < 2 || merges.size() + 1 != m) return lines;
  for (std::size_t k = 0; k < merges.size(); ++k) {
    if (merges[k].left >= m + k || merges[k].right >= m + k) return lines;
  }
  double low = 0, high = 0;
  for (const Merge& mg : merges) {
    low = std::min(low, mg.height);
    high = std::max(high, mg.height);
  }
  const double span = high > low ? high - low : 1;
  auto x_of = [&](double height) { return leaf_x - (height - low) / span * (leaf_x - root_x); };

  // The extent of each cluster's leaves, a leaf counting as one step of
  // the leaves' spacing; a cluster narrower than `min_gap` is small.
  const std::size_t clusters = 2 * m - 1;
  const auto [lowest, highest] = std::minmax_element(leaf_y.begin(), leaf_y.end());
  const double pitch = (*highest - *lowest) / static_cast<double>(m - 1);
  std::vector<double> top(clusters), bottom(clusters);
  for (std::size_t i = 0; i < m; ++i) top[i] = bottom[i] = leaf_y[i];
  for (std::size_t k = 0; k < merges.size(); ++k) {
    const std::size_t c = m + k;
    top[c] = std::min(top[merges[k].left], top[merges[k].right]);
    bottom[c] = std::max(bottom[merges[k].left], bottom[merges[k].right]);
  }
  auto small = [&](std::size_t c) { return bottom[c] - top[c] + pitch < min_gap; };

  // What stands for each cluster in the drawing: a merge of two parts that
  // are not small is a fork at its height; a merge that only adds a small
  // part to a larger one is drawn as that larger part (the small part is
  // merged into it); a cluster of small parts only is one leaf. A fork
  // stands midway between its two parts, a leaf at the middle of its leaves.
  std::vector<std::size_t> shown_as(clusters);
  std::vector<double> y(clusters);
  std::vector<char> fork(clusters, 0);
  for (std::size_t i = 0; i < m; ++i) {
    shown_as[i] = i;
    y[i] = leaf_y[i];
  }
  for (std::size_t k = 0; k < merges.size(); ++k) {
    const std::size_t c = m + k, a = merges[k].left, b = merges[k].right;
    shown_as[c] = c;
    y[c] = (top[c] + bottom[c]) / 2;
    if (!small(a) && !small(b)) {
      fork[c] = 1;
      y[c] = (y[shown_as[a]] + y[shown_as[b]]) / 2;
    } else if (small(a) != small(b)) {
      shown_as[c] = shown_as[small(a) ? b : a];
    }
  }

  // Down from the highest fork, in order of height, the parts whose lines
  // cross the height reached so far are kept in a list from top to bottom.
  // A fork opens into its two parts only when their lines stand at least
  // `min_gap` apart and from their neighbours' in the list; one that does
  // not open is drawn as a leaf.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> above(clusters, kNone), below(clusters, kNone);
  std::vector<char> listed(clusters, 0), opened(clusters, 0);
  const std::size_t root = shown_as[clusters - 1];
  listed[root] = 1;
  for (std::size_t c = clusters - 1; c >= m; --c) {
    if (!listed[c] || !fork[c]) continue;
    const Merge& mg = merges[c - m];
    const bool left_first = top[mg.left] <= top[mg.right];
    const std::size_t upper = shown_as[left_first ? mg.left : mg.right];
    const std::size_t lower = shown_as[left_first ? mg.right : mg.left];
    if (y[lower] - y[upper] < min_gap) continue;
    if (above[c] != kNone && y[upper] - y[above[c]] < min_gap) continue;
    if (below[c] != kNone && y[below[c]] - y[lower] < min_gap) continue;
    opened[c] = listed[upper] = listed[lower] = 1;
    above[upper] = above[c];
    below[upper] = lower;
    above[lower] = upper;
    below[lower] = below[c];
    if (above[c] != kNone) below[above[c]] = upper;
    if (below[c] != kNone) above[below[c]] = lower;
  }

  auto x = [&](std::size_t c) { return opened[c] ? x_of(merges[c - m].height) : leaf_x; };
  for (std::size_t c = m; c < clusters; ++c) {
    if (!opened[c]) continue;
    const std::size_t a = shown_as[merges[c - m].left], b = shown_as[merges[c - m].right];
    const double xc = x(c);
    lines.push_back({xc, y[a], xc, y[b]});
    lines.push_back({xc, y[a], x(a), y[a]});
    lines.push_back({xc, y[b], x(b), y[b]});
  }
  // Nothing opened: a single stem up to the highest merge.
  if (lines.empty()) lines.push_back({leaf_x, y[root], x_of(merges.back().height), y[root]});
  return lines;
}

}  // namespace tessora::console
