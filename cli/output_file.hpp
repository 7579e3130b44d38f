// The output file: written through a temporary file in the same folder and
// renamed when complete, its bytes going out on a thread of their own.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessora::cli {

// Bytes on their way out, in storage that is not cleared when it grows and
// is handed back for the next block. It grows by half again at least, so
// that blocks which grow a little each time (the rows of a lower triangle)
// do not each fault in fresh pages.
struct Buffer {
  std::unique_ptr<char[]> data;
  std::size_t size = 0, capacity = 0;
  char* reserve(std::size_t n) {
    if (n > capacity) {
      const std::size_t grown = std::max(n, capacity + capacity / 2);
      data.reset(new char[grown]);
      capacity = grown;
    }
    return data.get();
  }
};

// A file written through a temporary file in the same folder, renamed to its
// name by commit(); without a commit the temporary file is removed and any
// old file stays as it was (through a symbolic link, the file it names).
// "-" writes to standard output, and an existing device, pipe or socket is
// written directly. Writes go out on a thread of their own; at most
// kQueued buffers wait.
class OutputFile {
 public:
  static constexpr std::size_t kQueued = 2;

  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string&& bytes);
  void write(const void* data, std::size_t size);
  void write(Buffer&& bytes);
  // An empty buffer, reusing the storage of one already written when it can.
  Buffer buffer();
  void commit();
  const std::string& path() const { return path_; }

 private:
  void run();
  [[noreturn]] void fail(int errnum, const char* doing);

  std::string path_, target_, temp_;  // as given, the file renamed over, the temporary file
  int fd_ = -1;
  bool existed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer> queue_;
  std::vector<Buffer> free_;
  bool closing_ = false;
  int error_ = 0;  // errno of a failed write
  std::thread thread_;
};

}  // namespace tessora::cli
