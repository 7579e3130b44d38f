#include "cli/command.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "cli/block_sources.hpp"
#include "cli/failure.hpp"
#include "cli/file_guard.hpp"
#include "cli/graph.hpp"
#include "cli/options.hpp"
#include "cli/parts.hpp"
#include "cli/table_input.hpp"
#include "tessora/checks.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"

namespace tessora::cli {

namespace {

const char* kind_name(Kind k) {
  switch (k) {
    case Kind::distance: return "distance";
    case Kind::similarity: return "similarity";
    case Kind::covariance: return "covariance";
    case Kind::sum: return "sum";
  }
  return "?";
}

const char* diagonal_name(Diagonal d) {
  switch (d) {
    case Diagonal::zero: return "0";
    case Diagonal::one: return "1";
    case Diagonal::own_sum: return "own sum";
    case Diagonal::own_variance: return "own variance";
  }
  return "?";
}

void list_coefficients() {
  std::printf("number\tmenu name\tslug\tkind\tdiagonal\tscalable\tnearest\n");
  for (const CoefficientInfo& c : coefficients())
    std::printf("%d\t%.*s\t%.*s\t%s\t%s\t%s\t%s\n", c.number, static_cast<int>(c.name.size()), c.name.data(),
                static_cast<int>(c.slug.size()), c.slug.data(), kind_name(c.kind), diagonal_name(c.diagonal),
                c.scalable ? "yes" : "no", c.ranking == Ranking::ascending ? "smallest" : "largest");
}

Table read_table(const Options& o) {
  const std::string name = display_name(o.input);
  if (o.input_format == InputFormat::data)
    return read_data_table(o.input, o.objects == Objects::rows, o.missing_given ? o.missing : Missing::value(-1.0f));
  CsvSettings s;
  s.separator = o.input_format == InputFormat::csv ? ',' : '\t';
  s.objects_are_rows = o.objects == Objects::rows;
  if (o.missing_given && !o.missing.nan) {
    s.has_marker = true;
    s.marker = o.missing.marker;
  }
  std::FILE* file = o.input == "-" ? stdin : std::fopen(o.input.c_str(), "rb");
  if (file == nullptr) data_error("cannot open " + name + ": " + std::strerror(errno));
  struct Closer {
    std::FILE* f;
    ~Closer() {
      if (f != stdin) std::fclose(f);
    }
  } closer{file};
  FileLines lines(file, name);
  return read_csv(lines, name, s);
}

void write_matrix(const Options& o, const Engine& engine, const Table& table, ProgressBar& progress) {
  const std::int64_t m = engine.objects();
  MatrixInfo info;
  info.m = m;
  info.coefficient = o.coefficient;
  info.title = table.title;
  info.labels = &table.labels;
  OutputFile out(o.output);
  std::unique_ptr<OutputFile> counts_out;
  if (!o.shared_counts.empty()) counts_out = std::make_unique<OutputFile>(o.shared_counts);
  MatrixWriter values(o.format, o.layout, Cells::real, info, out, o.threads);
  std::unique_ptr<MatrixWriter> counts;
  std::vector<MatrixWriter*> writers{&values};
  if (counts_out) {
    counts = std::make_unique<MatrixWriter>(o.format, o.layout, Cells::count, info, *counts_out, o.threads);
    writers.push_back(counts.get());
  }
  // Square outputs of up to some thousands of objects are written from the
  // triangle computed once; beyond, each block of rows is computed against
  // every object (the pairs of different blocks twice).
  bool values_needed = false, counts_needed = false;
  for (MatrixWriter* w : writers) {
    values_needed |= w->needs_values();
    counts_needed |= w->needs_counts();
  }
  std::unique_ptr<BlockSource> source;
  if (values.shape() == Shape::square && TriangleSource::fits(m, values_needed, counts_needed)) {
    source = std::make_unique<TriangleSource>(engine, o.threads, values_needed, counts_needed, progress);
  } else {
    source = std::make_unique<EngineSource>(engine, o.threads);
  }
  write_blocks(*source, writers, progress);
  out.commit();
  if (counts_out) counts_out->commit();
}

bool progress_shown(const Options& o) {
  return o.progress == Progress::on || (o.progress == Progress::automatic && ::isatty(STDERR_FILENO));
}

void compute(Options& o) {
  std::vector<NamedFile> outputs{{"--output", o.output}};
  if (!o.shared_counts.empty()) outputs.push_back({"--shared-counts", o.shared_counts});
  if (!o.indices.empty()) outputs.push_back({"--indices", o.indices});
  check_distinct_files({{"the input", o.input}}, outputs);

  Table table = read_table(o);
  try {
    check_table(table.view);
  } catch (const tessora::Error& e) {
    data_error(display_name(o.input) + ": " + e.what());
  }
  const Engine engine(table.view, {o.coefficient, o.scale, o.dissimilarity});
  ProgressBar progress(progress_shown(o));
  if (o.result != Result::matrix) {
    run_graph(o, engine, table, progress);
  } else if (o.parts > 0) {
    write_parts(o, engine, table, progress);
  } else {
    write_matrix(o, engine, table, progress);
  }
}

void merge(Options& o) {
  std::vector<NamedFile> parts, outputs{{"--output", o.output}};
  for (const std::string& p : o.part_files) parts.push_back({"the part", p});
  if (!o.shared_counts.empty()) outputs.push_back({"--shared-counts", o.shared_counts});
  if (!o.indices.empty()) outputs.push_back({"--indices", o.indices});
  check_distinct_files(parts, outputs);
  if (is_graph_part(o.part_files.front())) {
    merge_graph_parts(o);
  } else {
    check_outputs(o, Result::matrix);
    merge_parts(o, progress_shown(o));
  }
}

}  // namespace

int run_command_line(int argc, const char* const* argv) {
  try {
    Options o = parse_options(argc, argv);
    if (o.threads == 0) o.threads = std::max(1u, std::thread::hardware_concurrency());
    switch (o.action) {
      case Options::Action::print_text:
        std::fputs(o.text.c_str(), stdout);
        if (!o.text.empty() && o.text.back() != '\n') std::fputc('\n', stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitData;
      case Options::Action::list_coefficients:
        list_coefficients();
        return std::fflush(stdout) == 0 ? kExitOk : kExitData;
      case Options::Action::merge:
        merge(o);
        return kExitOk;
      case Options::Action::compute:
        compute(o);
        return kExitOk;
    }
  } catch (const Failure& f) {
    std::fprintf(stderr, "tessora: %s\n", one_line(f.what()).c_str());
    return f.status();
  } catch (const tessora::Error& e) {
    std::fprintf(stderr, "tessora: %s\n", one_line(e.what()).c_str());
    return kExitData;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "tessora: out of memory\n");
    return kExitData;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessora: %s\n", one_line(e.what()).c_str());
    return kExitData;
  }
  return kExitData;
}

}  // namespace tessora::cli
