#include "recordio/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "recordio/messages.hpp"
#include "recordio/runtime.hpp"

namespace tessora::recordio {

namespace detail {
constexpr std::size_t kDefaultTabSize = 8;
constexpr std::size_t kMaxTabSizeText = 19;  // 20 characters or more mean the default
}  // namespace detail

namespace {
// No record grows beyond this (1 TiB); it is a failed allocation, not a try.
constexpr std::size_t kMaxRecordLength = std::size_t{1} << 40;
}  // namespace

std::size_t tab_size_from(const char* value) {
  if (value == nullptr) return detail::kDefaultTabSize;
  const std::size_t length = std::strlen(value);
  if (length == 0 || length > detail::kMaxTabSizeText) return detail::kDefaultTabSize;
  std::size_t i = 0;
  bool negative = false;
  if (value[0] == '+' || value[0] == '-') {
    negative = value[0] == '-';
    i = 1;
  }
  if (i == length) return detail::kDefaultTabSize;
  std::size_t size = 0;  // at most 19 digits: no overflow in 64 bits
  for (; i < length; ++i) {
    if (value[i] < '0' || value[i] > '9') return detail::kDefaultTabSize;
    size = size * 10 + static_cast<std::size_t>(value[i] - '0');
  }
  if (negative || size == 0) return detail::kDefaultTabSize;
  return size;
}

std::size_t tab_size_from_environment() { return tab_size_from(std::getenv("TABSIZE")); }

void append_line_text(std::string& record, const char* first, const char* last,
                      std::size_t tab_size) {
  while (first < last) {
    const char* run = first;
    while (run < last && *run != '\r' && *run != '\t') ++run;
    record.append(first, static_cast<std::size_t>(run - first));
    if (run == last) return;
    if (*run == '\t') {
      const std::size_t blanks = tab_size - record.size() % tab_size;
      // A huge tab size must not try for a record beyond any memory.
      if (record.size() > kMaxRecordLength || blanks > kMaxRecordLength - record.size()) {
        throw std::length_error("record");
      }
      record.append(blanks, ' ');
    }
    first = run + 1;
  }
}

int FileUnit::open(std::string_view name, bool create, std::unique_ptr<FileUnit>& unit) {
  const std::string path(name);
  if (path.find('\0') != std::string::npos) return 123;  // no such name can exist
  const int flags = create ? (O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return system_error_code(errno, create ? IoOp::create : IoOp::open);

  if (!create) {
    // A directory opens for reading here, but holds no records.
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      ::close(fd);
      return 5;
    }
  }
  std::unique_ptr<FileUnit> opened(new (std::nothrow) FileUnit(fd, create));
  if (!opened) {
    ::close(fd);
    return err::kBufferAllocation;
  }
  if (create) {
    opened->out_.reset(new (std::nothrow) char[kWriteBlock]);
    if (!opened->out_) return err::kBufferAllocation;  // the destructor closes the file
  }
  unit = std::move(opened);
  return 0;
}

FileUnit::FileUnit(int fd, bool writable)
    : fd_(fd), writable_(writable), tab_size_(tab_size_from_environment()) {}

FileUnit::~FileUnit() {
  if (fd_ >= 0) ::close(fd_);
}

int FileUnit::fill() {
  if (!block_) {
    block_.reset(new (std::nothrow) char[kReadBlock]);
    if (!block_) return err::kBufferAllocation;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, block_.get(), kReadBlock);
    if (got > 0) {
      pos_ = 0;
      len_ = static_cast<std::size_t>(got);
      return 0;
    }
    if (got == 0) {
      at_end_ = true;
      return 0;
    }
    if (errno != EINTR) {
      read_error_ = system_error_code(errno, IoOp::read);
      return read_error_;
    }
  }
}

int FileUnit::next_record(std::string& record) {
  record.clear();
  if (fd_ < 0) return err::kUnitNotOpen;
  if (writable_) return err::kNotAllowed;
  try {
    for (;;) {
      if (pos_ == len_) {
        if (read_error_ != 0) return read_error_;
        if (at_end_) return err::kReadPastEnd;
        if (const int error = fill(); error != 0) return error;
        continue;
      }
      const char* first = block_.get() + pos_;
      const char* last = block_.get() + len_;
      const void* feed = std::memchr(first, '\n', static_cast<std::size_t>(last - first));
      const char* end = feed ? static_cast<const char*>(feed) : last;
      append_line_text(record, first, end, tab_size_);
      pos_ = static_cast<std::size_t>(end - block_.get()) + (feed ? 1 : 0);
      if (feed) return 0;
    }
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return err::kBufferAllocation;
}

int FileUnit::write_all(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd_, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return system_error_code(errno, IoOp::write);
    }
    if (put == 0) return system_error_code(ENOSPC, IoOp::write);
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return 0;
}

int FileUnit::flush() {
  if (out_len_ == 0) return 0;
  const std::size_t size = out_len_;
  out_len_ = 0;  // what failed to go out is not tried again
  return write_all(out_.get(), size);
}

int FileUnit::write_record(std::string_view bytes) {
  if (fd_ < 0 || !writable_) return err::kReadOnlyFile;
  if (out_len_ + bytes.size() > kWriteBlock) {
    if (const int error = flush(); error != 0) return error;
  }
  if (bytes.size() >= kWriteBlock) return write_all(bytes.data(), bytes.size());
  std::memcpy(out_.get() + out_len_, bytes.data(), bytes.size());
  out_len_ += bytes.size();
  return 0;
}

int FileUnit::close() {
  if (fd_ < 0) return 0;
  int error = writable_ ? flush() : 0;
  if (::close(fd_) != 0 && error == 0 && errno != EINTR) {
    error = system_error_code(errno, IoOp::close);
  }
  fd_ = -1;
  return error;
}

}  // namespace tessora::recordio
