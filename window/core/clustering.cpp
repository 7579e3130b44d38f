#include "window/core/clustering.hpp"

#include <algorithm>
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

}  // namespace tessora::console
