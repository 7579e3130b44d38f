// The text of cells and labels in the text formats.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessora::cli {

// The text of a float32 that reads back to the same float: the shortest
// decimal form; NaN, Inf, -Inf for the others. Returns the length (at most 16).
std::size_t shortest_text(float v, char* out);

// A label as a CSV cell: quoted when it holds a comma, a quote, a line end
// or blanks at either end.
std::string csv_label(const std::string& s);
// A label as a TSV cell: tabs and line ends become blanks.
std::string tab_label(const std::string& s);
// A PHYLIP name: blanks become '_', padded with blanks to 10 characters.
std::string phylip_label(const std::string& s);

// Every label as one of the three above writes it, and the longest.
struct Labels {
  std::vector<std::string> text;
  std::size_t longest = 0;
};
Labels format_labels(const std::vector<std::string>& labels, std::string (*style)(const std::string&));

// A whole number's digits.
inline char* put_count(std::uint32_t k, char* p) { return std::to_chars(p, p + 16, k).ptr; }

// A label's bytes.
inline char* put_text(const std::string& s, char* p) {
  s.copy(p, s.size());
  return p + s.size();
}

}  // namespace tessora::cli
