#include "cli/graph.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "cli/failure.hpp"
#include "cli/part_file.hpp"
#include "cli/parts.hpp"
#include "tessora/layout.hpp"

namespace tessora::cli {

namespace {

constexpr char kGraphMagic[8] = {'T', 'S', 'G', 'P', 'A', 'R', 'T', '1'};

template <class T>
std::size_t at(T index) {
  return static_cast<std::size_t>(index);
}

}  // namespace

// --- computing -------------------------------------------------------------------

Graph compute_graph(const Options& o, const Engine& engine, std::int64_t row_begin, std::int64_t row_end,
                    ProgressBar& progress) {
  Graph g;
  g.kind = o.result;
  g.m = engine.objects();
  g.row_begin = row_begin;
  g.row_end = row_end;
  const double pairs = o.result == Result::neighbors
                           ? static_cast<double>(row_end - row_begin) * static_cast<double>(g.m)
                           : static_cast<double>(condensed_start(g.m, row_end) - condensed_start(g.m, row_begin));
  progress.set_total(pairs);
  RunOptions run;
  run.threads = o.threads;
  run.progress = [&](double fraction) {
    progress.update(fraction * pairs);
    return true;
  };
  if (o.result == Result::neighbors) {
    NeighborOptions options{o.include_self, o.min_shared, row_begin, row_begin};
    // The library's checks of k and min_shared before m k entries are had.
    std::int64_t none = 0;
    argument_check([&] { engine.neighbors(o.k, &none, nullptr, nullptr, options); });
    g.k = o.k;
    const auto entries = at((row_end - row_begin) * g.k);
    g.j.resize(entries);
    g.values.resize(entries);
    g.shared.resize(entries);
    options.row_end = row_end;
    if (entries > 0)
      argument_check([&] { engine.neighbors(g.k, g.j.data(), g.values.data(), g.shared.data(), options, run); });
  } else {
    const WithinOptions options{o.include_self, o.min_shared, row_begin, row_end, o.max_pairs};
    PairList list = argument_check([&] { return engine.within(o.radius, options, true, run); });
    g.i = std::move(list.i);
    g.j = std::move(list.j);
    g.values = std::move(list.values);
    g.shared = std::move(list.shared);
  }
  progress.update(pairs);
  return g;
}

std::pair<std::int64_t, std::int64_t> graph_part_rows(Result kind, std::int64_t m, std::int64_t part,
                                                      std::int64_t parts) {
  const auto cut = [&](std::int64_t k) -> std::int64_t {
    if (kind == Result::neighbors) return static_cast<std::int64_t>(static_cast<__int128>(m) * k / parts);
    if (k == 0) return 0;
    if (k == parts) return m;
    // The row that holds the pair where the k-th share of the pairs ends.
    return condensed_row(m, static_cast<std::int64_t>(static_cast<__int128>(condensed_size(m)) * k / parts));
  };
  return {cut(part - 1), cut(part)};
}

// --- the rows as written ------------------------------------------------------------

GraphRows::GraphRows(const Graph& g) : graph_(g) {
  if (g.kind == Result::neighbors) return;
  const auto m = at(g.m);
  lower_start_.assign(m + 1, 0);
  upper_start_.assign(m + 1, 0);
  for (std::size_t p = 0; p < g.i.size(); ++p) {
    ++upper_start_[at(g.i[p]) + 1];
    if (g.i[p] != g.j[p]) ++lower_start_[at(g.j[p]) + 1];
  }
  for (std::size_t r = 0; r < m; ++r) {
    upper_start_[r + 1] += upper_start_[r];
    lower_start_[r + 1] += lower_start_[r];
  }
  // The pairs in order of i: each row's pairs (a, r) come out with a ascending.
  lower_.resize(lower_start_[m]);
  std::vector<std::size_t> next(lower_start_.begin(), lower_start_.end() - 1);
  for (std::size_t p = 0; p < g.i.size(); ++p)
    if (g.i[p] != g.j[p]) lower_[next[at(g.j[p])]++] = p;
}

std::int64_t GraphRows::entries() const {
  if (graph_.kind == Result::neighbors)
    return static_cast<std::int64_t>(std::count_if(graph_.j.begin(), graph_.j.end(), [](std::int64_t j) { return j >= 0; }));
  return static_cast<std::int64_t>(lower_.size() + graph_.i.size());
}

// --- parts -----------------------------------------------------------------------

namespace {

struct GraphPartHeader {
  std::uint64_t m = 0, n = 0;
  std::int32_t coefficient = 0;
  bool scale = false, dissimilarity = false;
  Result kind = Result::neighbors;
  bool include_self = false;
  std::uint64_t k = 0;
  float threshold = 0;
  std::uint64_t min_shared = 0, max_pairs = 0;
  std::uint64_t part = 0, parts = 0, row_begin = 0, row_end = 0, entries = 0;
  std::uint64_t table_checksum = 0;
  std::string title;
  std::vector<std::string> labels;

