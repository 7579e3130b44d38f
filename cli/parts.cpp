#include "cli/parts.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "cli/failure.hpp"

namespace tessora::cli {

namespace {

constexpr char kMagic[8] = {'T', 'S', 'M', 'P', 'A', 'R', 'T', '1'};

// FNV-1a over 32-bit words (a last partial word padded with zeros).
struct Checksum {
  std::uint64_t h = 14695981039346656037ull;
  std::uint32_t pending = 0;
  unsigned pending_bytes = 0;
  void word(std::uint32_t w) {
    h ^= w;
    h *= 1099511628211ull;
  }
  void add(const void* data, std::size_t size) {
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
  std::uint64_t value() const {
    Checksum c = *this;
    if (c.pending_bytes) c.word(c.pending);
    return c.h;
  }
};

template <class T>
void put(std::string& s, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  s.append(b, sizeof(T));
}

struct Reader {
  const unsigned char* p;
  const unsigned char* end;
  const std::string& name;
  template <class T>
  T get() {
    if (static_cast<std::size_t>(end - p) < sizeof(T)) data_error(name + " is damaged: its header is cut short");
    T v;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
  }
  std::string text(std::size_t length) {
    if (static_cast<std::size_t>(end - p) < length) data_error(name + " is damaged: its header is cut short");
    std::string s(reinterpret_cast<const char*>(p), length);
    p += length;
    return s;
  }
};

// The first pair of row i: i m - i (i + 1) / 2.
std::uint64_t row_start(std::uint64_t i, std::uint64_t m) { return i * m - i * (i + 1) / 2; }

// The row holding pair p.
std::uint64_t row_of(std::uint64_t p, std::uint64_t m) {
  std::uint64_t lo = 0, hi = m - 1;  // row_start(lo) <= p < row_start(hi)
  while (hi - lo > 1) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    if (row_start(mid, m) <= p) lo = mid; else hi = mid;
  }
  return lo;
}

}  // namespace

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

std::pair<std::uint64_t, std::uint64_t> part_pairs(std::uint64_t m, std::uint64_t k, std::uint64_t n) {
  const unsigned __int128 pairs = m < 2 ? 0 : static_cast<unsigned __int128>(m) * (m - 1) / 2;
  return {static_cast<std::uint64_t>(pairs * (k - 1) / n), static_cast<std::uint64_t>(pairs * k / n)};
}

std::pair<std::uint64_t, std::uint64_t> part_diagonal(std::uint64_t m, std::uint64_t k, std::uint64_t n) {
  return {static_cast<std::uint64_t>(static_cast<unsigned __int128>(m) * (k - 1) / n),
          static_cast<std::uint64_t>(static_cast<unsigned __int128>(m) * k / n)};
}

std::string encode_part_header(const PartHeader& h) {
  std::string b;
  put(b, h.m);
  put(b, h.n);
  put(b, h.coefficient);
  put(b, static_cast<std::uint8_t>(h.scale));
  put(b, static_cast<std::uint8_t>(h.dissimilarity));
  put(b, static_cast<std::uint8_t>(h.cells == Cells::count));
  put(b, std::uint8_t{0});
  for (std::uint64_t v : {h.part, h.parts, h.pair_begin, h.pair_end, h.diag_begin, h.diag_end, h.table_checksum})
    put(b, v);
  put(b, static_cast<std::uint32_t>(h.title.size()));
  b += h.title;
  put(b, static_cast<std::uint64_t>(h.labels.size()));
  for (const std::string& l : h.labels) {
    put(b, static_cast<std::uint32_t>(l.size()));
    b += l;
  }
  std::string out(kMagic, 8);
  std::size_t length = b.size();
  const std::size_t padded = (8 + 4 + length + 7) / 8 * 8 - 12;
  b.append(padded - length, '\0');
  put(out, static_cast<std::uint32_t>(b.size()));
  return out + b;
}

namespace {

// Streams one part file, its checksum taken on the way.
class PartOutput {
 public:
  PartOutput(const std::string& path, const PartHeader& h) : file_(path) { add(encode_part_header(h)); }
  void add(std::string&& bytes) {
    sum_.add(bytes.data(), bytes.size());
    file_.write(std::move(bytes));
  }
  void finish() {
    std::string tail;
    put(tail, sum_.value());
    file_.write(std::move(tail));
    file_.commit();
  }

