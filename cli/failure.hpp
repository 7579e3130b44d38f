// The command line's errors: one line for standard error and an exit status.
#pragma once

#include <stdexcept>
#include <string>

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

[[noreturn]] inline void usage_error(const std::string& message) { throw Failure(kExitUsage, message); }
[[noreturn]] inline void data_error(const std::string& message) { throw Failure(kExitData, message); }

}  // namespace tessora::cli
