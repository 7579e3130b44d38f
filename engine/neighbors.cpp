// Nearest neighbours and the pairs within a threshold, over the engine's
// blocks: each object's candidates are ranked by the coefficient's order,
// ties by the lower index, so that the answer does not depend on the order
// in which pairs are computed.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tessora/checks.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"
#include "tessora/layout.hpp"

namespace tessora {

namespace {

std::string text(std::int64_t v) { return std::to_string(v); }

// The shortest decimal that reads back as the same float.
std::string shortest(float v) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return std::string(buffer, end);
}

// The rows row_begin .. row_end - 1 (row_end -1: to the last object).
std::pair<std::int64_t, std::int64_t> rows_of(std::int64_t row_begin, std::int64_t row_end, std::int64_t m) {
  const std::int64_t end = row_end == -1 ? m : row_end;
  if (row_begin < 0 || row_begin > end || end > m)
    throw Error("the rows " + text(row_begin) + " to " + text(row_end) + " are not a range within the " + text(m) +
                " objects");
  return {row_begin, end};
}

void check_min_shared(std::int64_t min_shared, std::int64_t n) {
  if (min_shared < 0 || min_shared > n)
    throw Error("min_shared must be from 0 to " + text(n) + " (the variables), not " + text(min_shared));
}

// Progress over several calls of the engine: each reports its own fraction.
struct Share {
  const RunOptions& run;
  double total;
  double done = 0;

  RunOptions part(double pairs) const {
    RunOptions r;
    r.threads = run.threads;
    r.cancel = run.cancel;
    if (run.progress) {
      const double before = done;
      r.progress = [this, before, pairs](double f) {
        return run.progress(total > 0 ? std::min(1.0, (before + f * pairs) / total) : 1.0);
      };
    }
    return r;
  }
};

// a before b in the ranking: the nearer value, then the lower index.
struct Nearer {
  bool ascending;
  bool operator()(float a, std::int64_t ia, float b, std::int64_t ib) const {
    if (a != b) return ascending ? a < b : a > b;
    return ia < ib;
  }
};

bool within_threshold(float value, float threshold, bool ascending) {
  return ascending ? value <= threshold : value >= threshold;  // false for NaN
}

}  // namespace

void check_neighbors(std::int64_t objects, std::int64_t variables, std::int64_t k, const NeighborOptions& options) {
  const std::int64_t candidates = options.include_self ? objects : objects - 1;
  if (k < 1 || k > candidates)
    throw Error("k must be from 1 to " + text(candidates) +
                (options.include_self ? " (the objects, self included)" : " (the other objects)") + ", not " + text(k));
  check_min_shared(options.min_shared, variables);
  rows_of(options.row_begin, options.row_end, objects);
}

void Engine::neighbors(std::int64_t k, std::int64_t* indices, float* values, std::uint32_t* shared,
                       const NeighborOptions& options, const RunOptions& run) const {
  const std::int64_t m = objects();
  check_neighbors(m, variables(), k, options);
  const auto [r0, r1] = rows_of(options.row_begin, options.row_end, m);
  if (indices == nullptr) throw Error("no buffer was given for the neighbours' indices");
  thread_count(run.threads);
  if (r0 == r1) return;

  const Nearer nearer{ranking_of(settings().coefficient, settings().dissimilarity) == Ranking::ascending};
  const bool need_counts = options.min_shared > 0 || shared != nullptr;
  const std::int64_t band = std::min(r1 - r0, band_rows(m, need_counts ? 8 : 4));
  std::vector<float> block(static_cast<std::size_t>(band * m));
  std::vector<std::uint32_t> counts(need_counts ? static_cast<std::size_t>(band * m) : 0);
  std::vector<std::int64_t> order;
  order.reserve(static_cast<std::size_t>(m));

  Share share{run, static_cast<double>(r1 - r0) * static_cast<double>(m)};
  for (std::int64_t b0 = r0; b0 < r1; b0 += band) {
    const std::int64_t b1 = std::min(r1, b0 + band);
    const double pairs = static_cast<double>(b1 - b0) * static_cast<double>(m);
    compute_block({b0, b1, 0, m}, block.data(), m, need_counts ? counts.data() : nullptr, m, share.part(pairs));
    share.done += pairs;
    for (std::int64_t i = b0; i < b1; ++i) {
      const float* v = block.data() + (i - b0) * m;
      const std::uint32_t* c = need_counts ? counts.data() + (i - b0) * m : nullptr;
      order.clear();
      for (std::int64_t j = 0; j < m; ++j) {
        if (j == i && !options.include_self) continue;
        if (std::isnan(v[j])) continue;
        if (c && c[j] < static_cast<std::uint64_t>(options.min_shared)) continue;
        order.push_back(j);
      }
      auto before = [&](std::int64_t a, std::int64_t b) { return nearer(v[a], a, v[b], b); };
      const auto kept = static_cast<std::ptrdiff_t>(std::min<std::int64_t>(k, static_cast<std::int64_t>(order.size())));
      std::partial_sort(order.begin(), order.begin() + kept, order.end(), before);
      const std::int64_t row = (i - r0) * k;
      for (std::int64_t t = 0; t < k; ++t) {
        const bool found = t < kept;
        const std::int64_t j = found ? order[static_cast<std::size_t>(t)] : -1;
        indices[row + t] = j;
        if (values) values[row + t] = found ? v[j] : std::numeric_limits<float>::quiet_NaN();
        if (shared) shared[row + t] = found ? c[j] : 0;
      }
    }
  }
}

