// Units: the input records of the console and of files, and the file units
// with their read blocks and write buffers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "recordio/list_input.hpp"

namespace tessora::recordio {

// The tab size that a TABSIZE value gives: a positive number (an optional
// sign and decimal digits, fewer than 20 characters), otherwise 8.
std::size_t tab_size_from(const char* value);
// The same for the environment's TABSIZE, read when a unit is set up.
std::size_t tab_size_from_environment();

// Appends the characters [first, last) of one line to `record`: carriage
// returns are dropped and a tab at column c becomes tab_size - c % tab_size
// blanks, columns counted from the start of the record. Throws
// std::bad_alloc or std::length_error when the record cannot grow.
void append_line_text(std::string& record, const char* first, const char* last,
                      std::size_t tab_size);

// A file open on a unit. Reads whole records through a large block, or
// collects written records in a buffer that goes out when full and on close.
class FileUnit final : public RecordSource {
 public:
  // Bytes taken from the file at a time, and bytes collected before a write.
  static constexpr std::size_t kReadBlock = std::size_t{1} << 20;
  static constexpr std::size_t kWriteBlock = std::size_t{1} << 16;

  // Opens `name` (already trimmed): an existing file for reading, or with
  // `create` a file created or cut to nothing for writing. Returns 0 and
  // sets `unit`, or returns an error number.
  static int open(std::string_view name, bool create, std::unique_ptr<FileUnit>& unit);

  ~FileUnit() override;
  FileUnit(const FileUnit&) = delete;
  FileUnit& operator=(const FileUnit&) = delete;

  bool writable() const { return writable_; }

  // Replaces `record` with the next line of the file. Returns 0, or
  // err::kReadPastEnd when no complete line is left (characters after the
  // last line feed are no record), or err::kBufferAllocation, or a system
  // error code for a failed read.
  int next_record(std::string& record) override;

  // Adds the bytes of one ended record. Returns 0 or an error number.
  int write_record(std::string_view bytes);

  // Writes out the collected bytes and closes the file. The unit is closed
  // whatever the result; returns the first error met, or 0.
  int close();

 private:
  FileUnit(int fd, bool writable);
  int fill();
  int write_all(const char* data, std::size_t size);
  int flush();

  int fd_;
  bool writable_;
  std::size_t tab_size_;
  // Reading: the block and the unread part [pos_, len_) of it.
  std::unique_ptr<char[]> block_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool at_end_ = false;
  int read_error_ = 0;
  // Writing: bytes collected and not yet written.
  std::unique_ptr<char[]> out_;
  std::size_t out_len_ = 0;
};

}  // namespace tessora::recordio
