// txt: the MATRIX.TXT layout, written with the record layer's own items so
// that it cannot drift from the dialogue's file.
#include <charconv>

#include "cli/matrix_writer.hpp"
#include "recordio/list_output.hpp"
#include "recordio/real_text.hpp"

namespace tessora::cli {

namespace {

class TxtRows final : public RowFormat {
 public:
  TxtRows(const MatrixInfo& info, Shape shape, Cells cells) : info_(info), shape_(shape), cells_(cells) {}

  std::string header() const override {
    recordio::ListWriter w;
    w.begin();
    w.text(" MATRIX ");
    w.integer(info_.coefficient);
    w.text(" FROM ");
    w.text(info_.title);
    std::string h(w.end());
    w.begin();
    w.integer(static_cast<std::int32_t>(info_.m));
    h += w.end();
    return h;
  }
  std::size_t cell_bytes() const override { return recordio::kMaxRealText; }
  std::size_t max_bytes(std::int64_t first, std::int64_t last) const override {
    return static_cast<std::size_t>(cells_in_rows(shape_, info_.m, first, last)) * cell_bytes() +
           static_cast<std::size_t>(last - first) * 3;
  }
  char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* p) const override {
    for (std::int64_t i = first; i < last; ++i) {
      const auto [f, l] = row_columns(shape_, i, info_.m);
      *p++ = ' ';
      if (cells_ == Cells::real) {
        const float* row = b.value_row(i);
        for (std::int64_t j = f; j < l; ++j) p += recordio::format_real(row[j], p);
      } else {
        // The record layer's integer item: a blank, a blank for a sign, the digits.
        const std::uint32_t* row = b.count_row(i);
        for (std::int64_t j = f; j < l; ++j) {
          *p++ = ' ';
          *p++ = ' ';
          p = std::to_chars(p, p + 16, row[j]).ptr;
        }
      }
      *p++ = '\r';
      *p++ = '\n';
    }
    return p;
  }

 private:
  const MatrixInfo& info_;
  Shape shape_;
  Cells cells_;
};

}  // namespace

std::unique_ptr<RowFormat> txt_rows(const MatrixInfo& info, Shape shape, Cells cells) {
  return std::make_unique<TxtRows>(info, shape, cells);
}

}  // namespace tessora::cli
