// Free-form reading: the scan of values over the records of one read
// statement, with separators, null values, repeat counts and quoted text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessora::recordio {

// Where a read statement takes its records from: the console or a file.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Replaces `record` with the next input record (tabs expanded, carriage
  // returns dropped). Returns 0 or an error number.
  virtual int next_record(std::string& record) = 0;
};

class ListReader {
 public:
  // Begins a statement: no repeat, no line-end flag, and the next record is
  // read at once, so that every statement starts on a new line.
  int begin(RecordSource& source);

  // One item each. A null value leaves the item as it was; otherwise the
  // item is set only when its value converts without error.
  int read(std::int32_t& value);
  int read(float& value);
  int read(char* text, std::size_t length);
  // `count` real items; item c goes to out[c * stride].
  int read_reals(float* out, std::size_t count, std::size_t stride);

  // Ends the statement; the rest of the current record is discarded.
  void end();

 private:
  int next_record();
  int scan(bool text_item);
  int scan_quoted(char mark);
  std::size_t skip_blanks(std::size_t pos) const;
  int scan_and_guard(bool text_item);
  bool fast_real(float& value);

  RecordSource* source_ = nullptr;
  std::string record_;
  std::size_t pos_ = 0;
  // Set when a value was ended by the end of its record itself; a comma that
  // is then the first thing found only closes that value.
  bool line_end_ = false;
  // How many items, the one that scanned it included, the last value serves.
  std::uint64_t repeat_ = 0;
  bool null_ = true;
  std::string_view value_;  // into record_, or into quoted_
  std::string quoted_;
};

}  // namespace tessora::recordio
