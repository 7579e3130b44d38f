// The command line's errors: one line for standard error and an exit status.
#pragma once

#include <stdexcept>
#include <string>

#include "tessora/error.hpp"

namespace tessora::cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitData = 1;   // a data or system error
inline constexpr int kExitUsage = 2;  // a usage error

// Thrown to end a command-line run: `what()` is the line written after
// "tessora: " on standard error, `status` the exit status.
class Failure : public std::runtime_error {
 public:
  Failure(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// A message as one line: control characters (a newline in a file name or an
// argument) shown as '?'.
inline std::string one_line(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return s;
}

[[noreturn]] inline void usage_error(const std::string& message) { throw Failure(kExitUsage, message); }
[[noreturn]] inline void data_error(const std::string& message) { throw Failure(kExitData, message); }

// Runs `check`, a call of the library whose Error means an argument broke
// one of its rules: the rule's message as it stands, a usage error.
template <class Check>
auto argument_check(Check&& check) {
  try {
    return check();
  } catch (const tessora::Error& e) {
    usage_error(e.what());
  }
}

}  // namespace tessora::cli
