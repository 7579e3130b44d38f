// csv and tsv: a header of labels after an empty corner cell, then each
// object's label and its m cells (empty outside the layout).
#include <algorithm>

#include "cli/cell_text.hpp"
#include "cli/matrix_writer.hpp"

namespace tessora::cli {

namespace {

class DelimitedRows final : public RowFormat {
 public:
  DelimitedRows(const MatrixInfo& info, Shape shape, Cells cells, char separator)
      : m_(info.m), shape_(shape), cells_(cells), separator_(separator),
        labels_(format_labels(*info.labels, separator == ',' ? csv_label : tab_label)) {}

  std::string header() const override {
    std::string h;
    for (const std::string& l : labels_.text) {
      h += separator_;
      h += l;
    }
    h += '\n';
    return h;
  }
  std::size_t cell_bytes() const override { return 18; }
  std::size_t max_bytes(std::int64_t first, std::int64_t last) const override {
    const auto rows = static_cast<std::size_t>(last - first);
    return rows * static_cast<std::size_t>(m_) * cell_bytes() + rows * (labels_.longest + 2);
  }
  char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* p) const override {
    for (std::int64_t i = first; i < last; ++i) {
      const auto [f, l] = row_columns(shape_, i, m_);
      p = put_text(labels_.text[static_cast<std::size_t>(i)], p);
      for (std::int64_t j = 0; j < m_; ++j) {
        *p++ = separator_;
        if (j < f || j >= l) continue;
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
  char separator_;
  Labels labels_;
};

}  // namespace

std::unique_ptr<RowFormat> delimited_rows(const MatrixInfo& info, Shape shape, Cells cells, char separator) {
  return std::make_unique<DelimitedRows>(info, shape, cells, separator);
}

}  // namespace tessora::cli
