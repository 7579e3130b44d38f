// The transcript: every line that the console window has shown or taken in.
//
// Text is only appended at the end, except for deletions and insertions inside
// a line. The store grows as needed: a long report is never cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessora::console {

class Transcript {
 public:
  std::size_t line_count() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  const std::string& line(std::size_t index) const { return lines_[index]; }
  const std::vector<std::string>& lines() const { return lines_; }

  // The length of the longest line so far; it never shrinks, so that the
  // horizontal scroll range only grows while the window lives.
  std::size_t longest() const { return longest_; }

  void add_line(std::string_view text);
  // Both clamp `column` to the line's length.
  void insert(std::size_t line, std::size_t column, std::string_view text);
  void erase(std::size_t line, std::size_t column, std::size_t count);

  // Reserves room for a typical run up front, so that a machine without the
  // memory for it fails here and not in the middle of the dialogue.
  void reserve(std::size_t lines, std::size_t characters);

 private:
  void note_length(std::size_t length) {
    if (length > longest_) longest_ = length;
  }

  std::vector<std::string> lines_;
  std::size_t longest_ = 0;
};

}  // namespace tessora::console
