#include "cli/table_input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "cli/failure.hpp"
#include "dialogue/datafile.hpp"
#include "recordio/list_input.hpp"
#include "recordio/messages.hpp"
#include "recordio/runtime.hpp"
#include "recordio/units.hpp"
#include "recordio/value_text.hpp"

namespace tessora::cli {

std::string display_name(const std::string& path) { return path == "-" ? "standard input" : path; }

bool TextLines::next(std::string_view& line) {
  if (done_) return false;
  const std::size_t feed = rest_.find('\n');
  if (feed == std::string_view::npos) {
    done_ = true;
    if (rest_.empty()) return false;
    line = rest_;
    return true;
  }
  line = rest_.substr(0, feed);
  rest_.remove_prefix(feed + 1);
  return true;
}

FileLines::~FileLines() { std::free(buffer_); }

bool FileLines::next(std::string_view& line) {
  errno = 0;
  const ssize_t got = ::getline(&buffer_, &capacity_, file_);
  if (got < 0) {
    if (std::ferror(file_))
      data_error("cannot read " + name_ + ": " + std::strerror(errno ? errno : EIO));
    return false;
  }
  std::size_t length = static_cast<std::size_t>(got);
  if (length > 0 && buffer_[length - 1] == '\n') --length;
  line = std::string_view(buffer_, length);
  return true;
}

namespace {

struct Cell {
  std::string_view text;  // blanks around it removed, quotes undone
  std::size_t column;     // 1-based byte position where the cell starts
  bool quoted;
};

std::string where(const std::string& name, std::size_t line, std::size_t column) {
  return name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
}

// A cell's text in messages: at most 40 characters, control characters shown as '?'.
std::string shown(std::string_view text) {
  std::string s(text.substr(0, 40));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  if (text.size() > 40) s += "...";
  return "'" + s + "'";
}

class CsvParser {
 public:
  CsvParser(const std::string& name, const CsvSettings& settings) : name_(name), settings_(settings) {}

