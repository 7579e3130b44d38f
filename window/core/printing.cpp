#include "window/core/printing.hpp"

#include <algorithm>
#include <cmath>

#include "window/core/texts.hpp"

namespace tessora::console {

std::size_t lines_per_page(double printable_height, double line_height) {
  if (!(line_height > 0) || !(printable_height >= line_height)) return 1;
  return static_cast<std::size_t>(std::floor(printable_height / line_height));
}

LineSpan lines_to_print(std::size_t line_count, std::size_t per_page, std::optional<PageRange> range) {
  if (!range) return {0, line_count};
  per_page = std::max<std::size_t>(per_page, 1);
  const std::size_t first = std::max<std::size_t>(range->first, 1);
  const std::size_t begin = per_page * (first - 1);
  const std::size_t end = std::min(per_page * range->last, line_count);
  return begin < end ? LineSpan{begin, end} : LineSpan{begin, begin};
}

std::string print_file_name(std::string_view caption) {
  std::string name;
  for (const char c : caption) {
    const auto u = static_cast<unsigned char>(c);
    const bool bad = u < 0x20 || u == 0x7f || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    name.push_back(bad ? '-' : c);
  }
  // Not hidden, not empty, not "." or "..".
  while (!name.empty() && (name.front() == '.' || name.front() == ' ')) name.erase(name.begin());
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name.empty()) name = "print";
  return name + ".pdf";
}

std::size_t print_transcript(const Transcript& transcript, PrintTarget& target) {
  const std::size_t per_page = std::max<std::size_t>(target.lines_per_page(), 1);
  const LineSpan span = lines_to_print(transcript.line_count(), per_page, target.page_range());
  if (span.empty()) return 0;
  if (!target.start_document(text::kPrintDocument)) return 0;

  std::size_t pages = 0;
  const int copies = std::max(target.copies(), 1);
  for (int copy = 0; copy < copies; ++copy) {
    std::size_t row = 0;
    for (std::size_t i = span.begin; i < span.end; ++i) {
      if (target.cancelled()) {
        target.abort_document();
        return pages;
      }
      if (row == 0) {
        if (!target.start_page()) {
          target.end_document();
          return pages;
        }
        ++pages;
      }
      target.print_line(row, transcript.line(i));
      if (++row == per_page) {
        row = 0;
        if (!target.end_page()) {
          target.end_document();
          return pages;
        }
      }
    }
    if (row != 0 && !target.end_page()) break;
  }
  target.end_document();
  return pages;
}

}  // namespace tessora::console
