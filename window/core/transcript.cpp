#include "window/core/transcript.hpp"

#include <algorithm>

namespace tessora::console {

void Transcript::add_line(std::string_view text) {
  lines_.emplace_back(text);
  note_length(text.size());
}

void Transcript::insert(std::size_t line, std::size_t column, std::string_view text) {
  std::string& s = lines_[line];
  s.insert(std::min(column, s.size()), text);
  note_length(s.size());
}

void Transcript::erase(std::size_t line, std::size_t column, std::size_t count) {
  std::string& s = lines_[line];
  if (column >= s.size()) return;
  s.erase(column, std::min(count, s.size() - column));
}

void Transcript::reserve(std::size_t lines, std::size_t characters) {
  lines_.reserve(lines);
  // The characters themselves live in the lines; one block of the expected
  // size proves that the memory is there and is handed back at once.
  std::string probe;
  probe.reserve(characters);
}

}  // namespace tessora::console
