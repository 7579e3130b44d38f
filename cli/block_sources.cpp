#include "cli/block_sources.hpp"

#include <algorithm>
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

void EngineSource::fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                        const std::function<void(double)>& done) {
  engine_.compute_block(b, values, stride, counts, stride, run_options(threads_, done));
}

// --- the triangle kept whole -----------------------------------------------------

bool TriangleSource::fits(std::int64_t m, bool values, bool counts) {
  const double cells = static_cast<double>(m) * static_cast<double>(m + 1) / 2;
  return cells * 4 * ((values ? 1 : 0) + (counts ? 1 : 0)) <= static_cast<double>(kTriangleBytes);
}

TriangleSource::TriangleSource(const Engine& engine, unsigned threads, bool values, bool counts,
                               ProgressBar& progress)
    : m_(engine.objects()) {
  const double pairs = static_cast<double>(condensed_size(m_));
  progress.set_total(pairs);
  if (!counts) {
    // The whole-matrix call: each pair once, the engine's own schedule.
    const std::function<void(double)> done = [&](double f) { progress.update(f * pairs); };
    whole_ = engine.compute(run_options(threads, done));
    lower_ = whole_.triangle().data();
    diagonal_ = whole_.diagonal().data();
    return;
  }
  // Blocks of lower rows [r0, r1) x [0, r1), their pairs copied out.
  const auto size = static_cast<std::size_t>(std::max<std::int64_t>(condensed_size(m_), 1));
  if (values) {
    lower_store_.resize(size);
    diagonal_store_.resize(static_cast<std::size_t>(m_));
    lower_ = lower_store_.data();
    diagonal_ = diagonal_store_.data();
  }
  count_lower_.resize(size);
  count_diagonal_.resize(static_cast<std::size_t>(m_));
  const std::int64_t rows = band_rows(m_, values ? 8 : 4);
  std::vector<float> v(values ? static_cast<std::size_t>(std::min(rows, m_) * m_) : 0);
  std::vector<std::uint32_t> k(static_cast<std::size_t>(std::min(rows, m_) * m_));
  double done = 0;
  for (std::int64_t r0 = 0; r0 < m_;) {
    const std::int64_t r1 = std::min(m_, r0 + rows);
    const double block = static_cast<double>(triangle_index(r1, 0) - triangle_index(r0, 0));
    const std::function<void(double)> step = [&](double f) { progress.update(done + f * block); };
    engine.compute_block({r0, r1, 0, r1}, values ? v.data() : nullptr, r1, k.data(), r1, run_options(threads, step));
    for (std::int64_t i = r0; i < r1; ++i) {
      const auto at = static_cast<std::size_t>(triangle_index(i, 0));
      const auto from = static_cast<std::size_t>((i - r0) * r1);
      const auto row = static_cast<std::size_t>(i);
      if (values) {
        std::memcpy(lower_store_.data() + at, v.data() + from, row * 4);
        diagonal_store_[row] = v[from + row];
      }
      std::memcpy(count_lower_.data() + at, k.data() + from, row * 4);
      count_diagonal_[row] = k[from + row];
    }
    done += block;
    progress.update(done);
    r0 = r1;
  }
}

void TriangleSource::fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                          const std::function<void(double)>&) {
  const auto cell = [&](std::int64_t i, std::int64_t j) {
    return static_cast<std::size_t>((i - b.row_begin) * stride + (j - b.col_begin));
  };
  const auto pair = [](std::int64_t i, std::int64_t j) { return static_cast<std::size_t>(triangle_index(i, j)); };
  // Left of the diagonal: row i of the triangle; on it: the diagonal.
  for (std::int64_t i = b.row_begin; i < b.row_end; ++i) {
    for (std::int64_t j = b.col_begin; j < std::min(b.col_end, i); ++j) {
      if (values) values[cell(i, j)] = lower_[pair(i, j)];
      if (counts) counts[cell(i, j)] = count_lower_[pair(i, j)];
    }
    if (i >= b.col_begin && i < b.col_end) {
      if (values) values[cell(i, i)] = diagonal_[i];
      if (counts) counts[cell(i, i)] = count_diagonal_[static_cast<std::size_t>(i)];
    }
  }
  // Right of it: (i, j) is (j, i), and row j of the triangle holds the
  // block's rows side by side: read in order, written one per row.
  for (std::int64_t j = std::max(b.col_begin, b.row_begin + 1); j < b.col_end; ++j)
    for (std::int64_t i = b.row_begin; i < std::min(b.row_end, j); ++i) {
      if (values) values[cell(i, j)] = lower_[pair(j, i)];
      if (counts) counts[cell(i, j)] = count_lower_[pair(j, i)];
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
  std::vector<float> values;
  std::vector<std::uint32_t> counts;

  progress.set_total(static_cast<double>(cells_in_rows(shape, m, 0, m)));
  double done = 0;
  for (std::int64_t r0 = 0; r0 < m;) {
    BlockData b;
    b.m = m;
    b.r0 = r0;
    b.r1 = block_end(kind, m, r0, cell_bytes, budget);
    b.c0 = kind == BlockKind::upper ? r0 : 0;
    const std::int64_t c1 = kind == BlockKind::lower ? b.r1 : m;
    b.stride = c1 - b.c0;
    const auto cells = static_cast<std::size_t>((b.r1 - r0) * b.stride);
    if (values_needed && values.size() < cells) values.resize(cells);
    if (counts_needed && counts.size() < cells) counts.resize(cells);
    b.values = values_needed ? values.data() : nullptr;
    b.counts = counts_needed ? counts.data() : nullptr;
    const double block_cells = static_cast<double>(cells_in_rows(shape, m, b.r0, b.r1));
    source.fill({b.r0, b.r1, b.c0, c1}, values_needed ? values.data() : nullptr,
                counts_needed ? counts.data() : nullptr, b.stride,
                [&](double fraction) { progress.update(done + fraction * block_cells); });
    for (MatrixWriter* w : writers) w->block(b);
    done += block_cells;
    progress.update(done);
    r0 = b.r1;
  }
}

}  // namespace tessora::cli
