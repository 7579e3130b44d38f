#include "dialogue/datafile.hpp"

#include "tessora/engine.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>
#include <span>
#include <vector>

namespace tessora::dialogue {

bool open_data_file(recordio::Runtime& rt, const std::string& name) {
  int status = 0;
  rt.open(kFileUnit, name, /*create=*/false, &status);
  return status == 0;
}

namespace {

// The refusal of the values; no_memory() does not return.
[[noreturn]] void refuse(DataStatements& st, std::int32_t rows, std::int32_t cols) {
  st.no_memory(rows, cols);
  throw std::bad_alloc();
}

// n·m values, or nothing along a dimension of 0 or less; a size beyond what
// can be addressed is an allocation failure, never a wrong-sized buffer.
Floats allocate_values(DataStatements& st, std::int32_t n, std::int32_t m, std::int32_t rows, std::int32_t cols) {
  const std::uint64_t vars = n > 0 ? static_cast<std::uint64_t>(n) : 0;
  const std::uint64_t objects = m > 0 ? static_cast<std::uint64_t>(m) : 0;
  const std::uint64_t count = vars * objects;  // both below 2^31: no overflow
  if (count > Floats().max_size()) refuse(st, rows, cols);
  // Ask the C allocator first: its refusal is an answer in every build,
  // where a failing operator new under AddressSanitizer aborts the process
  // instead of throwing, so the report could not be tested there.
  if (count > 0) {
    void* probe = std::malloc(static_cast<std::size_t>(count) * sizeof(float));
    if (probe == nullptr) refuse(st, rows, cols);
    std::free(probe);
  }
  try {
    return Floats(static_cast<std::size_t>(count));  // zeros: a null value leaves an item at 0
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  refuse(st, rows, cols);
}

// The statements on the file unit: every failing step is the record
// layer's report.
class UnitStatements final : public DataStatements {
 public:
  explicit UnitStatements(recordio::Runtime& rt) : rt_(rt) {}
  void title(char* text, std::size_t length) override { rt_.read_record_text(kFileUnit, text, length); }
  void begin() override { rt_.begin_read(kFileUnit); }
  void item(std::int32_t& value) override { rt_.read_item(value); }
  void items(float* out, std::size_t count, std::size_t stride) override {
    if (stride == 1) {
      rt_.read_items(std::span<float>(out, count));
    } else {
      rt_.read_items_strided(out, count, stride);
    }
  }
  void end() override { rt_.end_read(); }
  [[noreturn]] void no_memory(std::int32_t, std::int32_t) override { rt_.fail(recordio::err::kBufferAllocation); }

 private:
  recordio::Runtime& rt_;
};

}  // namespace

DataFile read_data_file(DataStatements& st, std::int32_t orientation) {
  DataFile file;
  file.title.assign(kTextLength, ' ');
  st.title(file.title.data(), kTextLength);

  std::int32_t rows = 0;
  std::int32_t cols = 0;
  st.begin();
  st.item(rows);
  st.item(cols);
  st.end();

  DataMatrix& d = file.data;
  d.n = orientation == 0 ? rows : cols;
  d.m = orientation == 0 ? cols : rows;
  d.x = allocate_values(st, d.n, d.m, rows, cols);

  // Row r of the table is one read statement of C values: with orientation 0
  // they are variable r of every object, otherwise the n values of object r.
  const std::size_t count = cols > 0 ? static_cast<std::size_t>(cols) : 0;
  for (std::int32_t r = 0; r < rows; ++r) {
    st.begin();
    if (orientation == 0) {
      st.items(d.x.data() + r, count, d.stride());
    } else {
      st.items(d.x.data() + static_cast<std::size_t>(r) * count, count, 1);
    }
    st.end();
  }
  return file;
}

DataFile read_data_file(recordio::Runtime& rt, std::int32_t orientation) {
  UnitStatements statements(rt);
  DataFile file = read_data_file(statements, orientation);
  rt.close(kFileUnit);
  return file;
}

namespace {

void report_pair(recordio::Runtime& rt, std::int32_t i, std::int32_t j) {
  rt.begin_write(recordio::kConsole);
  rt.write_item(std::string_view("   OBJECTS "));
  rt.write_item(i);
  rt.write_item(j);
  rt.write_item(std::string_view(" ARE INCOMPARABLE"));
  rt.end_write();
}

}  // namespace

bool report_incomparable_pairs_reference(recordio::Runtime& rt, const DataMatrix& data) {
  bool found = false;
  for (std::int32_t i = 1; i < data.m; ++i) {
    for (std::int32_t j = i + 1; j <= data.m; ++j) {
      std::int32_t missing = 0;
      for (std::int32_t v = 0; v < data.n; ++v) {
        if (!known(data.at(v, i - 1)) || !known(data.at(v, j - 1))) ++missing;
      }
      if (missing == data.n) {
        report_pair(rt, i, j);
        found = true;
      }
    }
  }
  return found;
}

bool report_incomparable_pairs(recordio::Runtime& rt, const DataMatrix& data) {
  if (data.m < 2 || data.n < 0) return false;  // no pair, or no count can equal n
  bool found = false;
  try {
    tessora::for_each_incomparable_pair(as_view(data), [&](std::int64_t i, std::int64_t j) {
      report_pair(rt, static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(j + 1));
      found = true;
      return true;
    });
  } catch (const std::bad_alloc&) {
    rt.fail(recordio::err::kBufferAllocation);
  }
  return found;
}

tessora::TableView as_view(const DataMatrix& data) {
  return {data.x.data(), std::max<std::int64_t>(data.m, 0), std::max<std::int64_t>(data.n, 0),
          std::max<std::int64_t>(data.n, 0), 1, tessora::Missing::value(kMissing)};
}

}  // namespace tessora::dialogue
