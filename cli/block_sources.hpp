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

// Computes blocks of a matrix (or takes them from elsewhere): rows against
// columns, cell (i, j) at (i - row_begin) * stride + (j - col_begin). Either
// buffer may be null; `done` is told the fraction of the block done.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  virtual std::int64_t size() const = 0;
  virtual void fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                    const std::function<void(double)>& done) = 0;
};

class EngineSource final : public BlockSource {
 public:
  EngineSource(const Engine& engine, unsigned threads) : engine_(engine), threads_(threads) {}
  std::int64_t size() const override { return engine_.objects(); }
  void fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
            const std::function<void(double)>& done) override;

 private:
  const Engine& engine_;
  unsigned threads_;
};

// The whole lower triangle and diagonal computed once and kept: square
// outputs are then written from it without computing any pair twice. Only
// while it fits within kTriangleBytes.
class TriangleSource final : public BlockSource {
 public:
  static constexpr std::int64_t kTriangleBytes = std::int64_t{320} << 20;
  static bool fits(std::int64_t m, bool values, bool counts);
  TriangleSource(const Engine& engine, unsigned threads, bool values, bool counts, ProgressBar& progress);
  std::int64_t size() const override { return m_; }
  void fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
            const std::function<void(double)>& done) override;

 private:
  std::int64_t m_;
  // Pair (i, j), j < i, at triangle_index(i, j), and the diagonal apart: the
  // engine's whole matrix when only values are wanted, otherwise gathered
  // from blocks.
  Matrix whole_;
  std::vector<float> lower_store_, diagonal_store_;
  std::vector<std::uint32_t> count_lower_, count_diagonal_;
  const float* lower_ = nullptr;
  const float* diagonal_ = nullptr;
};

// Writes the matrix of `source` through every writer (all of one shape),
// block of rows by block of rows, each within `budget` bytes in flight.
void write_blocks(BlockSource& source, std::vector<MatrixWriter*> writers, ProgressBar& progress,
                  std::int64_t budget = kBandBytes);

}  // namespace tessora::cli
