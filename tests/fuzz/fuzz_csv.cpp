// Fuzz target: the command line's CSV/TSV reader.
//
// Input: byte 0 picks the separator (bit 0), the objects (bit 1) and a
// missing-value marker (bit 2: -1); the rest is the table's text. Every
// input is read or refused with a Failure of status 1 naming the file; a
// table read has one label per object and objects x variables values.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/failure.hpp"
#include "cli/table_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  tessora::cli::CsvSettings s;
  s.separator = (data[0] & 1) ? '\t' : ',';
  s.objects_are_rows = (data[0] & 2) == 0;
  s.has_marker = (data[0] & 4) != 0;
  s.marker = -1.0f;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  tessora::cli::TextLines lines(text);
  try {
    const tessora::cli::Table t = tessora::cli::read_csv(lines, "fuzz.csv", s);
    const auto& v = t.view;
    if (v.objects < 0 || v.variables < 0 || t.labels.size() != static_cast<std::size_t>(v.objects) ||
        t.values.size() != static_cast<std::size_t>(v.objects * v.variables) || t.title.size() != 100)
      std::abort();
    for (float x : t.values)
      if (s.has_marker && x == -1.0f) std::abort();  // the marker is stored as NaN
  } catch (const tessora::cli::Failure& f) {
    if (f.status() != tessora::cli::kExitData || std::string(f.what()).rfind("fuzz.csv", 0) != 0) std::abort();
  }
  return 0;
}
