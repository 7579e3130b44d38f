#include "recordio/list_input.hpp"

#include <cstring>
#include <new>
#include <stdexcept>

#include "recordio/messages.hpp"
#include "recordio/runtime.hpp"
#include "recordio/value_text.hpp"

namespace tessora::recordio {

namespace detail {

// A repeat count is a positive decimal number; a huge one only has to
// outlast any statement.
int parse_repeat_count(std::string_view text, std::uint64_t& count) {
  if (text.empty()) return err::kIllegalNumeric;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return err::kIllegalNumeric;
    value = value > (UINT64_MAX / 16) ? value : value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value == 0) return err::kIllegalNumeric;
  count = value;
  return 0;
}

}  // namespace detail

int ListReader::begin(RecordSource& source) {
  source_ = &source;
  repeat_ = 0;
  line_end_ = false;
  null_ = true;
  value_ = {};
  return next_record();
}

void ListReader::end() {
  pos_ = record_.size();
  repeat_ = 0;
  value_ = {};
  source_ = nullptr;
}

int ListReader::next_record() {
  pos_ = 0;
  if (source_ == nullptr) return err::kNotAllowed;  // an item outside a statement
  const int error = source_->next_record(record_);
  if (error != 0) record_.clear();
  return error;
}

std::size_t ListReader::skip_blanks(std::size_t pos) const {
  const std::size_t size = record_.size();
  while (pos < size && record_[pos] == ' ') ++pos;
  return pos;
}

int ListReader::scan_and_guard(bool text_item) {
  try {
    return scan(text_item);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return err::kBufferAllocation;
}

int ListReader::scan(bool text_item) {
  if (repeat_ > 1) {  // the last value (or null) serves this item too
    --repeat_;
    return 0;
  }
  repeat_ = 0;
  for (;;) {
    // Blanks, and blank or empty records, until a character is found.
    for (;;) {
      pos_ = skip_blanks(pos_);
      if (pos_ < record_.size()) break;
      if (const int error = next_record(); error != 0) return error;
    }
    char c = record_[pos_];
    if (c == '/') {  // stays in place: every further item is null too
      null_ = true;
      return 0;
    }
    if (c == ',') {
      if (line_end_) {
        // Only closes the value that ended the line before.
        line_end_ = false;
        pos_ = skip_blanks(pos_ + 1);
        if (pos_ == record_.size() || record_[pos_] == '/') {
          null_ = true;
          return 0;
        }
        c = record_[pos_];
      }
      if (c == ',') {
        ++pos_;
        null_ = true;
        return 0;
      }
    }
    if (text_item && (c == '\'' || c == '"')) return scan_quoted(c);

    // An unquoted value runs to a blank, comma, slash, star or the record end.
    const std::size_t size = record_.size();
    const std::size_t start = pos_;
    std::size_t end = start;
    while (end < size) {
      const char d = record_[end];
      if (d == ' ' || d == ',' || d == '/' || d == '*') break;
      ++end;
    }
    if (end < size && record_[end] == '*') {
      // A repeat count; the value itself is scanned afresh after the star.
      std::uint64_t count = 0;
      if (const int error = detail::parse_repeat_count(
              std::string_view(record_).substr(start, end - start), count);
          error != 0) {
        return error;
      }
      repeat_ = count;
      pos_ = end + 1;
      continue;
    }
    null_ = false;
    value_ = std::string_view(record_).substr(start, end - start);
    if (end == size) {
      line_end_ = true;
      pos_ = end;
    } else if (record_[end] == ',') {
      pos_ = end + 1;
    } else if (record_[end] == '/') {
      pos_ = end;
    } else {
      // Blanks with at most one comma among them are one separator.
      pos_ = skip_blanks(end);
      if (pos_ < size && record_[pos_] == ',') ++pos_;
    }
    return 0;
  }
}

int ListReader::scan_quoted(char mark) {
  quoted_.clear();
  ++pos_;
  for (;;) {
    if (pos_ == record_.size()) {
      // The value goes on with the next record; nothing stands for the break.
      if (const int error = next_record(); error != 0) return error;
      continue;
    }
    const char* first = record_.data() + pos_;
    const std::size_t left = record_.size() - pos_;
    const void* found = std::memchr(first, mark, left);
    if (found == nullptr) {
      quoted_.append(first, left);
      pos_ = record_.size();
      continue;
    }
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - record_.data());
    quoted_.append(first, at - pos_);
    pos_ = at + 1;
    if (pos_ < record_.size() && record_[pos_] == mark) {  // a doubled mark stands for one
      quoted_.push_back(mark);
      ++pos_;
      continue;
    }
    break;
  }
  if (quoted_.empty()) quoted_.push_back(' ');  // an empty quoted value is one blank
  null_ = false;
  value_ = quoted_;
  if (pos_ == record_.size()) {
    line_end_ = true;
  } else if (record_[pos_] == ',') {
    ++pos_;
  }
  return 0;
}

int ListReader::read(std::int32_t& value) {
  if (const int error = scan_and_guard(false); error != 0) return error;
  return null_ ? 0 : parse_integer(value_, value);
}

int ListReader::read(float& value) {
  if (const int error = scan_and_guard(false); error != 0) return error;
  return null_ ? 0 : parse_real(value_, value);
}

int ListReader::read(char* text, std::size_t length) {
  if (const int error = scan_and_guard(true); error != 0) return error;
  if (!null_) store_text(value_, text, length);
  return 0;
}

// The common case of a data row: an optional minus, digits with at most one
// point, ended by a blank or by the record. The value is the same as the full
// path gives (at most 15 significant digits and 22 after the point: the
// digits over the power of ten, one rounding in double, then to float), and
// the position and the line-end flag are left as scan() leaves them. Anything
// else (another record, a comma, slash, star, sign, exponent, more digits)
// is left to the full path, with nothing changed.
bool ListReader::fast_real(float& value) {
  const char* const text = record_.data();
  const std::size_t size = record_.size();
  std::size_t p = pos_;
  while (p < size && text[p] == ' ') ++p;
  if (p == size) return false;
  const std::size_t start = p;
  const bool negative = text[p] == '-';
  p += negative ? 1 : 0;
  std::uint64_t significand = 0;
  int significant = 0;  // digits from the first nonzero one
  int digits = 0;
  int after_point = 0;
  bool point = false;
  for (; p < size; ++p) {
    const char c = text[p];
    if (c >= '0' && c <= '9') {
      significand = significand * 10 + static_cast<std::uint64_t>(c - '0');
      significant += significand != 0 ? 1 : 0;
      ++digits;
      after_point += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 || significant > 15 || after_point > 22) return false;
  if (p < size && text[p] != ' ') return false;

  const double magnitude = static_cast<double>(significand) / detail::kExactPowers[after_point];
  value = static_cast<float>(negative ? -magnitude : magnitude);
  null_ = false;
  value_ = std::string_view(record_).substr(start, p - start);
  if (p == size) {
    line_end_ = true;
    pos_ = p;
  } else {
    // Blanks with at most one comma among them are one separator.
    pos_ = skip_blanks(p);
    if (pos_ < size && text[pos_] == ',') ++pos_;
  }
  return true;
}

int ListReader::read_reals(float* out, std::size_t count, std::size_t stride) {
  for (std::size_t c = 0; c < count; ++c) {
    float& item = out[c * stride];
    if (repeat_ <= 1 && fast_real(item)) {
      repeat_ = 0;
      continue;
    }
    if (const int error = read(item); error != 0) return error;
  }
  return 0;
}

}  // namespace tessora::recordio
