// Where the blocks of a matrix come from (the engine, the triangle kept
// whole, the parts of a merge), and the loop that hands them to the writers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "cli/matrix_writer.hpp"
#include "cli/progress.hpp"
#include "tessora/engine.hpp"

namespace tessora::cli {

// Computes blocks of a matrix (or takes them from elsewhere). Either buffer
// may be null; `done` is told the fraction of the block done.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  virtual std::int64_t size() const = 0;
  // Rows against columns: cell (i, j) at (i - row_begin) * stride + (j - col_begin).
  virtual void rectangle(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                         const std::function<void(double)>& done) = 0;
  // The pairs (i, j), j > i, of rows [r0, r1) in the condensed order.
  virtual void condensed(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts,
                         const std::function<void(double)>& done) = 0;
  // The diagonal entries of rows [r0, r1), at i - r0.
  virtual void diagonal(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts) = 0;
};

// The number of known values of object i: its shared count with itself.
std::uint32_t known_values(const TableView& table, std::int64_t i);

class EngineSource final : public BlockSource {
 public:
  EngineSource(const Engine& engine, const TableView& table, unsigned threads)
      : engine_(engine), table_(table), threads_(threads) {}
  std::int64_t size() const override { return engine_.objects(); }
  void rectangle(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                 const std::function<void(double)>& done) override;
  void condensed(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts,
                 const std::function<void(double)>& done) override;
  void diagonal(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts) override;

 private:
  const Engine& engine_;
  const TableView& table_;
  unsigned threads_;
};

// The whole triangle and diagonal computed once and kept: square outputs
// are then written from it without computing any pair twice. Only while it
// fits within kTriangleBytes.
class TriangleSource final : public BlockSource {
 public:
  static constexpr std::int64_t kTriangleBytes = std::int64_t{320} << 20;
  static bool fits(std::int64_t m, bool values, bool counts);
  TriangleSource(const Engine& engine, const TableView& table, unsigned threads, bool values, bool counts,
                 ProgressBar& progress);
  std::int64_t size() const override { return m_; }
  void rectangle(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                 const std::function<void(double)>& done) override;
  void condensed(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts,
                 const std::function<void(double)>& done) override;
  void diagonal(std::int64_t r0, std::int64_t r1, float* values, std::uint32_t* counts) override;

 private:
  float pair_value(std::int64_t i, std::int64_t j) const;  // i < j
  std::uint32_t pair_count(std::int64_t i, std::int64_t j) const;

  std::int64_t m_;
  // Values only: the engine's whole matrix (its packed lower triangle).
  // With counts: the condensed pairs, computed in one call.
  Matrix whole_;
  std::vector<float> pairs_;
  std::vector<std::uint32_t> pair_counts_;
  std::vector<float> diagonal_;
  std::vector<std::uint32_t> diagonal_counts_;
};

// Writes the matrix of `source` through every writer (all of one shape),
// block of rows by block of rows, each within `budget` bytes in flight.
void write_blocks(BlockSource& source, std::vector<MatrixWriter*> writers, ProgressBar& progress,
                  std::int64_t budget = kBandBytes);

}  // namespace tessora::cli
