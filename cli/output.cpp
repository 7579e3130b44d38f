#include "cli/output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/failure.hpp"
#include "recordio/list_output.hpp"
#include "recordio/real_text.hpp"

namespace tessora::cli {

// --- the output file ---------------------------------------------------------

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    thread_ = std::thread([this] { run(); });
    return;
  }
  std::string target = path_;
  struct stat info;
  if (::stat(path_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) data_error("cannot write " + path_ + ": it is a directory");
    if (!S_ISREG(info.st_mode)) {
      // A device, a pipe or a socket (/dev/null, /dev/stdout, a FIFO) is
      // written in place: renaming a file over it would replace it.
      do {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
      } while (fd_ < 0 && errno == EINTR);
      if (fd_ < 0) data_error("cannot write " + path_ + ": " + std::strerror(errno));
      thread_ = std::thread([this] { run(); });
      return;
    }
    existed_ = true;
    // Through a symbolic link the file it names is replaced, not the link.
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  target_ = target;
  const std::size_t slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  temp_ = dir + "/." + base + ".tmp-XXXXXX";
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) {
    const int e = errno;
    temp_.clear();
    data_error("cannot write " + path_ + ": " + std::strerror(e) +
               (existed_ ? "; the old file was left unchanged" : ""));
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, existed_ ? (info.st_mode & 07777) : (0666 & ~mask));
  thread_ = std::thread([this] { run(); });
}

OutputFile::~OutputFile() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
  }
  if (!temp_.empty()) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  } else if (fd_ >= 0 && fd_ != STDOUT_FILENO) {
    ::close(fd_);
  }
}

void OutputFile::run() {
  for (;;) {
    Buffer bytes;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      bytes = std::move(queue_.front());
      queue_.pop_front();
    }
    const char* p = bytes.data.get();
    std::size_t left = bytes.size;
    int error = 0;
    while (left > 0 && error == 0) {
      const ssize_t put = ::write(fd_, p, left);
      if (put < 0) {
        if (errno != EINTR) error = errno;
      } else if (put == 0) {
        error = ENOSPC;
      } else {
        p += put;
        left -= static_cast<std::size_t>(put);
      }
    }
    {
      std::lock_guard lock(mutex_);
      if (error != 0 && error_ == 0) error_ = error;
      if (error_ != 0) queue_.clear();
      if (free_.size() < 4) free_.push_back(std::move(bytes));
    }
    changed_.notify_all();
  }
}

void OutputFile::fail(int errnum, const char* doing) {
  std::string message = std::string("cannot ") + doing + " " + (path_ == "-" ? "standard output" : path_) + ": " +
                        std::strerror(errnum);
  if (path_ != "-") message += existed_ ? "; the old file was left unchanged" : "; no file was written";
  data_error(message);
}

void OutputFile::write(std::string&& bytes) {
  Buffer b;
  std::memcpy(b.reserve(bytes.size() + 1), bytes.data(), bytes.size());
  b.size = bytes.size();
  write(std::move(b));
}

Buffer OutputFile::buffer() {
  std::lock_guard lock(mutex_);
  if (free_.empty()) return {};
  Buffer b = std::move(free_.back());
  free_.pop_back();
  b.size = 0;
  return b;
}

void OutputFile::write(Buffer&& bytes) {
  int error = 0;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return error_ != 0 || queue_.size() < 2; });
    error = error_;
    if (error == 0) queue_.push_back(std::move(bytes));
  }
  if (error != 0) fail(error, "write");
  changed_.notify_all();
}

void OutputFile::commit() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_ != 0) fail(error_, "write");
  if (temp_.empty()) {  // standard output, a device or a pipe
    if (fd_ != STDOUT_FILENO && ::close(fd_) != 0) {
      const int e = errno;
      fd_ = -1;
      fail(e, "write");
    }
    fd_ = -1;
    return;
  }
  if (::close(fd_) != 0) {
    const int e = errno;
    fd_ = -1;
    fail(e, "write");
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int e = errno;
    ::unlink(temp_.c_str());
    temp_.clear();
    fail(e, "rename the finished file to");
  }
  temp_.clear();
}

