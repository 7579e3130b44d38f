// The record layer: read and write statements on units, the stop and the
// run-time error reports.
//
// A statement begins with a unit, takes one item per call and ends. Each step
// returns 0 or an error number. Where a statement has a status variable (only
// OPEN takes one), the number is stored there and returned; otherwise the
// layer writes the report, closes every file and ends the run by throwing
// RunEnded, so callers never see a failing step return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "console/hooks.hpp"

namespace tessora::recordio {

// The console unit, shown as "*" in a report.
inline constexpr int kConsole = -1;

// Statement kinds, in the order of their names in a report.
enum class Statement { rewind, backspace, open, close, inquire, read, write, endfile };

// Run-time error numbers that this program can raise.
namespace err {
inline constexpr int kBufferAllocation = 10004;
inline constexpr int kReadPastEnd = 10013;
inline constexpr int kBadFileSpec = 10014;
inline constexpr int kIllegalNumeric = 10016;
}  // namespace err

// Thrown to end the run. `code` is 0 after a stop, -1 after a report;
// `window_closed` is set when the user closed the window during the run (the
// host has already been told and nothing more is written).
struct RunEnded {
  int code;
  bool window_closed = false;
};

class Runtime {
 public:
  explicit Runtime(console::Hooks& hooks);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  console::Hooks& hooks();

  // Free-form read statement on the console or a file unit.
  int begin_read(int unit);
  int read_item(std::int32_t& value);
  int read_item(float& value);
  int read_item(char* text, std::size_t length);  // fixed-length text item
  // Fast path for a data row: the same as one read_item per value.
  int read_items(std::span<float> values);
  // Fast path for orientation 0: value c of the statement goes to out[c * stride].
  int read_items_strided(float* out, std::size_t count, std::size_t stride);
  int end_read();

  // Whole-record text read (format "(a)"): one complete statement.
  int read_record_text(int unit, char* text, std::size_t length);

  // Free-form write statement.
  int begin_write(int unit);
  int write_item(std::string_view text);
  int write_item(std::int32_t value);
  int write_item(float value);
  // Fast path for a row: the same bytes as one write_item per value.
  int write_items(std::span<const float> values);
  // Appends a run of already formatted real items (each as format_real makes
  // it); lets a caller format rows elsewhere, in parallel, and hand them over.
  int write_formatted_reals(std::string_view text);
  int end_write();

  // OPEN of a file named relative to the current directory; leading and
  // trailing blanks of the name are ignored. `create`: create the file when
  // missing and cut it to what is written (MATRIX.TXT); otherwise the file
  // must exist, is opened for reading only and never written. Opening an
  // open unit closes its file first. With a status variable the error number
  // goes there (0 on success) and nothing is reported.
  int open(int unit, std::string_view name, bool create, int* status = nullptr);
  int close(int unit);

  // STOP with a message: writes the stop lines, closes every file, throws.
  [[noreturn]] void stop(std::string_view message);
  // Report for an error outside any statement (allocation of the matrices).
  [[noreturn]] void fail(int error);

  // Called by a host when the window is closed during the run: closes every
  // file, as at a stop, and throws RunEnded{0, true}.
  [[noreturn]] void window_closed();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tessora::recordio
