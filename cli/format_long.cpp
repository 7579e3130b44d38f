// long: a header, then one line per pair (and diagonal entry, with the full
// layout): the two labels, the value and the shared count.
#include <algorithm>

#include "cli/cell_text.hpp"
#include "cli/matrix_writer.hpp"

namespace tessora::cli {

namespace {

class LongRows final : public RowFormat {
 public:
  LongRows(const MatrixInfo& info, Shape shape, Cells cells) : m_(info.m), shape_(shape), cells_(cells),
        labels_(format_labels(*info.labels, tab_label)) {}

  std::string header() const override { return "i\tj\tvalue\tk\n"; }
  std::size_t cell_bytes() const override { return 2 * labels_.longest + 40; }
  std::size_t max_bytes(std::int64_t first, std::int64_t last) const override {
    return static_cast<std::size_t>(cells_in_rows(shape_, m_, first, last)) * cell_bytes();
  }
  char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* p) const override {
    for (std::int64_t i = first; i < last; ++i) {
      const auto [f, l] = row_columns(shape_, i, m_);
      const std::string& li = labels_.text[static_cast<std::size_t>(i)];
      for (std::int64_t j = f; j < l; ++j) {
        p = put_text(li, p);
        *p++ = '\t';
        p = put_text(labels_.text[static_cast<std::size_t>(j)], p);
        *p++ = '\t';
        p = put_cell(b, cells_, i, j, p);
        *p++ = '\t';
        p = put_count(b.count(i, j), p);
        *p++ = '\n';
      }
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

std::unique_ptr<RowFormat> long_rows(const MatrixInfo& info, Shape shape, Cells cells) {
  return std::make_unique<LongRows>(info, shape, cells);
}

}  // namespace tessora::cli
