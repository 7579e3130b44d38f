#include "cli/zip.hpp"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "cli/part_file.hpp"

namespace tessora::cli {

namespace {

constexpr std::uint32_t k32 = 0xFFFFFFFFu;
// Every member dated 1980-01-01 00:00, the first date a zip file can hold:
// the same bytes from every run.
constexpr std::uint16_t kTime = 0, kDate = (0 << 9) | (1 << 5) | 1;

std::uint32_t crc_of(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {
    const auto piece = static_cast<uInt>(std::min<std::size_t>(size, std::size_t{1} << 30));
    crc = static_cast<std::uint32_t>(::crc32(crc, p, piece));
    p += piece;
    size -= piece;
  }
  return crc;
}

}  // namespace

void ZipWriter::write(const std::string& bytes) {
  out_.write(bytes.data(), bytes.size());
  offset_ += bytes.size();
}

void ZipWriter::add(const std::string& name, const Producer& produce) {
  Entry e{name, static_cast<std::uint32_t>(::crc32(0, nullptr, 0)), 0, offset_};
  produce([&](const void* data, std::size_t size) {
    e.crc = crc_of(e.crc, data, size);
    e.size += size;
  });
  const bool wide = zip64_ || e.size >= k32;
  std::string h;
  put<std::uint32_t>(h, 0x04034b50);
  put<std::uint16_t>(h, wide ? 45 : 20);  // the version needed to extract
  put<std::uint16_t>(h, 0);               // flags
  put<std::uint16_t>(h, 0);               // stored
  put<std::uint16_t>(h, kTime);
  put<std::uint16_t>(h, kDate);
  put<std::uint32_t>(h, e.crc);
  put<std::uint32_t>(h, wide ? k32 : static_cast<std::uint32_t>(e.size));
  put<std::uint32_t>(h, wide ? k32 : static_cast<std::uint32_t>(e.size));
  put<std::uint16_t>(h, static_cast<std::uint16_t>(name.size()));
  put<std::uint16_t>(h, wide ? 20 : 0);
  h += name;
  if (wide) {
    put<std::uint16_t>(h, 0x0001);
    put<std::uint16_t>(h, 16);
    put<std::uint64_t>(h, e.size);
    put<std::uint64_t>(h, e.size);
  }
  write(h);
  // The bytes again, gathered into large writes.
  constexpr std::size_t kChunk = std::size_t{4} << 20;
  Buffer chunk = out_.buffer();
  chunk.reserve(kChunk);
  std::uint64_t written = 0;
  std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, nullptr, 0));
  produce([&](const void* data, std::size_t size) {
    crc = crc_of(crc, data, size);
    written += size;
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
      if (chunk.size == kChunk) {
        out_.write(std::move(chunk));
        chunk = out_.buffer();
        chunk.reserve(kChunk);
        chunk.size = 0;
      }
      const std::size_t piece = std::min(size, kChunk - chunk.size);
      std::copy(p, p + piece, chunk.data.get() + chunk.size);
      chunk.size += piece;
      p += piece;
      size -= piece;
    }
  });
  if (chunk.size > 0) out_.write(std::move(chunk));
  if (written != e.size || crc != e.crc) throw std::logic_error("a zip member gave other bytes the second time");
  offset_ += written;
  entries_.push_back(std::move(e));
}

void ZipWriter::finish() {
  const std::uint64_t directory = offset_;
  std::string d;
  for (const Entry& e : entries_) {
    const bool wide_size = zip64_ || e.size >= k32;
    const bool wide_offset = zip64_ || e.offset >= k32;
    std::string extra;
    if (wide_size) {
      put<std::uint64_t>(extra, e.size);
      put<std::uint64_t>(extra, e.size);
    }
    if (wide_offset) put<std::uint64_t>(extra, e.offset);
    put<std::uint32_t>(d, 0x02014b50);
    put<std::uint16_t>(d, 45);  // made by
    put<std::uint16_t>(d, wide_size || wide_offset ? 45 : 20);
    put<std::uint16_t>(d, 0);
    put<std::uint16_t>(d, 0);
    put<std::uint16_t>(d, kTime);
    put<std::uint16_t>(d, kDate);
    put<std::uint32_t>(d, e.crc);
    put<std::uint32_t>(d, wide_size ? k32 : static_cast<std::uint32_t>(e.size));
    put<std::uint32_t>(d, wide_size ? k32 : static_cast<std::uint32_t>(e.size));
    put<std::uint16_t>(d, static_cast<std::uint16_t>(e.name.size()));
    put<std::uint16_t>(d, static_cast<std::uint16_t>(extra.empty() ? 0 : extra.size() + 4));
    put<std::uint16_t>(d, 0);  // comment
    put<std::uint16_t>(d, 0);  // disk
    put<std::uint16_t>(d, 0);  // internal attributes
    put<std::uint32_t>(d, 0);  // external attributes
    put<std::uint32_t>(d, wide_offset ? k32 : static_cast<std::uint32_t>(e.offset));
    d += e.name;
    if (!extra.empty()) {
      put<std::uint16_t>(d, 0x0001);
      put<std::uint16_t>(d, static_cast<std::uint16_t>(extra.size()));
      d += extra;
    }
  }
  const std::uint64_t count = entries_.size();
  const bool wide = zip64_ || directory >= k32 || d.size() >= k32 || count >= 0xFFFF;
  if (wide) {
    const std::uint64_t record = directory + d.size();
    put<std::uint32_t>(d, 0x06064b50);
    put<std::uint64_t>(d, 44);
    put<std::uint16_t>(d, 45);
    put<std::uint16_t>(d, 45);
    put<std::uint32_t>(d, 0);
    put<std::uint32_t>(d, 0);
    put<std::uint64_t>(d, count);
    put<std::uint64_t>(d, count);
    put<std::uint64_t>(d, record - directory);
    put<std::uint64_t>(d, directory);
    put<std::uint32_t>(d, 0x07064b50);
    put<std::uint32_t>(d, 0);
    put<std::uint64_t>(d, record);
    put<std::uint32_t>(d, 1);
  }
  const std::uint64_t size = wide ? d.size() - 56 - 20 : d.size();
  put<std::uint32_t>(d, 0x06054b50);
  put<std::uint16_t>(d, 0);
  put<std::uint16_t>(d, 0);
  put<std::uint16_t>(d, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF)));
  put<std::uint16_t>(d, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF)));
  put<std::uint32_t>(d, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, k32)));
  put<std::uint32_t>(d, wide ? k32 : static_cast<std::uint32_t>(directory));
  put<std::uint16_t>(d, 0);
  write(d);
}

}  // namespace tessora::cli
