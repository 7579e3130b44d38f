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
#include "cli/graph.hpp"
#include "cli/part_file.hpp"
#include "tessora/layout.hpp"

namespace tessora::cli {

namespace {

constexpr char kMagic[8] = {'T', 'S', 'M', 'P', 'A', 'R', 'T', '1'};

// The number of known values of object i: its shared count with itself.
std::uint32_t known_values(const TableView& t, std::int64_t i) {
  std::uint32_t k = 0;
  for (std::int64_t v = 0; v < t.variables; ++v) {
    const float x = t.data[i * t.object_stride + v * t.variable_stride];
    k += (t.missing.nan ? std::isnan(x) : x == t.missing.marker) ? 0 : 1;
  }
  return k;
}

}  // namespace

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
  put_names(b, h.title, h.labels);
  return part_header_bytes(kMagic, std::move(b));
}

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

  PartOutput values_out(o.output);
  values_out.add(encode_part_header(h));
  std::unique_ptr<PartOutput> counts_out;
  if (!o.shared_counts.empty()) {
    PartHeader hc = h;
    hc.cells = Cells::count;
    counts_out = std::make_unique<PartOutput>(o.shared_counts);
    counts_out->add(encode_part_header(hc));
  }
  const bool counts_needed = counts_out != nullptr;

  // Blocks of rows against the objects from their first row on, within the
  // band policy; of each row only the pairs of this part are kept.
  progress.set_total(static_cast<double>(h.pair_end - h.pair_begin));
  const auto mm = static_cast<std::int64_t>(m);
  const auto pair_begin = static_cast<std::int64_t>(h.pair_begin), pair_end = static_cast<std::int64_t>(h.pair_end);
  std::vector<float> values;
  std::vector<std::uint32_t> counts;
  double done = 0;
  if (pair_begin < pair_end) {
    const std::int64_t last_row = condensed_row(mm, pair_end - 1) + 1;
    for (std::int64_t r0 = condensed_row(mm, pair_begin); r0 < last_row;) {
      const std::int64_t width = mm - r0;
      const std::int64_t r1 = std::min(last_row, r0 + band_rows(width, counts_needed ? 8 : 4));
      values.resize(static_cast<std::size_t>((r1 - r0) * width));
      if (counts_needed) counts.resize(values.size());
      RunOptions run;
      run.threads = o.threads;
      run.progress = [&](double f) {
        progress.update(done + f * static_cast<double>(condensed_start(mm, r1) - condensed_start(mm, r0)));
        return true;
      };
      engine.compute_block({r0, r1, r0, mm}, values.data(), width, counts_needed ? counts.data() : nullptr, width, run);
      for (std::int64_t i = r0; i < r1; ++i) {
        // Row i's pairs (i, j), j > i, are condensed_start(i) on.
        const std::int64_t first = std::max(condensed_start(mm, i), pair_begin);
        const std::int64_t last = std::min(condensed_start(mm, i + 1), pair_end);
        if (first >= last) continue;
        const auto at = static_cast<std::size_t>((i - r0) * width + (first - condensed_start(mm, i)) + (i + 1 - r0));
        const auto bytes = static_cast<std::size_t>(last - first) * 4;
        values_out.add(values.data() + at, bytes);
        if (counts_needed) counts_out->add(counts.data() + at, bytes);
        done += static_cast<double>(last - first);
      }
      progress.update(done);
      r0 = r1;
    }
  }
  // The diagonal entries: the values from the engine, the counts are each
  // object's own known values.
  std::string vdiag, cdiag;
  for (std::uint64_t i = h.diag_begin; i < h.diag_end; ++i) {
    put(vdiag, engine.diagonal(static_cast<std::int64_t>(i)));
    if (counts_needed) put(cdiag, known_values(table.view, static_cast<std::int64_t>(i)));
  }
  values_out.add(vdiag);
  if (counts_needed) counts_out->add(cdiag);
  values_out.finish();
  if (counts_needed) counts_out->finish();
}