// --- shapes and cells --------------------------------------------------------

Shape shape_of(Format format, Layout layout) {
  if (format == Format::long_pairs) return layout == Layout::full ? Shape::upper_diagonal : Shape::upper;
  if (layout == Layout::condensed) return Shape::upper;
  if (layout == Layout::lower) return format == Format::phylip ? Shape::lower_strict : Shape::lower;
  return Shape::square;
}

std::pair<std::int64_t, std::int64_t> row_columns(Shape shape, std::int64_t i, std::int64_t m) {
  switch (shape) {
    case Shape::square: return {0, m};
    case Shape::lower: return {0, i + 1};
    case Shape::lower_strict: return {0, i};
    case Shape::upper: return {i + 1, m};
    case Shape::upper_diagonal: return {i, m};
  }
  return {0, 0};
}

std::size_t shortest_text(float v, char* out) {
  if (std::isnan(v)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  if (std::isinf(v)) {
    if (v > 0) {
      std::memcpy(out, "Inf", 3);
      return 3;
    }
    std::memcpy(out, "-Inf", 4);
    return 4;
  }
  return static_cast<std::size_t>(std::to_chars(out, out + 32, v).ptr - out);
}

std::string npy_header(Cells cells, std::int64_t m, bool condensed) {
  std::string dict = std::string("{'descr': '") + (cells == Cells::real ? "<f4" : "<u4") +
                     "', 'fortran_order': False, 'shape': (";
  if (condensed) {
    dict += std::to_string(m * (m - 1) / 2) + ",), }";
  } else {
    dict += std::to_string(m) + ", " + std::to_string(m) + "), }";
  }
  std::size_t total = 10 + dict.size() + 1;
  const std::size_t padded = (total + 63) / 64 * 64;
  dict.append(padded - total, ' ');
  dict += '\n';
  const std::size_t length = dict.size();
  std::string h("\x93NUMPY\x01\x00", 8);
  h += static_cast<char>(length & 0xff);
  h += static_cast<char>(length >> 8);
  return h + dict;
}

namespace {

std::string csv_label(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos && (s.empty() || (s.front() != ' ' && s.back() != ' ')))
    return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string tab_label(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string phylip_label(std::string s) {
  for (char& c : s)
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = '_';
  if (s.empty()) s = "_";
  if (s.size() < 10) s.resize(10, ' ');
  return s;
}

// Record layer integer item: a blank, a blank for a sign, the digits.
inline char* put_count_item(std::uint32_t k, char* p) {
  *p++ = ' ';
  *p++ = ' ';
  return std::to_chars(p, p + 16, k).ptr;
}

}  // namespace

// --- the writer --------------------------------------------------------------

MatrixWriter::MatrixWriter(Format format, Layout layout, Cells cells, const MatrixInfo& info, OutputFile& out,
                           unsigned threads)
    : format_(format), shape_(shape_of(format, layout)), cells_(cells), info_(info), out_(out),
      threads_(threads) {
  if (format_ != Format::npy && format_ != Format::txt) {
    labels_.reserve(info.labels->size());
    for (const std::string& l : *info.labels) {
      labels_.push_back(format_ == Format::csv ? csv_label(l)
                        : format_ == Format::phylip ? phylip_label(l)
                                                    : tab_label(l));
      longest_label_ = std::max(longest_label_, labels_.back().size());
    }
  }
}

std::size_t MatrixWriter::bytes_per_cell() const {
  if (format_ == Format::npy) return 4;
  if (format_ == Format::long_pairs) return 2 * longest_label_ + 32;
  return 17;
}

void MatrixWriter::header() {
  std::string h;
  switch (format_) {
    case Format::txt: {
      recordio::ListWriter w;
      w.begin();
      w.text(" MATRIX ");
      w.integer(info_.coefficient);
      w.text(" FROM ");
      w.text(info_.title);
      h = w.end();
      w.begin();
      w.integer(static_cast<std::int32_t>(info_.m));
      h += w.end();
      break;
    }
    case Format::phylip:
      h = std::to_string(info_.m) + "\n";
      break;
    case Format::csv:
    case Format::tsv: {
      const char sep = format_ == Format::csv ? ',' : '\t';
      for (const std::string& l : labels_) {
        h += sep;
        h += l;
      }
      h += '\n';
      break;
    }
    case Format::long_pairs:
      h = "i\tj\tvalue\tk\n";
      break;
    case Format::npy:
      h = npy_header(cells_, info_.m, shape_ == Shape::upper);
      break;
  }
  out_.write(std::move(h));
}

void MatrixWriter::format_rows(const BlockData& b, std::int64_t first, std::int64_t last, Buffer& out) const {
  const std::int64_t m = info_.m;
  std::size_t cells = 0;
  for (std::int64_t i = first; i < last; ++i) {
    const auto [f, l] = row_columns(shape_, i, m);
    cells += static_cast<std::size_t>(format_ == Format::csv || format_ == Format::tsv ? m : l - f);
  }
  const std::size_t rows = static_cast<std::size_t>(last - first);
  std::size_t size = cells * (format_ == Format::npy ? 4 : format_ == Format::long_pairs ? 2 * longest_label_ + 40 : 18) +
                     rows * (longest_label_ + 8);
  char* const start = out.reserve(size);
  char* p = start;
  auto value = [&](std::int64_t i, std::int64_t j) -> float {
    return b.values[(i - b.r0) * b.stride + (j - b.c0)];
  };
  auto count = [&](std::int64_t i, std::int64_t j) -> std::uint32_t {
    return b.counts[(i - b.r0) * b.stride + (j - b.c0)];
  };
  auto cell = [&](std::int64_t i, std::int64_t j, char* q) -> char* {
    if (cells_ == Cells::real) return q + shortest_text(value(i, j), q);
    return std::to_chars(q, q + 16, count(i, j)).ptr;
  };
  for (std::int64_t i = first; i < last; ++i) {
    const auto [f, l] = row_columns(shape_, i, m);
    switch (format_) {
      case Format::txt:
        *p++ = ' ';
        if (cells_ == Cells::real) {
          const float* row = b.values + (i - b.r0) * b.stride - b.c0;
          for (std::int64_t j = f; j < l; ++j) p += recordio::format_real(row[j], p);
        } else {
          for (std::int64_t j = f; j < l; ++j) p = put_count_item(count(i, j), p);
        }
        *p++ = '\r';
        *p++ = '\n';
        break;
      case Format::phylip: {
        const std::string& label = labels_[static_cast<std::size_t>(i)];
        std::memcpy(p, label.data(), label.size());
        p += label.size();
        for (std::int64_t j = f; j < l; ++j) {
          *p++ = ' ';
          p = cell(i, j, p);
        }
        *p++ = '\n';
        break;
      }
      case Format::csv:
      case Format::tsv: {
        const char sep = format_ == Format::csv ? ',' : '\t';
        const std::string& label = labels_[static_cast<std::size_t>(i)];
        std::memcpy(p, label.data(), label.size());
        p += label.size();
        for (std::int64_t j = 0; j < m; ++j) {
          *p++ = sep;
          if (j >= f && j < l) p = cell(i, j, p);
        }
        *p++ = '\n';
        break;
      }
      case Format::long_pairs: {
        const std::string& li = labels_[static_cast<std::size_t>(i)];
        for (std::int64_t j = f; j < l; ++j) {
          const std::string& lj = labels_[static_cast<std::size_t>(j)];
          std::memcpy(p, li.data(), li.size());
          p += li.size();
          *p++ = '\t';
          std::memcpy(p, lj.data(), lj.size());
          p += lj.size();
          *p++ = '\t';
          p = cell(i, j, p);
          *p++ = '\t';
          p = std::to_chars(p, p + 16, count(i, j)).ptr;
          *p++ = '\n';
        }
        break;
      }
      case Format::npy: {
        const std::size_t bytes = static_cast<std::size_t>(l - f) * 4;
        if (bytes == 0) break;
        const void* src = cells_ == Cells::real ? static_cast<const void*>(&b.values[(i - b.r0) * b.stride + (f - b.c0)])
                                                : static_cast<const void*>(&b.counts[(i - b.r0) * b.stride + (f - b.c0)]);
        std::memcpy(p, src, bytes);  // little-endian hosts only
        p += bytes;
        break;
      }
    }
  }
  out.size = static_cast<std::size_t>(p - start);
}

void MatrixWriter::block(const BlockData& b) {
  const std::int64_t rows = b.r1 - b.r0;
  const unsigned workers = format_ == Format::npy ? 1u : std::max(1u, threads_);
  if (workers == 1 || rows == 1) {
    Buffer text = out_.buffer();
    format_rows(b, b.r0, b.r1, text);
    out_.write(std::move(text));
    return;
  }
  // Rows split into one run per worker, by the cells they hold.
  std::vector<std::int64_t> weight(static_cast<std::size_t>(rows));
  std::int64_t total = 0;
  for (std::int64_t i = b.r0; i < b.r1; ++i) {
    const auto [f, l] = row_columns(shape_, i, info_.m);
    weight[static_cast<std::size_t>(i - b.r0)] = (l - f) + 1;
    total += (l - f) + 1;
  }
  std::vector<std::int64_t> cut{b.r0};
  std::int64_t acc = 0;
  for (std::int64_t i = b.r0; i < b.r1; ++i) {
    acc += weight[static_cast<std::size_t>(i - b.r0)];
    if (cut.size() < workers && acc * static_cast<std::int64_t>(workers) >= total * static_cast<std::int64_t>(cut.size()) &&
        i + 1 < b.r1)
      cut.push_back(i + 1);
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
          format_rows(b, cut[t], cut[t + 1], texts[t]);
        } catch (...) {
          errors[t] = std::current_exception();
        }
      });
    try {
      format_rows(b, cut[0], cut[1], texts[0]);
    } catch (...) {
      errors[0] = std::current_exception();
    }
  }
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
  for (Buffer& t : texts) out_.write(std::move(t));
}

