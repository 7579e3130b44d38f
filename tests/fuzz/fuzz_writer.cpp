// Fuzz target: the written form of single-precision reals.
//
// Input: byte 0 picks what stands before the reals in the record (nothing, a
// text item, an integer item); then every 4 bytes are one float32 bit
// pattern. Every value must give the text of the plain reference, and a
// record of all the values must come out the same whether the values are
// written one item at a time, through the row fast path, or as text formatted
// beforehand.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "recordio/real_text.hpp"
#include "recordio/runtime.hpp"

namespace {

using tessora::fuzz::check;
using tessora::fuzz::fail;
using tessora::fuzz::ScriptedHooks;
using tessora::recordio::kConsole;
using tessora::recordio::RunEnded;
using tessora::recordio::Runtime;

enum class Path { item_by_item, row, preformatted };

std::vector<std::string> write_record(std::uint8_t prefix, std::span<const float> values, Path path) {
  ScriptedHooks hooks;
  Runtime rt(hooks);
  try {
    rt.begin_write(kConsole);
    switch (prefix % 4) {
      case 1: rt.write_item(std::string_view(" ROW")); break;
      case 2: rt.write_item(std::int32_t{-7}); break;
      case 3: rt.write_item(std::string_view("")); break;
      default: break;
    }
    switch (path) {
      case Path::item_by_item:
        for (float v : values) rt.write_item(v);
        break;
      case Path::row:
        rt.write_items(values);
        break;
      case Path::preformatted: {
        std::string text;
        char buf[tessora::recordio::kMaxRealText];
        for (float v : values) text.append(buf, tessora::recordio::format_real(v, buf));
        rt.write_formatted_reals(text);
        break;
      }
    }
    if (prefix & 4) rt.write_item(std::string_view(" END"));
    rt.end_write();
  } catch (const RunEnded&) {
    fail("a console write ended the run");
  }
  return hooks.pieces();
}

std::string joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const auto& p : pieces) all += p + "|";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t prefix = data[0];
  std::vector<float> values((size - 1) / 4);
  if (!values.empty()) std::memcpy(values.data(), data + 1, values.size() * 4);

  char buf[tessora::recordio::kMaxRealText + 8];
  for (float v : values) {
    std::memset(buf, '#', sizeof buf);
    const std::size_t n = tessora::recordio::format_real(v, buf);
    check(n <= tessora::recordio::kMaxRealText, "format_real wrote past its longest item");
    const std::string fast(buf, n);
    const std::string plain = tessora::recordio::format_real_reference(v);
    if (fast != plain) fail("format_real differs from format_real_reference", fast, plain);
  }

  const auto one = write_record(prefix, values, Path::item_by_item);
  const auto row = write_record(prefix, values, Path::row);
  if (one != row) fail("write_items differs from write_item per value", joined(one), joined(row));
  const auto pre = write_record(prefix, values, Path::preformatted);
  if (one != pre) fail("write_formatted_reals differs from write_item per value", joined(one), joined(pre));
  return 0;
}
