#include "cli/block_sources.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tessora/layout.hpp"

namespace tessora::cli {

namespace {

RunOptions run_options(unsigned threads, const std::function<void(double)>& done) {
  RunOptions run;
  run.threads = threads;
  run.progress = [&done](double fraction) {
    done(fraction);
    return true;
  };
  return run;
}

}  // namespace

std::uint32_t known_values(const TableView& t, std::int64_t i) {
  std::uint32_t k = 0;
  for (std::int64_t v = 0; v < t.variables; ++v) {
    const float x = t.data[i * t.object_stride + v * t.variable_stride];
    k += (t.missing.nan ? std::isnan(x) : x == t.missing.marker) ? 0 : 1;
  }
  return k;
}

// --- the engine ----------------------------------------------------------------

void EngineSource::rectangle(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                             const std::function<void(double)>& done) {
  engine_.compute_block(b, values, stride, counts, stride, run_options(threads_, done));
}

void EngineSource::condensed(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts,
                             const std::function<void(double)>& done) {
  if (condensed_start(size(), r1) == condensed_start(size(), r0)) return;
  engine_.compute_condensed(r0, r1, values, counts, run_options(threads_, done));
}

void EngineSource::diagonal(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts) {
  for (std::int64_t i = r0; i < r1; ++i) {
    if (values) values[i - r0] = engine_.diagonal(i);
    if (counts) counts[i - r0] = known_values(table_, i);
  }
}

// --- the triangle kept whole -----------------------------------------------------

bool TriangleSource::fits(std::int64_t m, bool values, bool counts) {
  const double cells = static_cast<double>(m) * static_cast<double>(m + 1) / 2;
  return cells * 4 * ((values ? 1 : 0) + (counts ? 1 : 0)) <= static_cast<double>(kTriangleBytes);
}

TriangleSource::TriangleSource(const Engine& engine, const TableView& table, unsigned threads, bool values,
                               bool counts, ProgressBar& progress)
    : m_(engine.objects()) {
  const double pairs = static_cast<double>(condensed_size(m_));
  progress.set_total(pairs);
  const std::function<void(double)> done = [&](double f) { progress.update(f * pairs); };
  if (!counts) {
    // The whole-matrix call: each pair once, the engine's own schedule.
    whole_ = engine.compute(run_options(threads, done));
    return;
  }
  const auto size = static_cast<std::size_t>(condensed_size(m_));
  if (values) pairs_.resize(size);
  pair_counts_.resize(size);
  if (size > 0)
    engine.compute_condensed(0, m_, values ? pairs_.data() : nullptr, pair_counts_.data(),
                             run_options(threads, done));
  if (values) {
    diagonal_.resize(static_cast<std::size_t>(m_));
    for (std::int64_t i = 0; i < m_; ++i) diagonal_[static_cast<std::size_t>(i)] = engine.diagonal(i);
  }
  diagonal_counts_.resize(static_cast<std::size_t>(m_));
  for (std::int64_t i = 0; i < m_; ++i) diagonal_counts_[static_cast<std::size_t>(i)] = known_values(table, i);
  progress.update(pairs);
}

float TriangleSource::pair_value(std::int64_t i, std::int64_t j) const {
  if (pairs_.empty()) return whole_.triangle()[static_cast<std::size_t>(triangle_index(j, i))];
  return pairs_[static_cast<std::size_t>(condensed_index(m_, i, j))];
}

std::uint32_t TriangleSource::pair_count(std::int64_t i, std::int64_t j) const {
  return pair_counts_[static_cast<std::size_t>(condensed_index(m_, i, j))];
}

void TriangleSource::rectangle(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                               const std::function<void(double)>&) {
  const auto cell = [&](std::int64_t i, std::int64_t j) {
    return static_cast<std::size_t>((i - b.row_begin) * stride + (j - b.col_begin));
  };
  const std::span<const float> diagonal = pairs_.empty() ? whole_.diagonal() : std::span<const float>(diagonal_);
  for (std::int64_t i = b.row_begin; i < b.row_end; ++i) {
    // Left of the diagonal: pair (j, i); on it: the diagonal.
    for (std::int64_t j = b.col_begin; j < std::min(b.col_end, i); ++j) {
      if (values) values[cell(i, j)] = pair_value(j, i);
      if (counts) counts[cell(i, j)] = pair_count(j, i);
    }
    if (i >= b.col_begin && i < b.col_end) {
      if (values) values[cell(i, i)] = diagonal[static_cast<std::size_t>(i)];
      if (counts) counts[cell(i, i)] = diagonal_counts_[static_cast<std::size_t>(i)];
    }
  }
  // Right of it: pair (i, j), column by column, which reads the whole
  // matrix's triangle row j in order.
  for (std::int64_t j = std::max(b.col_begin, b.row_begin + 1); j < b.col_end; ++j)
    for (std::int64_t i = b.row_begin; i < std::min(b.row_end, j); ++i) {
      if (values) values[cell(i, j)] = pair_value(i, j);
      if (counts) counts[cell(i, j)] = pair_count(i, j);
    }
}

void TriangleSource::condensed(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts,
                               const std::function<void(double)>&) {
  std::size_t at = 0;
  for (std::int64_t i = r0; i < r1; ++i)
    for (std::int64_t j = i + 1; j < m_; ++j, ++at) {
      if (values) values[at] = pair_value(i, j);
      if (counts) counts[at] = pair_count(i, j);
    }
}

void TriangleSource::diagonal(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts) {
  for (std::int64_t i = r0; i < r1; ++i) {
    if (values) values[i - r0] = pairs_.empty() ? whole_.diagonal()[static_cast<std::size_t>(i)] : diagonal_[static_cast<std::size_t>(i)];
    if (counts) counts[i - r0] = diagonal_counts_[static_cast<std::size_t>(i)];
  }
}

// --- the loop ------------------------------------------------------------------

void write_blocks(BlockSource& source, std::vector<MatrixWriter*> writers, ProgressBar& progress,
                  std::int64_t budget) {
  const std::int64_t m = source.size();
  const Shape shape = writers.front()->shape();
  const BlockKind kind = block_kind(shape);
  bool values_needed = false, counts_needed = false;
  std::int64_t text_bytes = 0;
  for (MatrixWriter* w : writers) {
    values_needed |= w->needs_values();
    counts_needed |= w->needs_counts();
    text_bytes += w->bytes_in_flight();
    w->header();
  }
  const std::int64_t cell_bytes = (values_needed ? 4 : 0) + (counts_needed ? 4 : 0) + text_bytes;
  std::vector<float> values, diagonal_values;
  std::vector<std::uint32_t> counts, diagonal_counts;

  progress.set_total(static_cast<double>(cells_in_rows(shape, m, 0, m)));
  double done = 0;
  for (std::int64_t r0 = 0; r0 < m;) {
    BlockData b;
    b.m = m;
    b.r0 = r0;
    b.r1 = block_end(kind, m, r0, cell_bytes, budget);
    b.condensed = kind == BlockKind::condensed;
    const std::int64_t columns = kind == BlockKind::square ? m : b.r1;
    const std::int64_t cells =
        b.condensed ? condensed_start(m, b.r1) - condensed_start(m, r0) : (b.r1 - r0) * columns;
    b.stride = columns;
    if (values_needed) values.resize(std::max<std::size_t>(values.size(), static_cast<std::size_t>(cells)));
    if (counts_needed) counts.resize(std::max<std::size_t>(counts.size(), static_cast<std::size_t>(cells)));
    float* const v = values_needed ? values.data() : nullptr;
    std::uint32_t* const k = counts_needed ? counts.data() : nullptr;
    const double block_cells = static_cast<double>(cells_in_rows(shape, m, b.r0, b.r1));
    const auto step = [&](double fraction) { progress.update(done + fraction * block_cells); };
    if (b.condensed) {
      source.condensed(b.r0, b.r1, v, k, step);
      if (shape == Shape::upper_diagonal) {
        diagonal_values.resize(static_cast<std::size_t>(b.r1 - b.r0));
        diagonal_counts.resize(static_cast<std::size_t>(b.r1 - b.r0));
        source.diagonal(b.r0, b.r1, values_needed ? diagonal_values.data() : nullptr,
                        counts_needed ? diagonal_counts.data() : nullptr);
        b.diagonal_values = diagonal_values.data();
        b.diagonal_counts = diagonal_counts.data();
      }
    } else {
      source.rectangle({b.r0, b.r1, 0, columns}, v, k, columns, step);
    }
    b.values = v;
    b.counts = k;
    for (MatrixWriter* w : writers) w->block(b);
    done += block_cells;
    progress.update(done);
    r0 = b.r1;
  }
}

}  // namespace tessora::cli
