// Writing matrices as they are computed: the output file (a temporary file
// renamed when complete), the formats, and the block loop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/options.hpp"
#include "tessora/engine.hpp"

namespace tessora::cli {

// Bytes on their way out, in storage that is not cleared when it grows and
// is handed back for the next block.
struct Buffer {
  std::unique_ptr<char[]> data;
  std::size_t size = 0, capacity = 0;
  char* reserve(std::size_t n) {
    if (n > capacity) {
      data.reset(new char[n]);
      capacity = n;
    }
    return data.get();
  }
};

// A file written through a temporary file in the same folder, renamed to its
// name by commit(); without a commit the temporary file is removed and any
// old file stays as it was (through a symbolic link, the file it names).
// "-" writes to standard output, and an existing device, pipe or socket is
// written directly. Writes
// go out on a thread of their own; at most two buffers wait.
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string&& bytes);
  void write(Buffer&& bytes);
  // An empty buffer, reusing the storage of one already written when it can.
  Buffer buffer();
  void commit();
  const std::string& path() const { return path_; }

 private:
  void run();
  [[noreturn]] void fail(int errnum, const char* doing);

  std::string path_, target_, temp_;  // as given, the file renamed over, the temporary file
  int fd_ = -1;
  bool existed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer> queue_;
  std::vector<Buffer> free_;
  bool closing_ = false;
  int error_ = 0;  // errno of a failed write
  std::thread thread_;
};

enum class Cells { real, count };

// Which columns of row i a layout holds.
enum class Shape { square, lower, lower_strict, upper, upper_diagonal };
Shape shape_of(Format format, Layout layout);
// The columns [first, last) of row i.
std::pair<std::int64_t, std::int64_t> row_columns(Shape shape, std::int64_t i, std::int64_t m);

// A block of rows as computed: rows [r0, r1) against columns [c0, c1); cell
// (i, j) at [(i - r0) * stride + (j - c0)].
struct BlockData {
  std::int64_t r0 = 0, r1 = 0, c0 = 0, c1 = 0, stride = 0;
  const float* values = nullptr;
  const std::uint32_t* counts = nullptr;
};

struct MatrixInfo {
  std::int64_t m = 0;
  std::int32_t coefficient = 0;
  std::string title;                               // 100 characters
  const std::vector<std::string>* labels = nullptr;  // m of them
};

// One output in one format: the header, then rows block by block.
class MatrixWriter {
 public:
  MatrixWriter(Format format, Layout layout, Cells cells, const MatrixInfo& info, OutputFile& out,
               unsigned threads);
  Shape shape() const { return shape_; }
  bool needs_counts() const { return cells_ == Cells::count || format_ == Format::long_pairs; }
  bool needs_values() const { return cells_ == Cells::real; }
  // Text bytes a cell takes at most (for the block size).
  std::size_t bytes_per_cell() const;
  void header();
  void block(const BlockData& b);

 private:
  void format_rows(const BlockData& b, std::int64_t first, std::int64_t last, Buffer& out) const;

  Format format_;
  Shape shape_;
  Cells cells_;
  const MatrixInfo& info_;
  OutputFile& out_;
  unsigned threads_;
  std::vector<std::string> labels_;  // as the format writes them
  std::size_t longest_label_ = 0;
};

// Computes blocks of a matrix (or takes them from elsewhere).
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  virtual std::int64_t size() const = 0;
  // Either buffer may be null. `done` is told the fraction of the block done.
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

class ProgressBar;

// The whole lower triangle and diagonal computed once, block by block, and
// kept: square outputs are then written from it without computing any pair
// twice. Only while it fits within kTriangleBytes.
class TriangleSource final : public BlockSource {
 public:
  static bool fits(std::int64_t m, bool values, bool counts);
  TriangleSource(const Engine& engine, unsigned threads, bool values, bool counts, ProgressBar& progress);
  std::int64_t size() const override { return m_; }
  void fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
            const std::function<void(double)>& done) override;

 private:
  std::int64_t m_;
  // (i, j), j < i, at i (i - 1) / 2 + j, and the diagonal apart: the
  // engine's whole matrix when only values are wanted, otherwise gathered
  // from blocks.
  Matrix whole_;
  std::unique_ptr<float[]> lower_store_, diag_store_;
  std::unique_ptr<std::uint32_t[]> count_lower_, count_diag_;
  const float* lower_ = nullptr;
  const float* diag_ = nullptr;
};

// A progress bar with rate and time left on standard error.
class ProgressBar {
 public:
  explicit ProgressBar(bool shown);
  ~ProgressBar();
  void set_total(double pairs) { total_ = pairs; }
  void update(double pairs_done);

 private:
  bool shown_;
  double total_ = 0;
  double start_, last_ = -1;
};

// The cells every row block holds, at most, and the text bytes a block may take.
inline constexpr std::int64_t kBlockCells = std::int64_t{1} << 21;
inline constexpr std::int64_t kBlockText = std::int64_t{32} << 20;
inline constexpr std::int64_t kTriangleBytes = std::int64_t{320} << 20;

// Writes the matrix of `source` through every writer (all of one shape),
// block of rows by block of rows.
void write_blocks(BlockSource& source, std::vector<MatrixWriter*> writers, ProgressBar& progress);

// The text of a float32 that reads back to the same float: the shortest
// decimal form; NaN, Inf, -Inf for the others. Returns the length.
std::size_t shortest_text(float v, char* out);

// The .npy header of a little-endian array: "<f4" or "<u4", shape (m, m) or
// (m(m-1)/2,).
std::string npy_header(Cells cells, std::int64_t m, bool condensed);

}  // namespace tessora::cli