 private:
  OutputFile file_;
  Checksum sum_;
};

}  // namespace

void write_parts(const Options& o, const Engine& engine, const Table& table, ProgressBar& progress) {
  const auto m = static_cast<std::uint64_t>(engine.objects());
  PartHeader h;
  h.m = m;
  h.n = static_cast<std::uint64_t>(engine.variables());
  h.coefficient = o.coefficient;
  h.scale = o.scale;
  h.dissimilarity = o.dissimilarity;
  h.part = static_cast<std::uint64_t>(o.part);
  h.parts = static_cast<std::uint64_t>(o.parts);
  std::tie(h.pair_begin, h.pair_end) = part_pairs(m, h.part, h.parts);
  std::tie(h.diag_begin, h.diag_end) = part_diagonal(m, h.part, h.parts);
  h.table_checksum = table_checksum(table.view);
  h.title = table.title;
  h.labels = table.labels;

  PartOutput values_out(o.output, h);
  std::unique_ptr<PartOutput> counts_out;
  if (!o.shared_counts.empty()) {
    PartHeader hc = h;
    hc.cells = Cells::count;
    counts_out = std::make_unique<PartOutput>(o.shared_counts, hc);
  }
  const bool counts_needed = counts_out != nullptr;

  progress.set_total(static_cast<double>(h.pair_end - h.pair_begin));
  std::vector<float> values(static_cast<std::size_t>(std::max<std::uint64_t>(kBlockCells, m)));
  std::vector<std::uint32_t> counts(counts_needed ? values.size() : 0);
  double done = 0;
  if (h.pair_begin < h.pair_end) {
    const std::uint64_t first_row = row_of(h.pair_begin, m);
    const std::uint64_t last_row = row_of(h.pair_end - 1, m) + 1;
    std::uint64_t r0 = first_row;
    while (r0 < last_row) {
      const std::uint64_t width = m - r0;
      const std::uint64_t rows = std::clamp<std::uint64_t>(static_cast<std::uint64_t>(kBlockCells) / width, 1, last_row - r0);
      const std::uint64_t r1 = r0 + rows;
      const double cells = static_cast<double>(rows * width);
      const Block b{static_cast<std::int64_t>(r0), static_cast<std::int64_t>(r1), static_cast<std::int64_t>(r0),
                    static_cast<std::int64_t>(m)};
      RunOptions run;
      run.threads = o.threads;
      run.progress = [&](double f) {
        progress.update(done + f * cells / 2);
        return true;
      };
      engine.compute_block(b, values.data(), static_cast<std::int64_t>(width), counts_needed ? counts.data() : nullptr,
                           static_cast<std::int64_t>(width), run);
      std::string vbytes, cbytes;
      for (std::uint64_t i = r0; i < r1; ++i) {
        const std::uint64_t s = row_start(i, m);
        const std::uint64_t jb = std::max(s, h.pair_begin) - s + i + 1;
        const std::uint64_t je = std::min(s + (m - i - 1), h.pair_end) - s + i + 1;
        if (jb >= je) continue;
        const std::size_t at = static_cast<std::size_t>((i - r0) * width + (jb - r0));
        const std::size_t count = static_cast<std::size_t>(je - jb);
        vbytes.append(reinterpret_cast<const char*>(values.data() + at), count * 4);
        if (counts_needed) cbytes.append(reinterpret_cast<const char*>(counts.data() + at), count * 4);
        done += static_cast<double>(count);
      }
      values_out.add(std::move(vbytes));
      if (counts_needed) counts_out->add(std::move(cbytes));
      progress.update(done);
      r0 = r1;
    }
  }
  // The diagonal entries: the values from the engine, the counts are each
  // object's own known values.
  std::string vdiag, cdiag;
  for (std::uint64_t i = h.diag_begin; i < h.diag_end; ++i) {
    put(vdiag, engine.diagonal(static_cast<std::int64_t>(i)));
    if (counts_needed) {
      std::uint32_t k = 0;
      const TableView& t = table.view;
      for (std::int64_t v = 0; v < t.variables; ++v) {
        const float x = t.data[static_cast<std::int64_t>(i) * t.object_stride + v * t.variable_stride];
        k += (t.missing.nan ? std::isnan(x) : x == t.missing.marker) ? 0 : 1;
      }
      put(cdiag, k);
    }
  }
  values_out.add(std::move(vdiag));
  if (counts_needed) counts_out->add(std::move(cdiag));
  values_out.finish();
  if (counts_needed) counts_out->finish();
}

namespace {

// A part file mapped into memory and checked.
struct MappedPart {
  std::string name;
  PartHeader h;
  const unsigned char* base = nullptr;
  std::size_t size = 0;
  const unsigned char* pairs = nullptr;
  const unsigned char* diagonal = nullptr;

