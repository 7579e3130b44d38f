#include "cli/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/failure.hpp"

namespace tessora::cli {

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    thread_ = std::thread([this] { run(); });
    return;
  }
  std::string target = path_;
  struct stat info;
  if (::stat(path_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) data_error("cannot write " + path_ + ": it is a directory");
    if (!S_ISREG(info.st_mode)) {
      // A device, a pipe or a socket (/dev/null, /dev/stdout, a FIFO) is
      // written in place: renaming a file over it would replace it.
      do {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
      } while (fd_ < 0 && errno == EINTR);
      if (fd_ < 0) data_error("cannot write " + path_ + ": " + std::strerror(errno));
      thread_ = std::thread([this] { run(); });
      return;
    }
    existed_ = true;
    // Through a symbolic link the file it names is replaced, not the link.
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  target_ = target;
  const std::size_t slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  temp_ = dir + "/." + base + ".tmp-XXXXXX";
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) {
    const int e = errno;
    temp_.clear();
    data_error("cannot write " + path_ + ": " + std::strerror(e) +
               (existed_ ? "; the old file was left unchanged" : ""));
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, existed_ ? (info.st_mode & 07777) : (0666 & ~mask));
  thread_ = std::thread([this] { run(); });
}

OutputFile::~OutputFile() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
  }
  if (!temp_.empty()) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  } else if (fd_ >= 0 && fd_ != STDOUT_FILENO) {
    ::close(fd_);
  }
}

void OutputFile::run() {
  for (;;) {
    Buffer bytes;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      bytes = std::move(queue_.front());
      queue_.pop_front();
    }
    const char* p = bytes.data.get();
    std::size_t left = bytes.size;
    int error = 0;
    while (left > 0 && error == 0) {
      const ssize_t put = ::write(fd_, p, left);
      if (put < 0) {
        if (errno != EINTR) error = errno;
      } else if (put == 0) {
        error = ENOSPC;
      } else {
        p += put;
        left -= static_cast<std::size_t>(put);
      }
    }
    {
      std::lock_guard lock(mutex_);
      if (error != 0 && error_ == 0) error_ = error;
      if (error_ != 0) queue_.clear();
      if (free_.size() < 4) free_.push_back(std::move(bytes));
    }
    changed_.notify_all();
  }
}

void OutputFile::fail(int errnum, const char* doing) {
  std::string message = std::string("cannot ") + doing + " " + (path_ == "-" ? "standard output" : path_) + ": " +
                        std::strerror(errnum);
  if (path_ != "-") message += existed_ ? "; the old file was left unchanged" : "; no file was written";
  data_error(message);
}

void OutputFile::write(std::string&& bytes) { write(bytes.data(), bytes.size()); }

void OutputFile::write(const void* data, std::size_t size) {
  Buffer b = buffer();
  char* at = b.reserve(size + 1);
  if (size > 0) std::memcpy(at, data, size);  // an empty run may come without a buffer (nullptr)
  b.size = size;
  write(std::move(b));
}

Buffer OutputFile::buffer() {
  std::lock_guard lock(mutex_);
  if (free_.empty()) return {};
  Buffer b = std::move(free_.back());
  free_.pop_back();
  b.size = 0;
  return b;
}

void OutputFile::write(Buffer&& bytes) {
  int error = 0;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return error_ != 0 || queue_.size() < kQueued; });
    error = error_;
    if (error == 0) queue_.push_back(std::move(bytes));
  }
  if (error != 0) fail(error, "write");
  changed_.notify_all();
}

void OutputFile::commit() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_ != 0) fail(error_, "write");
  if (temp_.empty()) {  // standard output, a device or a pipe
    if (fd_ != STDOUT_FILENO && ::close(fd_) != 0) {
      const int e = errno;
      fd_ = -1;
      fail(e, "write");
    }
    fd_ = -1;
    return;
  }
  if (::close(fd_) != 0) {
    const int e = errno;
    fd_ = -1;
    fail(e, "write");
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int e = errno;
    ::unlink(temp_.c_str());
    temp_.clear();
    fail(e, "rename the finished file to");
  }
  temp_.clear();
}

}  // namespace tessora::cli
