// What every part file shares: a magic, a header of little-endian fields, the
// cells, and an FNV-1a checksum of everything before it; written in one pass
// and read back memory-mapped.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/output_file.hpp"
#include "tessora/table.hpp"

namespace tessora::cli {

// FNV-1a (64 bits) over 32-bit words (a last partial word padded with zeros).
struct Checksum {
  std::uint64_t h = 14695981039346656037ull;
  std::uint32_t pending = 0;
  unsigned pending_bytes = 0;
  void word(std::uint32_t w) {
    h ^= w;
    h *= 1099511628211ull;
  }
  void add(const void* data, std::size_t size);
  std::uint64_t value() const;
};

// FNV-1a over the sizes and, object by object, each value's bits (a missing
// value as one fixed word, whatever marks it).
std::uint64_t table_checksum(const TableView& table);

template <class T>
void put(std::string& s, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  s.append(b, sizeof(T));
}

// The fields of a header, in order; a header cut short is a damaged file.
struct HeaderReader {
  const unsigned char* p;
  const unsigned char* end;
  const std::string& name;
  template <class T>
  T get() {
    T v;
    std::memcpy(&v, take(sizeof(T)), sizeof(T));
    return v;
  }
  std::string text(std::size_t length) { return std::string(reinterpret_cast<const char*>(take(length)), length); }

 private:
  const unsigned char* take(std::size_t size);
};

// The title and the labels that end a part's header; read back, m labels of
// at most 2^31 objects, or a damaged file.
void put_names(std::string& header, const std::string& title, const std::vector<std::string>& labels);
void read_names(HeaderReader& r, std::uint64_t m, std::string& title, std::vector<std::string>& labels);

// Where a part comes from: its table and its place in a split.
struct PartOrigin {
  const std::string* file;
  std::uint64_t m, n, table_checksum;
  const std::string* title;
  const std::vector<std::string>* labels;
  std::uint64_t part, parts;
};

// Refuses, naming the files, parts of different tables or splits, a part
// given twice and a missing part: the parts must be every part of one split.
void check_split(std::vector<PartOrigin> parts);

// The first bytes of a part file: the magic, the header's length and the
// header padded to a multiple of 8 bytes.
std::string part_header_bytes(const char (&magic)[8], std::string header);

// Streams one part file, its checksum taken on the way.
class PartOutput {
 public:
  explicit PartOutput(const std::string& path) : file_(path) {}
  void add(const void* data, std::size_t size);
  void add(const std::string& bytes) { add(bytes.data(), bytes.size()); }
  void finish();

 private:
  OutputFile file_;
  Checksum sum_;
};

// A part file mapped into memory whose magic and checksum were found right:
// its header and the bytes after it up to the checksum.
struct MappedPartFile {
  std::string name;
  const unsigned char* base = nullptr;
  std::size_t size = 0;
  HeaderReader header() const;
  const unsigned char* body = nullptr;  // after the header
  std::size_t body_size = 0;            // up to the checksum

  MappedPartFile() = default;
  MappedPartFile(const MappedPartFile&) = delete;
  MappedPartFile& operator=(const MappedPartFile&) = delete;
  ~MappedPartFile();
};

std::unique_ptr<MappedPartFile> map_part_file(const std::string& name, const char (&magic)[8]);

// Whether the file begins with `magic` (false when it cannot be read).
bool starts_with_magic(const std::string& name, const char (&magic)[8]);

}  // namespace tessora::cli
