// The tables the command line reads: the data file (with every reading rule
// of the dialogue, through the record layer) and CSV/TSV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/matrices.hpp"
#include "tessora/table.hpp"

namespace tessora::cli {

// A table read into memory, with the view the engine takes.
struct Table {
  engine::Floats values;
  TableView view;
  std::vector<std::string> labels;  // one per object
  std::string title;                // the data file's first line, 100 characters, blank-padded
};

// Lines of text, without their line feed.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line (valid until the next call), or false at the end.
  virtual bool next(std::string_view& line) = 0;
};

// Lines of a text in memory.
class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : rest_(text) {}
  bool next(std::string_view& line) override;

 private:
  std::string_view rest_;
  bool done_ = false;
};

// Lines of an open file; a failed read throws Failure naming `name`.
class FileLines final : public LineSource {
 public:
  FileLines(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
  ~FileLines() override;
  bool next(std::string_view& line) override;

 private:
  std::FILE* file_;
  std::string name_;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

struct CsvSettings {
  char separator = ',';
  bool objects_are_rows = true;
  bool has_marker = false;  // cells equal to `marker` are missing too
  float marker = 0;
};

// CSV or TSV: a header line (a corner cell, then the column names), then one
// line per row (its name, then its values). Missing cells (empty, NA, NaN,
// and the marker) are stored as NaN. Throws Failure (status 1) naming
// name:line:column for a table error.
Table read_csv(LineSource& lines, const std::string& name, const CsvSettings& settings);

// The data file: title, dimensions R and C, R rows of C values, read by the
// record layer's free-form rules exactly as the dialogue reads it. Objects
// are the columns unless `objects_are_rows`. `path` "-" reads standard input.
Table read_data_table(const std::string& path, bool objects_are_rows, Missing missing);

// The display name of an input path ("standard input" for "-").
std::string display_name(const std::string& path);

}  // namespace tessora::cli
