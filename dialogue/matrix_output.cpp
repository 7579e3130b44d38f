#include "dialogue/matrix_output.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "dialogue/datafile.hpp"
#include "engine/worker_pool.hpp"
#include "recordio/real_text.hpp"

namespace tessora::dialogue {

using engine::WorkerPool;

namespace {

std::size_t row_length(std::size_t i, std::size_t m, bool full) { return full ? m : i + 1; }

// The plain writer: one item per value, each formatted on its own from the
// exact decimal digits that the standard library gives. Kept as the baseline
// that the fast writer is measured and checked against.
void write_rows_plain(recordio::Runtime& rt, const tessora::Matrix& res, std::size_t m, bool full) {
  for (std::size_t i = 0; i < m; ++i) {
    rt.begin_write(kFileUnit);
    for (std::size_t j = 0; j < row_length(i, m, full); ++j)
      rt.write_formatted_reals(recordio::format_real_reference(res(static_cast<std::int64_t>(i), static_cast<std::int64_t>(j))));
    rt.end_write();
  }
}

// The rows of the matrix are formatted in blocks by worker threads while the
// run's thread hands finished blocks, in order, to the record layer: each row
// one write statement, the same bytes as the plain path. A block is split
// into one part per worker; parts are taken in order, and a ring of slots
// bounds the text held at once.
class ParallelRowWriter {
 public:
  ParallelRowWriter(const tessora::Matrix& res, std::size_t m, bool full)
      : res_(res), m_(m), full_(full) {
    workers_ = WorkerPool::shared().size();
    // About 2 MB of text a block, and at least 16 rows where that stays
    // within 8 MB, so that each gathered cache line serves many rows; no more
    // workers than rows in a block, which bounds the text held at once.
    constexpr std::size_t kBlockValues = std::size_t{1} << 17;
    const std::size_t by_values = std::max<std::size_t>(1, kBlockValues / m);
    const std::size_t floor = std::max<std::size_t>(1, (std::size_t{1} << 19) / m);
    block_rows_ = std::min(m, std::max(by_values, std::min<std::size_t>(16, floor)));
    blocks_ = (m + block_rows_ - 1) / block_rows_;
    workers_ = std::min(workers_, block_rows_);
    // A part takes rows until it holds its share of the block's values, so
    // it has less than one row more than an even share (rows of the lower
    // layout differ in length, and a part may take many short ones).
    const std::size_t rows_each = (block_rows_ + workers_ - 1) / workers_;
    for (Slot& slot : slots_) {
      slot.parts.resize(workers_);
      for (Part& part : slot.parts) {
        part.text.reset(new char[(rows_each + 1) * m * recordio::kMaxRealText]);
        part.ends.resize(block_rows_);
        if (full) part.upper.reset(new float[rows_each * m]);
      }
    }
  }

