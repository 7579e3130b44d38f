#include "cli/part_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>

#include "cli/failure.hpp"

namespace tessora::cli {

void Checksum::add(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0 && pending_bytes != 0) {
    pending |= static_cast<std::uint32_t>(*p++) << (8 * pending_bytes);
    --size;
    if (++pending_bytes == 4) {
      word(pending);
      pending = 0;
      pending_bytes = 0;
    }
  }
  for (; size >= 4; size -= 4, p += 4) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    word(w);
  }
  for (; size > 0; --size) pending |= static_cast<std::uint32_t>(*p++) << (8 * pending_bytes++);
}

std::uint64_t Checksum::value() const {
  Checksum c = *this;
  if (c.pending_bytes) c.word(c.pending);
  return c.h;
}

std::uint64_t table_checksum(const TableView& t) {
  Checksum c;
  c.add(&t.objects, 8);
  c.add(&t.variables, 8);
  for (std::int64_t i = 0; i < t.objects; ++i)
    for (std::int64_t v = 0; v < t.variables; ++v) {
      const float x = t.data[i * t.object_stride + v * t.variable_stride];
      const bool missing = t.missing.nan ? std::isnan(x) : x == t.missing.marker;
      c.word(missing ? 0xFFFFFFFFu : std::bit_cast<std::uint32_t>(x));
    }
  return c.value();
}

const unsigned char* HeaderReader::take(std::size_t size) {
  if (static_cast<std::size_t>(end - p) < size) data_error(name + " is damaged: its header is cut short");
  const unsigned char* at = p;
  p += size;
  return at;
}

void put_names(std::string& header, const std::string& title, const std::vector<std::string>& labels) {
  put(header, static_cast<std::uint32_t>(title.size()));
  header += title;
  put(header, static_cast<std::uint64_t>(labels.size()));
  for (const std::string& l : labels) {
    put(header, static_cast<std::uint32_t>(l.size()));
    header += l;
  }
}

void read_names(HeaderReader& r, std::uint64_t m, std::string& title, std::vector<std::string>& labels) {
  title = r.text(r.get<std::uint32_t>());
  const auto count = r.get<std::uint64_t>();
  if (count != m || m < 2 || m > (std::uint64_t{1} << 31))
    data_error(r.name + " is damaged: its labels do not match its size");
  labels.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) labels.push_back(r.text(r.get<std::uint32_t>()));
}

void check_split(std::vector<PartOrigin> parts) {
  const PartOrigin& a = parts[0];
  const auto place = [](const PartOrigin& p) { return std::to_string(p.part) + "/" + std::to_string(p.parts); };
  for (const PartOrigin& p : parts) {
    if (p.m != a.m || p.n != a.n || p.table_checksum != a.table_checksum || *p.title != *a.title ||
        *p.labels != *a.labels)
      data_error(*a.file + " and " + *p.file + " are parts of different input tables");
    if (p.parts != a.parts)
      data_error(*a.file + " is part " + place(a) + " and " + *p.file + " part " + place(p) + ": parts of different splits");
  }
  std::sort(parts.begin(), parts.end(), [](const PartOrigin& x, const PartOrigin& y) { return x.part < y.part; });
  for (std::size_t i = 1; i < parts.size(); ++i)
    if (parts[i].part == parts[i - 1].part)
      data_error("part " + place(parts[i]) + " is given twice: " + *parts[i - 1].file + " and " + *parts[i].file);
  for (std::uint64_t k = 1; k <= parts[0].parts; ++k)
    if (k > parts.size() || parts[k - 1].part != k)
      data_error("part " + std::to_string(k) + "/" + std::to_string(parts[0].parts) + " is missing");
}

std::string part_header_bytes(const char (&magic)[8], std::string header) {
  const std::size_t padded = (8 + 4 + header.size() + 7) / 8 * 8 - 12;
  header.append(padded - header.size(), '\0');
  std::string out(magic, 8);
  put(out, static_cast<std::uint32_t>(header.size()));
  return out + header;
}

void PartOutput::add(const void* data, std::size_t size) {
  sum_.add(data, size);
  file_.write(data, size);
}

void PartOutput::finish() {
  const std::uint64_t sum = sum_.value();
  file_.write(&sum, 8);
  file_.commit();
}

MappedPartFile::~MappedPartFile() {
  if (base) ::munmap(const_cast<unsigned char*>(base), size);
}

HeaderReader MappedPartFile::header() const { return {base + 12, body, name}; }

std::unique_ptr<MappedPartFile> map_part_file(const std::string& name, const char (&magic)[8]) {
  auto part = std::make_unique<MappedPartFile>();
  part->name = name;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) data_error("cannot open " + name + ": " + std::strerror(errno));
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    data_error("cannot read " + name + ": it is a directory");
  }
  part->size = static_cast<std::size_t>(info.st_size);
  if (part->size < 8 + 4 + 8) {
    ::close(fd);
    data_error(name + " is not a tessora part file");
  }
  void* map = ::mmap(nullptr, part->size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) data_error("cannot read " + name + ": " + std::strerror(errno));
  part->base = static_cast<const unsigned char*>(map);
  if (std::memcmp(part->base, magic, 8) != 0) data_error(name + " is not a tessora part file");
  Checksum sum;
  sum.add(part->base, part->size - 8);
  std::uint64_t stored;
  std::memcpy(&stored, part->base + part->size - 8, 8);
  if (stored != sum.value()) data_error(name + " is damaged or cut short: its checksum does not match");
  std::uint32_t length;
  std::memcpy(&length, part->base + 8, 4);
  if (length > part->size - 20) data_error(name + " is damaged: its header is cut short");
  part->body = part->base + 12 + length;
  part->body_size = part->size - 20 - length;
  return part;
}

bool starts_with_magic(const std::string& name, const char (&magic)[8]) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[8];
  const bool ok = ::read(fd, head, 8) == 8 && std::memcmp(head, magic, 8) == 0;
  ::close(fd);
  return ok;
}

}  // namespace tessora::cli