// --- sources, progress, the loop -----------------------------------------------

void EngineSource::fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                        const std::function<void(double)>& done) {
  RunOptions run;
  run.threads = threads_;
  run.progress = [&](double fraction) {
    done(fraction);
    return true;
  };
  engine_.compute_block(b, values, stride, counts, stride, run);
}

bool TriangleSource::fits(std::int64_t m, bool values, bool counts) {
  const double cells = static_cast<double>(m) * static_cast<double>(m + 1) / 2;
  return cells * 4 * ((values ? 1 : 0) + (counts ? 1 : 0)) <= static_cast<double>(kTriangleBytes);
}

TriangleSource::TriangleSource(const Engine& engine, unsigned threads, bool values, bool counts,
                               ProgressBar& progress)
    : m_(engine.objects()) {
  const std::size_t m = static_cast<std::size_t>(m_);
  const std::size_t pairs = m * (m - 1) / 2;
  progress.set_total(static_cast<double>(pairs));
  RunOptions run;
  run.threads = threads;
  if (!counts) {
    // The whole-matrix call: each pair once, the engine's own schedule.
    run.progress = [&](double f) {
      progress.update(f * static_cast<double>(pairs));
      return true;
    };
    whole_ = engine.compute(run);
    lower_ = whole_.triangle().data();
    diag_ = whole_.diagonal().data();
    return;
  }
  if (values) {
    lower_store_.reset(new float[std::max<std::size_t>(pairs, 1)]);
    diag_store_.reset(new float[m]);
    lower_ = lower_store_.get();
    diag_ = diag_store_.get();
  }
  count_lower_.reset(new std::uint32_t[std::max<std::size_t>(pairs, 1)]);
  count_diag_.reset(new std::uint32_t[m]);
  std::vector<float> v(values ? static_cast<std::size_t>(std::max(kBlockCells, m_)) : 0);
  std::vector<std::uint32_t> k(static_cast<std::size_t>(std::max(kBlockCells, m_)));
  double done = 0;
  for (std::int64_t r0 = 0; r0 < m_;) {
    const double r = static_cast<double>(r0);
    std::int64_t rows = static_cast<std::int64_t>((-r + std::sqrt(r * r + 4.0 * static_cast<double>(kBlockCells))) / 2);
    while (rows > 1 && rows * (r0 + rows) > kBlockCells) --rows;
    rows = std::clamp<std::int64_t>(rows, 1, m_ - r0);
    const std::int64_t r1 = r0 + rows;
    const double block = static_cast<double>(rows) * static_cast<double>(r0 + r1 - 1) / 2;
    run.progress = [&](double f) {
      progress.update(done + f * block);
      return true;
    };
    engine.compute_block({r0, r1, 0, r1}, values ? v.data() : nullptr, r1, k.data(), r1, run);
    for (std::int64_t i = r0; i < r1; ++i) {
      const std::size_t ui = static_cast<std::size_t>(i);
      const std::size_t at = ui * (ui - (ui > 0 ? 1 : 0)) / 2;
      const std::size_t from = static_cast<std::size_t>((i - r0) * r1);
      if (values) {
        std::memcpy(lower_store_.get() + at, v.data() + from, ui * 4);
        diag_store_[ui] = v[from + ui];
      }
      std::memcpy(count_lower_.get() + at, k.data() + from, ui * 4);
      count_diag_[ui] = k[from + ui];
    }
    done += block;
    progress.update(done);
    r0 = r1;
  }
}