PairList Engine::within(float threshold, const WithinOptions& options, bool shared, const RunOptions& run) const {
  const std::int64_t m = objects();
  if (std::isnan(threshold)) throw Error("the threshold must be a number, not NaN");
  check_min_shared(options.min_shared, variables());
  const auto [r0, r1] = rows_of(options.row_begin, options.row_end, m);
  if (options.max_pairs < 0) throw Error("max_pairs must be 0 or more, not " + text(options.max_pairs));
  thread_count(run.threads);

  const bool ascending = ranking_of(settings().coefficient, settings().dissimilarity) == Ranking::ascending;
  const bool need_counts = options.min_shared > 0 || shared;
  PairList list;
  auto keep = [&](std::int64_t i, std::int64_t j, float value, std::uint32_t count) {
    if (static_cast<std::int64_t>(list.i.size()) >= options.max_pairs)
      throw Error("more than " + text(options.max_pairs) + " pairs lie within the threshold " +
                  shortest(threshold) + ": raise max_pairs or choose a threshold nearer the objects");
    list.i.push_back(i);
    list.j.push_back(j);
    list.values.push_back(value);
    if (shared) list.shared.push_back(count);
  };
  // The objects' own counts, for the diagonal and min_shared.
  auto own = [&](std::int64_t i) {
    std::uint32_t c = 0;
    compute_block({i, i + 1, i, i + 1}, nullptr, 1, &c, 1);
    return c;
  };

  std::vector<float> band_values;
  std::vector<std::uint32_t> band_counts;
  Share share{run, static_cast<double>(condensed_start(m, r1) - condensed_start(m, r0))};
  for (std::int64_t b0 = r0; b0 < r1;) {
    const std::int64_t b1 = std::min(r1, condensed_band_end(m, b0, need_counts ? 8 : 4));
    const std::int64_t first = condensed_start(m, b0);
    const auto pairs = static_cast<std::size_t>(condensed_start(m, b1) - first);
    band_values.resize(pairs);
    band_counts.resize(need_counts ? pairs : 0);
    if (pairs > 0)
      compute_condensed(b0, b1, band_values.data(), need_counts ? band_counts.data() : nullptr,
                        share.part(static_cast<double>(pairs)));
    share.done += static_cast<double>(pairs);
    for (std::int64_t i = b0; i < b1; ++i) {
      if (options.include_self) {
        const float d = diagonal(i);
        const std::uint32_t c = need_counts ? own(i) : 0;
        if (within_threshold(d, threshold, ascending) && c >= static_cast<std::uint64_t>(options.min_shared))
          keep(i, i, d, c);
      }
      const std::int64_t row = condensed_start(m, i) - first;
      for (std::int64_t j = i + 1; j < m; ++j) {
        const auto at = static_cast<std::size_t>(row + (j - i - 1));
        const float v = band_values[at];
        if (!within_threshold(v, threshold, ascending)) continue;
        const std::uint32_t c = need_counts ? band_counts[at] : 0;
        if (c < static_cast<std::uint64_t>(options.min_shared)) continue;
        keep(i, j, v, c);
      }
    }
    b0 = b1;
  }
  return list;
}

}  // namespace tessora