  // Splits `line` (line number `number`) into cells.
  void split(std::string_view line, std::size_t number, std::vector<Cell>& cells) {
    cells.clear();
    unquoted_.clear();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const char sep = settings_.separator;
    std::size_t pos = 0;
    // Quoted cells are unquoted into one buffer; reserve it so that views stay valid.
    unquoted_.reserve(line.size());
    for (;;) {
      std::size_t start = pos;
      while (start < line.size() && is_blank(line[start])) ++start;
      if (start < line.size() && line[start] == '"') {
        const std::size_t begin = unquoted_.size();
        std::size_t p = start + 1;
        for (;;) {
          if (p >= line.size())
            data_error(where(name_, number, start + 1) + "a quoted cell has no closing quote");
          if (line[p] == '"') {
            if (p + 1 < line.size() && line[p + 1] == '"') {
              unquoted_.push_back('"');
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          unquoted_.push_back(line[p++]);
        }
        while (p < line.size() && is_blank(line[p])) ++p;
        if (p < line.size() && line[p] != sep)
          data_error(where(name_, number, p + 1) + "text after a quoted cell's closing quote");
        cells.push_back({std::string_view(unquoted_).substr(begin), start + 1, true});
        if (p >= line.size()) return;
        pos = p + 1;
        continue;
      }
      std::size_t end = line.find(sep, start);
      const bool last = end == std::string_view::npos;
      if (last) end = line.size();
      std::size_t stop = end;
      while (stop > start && is_blank(line[stop - 1])) --stop;
      cells.push_back({line.substr(start, stop - start), start + 1, false});
      if (last) return;
      pos = end + 1;
    }
  }

  // A value cell: NaN for a missing one.
  float value(const Cell& cell, std::size_t number) const {
    std::string_view t = cell.text;
    if (t.empty() || t == "NA" || t == "NaN" || t == "nan" || t == "NAN") return NAN;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') ++first;
    float v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (end != last || (ec != std::errc() && ec != std::errc::result_out_of_range) || first == last)
      data_error(where(name_, number, cell.column) + shown(cell.text) + " is not a number");
    if (ec == std::errc::result_out_of_range) {
      // Beyond the largest float is an error; below the smallest rounds to
      // the nearest float (zero or a subnormal), as strtof does.
      const std::string text(first, last);
      errno = 0;
      const double d = std::strtod(text.c_str(), nullptr);
      if (std::fabs(d) >= 1.0)
        data_error(where(name_, number, cell.column) + shown(cell.text) +
                   " is out of the float range (at most 3.4028235e+38 in magnitude)");
      v = std::strtof(text.c_str(), nullptr);
    }
    if (std::isnan(v)) return NAN;
    if (settings_.has_marker && v == settings_.marker) return NAN;
    return v;
  }

 private:
  bool is_blank(char c) const { return c == ' ' || (c == '\t' && settings_.separator != '\t'); }

  const std::string& name_;
  const CsvSettings& settings_;
  std::string unquoted_;
};

bool blank_line(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

}  // namespace

Table read_csv(LineSource& lines, const std::string& name, const CsvSettings& settings) {
  CsvParser parser(name, settings);
  std::vector<Cell> cells;
  std::string_view line;
  std::size_t number = 0;
  std::vector<std::string> column_names, row_names;
  bool header = false;
  while (lines.next(line)) {
    ++number;
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // a byte order mark
    if (blank_line(line)) continue;
    parser.split(line, number, cells);
    header = true;
    for (std::size_t c = 1; c < cells.size(); ++c) column_names.emplace_back(cells[c].text);
    break;
  }
  if (!header) data_error(name + ": no header line (the names of the columns)");
  const std::size_t cols = column_names.size();

  Table table;
  try {
    while (lines.next(line)) {
      ++number;
      if (blank_line(line)) continue;
      parser.split(line, number, cells);
      if (cells.size() != cols + 1) {
        const std::size_t column = cells.size() > cols + 1 ? cells[cols + 1].column : line.size() + 1;
        data_error(where(name, number, column) + "row " + shown(cells[0].text) + " has " +
                   std::to_string(cells.size() - 1) + " values where the header line names " +
                   std::to_string(cols) + " columns");
      }
      row_names.emplace_back(cells[0].text);
      for (std::size_t c = 1; c <= cols; ++c) table.values.push_back(parser.value(cells[c], number));
    }
  } catch (const std::bad_alloc&) {
    data_error(name + ": the table does not fit in memory");
  }
  const std::size_t rows = row_names.size();
  const auto limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  if (rows > limit || cols > limit) data_error(name + ": more than 2147483647 rows or columns");
  table.view = TableView::row_major(table.values.data(), static_cast<std::int64_t>(rows),
                                    static_cast<std::int64_t>(cols), settings.objects_are_rows,
                                    Missing::not_a_number());
  table.labels = settings.objects_are_rows ? std::move(row_names) : std::move(column_names);
  table.title = name.substr(0, 100);
  table.title.resize(100, ' ');
  return table;
}

namespace {

// The data file's records, counted, the last one kept for messages.
class CountingSource final : public recordio::RecordSource {
 public:
  explicit CountingSource(recordio::FileUnit& unit) : unit_(unit) {}
  int next_record(std::string& record) override {
    const int error = unit_.next_record(record);
    if (error == 0) {
      ++line_;
      last_ = record;
    }
    return error;
  }
  std::size_t line() const { return line_; }
  const std::string& last() const { return last_; }

 private:
  recordio::FileUnit& unit_;
  std::size_t line_ = 0;
  std::string last_;
};

std::string record_message(int error) {
  if (error == recordio::err::kReadPastEnd) return "the file ends before every value was read";
  std::string text = recordio::message_text(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// The first blank- or comma-separated field of a record that is no number,
// with its 1-based column: where an illegal character lies.
std::pair<std::size_t, std::string> bad_field(const std::string& record) {
  std::size_t pos = 0;
  while (pos < record.size()) {
    while (pos < record.size() && (record[pos] == ' ' || record[pos] == ',' || record[pos] == '/')) ++pos;
    if (pos >= record.size()) break;
    std::size_t end = pos;
    while (end < record.size() && record[end] != ' ' && record[end] != ',' && record[end] != '/') ++end;
    std::string_view field(record.data() + pos, end - pos);
    const std::size_t star = field.find('*');
    std::string_view value = star == std::string_view::npos ? field : field.substr(star + 1);
    float v = 0;
    if (!value.empty() && value.front() != '\'' && value.front() != '"' &&
        recordio::parse_real(value, v) != 0)
      return {pos + 1, std::string(field)};
    pos = end;
  }
  return {0, ""};
}

}  // namespace

namespace {

// The data file's read statements over the record layer, each failure one
// line naming the file, the line and, for an illegal character, its column.
class FileStatements final : public dialogue::DataStatements {
 public:
  FileStatements(recordio::FileUnit& unit, std::string name) : source_(unit), name_(std::move(name)) {}

  void title(char* text, std::size_t length) override {
    std::string record;
    int error = 0;
    try {
      error = source_.next_record(record);
    } catch (const std::bad_alloc&) {
      error = recordio::err::kBufferAllocation;
    }
    if (error != 0) fail(error, false);
    recordio::store_text(record, text, length);
  }
  void begin() override { check(reader_.begin(source_)); }
  void item(std::int32_t& value) override { check(reader_.read(value)); }
  void items(float* out, std::size_t count, std::size_t stride) override {
    check(reader_.read_reals(out, count, stride));
  }
  void end() override { reader_.end(); }
  [[noreturn]] void no_memory(std::int32_t rows, std::int32_t cols) override {
    data_error(name_ + ": " + std::to_string(rows) + " x " + std::to_string(cols) + " values do not fit in memory");
  }

 private:
  void check(int error) {
    if (error != 0) fail(error, true);
  }
  [[noreturn]] void fail(int error, bool locate) {
    std::string at = name_ + ":" + std::to_string(std::max<std::size_t>(source_.line(), 1));
    std::string extra;
    if (locate && error == recordio::err::kIllegalNumeric) {
      const auto [column, field] = bad_field(source_.last());
      if (column > 0) {
        at += ":" + std::to_string(column);
        extra = ": " + shown(field);
      }
    }
    data_error(at + ": " + record_message(error) + extra);
  }

  CountingSource source_;
  recordio::ListReader reader_;
  std::string name_;
};

}  // namespace

Table read_data_table(const std::string& path, bool objects_are_rows, Missing missing) {
  const std::string name = display_name(path);
  if (path != "-") {
    // The operating system's own words for a file that cannot be opened.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) data_error("cannot open " + name + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) data_error("cannot open " + name + ": it is a directory");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) data_error("cannot open " + name + ": " + std::strerror(errno));
    ::close(fd);
  }
  std::unique_ptr<recordio::FileUnit> unit;
  if (const int error = recordio::FileUnit::open(path == "-" ? "/dev/stdin" : path, false, unit); error != 0) {
    std::string text = error == 5 ? "it is a directory" : record_message(error);
    data_error("cannot open " + name + ": " + text);
  }
  FileStatements statements(*unit, name);
  dialogue::DataFile file = dialogue::read_data_file(statements, objects_are_rows ? 1 : 0);
  unit->close();
  Table table;
  table.title = std::move(file.title);
  table.values = std::move(file.data.x);
  const std::int64_t m = std::max<std::int32_t>(file.data.m, 0), n = std::max<std::int32_t>(file.data.n, 0);
  table.view = {table.values.data(), m, n, n, 1, missing};
  table.labels.reserve(static_cast<std::size_t>(m));
  for (std::int64_t i = 1; i <= m; ++i) table.labels.push_back(std::to_string(i));
  return table;
}

}  // namespace tessora::cli
