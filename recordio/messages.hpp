// The words of a report: run-time and system message tables, statement names,
// and the translation of an operating-system error into a system error code.
#pragma once

#include <string>
#include <string_view>

#include "recordio/runtime.hpp"

namespace tessora::recordio {

// Run-time errors of the record layer are numbered from here to kLastRunTimeError.
inline constexpr int kFirstRunTimeError = 10000;
inline constexpr int kLastRunTimeError = 10070;

constexpr bool is_run_time_error(int error) {
  return error >= kFirstRunTimeError && error <= kLastRunTimeError;
}

// Further run-time errors that only a misuse of the layer can raise.
namespace err {
inline constexpr int kUnitNotOpen = 10002;
inline constexpr int kNotAllowed = 10011;
inline constexpr int kReadOnlyFile = 10012;
}  // namespace err

// An operating-system error without a row of its own in the system message
// table is carried as kErrnoBase + errno, so that its report can show the
// operating system's own text for it.
inline constexpr int kErrnoBase = 1000000;

// What the failing call was doing; some errors read differently by operation.
enum class IoOp { open, create, read, write, close };

// The system error code for `errnum` (an errno value) met while doing `op`.
int system_error_code(int errnum, IoOp op);

// "REWIND", "BACKSPACE", "OPEN", ...
std::string_view statement_name(Statement statement);

// The message text of an error number: the run-time table for 10000 to
// 10070, otherwise the system table (or the operating system's own text).
std::string message_text(int error);

}  // namespace tessora::recordio
