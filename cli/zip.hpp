// A zip archive of stored (uncompressed) members, as NumPy's .npz files are,
// written in one pass to an output file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/output_file.hpp"

namespace tessora::cli {

class ZipWriter {
 public:
  // Takes the bytes of a member in pieces.
  using Sink = std::function<void(const void* data, std::size_t size)>;
  // Hands the bytes of a member to a sink; called twice (for the CRC-32 and
  // the size, then to write them), it must give the same bytes each time.
  using Producer = std::function<void(const Sink& sink)>;

  // `zip64`: the 64-bit size fields for every member (as NumPy writes
  // them), not only where a size or an offset needs them.
  explicit ZipWriter(OutputFile& out, bool zip64 = false) : out_(out), zip64_(zip64) {}
  void add(const std::string& name, const Producer& produce);
  // Writes the central directory; the output file's commit() is the caller's.
  void finish();

 private:
  struct Entry {
    std::string name;
    std::uint32_t crc;
    std::uint64_t size, offset;
  };
  void write(const std::string& bytes);

  OutputFile& out_;
  bool zip64_;
  std::uint64_t offset_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace tessora::cli
