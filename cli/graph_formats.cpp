// The graph formats: npz (scipy.sparse CSR as save_npz writes it), npy (the
// m x k arrays of the neighbours), long (one line per kept pair), csv and tsv
// (one line per object: its label, then its partners' labels and values).
#include <algorithm>
#include <limits>
#include <memory>

#include "cli/cell_text.hpp"
#include "cli/graph.hpp"
#include "cli/npy.hpp"
#include "cli/output_file.hpp"
#include "cli/shape.hpp"
#include "cli/zip.hpp"

namespace tessora::cli {

namespace {

constexpr std::size_t kChunk = std::size_t{4} << 20;

// Text gathered into chunks of some megabytes for the output file.
class TextOut {
 public:
  explicit TextOut(OutputFile& out) : out_(out) { text_.reserve(kChunk + 4096); }
  std::string& text() { return text_; }
  void line_done() {
    if (text_.size() >= kChunk) flush();
  }
  void flush() {
    if (!text_.empty()) out_.write(text_.data(), text_.size());
    text_.clear();
  }

 private:
  OutputFile& out_;
  std::string text_;
};

void add_value(std::string& s, float v) {
  char digits[32];
  s.append(digits, shortest_text(v, digits));
}

void add_count(std::string& s, std::uint32_t k) {
  char digits[16];
  s.append(digits, static_cast<std::size_t>(put_count(k, digits) - digits));
}

// An array's bytes in pieces of at most kChunk.
void write_bytes(OutputFile& out, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  for (std::size_t done = 0; done < size; done += kChunk) out.write(p + done, std::min(kChunk, size - done));
}

// --- npz -----------------------------------------------------------------------

// A member's bytes: the header, then values made by `value(e)` for the
// entries e, kChunk bytes at a time.
template <class T, class Each>
void array_member(const ZipWriter::Sink& sink, const std::string& header, Each&& each) {
  sink(header.data(), header.size());
  std::vector<T> piece;
  piece.reserve(kChunk / sizeof(T));
  each([&](T v) {
    piece.push_back(v);
    if (piece.size() == piece.capacity()) {
      sink(piece.data(), piece.size() * sizeof(T));
      piece.clear();
    }
  });
  if (!piece.empty()) sink(piece.data(), piece.size() * sizeof(T));
}

template <class Index>
void csr_members(ZipWriter& zip, const Graph& g, const GraphRows& rows, Cells cells, const char* index_descr) {
  const std::int64_t nnz = rows.entries();
  const auto entries = [&](auto&& f) {
    for (std::int64_t r = 0; r < g.m; ++r)
      rows.row(r, [&](std::int64_t j, float value, std::uint32_t count) {
        if (j >= 0) f(j, value, count);
      });
  };
  // In the order scipy.sparse.save_npz hands them to numpy.savez.
  zip.add("indices.npy", [&](const ZipWriter::Sink& sink) {
    array_member<Index>(sink, npy_header(index_descr, {nnz}), [&](auto&& put) {
      entries([&](std::int64_t j, float, std::uint32_t) { put(static_cast<Index>(j)); });
    });
  });
  zip.add("indptr.npy", [&](const ZipWriter::Sink& sink) {
    array_member<Index>(sink, npy_header(index_descr, {g.m + 1}), [&](auto&& put) {
      Index at = 0;
      put(at);
      for (std::int64_t r = 0; r < g.m; ++r) {
        rows.row(r, [&](std::int64_t j, float, std::uint32_t) { at += j >= 0 ? 1 : 0; });
        put(at);
      }
    });
  });
  zip.add("format.npy", [&](const ZipWriter::Sink& sink) {
    const std::string bytes = npy_header("|S3", {}) + "csr";
    sink(bytes.data(), bytes.size());
  });
  zip.add("shape.npy", [&](const ZipWriter::Sink& sink) {
    const std::int64_t shape[2] = {g.m, g.m};
    const std::string header = npy_header("<i8", {2});
    sink(header.data(), header.size());
    sink(shape, sizeof shape);
  });
  zip.add("data.npy", [&](const ZipWriter::Sink& sink) {
    if (cells == Cells::real) {
      array_member<float>(sink, npy_header("<f4", {nnz}), [&](auto&& put) {
        entries([&](std::int64_t, float value, std::uint32_t) { put(value); });
      });
    } else {
      array_member<std::uint32_t>(sink, npy_header("<u4", {nnz}), [&](auto&& put) {
        entries([&](std::int64_t, float, std::uint32_t count) { put(count); });
      });
    }
  });
}

void write_npz(OutputFile& out, const Graph& g, const GraphRows& rows, Cells cells) {
  ZipWriter zip(out);
  // 32-bit indices while they hold every index and the count, as scipy
  // makes them.
  if (rows.entries() <= std::numeric_limits<std::int32_t>::max()) {
    csr_members<std::int32_t>(zip, g, rows, cells, "<i4");
  } else {
    csr_members<std::int64_t>(zip, g, rows, cells, "<i8");
  }
  zip.finish();
}

// --- long, csv and tsv -------------------------------------------------------------

void write_long(OutputFile& out, const Graph& g, const std::vector<std::string>& labels, Cells cells) {
  const std::vector<std::string> names = format_labels(labels, tab_label).text;
  TextOut text(out);
  std::string& s = text.text();
  s += "i\tj\tvalue\tk\n";
  const auto line = [&](std::int64_t i, std::int64_t j, float value, std::uint32_t count) {
    s += names[static_cast<std::size_t>(i)];
    s += '\t';
    s += names[static_cast<std::size_t>(j)];
    s += '\t';
    if (cells == Cells::real) {
      add_value(s, value);
    } else {
      add_count(s, count);
    }
    s += '\t';
    add_count(s, count);
    s += '\n';
    text.line_done();
  };
  for (std::size_t p = 0; p < g.j.size(); ++p) {
    if (g.j[p] < 0) continue;  // a missing neighbour: no pair
    const std::int64_t i = g.kind == Result::neighbors ? g.row_begin + static_cast<std::int64_t>(p) / g.k : g.i[p];
    line(i, g.j[p], g.values[p], g.shared[p]);
  }
  text.flush();
}

void write_delimited(OutputFile& out, const Graph& g, const GraphRows& rows, const std::vector<std::string>& labels,
                     Cells cells, char separator) {
  const std::vector<std::string> names = format_labels(labels, separator == ',' ? csv_label : tab_label).text;
  TextOut text(out);
  std::string& s = text.text();
  if (g.kind == Result::neighbors) {
    for (std::int64_t t = 1; t <= g.k; ++t) {
      s += separator;
      s += "neighbor_" + std::to_string(t);
      s += separator;
      s += (cells == Cells::real ? "value_" : "k_") + std::to_string(t);
    }
    s += '\n';
  }
  for (std::int64_t r = 0; r < g.m; ++r) {
    s += names[static_cast<std::size_t>(r)];
    rows.row(r, [&](std::int64_t j, float value, std::uint32_t count) {
      s += separator;
      if (j >= 0) s += names[static_cast<std::size_t>(j)];
      s += separator;
      if (cells == Cells::real) {
        add_value(s, value);
      } else {
        add_count(s, count);
      }
    });
    s += '\n';
    text.line_done();
  }
  text.flush();
}

void write_cells(OutputFile& out, const Graph& g, const GraphRows& rows, const std::vector<std::string>& labels,
                 Format format, Cells cells) {
  switch (format) {
    case Format::npz: write_npz(out, g, rows, cells); break;
    case Format::long_pairs: write_long(out, g, labels, cells); break;
    case Format::csv: write_delimited(out, g, rows, labels, cells, ','); break;
    case Format::tsv: write_delimited(out, g, rows, labels, cells, '\t'); break;
    case Format::npy:
      if (cells == Cells::real) {
        const std::string header = npy_header("<f4", {g.m, g.k});
        out.write(header.data(), header.size());
        write_bytes(out, g.values.data(), g.values.size() * 4);
      } else {
        const std::string header = npy_header("<u4", {g.m, g.k});
        out.write(header.data(), header.size());
        write_bytes(out, g.shared.data(), g.shared.size() * 4);
      }
      break;
    case Format::txt:
    case Format::phylip: break;  // refused with the options
  }
}

}  // namespace

void write_graph(const Options& o, const Graph& g, const std::vector<std::string>& labels) {
  const GraphRows rows(g);
  OutputFile values(o.output);
  write_cells(values, g, rows, labels, o.format, Cells::real);
  std::unique_ptr<OutputFile> counts, indices;
  if (!o.shared_counts.empty()) {
    counts = std::make_unique<OutputFile>(o.shared_counts);
    write_cells(*counts, g, rows, labels, o.format, Cells::count);
  }
  if (!o.indices.empty()) {
    indices = std::make_unique<OutputFile>(o.indices);
    const std::string header = npy_header("<i8", {g.m, g.k});
    indices->write(header.data(), header.size());
    write_bytes(*indices, g.j.data(), g.j.size() * 8);
  }
  values.commit();
  if (counts) counts->commit();
  if (indices) indices->commit();
}

}  // namespace tessora::cli