  template <class Put>
  void run(Put&& put_row) {
    std::unique_ptr<WorkerPool::Batch> batch;
    // Whatever way this ends (a failed write ends the run from inside put_row),
    // the workers are told to stop before they are waited for.
    struct Stopper {
      ParallelRowWriter& w;
      ~Stopper() {
        {
          std::lock_guard lock(w.mutex_);
          w.stopping_ = true;
        }
        w.changed_.notify_all();
      }
    };
    Stopper stopper{*this};
    batch = WorkerPool::shared().start(static_cast<unsigned>(workers_), [this](unsigned) { work(); });
    for (std::size_t b = 0; b < blocks_; ++b) {
      Slot& slot = slots_[b % kSlots];
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slot.done == workers_; });
      }
      for (const Part& part : slot.parts) {
        std::size_t begin = 0;
        for (std::size_t i = part.first; i < part.last; ++i) {
          const std::size_t end = part.ends[i - part.first];
          put_row(std::string_view(part.text.get() + begin, end - begin));
          begin = end;
        }
      }
      {
        std::lock_guard lock(mutex_);
        slot.done = 0;
        written_ = b + 1;
      }
      changed_.notify_all();
    }
  }

 private:
  static constexpr std::size_t kSlots = 3;
  struct Part {
    std::size_t first = 0, last = 0;
    std::unique_ptr<char[]> text;    // the rows' text, one after another
    std::vector<std::size_t> ends;   // where each row's text ends
    std::unique_ptr<float[]> upper;  // each row's values right of the diagonal
  };
  struct Slot {
    std::vector<Part> parts;
    std::size_t done = 0;  // parts formatted
  };

  void work() {
    for (;;) {
      const std::size_t task = next_task_.fetch_add(1);
      const std::size_t b = task / workers_;
      if (b >= blocks_) return;
      Slot& slot = slots_[b % kSlots];
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || written_ + kSlots > b; });
        if (stopping_) return;
      }
      split(slot.parts[task % workers_], b, task % workers_);
      format_part(slot.parts[task % workers_]);
      {
        std::lock_guard lock(mutex_);
        ++slot.done;
      }
      changed_.notify_all();
    }
  }

  // Part t of block b: its share of the block's rows, by their values.
  void split(Part& part, std::size_t b, std::size_t t) const {
    const std::size_t first = b * block_rows_;
    const std::size_t last = std::min(m_, first + block_rows_);
    std::size_t values = 0;
    for (std::size_t i = first; i < last; ++i) values += row_length(i, m_, full_);
    const std::size_t share = (values + workers_ - 1) / workers_;
    std::size_t row = first;
    for (std::size_t u = 0; u <= t; ++u) {
      part.first = row;
      std::size_t taken = 0;
      while (row < last && taken < share) taken += row_length(row++, m_, full_);
      part.last = row;
    }
  }

  void format_part(Part& part) const {
    const std::size_t rows = part.last - part.first;
    if (rows == 0) return;
    float* upper = part.upper.get();
    if (full_) {
      // Right of the diagonal, row i's values are in the lower rows of the
      // later objects: gathered column by column, the packed triangle is read
      // in order and not one cache line a value.
      for (std::size_t j = part.first + 1; j < m_; ++j) {
        const float* column = res_.lower_row(static_cast<std::int64_t>(j)).data();
        const std::size_t end = std::min(part.last, j);
        for (std::size_t i = part.first; i < end; ++i) upper[(i - part.first) * m_ + j] = column[i];
      }
    }
    char* const text = part.text.get();
    char* p = text;
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t i = part.first + r;
      const float* lower = res_.lower_row(static_cast<std::int64_t>(i)).data();
      for (std::size_t j = 0; j < i; ++j) p += recordio::format_real(lower[j], p);
      p += recordio::format_real(res_.diagonal()[i], p);
      if (full_) {
        const float* right = upper + r * m_;
        for (std::size_t j = i + 1; j < m_; ++j) p += recordio::format_real(right[j], p);
      }
      part.ends[r] = static_cast<std::size_t>(p - text);
    }
  }

  const tessora::Matrix& res_;
  std::size_t m_;
  bool full_;
  std::size_t workers_ = 1, block_rows_ = 1, blocks_ = 0;
  Slot slots_[kSlots];
  std::atomic<std::size_t> next_task_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t written_ = 0;  // blocks handed to the record layer
  bool stopping_ = false;
};

void write_rows_parallel(recordio::Runtime& rt, const tessora::Matrix& res, std::size_t m,
                         bool full) {
  if (m == 0) return;
  ParallelRowWriter writer(res, m, full);
  writer.run([&](std::string_view row) {
    rt.begin_write(kFileUnit);
    rt.write_formatted_reals(row);
    rt.end_write();
  });
}

}  // namespace

void open_matrix_file(recordio::Runtime& rt, std::int32_t coefficient, const std::string& title,
                      std::int32_t m) {
  rt.open(kFileUnit, kMatrixFileName, /*create=*/true);
  rt.begin_write(kFileUnit);
  rt.write_item(std::string_view(" MATRIX "));
  rt.write_item(coefficient);
  rt.write_item(std::string_view(" FROM "));
  rt.write_item(std::string_view(title));
  rt.end_write();
  rt.begin_write(kFileUnit);
  rt.write_item(m);
  rt.end_write();
}

void write_matrix_rows(recordio::Runtime& rt, const tessora::Matrix& res, bool full, bool plain_rows) {
  const std::size_t rows = res.size() > 0 ? static_cast<std::size_t>(res.size()) : 0;
  if (plain_rows) {
    write_rows_plain(rt, res, rows, full);
  } else {
    write_rows_parallel(rt, res, rows, full);
  }
  rt.close(kFileUnit);
}

}  // namespace tessora::dialogue