void TriangleSource::fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
                          const std::function<void(double)>&) {
  const auto cell = [&](std::int64_t i, std::int64_t j) {
    return static_cast<std::size_t>((i - b.row_begin) * stride + (j - b.col_begin));
  };
  const auto lower_row = [](std::int64_t i) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(i > 0 ? i - 1 : 0) / 2;
  };
  // Left of the diagonal: row i of the triangle; on it: the diagonal.
  for (std::int64_t i = b.row_begin; i < b.row_end; ++i) {
    const std::size_t row = lower_row(i);
    for (std::int64_t j = b.col_begin; j < std::min(b.col_end, i); ++j) {
      if (values) values[cell(i, j)] = lower_[row + static_cast<std::size_t>(j)];
      if (counts) counts[cell(i, j)] = count_lower_[row + static_cast<std::size_t>(j)];
    }
    if (i >= b.col_begin && i < b.col_end) {
      if (values) values[cell(i, i)] = diag_[i];
      if (counts) counts[cell(i, i)] = count_diag_[static_cast<std::size_t>(i)];
    }
  }
  // Right of it: (i, j) is (j, i), and row j of the triangle holds the
  // block's rows side by side: read in order, written one per row.
  for (std::int64_t j = std::max(b.col_begin, b.row_begin + 1); j < b.col_end; ++j) {
    const std::size_t row = lower_row(j);
    for (std::int64_t i = b.row_begin; i < std::min(b.row_end, j); ++i) {
      if (values) values[cell(i, j)] = lower_[row + static_cast<std::size_t>(i)];
      if (counts) counts[cell(i, j)] = count_lower_[row + static_cast<std::size_t>(i)];
    }
  }
}