namespace {

// A part file mapped into memory and checked.
struct MappedPart {
  std::unique_ptr<MappedPartFile> file;
  std::string name;
  PartHeader h;
  const unsigned char* pairs = nullptr;
  const unsigned char* diagonal = nullptr;
};

std::unique_ptr<MappedPart> map_part(const std::string& name) {
  auto part = std::make_unique<MappedPart>();
  part->file = map_part_file(name, kMagic);
  part->name = name;
  HeaderReader r = part->file->header();
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
  read_names(r, h.m, h.title, h.labels);
  // Its ranges must be the ones its K/N gives, and its cells fill the rest.
  if (h.parts == 0 || h.part == 0 || h.part > h.parts ||
      std::make_pair(h.pair_begin, h.pair_end) != part_pairs(h.m, h.part, h.parts) ||
      std::make_pair(h.diag_begin, h.diag_end) != part_diagonal(h.m, h.part, h.parts))
    data_error(name + " is damaged: its ranges do not match part " + std::to_string(h.part) + "/" + std::to_string(h.parts));
  const std::uint64_t cells = (h.pair_end - h.pair_begin) + (h.diag_end - h.diag_begin);
  if (cells * 4 != part->file->body_size) data_error(name + " is damaged: its size does not match its header");
  part->pairs = part->file->body;
  part->diagonal = part->pairs + (h.pair_end - h.pair_begin) * 4;
  return part;
}


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
    const auto idx = static_cast<std::uint64_t>(condensed_index(static_cast<std::int64_t>(m_), static_cast<std::int64_t>(i), static_cast<std::int64_t>(j)));
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
      for (std::int64_t j = b.col_begin; j < b.col_end; ++j)
        put(static_cast<std::size_t>((i - b.row_begin) * stride + (j - b.col_begin)), i, j, values, counts);
  }

 private:
  void put(std::size_t at, std::int64_t i, std::int64_t j, float* values, std::uint32_t* counts) {
    const auto ui = static_cast<std::uint64_t>(i), uj = static_cast<std::uint64_t>(j);
    if (values) values[at] = std::bit_cast<float>(values_->cell(ui, uj));
    if (counts) counts[at] = counts_->cell(ui, uj);
  }

  std::int64_t m_;
  PartSet* values_;
  PartSet* counts_;
};

// Checks that `parts` (all of one kind) are one complete split of one
// computation and sorts them by K.
void check_parts(std::vector<std::unique_ptr<MappedPart>>& parts) {
  const PartHeader& a = parts[0]->h;
  std::vector<PartOrigin> origins;
  for (const auto& p : parts) {
    const PartHeader& h = p->h;
    if (h.coefficient != a.coefficient || h.scale != a.scale || h.dissimilarity != a.dissimilarity)
      data_error(parts[0]->name + " and " + p->name + " were computed with different options (coefficient " +
                 std::to_string(a.coefficient) + (a.scale ? " scaled" : "") + (a.dissimilarity ? " dissimilarity" : "") +
                 " against " + std::to_string(h.coefficient) + (h.scale ? " scaled" : "") +
                 (h.dissimilarity ? " dissimilarity" : "") + ")");
    origins.push_back({&p->name, h.m, h.n, h.table_checksum, &h.title, &h.labels, h.part, h.parts});
  }
  check_split(std::move(origins));
  std::sort(parts.begin(), parts.end(), [](const auto& x, const auto& y) { return x->h.part < y->h.part; });
}

}  // namespace

bool is_matrix_part(const std::string& path) { return starts_with_magic(path, kMagic); }

void merge_parts(const Options& o, bool show_progress) {
  std::vector<std::unique_ptr<MappedPart>> value_parts, count_parts;
  for (const std::string& name : o.part_files) {
    if (is_graph_part(name))
      data_error(o.part_files.front() + " is a part of a matrix and " + name +
                 " a part of --neighbors or --radius: merge them apart");
    auto p = map_part(name);
    (p->h.cells == Cells::real ? value_parts : count_parts).push_back(std::move(p));
  }
  // Count parts beside value parts: the k column of the long format, and
  // the file of --shared-counts.
  const bool both = !value_parts.empty() && !count_parts.empty();
  const bool counts_file = !o.shared_counts.empty();
  if (!value_parts.empty() && count_parts.empty()) {
    if (o.format == Format::long_pairs)
      data_error("the long format needs the shared counts too: give the count parts (--part with --shared-counts) "
                 "beside the value parts");
    if (counts_file)
      data_error("--shared-counts needs the count parts (--part with --shared-counts) beside the value parts");
  }
  if (value_parts.empty() && counts_file)
    data_error("only count parts were given: their merge goes to --output, and --shared-counts has nothing to take");
  if (both && !counts_file && o.format != Format::long_pairs)
    data_error(value_parts[0]->name + " and " + count_parts[0]->name +
               " hold values and shared counts: give --shared-counts FILE for the counts, or merge them apart");
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
  std::vector<MatrixWriter*> writers{&writer};
  std::unique_ptr<OutputFile> counts_out;
  std::unique_ptr<MatrixWriter> counts_writer;
  if (counts_file) {
    counts_out = std::make_unique<OutputFile>(o.shared_counts);
    counts_writer = std::make_unique<MatrixWriter>(o.format, o.layout, Cells::count, info, *counts_out, o.threads);
    writers.push_back(counts_writer.get());
  }
  PartsSource source(info.m, &values, counts ? counts.get() : &values);
  ProgressBar progress(show_progress);
  write_blocks(source, writers, progress);
  out.commit();
  if (counts_out) counts_out->commit();
}

}  // namespace tessora::cli
