// phylip: the count, then each row's name padded to 10 characters and its
// values, each after a blank.
#include <algorithm>

#include "cli/cell_text.hpp"
#include "cli/matrix_writer.hpp"

namespace tessora::cli {

namespace {

class PhylipRows final : public RowFormat {
 public:
  PhylipRows(const MatrixInfo& info, Shape shape, Cells cells) : m_(info.m), shape_(shape), cells_(cells),
        labels_(format_labels(*info.labels, phylip_label)) {}

  std::string header() const override { return std::to_string(m_) + "\n"; }
  std::size_t cell_bytes() const override { return 18; }
  std::size_t max_bytes(std::int64_t first, std::int64_t last) const override {
    return static_cast<std::size_t>(cells_in_rows(shape_, m_, first, last)) * cell_bytes() +
           static_cast<std::size_t>(last - first) * (labels_.longest + 2);
  }
  char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* p) const override {
    for (std::int64_t i = first; i < last; ++i) {
      const auto [f, l] = row_columns(shape_, i, m_);
      p = put_text(labels_.text[static_cast<std::size_t>(i)], p);
      for (std::int64_t j = f; j < l; ++j) {
        *p++ = ' ';
        p = put_cell(b, cells_, i, j, p);
      }
      *p++ = '\n';
    }
    return p;
  }

 private:
  std::int64_t m_;
  Shape shape_;
  Cells cells_;
  Labels labels_;
};

}  // namespace

std::unique_ptr<RowFormat> phylip_rows(const MatrixInfo& info, Shape shape, Cells cells) {
  return std::make_unique<PhylipRows>(info, shape, cells);
}

}  // namespace tessora::cli
