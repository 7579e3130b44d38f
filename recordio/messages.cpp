#include "recordio/messages.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

namespace tessora::recordio {

namespace detail {

// One text per run-time error number, 10000 first. Only 10004, 10013, 10014
// and 10016 can occur in a run of this program; the others name faults of
// statements and specifiers that the program does not use.
constexpr std::array<std::string_view, kLastRunTimeError - kFirstRunTimeError + 1> kRunTimeMessages{
    "Unknown run-time error",                       // 10000
    "Unit number out of range",                     // 10001
    "Unit is not open",                             // 10002
    "Unit is already open on another file",         // 10003
    "Buffer allocation failed",                     // 10004
    "Unit table is full",                           // 10005
    "File name is too long",                        // 10006
    "Invalid STATUS specifier",                     // 10007
    "Invalid ACCESS specifier",                     // 10008
    "Invalid FORM specifier",                       // 10009
    "Invalid record length",                        // 10010
    "Statement not allowed on this unit",           // 10011
    "Write to a file opened for reading only",      // 10012
    "Attempt to read past end of file",             // 10013
    "Bad file specification",                       // 10014
    "Input record is too short for the item list",  // 10015
    "Illegal character in numeric input",           // 10016
    "Numeric value out of range",                   // 10017
    "Illegal repeat count",                         // 10018
    "Invalid logical value",                        // 10019
    "Invalid complex value",                        // 10020
    "Unterminated text value",                      // 10021
    "Record number out of range",                   // 10022
    "Record too long for the unit",                 // 10023
    "Sequential statement on a direct-access unit", // 10024
    "Direct-access statement on a sequential unit", // 10025
    "Formatted statement on an unformatted unit",   // 10026
    "Unformatted statement on a formatted unit",    // 10027
    "Invalid format",                               // 10028
    "Format and item type do not match",            // 10029
    "Format is too deeply nested",                  // 10030
    "Missing format descriptor",                    // 10031
    "Invalid field width",                          // 10032
    "Invalid repeat factor in format",              // 10033
    "Invalid scale factor",                         // 10034
    "Invalid BLANK specifier",                      // 10035
    "Invalid DELIM specifier",                      // 10036
    "Invalid PAD specifier",                        // 10037
    "Invalid POSITION specifier",                   // 10038
    "Invalid ACTION specifier",                     // 10039
    "Invalid RECL specifier",                       // 10040
    "Conflicting specifiers",                       // 10041
    "File already exists",                          // 10042
    "File not found",                               // 10043
    "Scratch file may not be named",                // 10044
    "Cannot rewind this unit",                      // 10045
    "Cannot backspace this unit",                   // 10046
    "Cannot write an end of file on this unit",     // 10047
    "Inquiry failed",                               // 10048
    "Internal file overflow",                       // 10049
    "Internal file underflow",                      // 10050
    "Namelist group not found",                     // 10051
    "Namelist item not found",                      // 10052
    "Invalid namelist input",                       // 10053
    "Too many values for the item list",            // 10054
    "Array subscript out of range in input",        // 10055
    "Integer overflow in input",                    // 10056
    "Real overflow in input",                       // 10057
    "Real underflow in input",                      // 10058
    "Invalid character in text input",              // 10059
    "Item longer than the record length",           // 10060
    "Output field overflow",                        // 10061
    "Invalid edit descriptor for output",           // 10062
    "Unit is busy",                                 // 10063
    "Recursive input or output",                    // 10064
    "Unit was closed during the statement",         // 10065
    "Statement ended early",                        // 10066
    "Input conversion failed",                      // 10067
    "Output conversion failed",                     // 10068
    "Console is not available",                     // 10069
    "Run-time library not initialised",             // 10070
};

struct SystemMessage {
  int code;
  std::string_view text;
};

// The codes that opening, reading, writing and closing files yield, in the
// operating system's own wording.
constexpr SystemMessage kSystemMessages[] = {
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access Denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {15, "The system cannot find the drive specified."},
    {21, "The drive is not ready."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {39, "The disk is full."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {110, "The system cannot open the device or file specified."},
    {111, "The file name is too long."},
    {112, "There is not enough space on the disk."},
    {123, "The file name, directory name, or volume label is not syntactically correct."},
    {161, "Invalid path name specified."},
    {206, "The file name or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
};

}  // namespace detail

int system_error_code(int errnum, IoOp op) {
  switch (errnum) {
    case ENOENT:
      // Creating fails this way only when a directory of the path is missing.
      return op == IoOp::create ? 3 : 2;
    case ENOTDIR:
      return 3;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return 5;
    case EMFILE:
    case ENFILE:
      return 4;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case ETXTBSY:
    case EBUSY:
      return 32;
    case EEXIST:
      return 80;
    case ENXIO:
    case ENODEV:
      return 110;
    case ENOSPC:
    case EDQUOT:
      return 112;
    case EFBIG:
      return 223;
    case ENAMETOOLONG:
      return 206;
    case EINVAL:
    case EILSEQ:
      if (op == IoOp::open || op == IoOp::create) return 123;
      break;
    case EIO:
      if (op == IoOp::write || op == IoOp::close) return 29;
      if (op == IoOp::read) return 30;
      break;
    default:
      break;
  }
  return kErrnoBase + errnum;
}

std::string_view statement_name(Statement statement) {
  static constexpr std::string_view kNames[] = {"REWIND", "BACKSPACE", "OPEN",  "CLOSE",
                                                "INQUIRE", "READ",     "WRITE", "ENDFILE"};
  return kNames[static_cast<int>(statement)];
}

std::string message_text(int error) {
  if (is_run_time_error(error)) {
    return std::string(detail::kRunTimeMessages[error - kFirstRunTimeError]);
  }
  for (const auto& row : detail::kSystemMessages) {
    if (row.code == error) return std::string(row.text);
  }
  if (error > kErrnoBase) return std::strerror(error - kErrnoBase);
  return "System error " + std::to_string(error) + ".";
}

}  // namespace tessora::recordio
