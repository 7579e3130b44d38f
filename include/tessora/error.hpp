// The exceptions of the library.
#pragma once

#include <stdexcept>
#include <string>

namespace tessora {

// An argument the library cannot work with: a null pointer, a negative size,
// a block outside the table, strides or sizes whose products overflow 64
// bits, an unknown coefficient name. The message says which argument and why,
// and names the offending value. Every call documents the arguments it
// checks; nothing is computed or written when this is thrown.
class Error : public std::invalid_argument {
 public:
  explicit Error(const std::string& what) : std::invalid_argument(what) {}
};

// A computation stopped by its cancel flag or its progress function. The
// caller's output buffers then hold an unspecified mix of old and new values.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("the computation was cancelled") {}
};

// Memory that cannot be had is reported as std::bad_alloc, before any value
// is computed.

}  // namespace tessora
