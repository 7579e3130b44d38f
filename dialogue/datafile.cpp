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

// n·m values, or nothing along a dimension of 0 or less; a size beyond what
// can be addressed is an allocation failure, never a wrong-sized buffer.
Floats allocate_values(recordio::Runtime& rt, std::int32_t n, std::int32_t m) {
  const std::uint64_t rows = n > 0 ? static_cast<std::uint64_t>(n) : 0;
  const std::uint64_t cols = m > 0 ? static_cast<std::uint64_t>(m) : 0;
  const std::uint64_t count = rows * cols;  // both below 2^31: no overflow
  if (count > Floats().max_size()) rt.fail(recordio::err::kBufferAllocation);
  // Ask the C allocator first: its refusal is an answer in every build,
  // where a failing operator new under AddressSanitizer aborts the process
  // instead of throwing, so the report could not be tested there.
  if (count > 0) {
    void* probe = std::malloc(static_cast<std::size_t>(count) * sizeof(float));
    if (probe == nullptr) rt.fail(recordio::err::kBufferAllocation);
    std::free(probe);
  }
  try {
    return Floats(static_cast<std::size_t>(count));  // zeros: a null value leaves an item at 0
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  rt.fail(recordio::err::kBufferAllocation);
}

}  // namespace

DataFile read_data_file(recordio::Runtime& rt, std::int32_t orientation) {
  DataFile file;
  file.title.assign(kTextLength, ' ');
  rt.read_record_text(kFileUnit, file.title.data(), kTextLength);

  std::int32_t rows = 0;
  std::int32_t cols = 0;
  rt.begin_read(kFileUnit);
  rt.read_item(rows);
  rt.read_item(cols);
  rt.end_read();

  DataMatrix& d = file.data;
  d.n = orientation == 0 ? rows : cols;
  d.m = orientation == 0 ? cols : rows;
  d.x = allocate_values(rt, d.n, d.m);

  // Row r of the table is one read statement of C values: with orientation 0
  // they are variable r of every object, otherwise the n values of object r.
  const std::size_t count = cols > 0 ? static_cast<std::size_t>(cols) : 0;
  for (std::int32_t r = 0; r < rows; ++r) {
    rt.begin_read(kFileUnit);
    if (orientation == 0) {
      rt.read_items_strided(d.x.data() + r, count, static_cast<std::size_t>(d.n));
    } else {
      rt.read_items(std::span<float>(d.x.data() + static_cast<std::size_t>(r) * count, count));
    }
    rt.end_read();
  }
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