  ~MappedPart() {
    if (base) ::munmap(const_cast<unsigned char*>(base), size);
  }
};

std::unique_ptr<MappedPart> map_part(const std::string& name) {
  auto part = std::make_unique<MappedPart>();
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
  if (std::memcmp(part->base, kMagic, 8) != 0) data_error(name + " is not a tessora part file");
  Checksum sum;
  sum.add(part->base, part->size - 8);
  std::uint64_t stored;
  std::memcpy(&stored, part->base + part->size - 8, 8);
  if (stored != sum.value()) data_error(name + " is damaged or cut short: its checksum does not match");

  std::uint32_t length;
  std::memcpy(&length, part->base + 8, 4);
  if (length > part->size - 20) data_error(name + " is damaged: its header is cut short");
  Reader r{part->base + 12, part->base + 12 + length, name};
  PartHeader& h = part->h;
  h.m = r.get<std::uint64_t>();
  h.n = r.get<std::uint64_t>();
  h.coefficient = r.get<std::int32_t>();
  h.scale = r.get<std::uint8_t>() != 0;
  h.dissimilarity = r.get<std::uint8_t>() != 0;
  h.cells = r.get<std::uint8_t>() != 0 ? Cells::count : Cells::real;
  r.get<std::uint8_t>();
  h.part = r.get<std::uint64_t>();
  h.parts = r.get<std::uint64_t>();
  h.pair_begin = r.get<std::uint64_t>();
  h.pair_end = r.get<std::uint64_t>();
  h.diag_begin = r.get<std::uint64_t>();
  h.diag_end = r.get<std::uint64_t>();
  h.table_checksum = r.get<std::uint64_t>();
  h.title = r.text(r.get<std::uint32_t>());
  const auto labels = r.get<std::uint64_t>();
  if (labels != h.m || h.m > (std::uint64_t{1} << 31)) data_error(name + " is damaged: its labels do not match its size");
  h.labels.reserve(labels);
  for (std::uint64_t i = 0; i < labels; ++i) h.labels.push_back(r.text(r.get<std::uint32_t>()));
  // Its ranges must be the ones its K/N gives, and its cells fill the rest.
  if (h.parts == 0 || h.part == 0 || h.part > h.parts ||
      std::make_pair(h.pair_begin, h.pair_end) != part_pairs(h.m, h.part, h.parts) ||
      std::make_pair(h.diag_begin, h.diag_end) != part_diagonal(h.m, h.part, h.parts))
    data_error(name + " is damaged: its ranges do not match part " + std::to_string(h.part) + "/" + std::to_string(h.parts));
  const std::uint64_t cells = (h.pair_end - h.pair_begin) + (h.diag_end - h.diag_begin);
  if (12 + std::uint64_t{length} + cells * 4 + 8 != part->size) data_error(name + " is damaged: its size does not match its header");
  part->pairs = part->base + 12 + length;
  part->diagonal = part->pairs + (h.pair_end - h.pair_begin) * 4;
  return part;
}

std::string part_name(const PartHeader& h) { return std::to_string(h.part) + "/" + std::to_string(h.parts); }

// One complete set of parts: the cells of any pair or diagonal entry.
class PartSet {
 public:
  explicit PartSet(std::vector<std::unique_ptr<MappedPart>>& parts) : parts_(parts), m_(parts[0]->h.m) {}

  std::uint32_t cell(std::uint64_t i, std::uint64_t j) {
    if (i == j) {
      while (!(parts_[dpart_]->h.diag_begin <= i && i < parts_[dpart_]->h.diag_end))
        dpart_ = parts_[dpart_]->h.diag_begin > i ? dpart_ - 1 : dpart_ + 1;
      const MappedPart& p = *parts_[dpart_];
      return read(p.diagonal + (i - p.h.diag_begin) * 4);
    }
    if (i > j) std::swap(i, j);
    const std::uint64_t idx = row_start(i, m_) + (j - i - 1);
    const MappedPart* p = parts_[ppart_].get();
    if (!(p->h.pair_begin <= idx && idx < p->h.pair_end)) {
      std::size_t lo = 0, hi = parts_.size();
      while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (parts_[mid]->h.pair_begin <= idx) lo = mid; else hi = mid;
      }
      // Empty parts share their begin with the next: step past them.
      while (parts_[lo]->h.pair_end <= idx) ++lo;
      ppart_ = lo;
      p = parts_[lo].get();
    }
    return read(p->pairs + (idx - p->h.pair_begin) * 4);
  }

 private:
  static std::uint32_t read(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }

  std::vector<std::unique_ptr<MappedPart>>& parts_;
  std::uint64_t m_;
  std::size_t ppart_ = 0, dpart_ = 0;
};

// Values from one set of parts, counts from another (or the same).
class PartsSource final : public BlockSource {
 public:
  PartsSource(std::int64_t m, PartSet* values, PartSet* counts) : m_(m), values_(values), counts_(counts) {}
  std::int64_t size() const override { return m_; }

