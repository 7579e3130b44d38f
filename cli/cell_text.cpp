#include "cli/cell_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessora::cli {

std::size_t shortest_text(float v, char* out) {
  if (std::isnan(v)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  if (std::isinf(v)) {
    if (v > 0) {
      std::memcpy(out, "Inf", 3);
      return 3;
    }
    std::memcpy(out, "-Inf", 4);
    return 4;
  }
  return static_cast<std::size_t>(std::to_chars(out, out + 32, v).ptr - out);
}

std::string csv_label(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos && (s.empty() || (s.front() != ' ' && s.back() != ' ')))
    return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string tab_label(const std::string& label) {
  std::string s = label;
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string phylip_label(const std::string& label) {
  std::string s = label;
  for (char& c : s)
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = '_';
  if (s.empty()) s.push_back('_');
  if (s.size() < 10) s.resize(10, ' ');
  return s;
}

Labels format_labels(const std::vector<std::string>& labels, std::string (*style)(const std::string&)) {
  Labels l;
  l.text.reserve(labels.size());
  for (const std::string& label : labels) {
    l.text.push_back(style(label));
    l.longest = std::max(l.longest, l.text.back().size());
  }
  return l;
}

}  // namespace tessora::cli