  // The settings that make two parts parts of one result.
  bool same_result(const GraphPartHeader& o) const {
    return coefficient == o.coefficient && scale == o.scale && dissimilarity == o.dissimilarity && kind == o.kind &&
           include_self == o.include_self && k == o.k &&
           std::bit_cast<std::uint32_t>(threshold) == std::bit_cast<std::uint32_t>(o.threshold) &&
           min_shared == o.min_shared;
  }
};

std::string encode(const GraphPartHeader& h) {
  std::string b;
  put(b, h.m);
  put(b, h.n);
  put(b, h.coefficient);
  put(b, static_cast<std::uint8_t>(h.scale));
  put(b, static_cast<std::uint8_t>(h.dissimilarity));
  put(b, static_cast<std::uint8_t>(h.kind == Result::radius));
  put(b, static_cast<std::uint8_t>(h.include_self));
  put(b, h.k);
  put(b, h.threshold);
  put(b, std::uint32_t{0});
  for (std::uint64_t v : {h.min_shared, h.max_pairs, h.part, h.parts, h.row_begin, h.row_end, h.entries, h.table_checksum})
    put(b, v);
  put_names(b, h.title, h.labels);
  return part_header_bytes(kGraphMagic, std::move(b));
}

template <class T>
void add_array(PartOutput& out, const std::vector<T>& v) {
  out.add(v.data(), v.size() * sizeof(T));
}

void write_graph_part(const Options& o, const Engine& engine, const Table& table, ProgressBar& progress) {
  const std::int64_t m = engine.objects();
  const auto [r0, r1] = graph_part_rows(o.result, m, o.part, o.parts);
  const Graph g = compute_graph(o, engine, r0, r1, progress);
  GraphPartHeader h;
  h.m = static_cast<std::uint64_t>(m);
  h.n = static_cast<std::uint64_t>(engine.variables());
  h.coefficient = o.coefficient;
  h.scale = o.scale;
  h.dissimilarity = o.dissimilarity;
  h.kind = o.result;
  h.include_self = o.include_self;
  h.k = o.result == Result::neighbors ? static_cast<std::uint64_t>(o.k) : 0;
  h.threshold = o.result == Result::radius ? o.radius : 0.0f;
  h.min_shared = static_cast<std::uint64_t>(o.min_shared);
  h.max_pairs = static_cast<std::uint64_t>(o.max_pairs);
  h.part = static_cast<std::uint64_t>(o.part);
  h.parts = static_cast<std::uint64_t>(o.parts);
  h.row_begin = static_cast<std::uint64_t>(r0);
  h.row_end = static_cast<std::uint64_t>(r1);
  h.entries = g.values.size();
  h.table_checksum = table_checksum(table.view);
  h.title = table.title;
  h.labels = table.labels;
  PartOutput out(o.output);
  out.add(encode(h));
  if (g.kind == Result::radius) add_array(out, g.i);
  add_array(out, g.j);
  add_array(out, g.values);
  add_array(out, g.shared);
  out.finish();
}

struct GraphPart {
  std::unique_ptr<MappedPartFile> file;
  GraphPartHeader h;
};

GraphPart map_graph_part(const std::string& name) {
  GraphPart part;
  part.file = map_part_file(name, kGraphMagic);
  HeaderReader r = part.file->header();
  GraphPartHeader& h = part.h;
  h.m = r.get<std::uint64_t>();
  h.n = r.get<std::uint64_t>();
  h.coefficient = r.get<std::int32_t>();
  h.scale = r.get<std::uint8_t>() != 0;
  h.dissimilarity = r.get<std::uint8_t>() != 0;
  h.kind = r.get<std::uint8_t>() != 0 ? Result::radius : Result::neighbors;
  h.include_self = r.get<std::uint8_t>() != 0;
  h.k = r.get<std::uint64_t>();
  h.threshold = r.get<float>();
  r.get<std::uint32_t>();
  h.min_shared = r.get<std::uint64_t>();
  h.max_pairs = r.get<std::uint64_t>();
  h.part = r.get<std::uint64_t>();
  h.parts = r.get<std::uint64_t>();
  h.row_begin = r.get<std::uint64_t>();
  h.row_end = r.get<std::uint64_t>();
  h.entries = r.get<std::uint64_t>();
  h.table_checksum = r.get<std::uint64_t>();
  read_names(r, h.m, h.title, h.labels);
  const auto m = static_cast<std::int64_t>(h.m);
  if (h.parts == 0 || h.part == 0 || h.part > h.parts || h.k > h.m ||
      std::make_pair(static_cast<std::int64_t>(h.row_begin), static_cast<std::int64_t>(h.row_end)) !=
          graph_part_rows(h.kind, m, static_cast<std::int64_t>(h.part), static_cast<std::int64_t>(h.parts)) ||
      (h.kind == Result::neighbors && h.entries != (h.row_end - h.row_begin) * h.k))
    data_error(name + " is damaged: its rows do not match part " + std::to_string(h.part) + "/" +
               std::to_string(h.parts));
  const std::uint64_t entry_bytes = h.kind == Result::neighbors ? 16 : 24;
  if (h.entries > part.file->body_size / entry_bytes || h.entries * entry_bytes != part.file->body_size)
    data_error(name + " is damaged: its size does not match its header");
  return part;
}

template <class T>
void append_array(std::vector<T>& to, const unsigned char*& from, std::uint64_t count) {
  const std::size_t before = to.size();
  to.resize(before + at(count));
  if (count == 0) return;  // to.data() may be nullptr
  std::memcpy(to.data() + before, from, at(count) * sizeof(T));
  from += count * sizeof(T);
}

}  // namespace

void run_graph(const Options& o, const Engine& engine, const Table& table, ProgressBar& progress) {
  if (o.parts > 0) {
    write_graph_part(o, engine, table, progress);
    return;
  }
  const Graph g = compute_graph(o, engine, 0, engine.objects(), progress);
  write_graph(o, g, table.labels);
}

bool is_graph_part(const std::string& path) { return starts_with_magic(path, kGraphMagic); }

void merge_graph_parts(const Options& o) {
  std::vector<GraphPart> parts;
  for (const std::string& name : o.part_files) {
    if (is_matrix_part(name))
      data_error(o.part_files.front() + " is a part of --neighbors or --radius and " + name +
                 " a part of a matrix: merge them apart");
    parts.push_back(map_graph_part(name));
  }
  std::vector<PartOrigin> origins;
  for (const GraphPart& p : parts) {
    if (!p.h.same_result(parts[0].h))
      data_error(parts[0].file->name + " and " + p.file->name + " were computed with different options");
    origins.push_back({&p.file->name, p.h.m, p.h.n, p.h.table_checksum, &p.h.title, &p.h.labels, p.h.part, p.h.parts});
  }
  check_split(std::move(origins));
  std::sort(parts.begin(), parts.end(), [](const GraphPart& x, const GraphPart& y) { return x.h.part < y.h.part; });
  const GraphPartHeader& a = parts[0].h;
  const std::string& an = parts[0].file->name;
  check_outputs(o, a.kind);

  Graph g;
  g.kind = a.kind;
  g.m = static_cast<std::int64_t>(a.m);
  g.k = static_cast<std::int64_t>(a.k);
  g.row_end = g.m;
  for (const GraphPart& p : parts) {
    const unsigned char* from = p.file->body;
    if (g.kind == Result::radius) append_array(g.i, from, p.h.entries);
    append_array(g.j, from, p.h.entries);
    append_array(g.values, from, p.h.entries);
    append_array(g.shared, from, p.h.entries);
  }
  // What the formats rely on: every index within the table, the pairs in
  // order of i, then j.
  for (std::size_t p = 0; p < g.j.size(); ++p) {
    bool bad = g.j[p] < -1 || g.j[p] >= g.m;
    if (g.kind == Result::radius)
      bad = bad || g.j[p] < 0 || g.i[p] < 0 || g.i[p] > g.j[p] ||
            (p > 0 && (g.i[p] < g.i[p - 1] || (g.i[p] == g.i[p - 1] && g.j[p] <= g.j[p - 1])));
    if (bad) data_error(an + " and the other parts are damaged: their pairs are out of order or outside the table");
  }
  write_graph(o, g, a.labels);
}

}  // namespace tessora::cli