  void fill(const Block& b, float* values, std::uint32_t* counts, std::int64_t stride,
            const std::function<void(double)>&) override {
    for (std::int64_t i = b.row_begin; i < b.row_end; ++i)
      for (std::int64_t j = b.col_begin; j < b.col_end; ++j) {
        const std::size_t at = static_cast<std::size_t>((i - b.row_begin) * stride + (j - b.col_begin));
        const auto ui = static_cast<std::uint64_t>(i), uj = static_cast<std::uint64_t>(j);
        if (values) values[at] = std::bit_cast<float>(values_->cell(ui, uj));
        if (counts) counts[at] = counts_->cell(ui, uj);
      }
  }

 private:
  std::int64_t m_;
  PartSet* values_;
  PartSet* counts_;
};

// Checks that `parts` (all of one kind) are one complete split of one
// computation and sorts them by K.
void check_parts(std::vector<std::unique_ptr<MappedPart>>& parts) {
  const PartHeader& a = parts[0]->h;
  const std::string& an = parts[0]->name;
  for (const auto& p : parts) {
    const PartHeader& h = p->h;
    if (h.m != a.m || h.n != a.n || h.table_checksum != a.table_checksum || h.title != a.title || h.labels != a.labels)
      data_error(an + " and " + p->name + " are parts of different input tables");
    if (h.coefficient != a.coefficient || h.scale != a.scale || h.dissimilarity != a.dissimilarity)
      data_error(an + " and " + p->name + " were computed with different options (coefficient " +
                 std::to_string(a.coefficient) + (a.scale ? " scaled" : "") + (a.dissimilarity ? " dissimilarity" : "") +
                 " against " + std::to_string(h.coefficient) + (h.scale ? " scaled" : "") +
                 (h.dissimilarity ? " dissimilarity" : "") + ")");
    if (h.parts != a.parts)
      data_error(an + " is part " + part_name(a) + " and " + p->name + " part " + part_name(h) +
                 ": parts of different splits");
  }
  std::sort(parts.begin(), parts.end(), [](const auto& x, const auto& y) { return x->h.part < y->h.part; });
  for (std::size_t i = 1; i < parts.size(); ++i)
    if (parts[i]->h.part == parts[i - 1]->h.part)
      data_error("part " + part_name(parts[i]->h) + " is given twice: " + parts[i - 1]->name + " and " + parts[i]->name);
  for (std::uint64_t k = 1; k <= a.parts; ++k)
    if (k > parts.size() || parts[k - 1]->h.part != k)
      data_error("part " + std::to_string(k) + "/" + std::to_string(a.parts) + " is missing");
  if (a.m < 2) data_error(an + ": fewer than 2 objects");
}

}  // namespace

void merge_parts(const Options& o, bool show_progress) {
  if (!o.shared_counts.empty())
    usage_error("merge takes no --shared-counts: merge the count parts on their own");
  std::vector<std::unique_ptr<MappedPart>> value_parts, count_parts;
  for (const std::string& name : o.part_files) {
    auto p = map_part(name);
    (p->h.cells == Cells::real ? value_parts : count_parts).push_back(std::move(p));
  }
  // Count parts beside value parts serve the k column of the long format.
  const bool both = !value_parts.empty() && !count_parts.empty();
  if (both && o.format != Format::long_pairs)
    data_error(value_parts[0]->name + " and " + count_parts[0]->name +
               " hold different things (values and shared counts); merge them apart");
  if (!value_parts.empty() && count_parts.empty() && o.format == Format::long_pairs)
    data_error("the long format needs the shared counts too: give the count parts (--part with --shared-counts) as well");
  if (!value_parts.empty()) check_parts(value_parts);
  if (!count_parts.empty()) check_parts(count_parts);
  if (both) {
    const PartHeader& a = value_parts[0]->h;
    const PartHeader& c = count_parts[0]->h;
    if (a.m != c.m || a.table_checksum != c.table_checksum || a.labels != c.labels)
      data_error(value_parts[0]->name + " and " + count_parts[0]->name + " are parts of different input tables");
  }
  auto& first = value_parts.empty() ? count_parts : value_parts;
  const PartHeader& a = first[0]->h;
  MatrixInfo info;
  info.m = static_cast<std::int64_t>(a.m);
  info.coefficient = a.coefficient;
  info.title = a.title;
  info.labels = &a.labels;
  PartSet values(first);
  std::unique_ptr<PartSet> counts;
  if (both) counts = std::make_unique<PartSet>(count_parts);
  OutputFile out(o.output);
  MatrixWriter writer(o.format, o.layout, a.cells, info, out, o.threads);
  PartsSource source(info.m, &values, counts ? counts.get() : &values);
  ProgressBar progress(show_progress);
  write_blocks(source, {&writer}, progress);
  out.commit();
}

}  // namespace tessora::cli
