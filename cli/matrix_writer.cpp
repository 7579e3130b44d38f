#include "cli/matrix_writer.hpp"

#include <algorithm>
#include <exception>
#include <thread>

#include "cli/cell_text.hpp"

namespace tessora::cli {

char* put_cell(const BlockData& b, Cells cells, std::int64_t i, std::int64_t j, char* out) {
  return cells == Cells::real ? out + shortest_text(b.value(i, j), out) : put_count(b.count(i, j), out);
}

MatrixWriter::MatrixWriter(Format format, Layout layout, Cells cells, const MatrixInfo& info, OutputFile& out,
                           unsigned threads)
    : format_(format), shape_(shape_of(format, layout)), cells_(cells), out_(out), threads_(threads) {
  switch (format) {
    case Format::txt: rows_ = txt_rows(info, shape_, cells); break;
    case Format::phylip: rows_ = phylip_rows(info, shape_, cells); break;
    case Format::csv: rows_ = delimited_rows(info, shape_, cells, ','); break;
    case Format::tsv: rows_ = delimited_rows(info, shape_, cells, '\t'); break;
    case Format::long_pairs: rows_ = long_rows(info, shape_, cells); break;
    case Format::npy: rows_ = npy_rows(info, shape_, cells); break;
    case Format::npz: break;  // no matrix format: refused with the options
  }
}

std::int64_t MatrixWriter::bytes_in_flight() const {
  // One buffer being formatted, kQueued waiting, one being written.
  return static_cast<std::int64_t>(rows_->cell_bytes() * (OutputFile::kQueued + 2));
}

void MatrixWriter::header() { out_.write(rows_->header()); }

void MatrixWriter::block(const BlockData& b) {
  const std::int64_t rows = b.r1 - b.r0;
  const unsigned workers = rows_->parallel() ? std::max(1u, threads_) : 1u;
  const auto format = [&](std::int64_t first, std::int64_t last, Buffer& text) {
    char* const start = text.reserve(rows_->max_bytes(first, last));
    text.size = static_cast<std::size_t>(rows_->rows(b, first, last, start) - start);
  };
  if (workers == 1 || rows == 1) {
    Buffer text = out_.buffer();
    format(b.r0, b.r1, text);
    out_.write(std::move(text));
    return;
  }
  // Rows split into one run per worker, by the cells they hold.
  const std::int64_t total = cells_in_rows(shape_, b.m, b.r0, b.r1) + rows;
  std::vector<std::int64_t> cut{b.r0};
  for (std::int64_t i = b.r0 + 1; i < b.r1 && cut.size() < workers; ++i) {
    const std::int64_t before = cells_in_rows(shape_, b.m, b.r0, i) + (i - b.r0);
    if (before * static_cast<std::int64_t>(workers) >= total * static_cast<std::int64_t>(cut.size())) cut.push_back(i);
  }
  cut.push_back(b.r1);
  const std::size_t parts = cut.size() - 1;
  std::vector<Buffer> texts(parts);
  for (Buffer& t : texts) t = out_.buffer();
  std::vector<std::exception_ptr> errors(parts);
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < parts; ++t)
      pool.emplace_back([&, t] {
        try {
          format(cut[t], cut[t + 1], texts[t]);
        } catch (...) {
          errors[t] = std::current_exception();
        }
      });
    try {
      format(cut[0], cut[1], texts[0]);
    } catch (...) {
      errors[0] = std::current_exception();
    }
  }
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
  for (Buffer& t : texts) out_.write(std::move(t));
}

}  // namespace tessora::cli
