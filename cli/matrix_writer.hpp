// Writing a matrix as it is computed: one writer per output, one row format
// per file format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "cli/output_file.hpp"
#include "cli/shape.hpp"

namespace tessora::cli {

struct MatrixInfo {
  std::int64_t m = 0;
  std::int32_t coefficient = 0;
  std::string title;                                 // 100 characters
  const std::vector<std::string>* labels = nullptr;  // m of them
};

// One file format: its header, and the bytes of rows of a block.
class RowFormat {
 public:
  virtual ~RowFormat() = default;
  virtual std::string header() const = 0;
  // The bytes the rows [first, last) take at most.
  virtual std::size_t max_bytes(std::int64_t first, std::int64_t last) const = 0;
  // The bytes one cell takes at most, for the size of the blocks.
  virtual std::size_t cell_bytes() const = 0;
  // Writes rows [first, last) of the block from `out`; returns the end.
  virtual char* rows(const BlockData& b, std::int64_t first, std::int64_t last, char* out) const = 0;
  // Whether the rows are worth formatting on several threads (not for bytes
  // that are only copied).
  virtual bool parallel() const { return true; }
};

// The text of cell (i, j) of a block: its value as shortest_text writes it,
// or its count.
char* put_cell(const BlockData& b, Cells cells, std::int64_t i, std::int64_t j, char* out);

// The formats, over the cells of `shape`. Labels are quoted or cleaned as
// each format needs.
std::unique_ptr<RowFormat> txt_rows(const MatrixInfo& info, Shape shape, Cells cells);
std::unique_ptr<RowFormat> phylip_rows(const MatrixInfo& info, Shape shape, Cells cells);
std::unique_ptr<RowFormat> delimited_rows(const MatrixInfo& info, Shape shape, Cells cells, char separator);
std::unique_ptr<RowFormat> long_rows(const MatrixInfo& info, Shape shape, Cells cells);
std::unique_ptr<RowFormat> npy_rows(const MatrixInfo& info, Shape shape, Cells cells);

// One output in one format: the header, then rows block by block, the text
// of a block formatted by one worker per thread.
class MatrixWriter {
 public:
  MatrixWriter(Format format, Layout layout, Cells cells, const MatrixInfo& info, OutputFile& out,
               unsigned threads);
  Shape shape() const { return shape_; }
  bool needs_counts() const { return cells_ == Cells::count || format_ == Format::long_pairs; }
  bool needs_values() const { return cells_ == Cells::real; }
  // The bytes a cell takes in flight: its text in the buffer being
  // formatted, in those waiting and in the one being written.
  std::int64_t bytes_in_flight() const;
  void header();
  void block(const BlockData& b);

 private:
  Format format_;
  Shape shape_;
  Cells cells_;
  OutputFile& out_;
  unsigned threads_;
  std::unique_ptr<RowFormat> rows_;
};

}  // namespace tessora::cli
