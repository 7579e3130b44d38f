#include "recordio/list_output.hpp"

#include <charconv>

#include "recordio/real_text.hpp"

namespace tessora::recordio {

namespace detail {
constexpr std::size_t kRecordStep = 8192;  // records grow in steps of this size
}

void ListWriter::begin() {
  if (record_.capacity() < detail::kRecordStep) record_.reserve(detail::kRecordStep);
  record_.assign(1, ' ');
  text_run_ = true;
}

void ListWriter::text(std::string_view value) {
  if (!text_run_) record_.push_back(' ');
  record_.append(value);
  text_run_ = true;
}

void ListWriter::integer(std::int32_t value) {
  char buffer[16];
  char* p = buffer;
  *p++ = ' ';
  if (value >= 0) *p++ = ' ';
  p = std::to_chars(p, buffer + sizeof buffer, value).ptr;
  record_.append(buffer, static_cast<std::size_t>(p - buffer));
  text_run_ = false;
}

void ListWriter::real(float value) {
  char buffer[kMaxRealText];
  record_.append(buffer, format_real(value, buffer));
  text_run_ = false;
}

void ListWriter::reals(std::span<const float> values) {
  if (values.empty()) return;
  std::size_t length = record_.size();
  record_.resize(length + values.size() * kMaxRealText);
  char* out = record_.data();
  for (float v : values) length += format_real(v, out + length);
  record_.resize(length);
  text_run_ = false;
}

void ListWriter::formatted_reals(std::string_view text) {
  if (text.empty()) return;
  record_.append(text);
  text_run_ = false;
}

std::string_view ListWriter::end() {
  record_.append("\r\n");
  return record_;
}

}  // namespace tessora::recordio
