// Printing the transcript: which lines a page range covers, and the page loop
// over a printer that the shell supplies.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "window/core/transcript.hpp"

namespace tessora::console {

// Pages as the print dialog numbers them, from 1.
struct PageRange {
  std::size_t first = 1;
  std::size_t last = 1;
};

// Lines [begin, end) of the transcript, counted from 0.
struct LineSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool empty() const { return begin >= end; }
  friend bool operator==(const LineSpan&, const LineSpan&) = default;
};

// How many lines fit on a page: the printable height over the line height
// (character height plus external leading); at least one.
std::size_t lines_per_page(double printable_height, double line_height);

// With a range, the lines from per_page * (first - 1) + 1 to the smaller of
// per_page * last and the line count (counted from 1); otherwise all lines.
LineSpan lines_to_print(std::size_t line_count, std::size_t per_page, std::optional<PageRange> range);

// The file name offered when the printer is a file: the window's caption
// made into one file name (a path separator, a control character or a
// character that shells and other systems reject becomes "-"), then ".pdf".
// "Input/Output" gives "Input-Output.pdf".
std::string print_file_name(std::string_view caption);

// A printer chosen in the print dialog, with the job's settings.
class PrintTarget {
 public:
  virtual ~PrintTarget() = default;
  virtual std::size_t lines_per_page() const = 0;
  virtual std::optional<PageRange> page_range() const = 0;
  virtual int copies() const = 0;

  virtual bool start_document(std::string_view name) = 0;
  virtual bool start_page() = 0;  // false: the printer failed, printing stops
  virtual void print_line(std::size_t row, std::string_view text) = 0;
  virtual bool end_page() = 0;    // false: the printer failed, printing stops
  virtual void end_document() = 0;
  virtual void abort_document() = 0;
  // Polled before every line: the user pressed Cancel on the "Printing..." box.
  virtual bool cancelled() = 0;
};

// Prints the lines that the target's range selects, once per copy, from the
// left edge and one per row, starting a new page when one is full. Returns
// the number of pages printed.
std::size_t print_transcript(const Transcript& transcript, PrintTarget& target);

}  // namespace tessora::console
