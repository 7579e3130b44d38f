// Fuzz target: the free-form reader on the bytes of a data file.
//
// Input: byte 0 picks the TABSIZE setting, byte 1 the item types of a mixed
// pass, the rest is the data file. The file is read as the program reads its
// data file (title record, dimensions, rows) three times, with the row read
// item by item, with the contiguous fast path and with the strided fast path:
// the three must give the same title, dimensions, values (bit for bit),
// report and exit code. A fourth pass reads the same bytes with items of
// mixed types, to reach the integer and text conversions as well.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "recordio/runtime.hpp"

namespace {

using tessora::fuzz::check;
using tessora::fuzz::fail;
using tessora::fuzz::ScriptedHooks;
using tessora::recordio::RunEnded;
using tessora::recordio::Runtime;

constexpr int kUnit = 1;
constexpr const char* kFileName = "FUZZ.TXT";
// Items per row and rows are bounded so that a repeat count of 2^31 - 1, or
// a dimension near 2^31 with no values, cannot keep one input running.
constexpr std::int32_t kMaxColumns = 512;
constexpr std::int32_t kMaxRows = 256;

// TABSIZE values: unset, small sizes, the ones the reader must treat as the
// default (not a positive number, or 20 characters or more), and one so
// large that a tab cannot be expanded. Sizes of millions are left out: they
// are valid, and only make every tab cost megabytes.
const char* const kTabSizes[] = {
    nullptr, "1", "2", "3", "4", "5", "7", "8", "9", "16", "0", "-3", "+4", "x", "", " 5", "4x",
    "99999999999999999999", "9999999999999999999", "1000", "-2147483648", "+0",
};

enum class RowPath { item_by_item, contiguous, strided };

struct Outcome {
  std::string title;
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::vector<std::uint32_t> bits;  // the values of every completed row
  int code = 1;                     // RunEnded code; 1: the run did not end
  std::string transcript;
};

std::uint32_t bits_of(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

Outcome read_as_data_file(RowPath path) {
  Outcome out;
  ScriptedHooks hooks;
  {
    Runtime rt(hooks);
    try {
      int status = -99;
      rt.open(kUnit, kFileName, /*create=*/false, &status);
      check(status == 0, "the scratch data file does not open");
      char title[100];
      std::memset(title, '#', sizeof title);
      rt.read_record_text(kUnit, title, sizeof title);
      out.title.assign(title, sizeof title);

      rt.begin_read(kUnit);
      rt.read_item(out.rows);
      rt.read_item(out.cols);
      rt.end_read();

      const std::int32_t cols = std::clamp(out.cols, 0, kMaxColumns);
      const std::int32_t rows = std::clamp(out.rows, 0, kMaxRows);
      // Sentinel values show an item that was left alone (a null value).
      std::vector<float> row(static_cast<std::size_t>(cols), 0.25f);
      std::vector<float> strided(static_cast<std::size_t>(cols) * 3 + 3, 0.25f);
      for (std::int32_t r = 0; r < rows; ++r) {
        rt.begin_read(kUnit);
        switch (path) {
          case RowPath::item_by_item:
            for (float& v : row) rt.read_item(v);
            break;
          case RowPath::contiguous:
            rt.read_items(std::span<float>(row));
            break;
          case RowPath::strided:
            rt.read_items_strided(strided.data() + 1, row.size(), 3);
            for (std::size_t c = 0; c < row.size(); ++c) row[c] = strided[1 + 3 * c];
            break;
        }
        rt.end_read();
        for (float v : row) out.bits.push_back(bits_of(v));
      }
      if (path == RowPath::strided) {
        // The strided path must touch only its own slots.
        for (std::size_t c = 0; c < strided.size(); ++c) {
          if (c % 3 != 1) check(bits_of(strided[c]) == bits_of(0.25f), "strided read wrote outside its slots");
        }
      }
      rt.close(kUnit);
    } catch (const RunEnded& end) {
      out.code = end.code;
    }
  }
  out.transcript = hooks.transcript();
  return out;
}

// Items of all three types, picked by `plan`, over the same bytes.
void read_mixed(std::uint8_t plan) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  try {
    int status = -99;
    rt.open(kUnit, kFileName, false, &status);
    check(status == 0, "the scratch data file does not open");
    for (int statement = 0; statement < 64; ++statement) {
      rt.begin_read(kUnit);
      const int items = 1 + (plan + statement) % 5;
      for (int i = 0; i < items; ++i) {
        switch ((plan >> (i % 4)) % 3) {
          case 0: {
            std::int32_t v = 0;
            rt.read_item(v);
            break;
          }
          case 1: {
            float v = 0;
            rt.read_item(v);
            break;
          }
          default: {
            char text[7];
            rt.read_item(text, (plan % 7) + 1);  // lengths 1 to 7
            break;
          }
        }
      }
      rt.end_read();
    }
    rt.close(kUnit);
  } catch (const RunEnded&) {
  }
}

void same(const Outcome& a, const Outcome& b, const char* what) {
  if (a.title != b.title) fail(what, a.title, b.title);
  if (a.rows != b.rows || a.cols != b.cols) fail(what);
  if (a.bits != b.bits) fail(what);
  if (a.code != b.code) fail(what);
  if (a.transcript != b.transcript) fail(what, a.transcript, b.transcript);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tessora::fuzz::enter_private_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const char* tab = kTabSizes[data[0] % std::size(kTabSizes)];
  if (tab) ::setenv("TABSIZE", tab, 1); else ::unsetenv("TABSIZE");
  const std::uint8_t plan = data[1];
  tessora::fuzz::write_file(kFileName,
                            std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));

  const Outcome one = read_as_data_file(RowPath::item_by_item);
  check(one.code == 1 || one.code == -1, "a read ended the run with a code other than -1");
  same(one, read_as_data_file(RowPath::contiguous), "contiguous row read differs from item by item");
  same(one, read_as_data_file(RowPath::strided), "strided row read differs from item by item");
  read_mixed(plan);
  return 0;
}