namespace {
double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string clock_text(double seconds) {
  const long s = static_cast<long>(seconds);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buffer;
}
}  // namespace

ProgressBar::ProgressBar(bool shown) : shown_(shown), start_(now_seconds()) {}

ProgressBar::~ProgressBar() {
  if (shown_ && last_ >= 0) std::fputc('\n', stderr);
}

void ProgressBar::update(double done) {
  if (!shown_) return;
  const double t = now_seconds();
  if (last_ >= 0 && t - last_ < 0.1 && done < total_) return;
  last_ = t;
  const double fraction = total_ > 0 ? std::min(1.0, done / total_) : 1.0;
  const double elapsed = t - start_;
  const double rate = elapsed > 0 ? done / elapsed : 0;
  const double left = rate > 0 ? (total_ - done) / rate : 0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r[%s] %3d%%  %.3g pairs/s  %s left ", bar.c_str(), static_cast<int>(fraction * 100), rate,
               clock_text(left).c_str());
  std::fflush(stderr);
}

void write_blocks(BlockSource& source, std::vector<MatrixWriter*> writers, ProgressBar& progress) {
  const std::int64_t m = source.size();
  const Shape shape = writers.front()->shape();
  bool values_needed = false, counts_needed = false;
  std::size_t bytes = 4;
  for (MatrixWriter* w : writers) {
    values_needed |= w->needs_values();
    counts_needed |= w->needs_counts();
    bytes = std::max(bytes, w->bytes_per_cell());
    w->header();
  }
  const std::int64_t budget = std::max<std::int64_t>(1, std::min<std::int64_t>(kBlockCells, kBlockText / static_cast<std::int64_t>(bytes)));
  const std::int64_t capacity = std::max(budget, m);
  std::vector<float> values(values_needed ? static_cast<std::size_t>(capacity) : 0);
  std::vector<std::uint32_t> counts(counts_needed ? static_cast<std::size_t>(capacity) : 0);

  double total = 0;
  for (std::int64_t i = 0; i < m; ++i) {
    const auto [f, l] = row_columns(shape == Shape::lower_strict ? Shape::lower : shape, i, m);
    total += static_cast<double>(l - f);
  }
  progress.set_total(total);
  double done = 0;
  std::int64_t r0 = 0;
  while (r0 < m) {
    std::int64_t rows = 1;
    switch (shape) {
      case Shape::square: rows = budget / m; break;
      case Shape::upper:
      case Shape::upper_diagonal: rows = budget / (m - r0); break;
      case Shape::lower:
      case Shape::lower_strict: {
        // rows * (r0 + rows) cells at most
        const double r = static_cast<double>(r0);
        rows = static_cast<std::int64_t>((-r + std::sqrt(r * r + 4.0 * static_cast<double>(budget))) / 2);
        while (rows > 1 && rows * (r0 + rows) > budget) --rows;
        break;
      }
    }
    rows = std::clamp<std::int64_t>(rows, 1, m - r0);
    BlockData b;
    b.r0 = r0;
    b.r1 = r0 + rows;
    switch (shape) {
      case Shape::square: b.c0 = 0, b.c1 = m; break;
      case Shape::lower:
      case Shape::lower_strict: b.c0 = 0, b.c1 = b.r1; break;
      case Shape::upper:
      case Shape::upper_diagonal: b.c0 = r0, b.c1 = m; break;
    }
    b.stride = b.c1 - b.c0;
    b.values = values_needed ? values.data() : nullptr;
    b.counts = counts_needed ? counts.data() : nullptr;
    double cells = 0;  // the cells the block's rows hold, as the total counts them
    for (std::int64_t i = b.r0; i < b.r1; ++i) {
      const auto [f, l] = row_columns(shape == Shape::lower_strict ? Shape::lower : shape, i, m);
      cells += static_cast<double>(l - f);
    }
    source.fill({b.r0, b.r1, b.c0, b.c1}, values_needed ? values.data() : nullptr,
                counts_needed ? counts.data() : nullptr, b.stride,
                [&](double fraction) { progress.update(done + fraction * cells); });
    for (MatrixWriter* w : writers) w->block(b);
    done += cells;
    progress.update(done);
    r0 = b.r1;
  }
}

}  // namespace tessora::cli
