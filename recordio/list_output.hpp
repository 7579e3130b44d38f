// Free-form writing: one output record built item by item.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessora::recordio {

// Every member may throw std::bad_alloc or std::length_error when the
// record cannot grow; the caller turns that into err::kBufferAllocation.
class ListWriter {
 public:
  // Starts a record: one blank, and the text-run flag set.
  void begin();
  // A text item in full; one blank before it unless it follows text.
  void text(std::string_view value);
  // "  " and the digits, or " -" and the digits.
  void integer(std::int32_t value);
  // As format_real writes it.
  void real(float value);
  void reals(std::span<const float> values);
  // Real items already written by format_real, one after another.
  void formatted_reals(std::string_view text);
  // Ends the record with carriage return and line feed and returns it.
  std::string_view end();

 private:
  std::string record_;
  bool text_run_ = true;
};

}  // namespace tessora::recordio
