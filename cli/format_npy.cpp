// npy: little-endian float32 (uint32 for counts), (m, m) or the condensed
// vector of the m (m - 1) / 2 pairs.
#include <cstring>

#include "cli/matrix_writer.hpp"
#include "cli/npy.hpp"

namespace tessora::cli {

namespace {

class NpyRows final : public RowFormat {
 public:
  NpyRows(const MatrixInfo& info, Shape shape, Cells cells) : m_(info.m), shape_(shape), cells_(cells) {}

  std::string header() const override {
    const char* descr = cells_ == Cells::real ? "<f4" : "<u4";
    if (shape_ == Shape::upper) return npy_header(descr, {condensed_size(m_)});
    return npy_header(descr, {m_, m_});
  }
  std::size_t cell_bytes() const override { return 4; }
  std::size_t max_bytes(std::int64_t first, std::int64_t last) const override {
    return static_cast<std::size_t>(cells_in_rows(shape_, m_, first, last)) * 4;
  }
  char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* p) const override {
    // The bytes as they lie in memory: little-endian hosts only.
    for (std::int64_t i = first; i < last; ++i) {
      const auto [f, l] = row_columns(shape_, i, m_);
      const std::size_t bytes = static_cast<std::size_t>(l - f) * 4;
      if (bytes == 0) continue;
      if (cells_ == Cells::real) {
        std::memcpy(p, b.value_row(i) + f, bytes);
      } else {
        std::memcpy(p, b.count_row(i) + f, bytes);
      }
      p += bytes;
    }
    return p;
  }
  bool parallel() const override { return false; }

 private:
  std::int64_t m_;
  Shape shape_;
  Cells cells_;
};

}  // namespace

std::unique_ptr<RowFormat> npy_rows(const MatrixInfo& info, Shape shape, Cells cells) {
  return std::make_unique<NpyRows>(info, shape, cells);
}

}  // namespace tessora::cli
