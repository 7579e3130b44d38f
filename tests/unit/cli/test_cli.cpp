// The command line's pieces: option parsing, the CSV reader, the text of a
// float, the part ranges, and the streaming writers against the whole
// matrix of the engine.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/failure.hpp"
#include "cli/graph.hpp"
#include "cli/zip.hpp"
#include "cli/options.hpp"
#include "cli/block_sources.hpp"
#include "cli/cell_text.hpp"
#include "cli/npy.hpp"
#include "cli/parts.hpp"
#include "cli/table_input.hpp"
#include "tessora/engine.hpp"

namespace tessora::cli {
namespace {

Options parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tessora");
  return parse_options(static_cast<int>(args.size()), args.data());
}

std::string usage_message(std::vector<const char*> args) {
  try {
    parse(args);
  } catch (const Failure& f) {
    EXPECT_EQ(f.status(), kExitUsage);
    return f.what();
  }
  return "(accepted)";
}

TEST(Options, DefaultsFollowTheNames) {
  struct Case {
    std::vector<const char*> args;
    Format format;
    Layout layout;
    InputFormat input;
    Objects objects;
  };
  const Case cases[] = {
      {{"-c", "8", "a.csv"}, Format::tsv, Layout::full, InputFormat::csv, Objects::rows},
      {{"-c", "8", "a.dat", "-o", "M.TXT"}, Format::txt, Layout::full, InputFormat::data, Objects::columns},
      {{"-c", "8", "a.tsv", "-o", "x.phy"}, Format::phylip, Layout::full, InputFormat::tsv, Objects::rows},
      {{"-c", "8", "a", "-o", "x.phylip", "--objects", "rows"}, Format::phylip, Layout::full, InputFormat::data, Objects::rows},
      {{"-c", "8", "a", "-o", "x.npy", "--layout", "condensed"}, Format::npy, Layout::condensed, InputFormat::data, Objects::columns},
      {{"-c", "8", "a", "-o", "x.out"}, Format::tsv, Layout::full, InputFormat::data, Objects::columns},
      {{"-c", "8", "a", "-f", "long"}, Format::long_pairs, Layout::lower, InputFormat::data, Objects::columns},
      {{"-c", "8", "a.csv", "-f", "long", "--layout", "full", "--input-format", "data"}, Format::long_pairs, Layout::full, InputFormat::data, Objects::columns},
      {{"-c", "8", "-", "-o", "x.csv", "--layout", "lower"}, Format::csv, Layout::lower, InputFormat::data, Objects::columns},
  };
  for (const Case& c : cases) {
    const Options o = parse(c.args);
    EXPECT_EQ(o.format, c.format) << c.args[2];
    EXPECT_EQ(o.layout, c.layout) << c.args[2];
    EXPECT_EQ(o.input_format, c.input) << c.args[2];
    EXPECT_EQ(o.objects, c.objects) << c.args[2];
  }
}

TEST(Options, NamesAndNumbersOfCoefficients) {
  EXPECT_EQ(parse({"-c", "bray-curtis", "a"}).coefficient, 8);
  EXPECT_EQ(parse({"--coefficient", "BRAYCUR DIS", "a"}).coefficient, 8);
  EXPECT_EQ(parse({"-c", "34", "a"}).coefficient, 34);
  const Options o = parse({"-c", "7", "--dissimilarity", "--part", "3/10", "--threads", "3", "--quiet", "a"});
  EXPECT_TRUE(o.dissimilarity);
  EXPECT_EQ(o.part, 3);
  EXPECT_EQ(o.parts, 10);
  EXPECT_EQ(o.threads, 3u);
  EXPECT_EQ(o.progress, Progress::off);
}

TEST(Options, UsageErrorsNameTheValue) {
  EXPECT_EQ(usage_message({"-c", "8", "-f", "xls", "a"}), "--format 'xls' is none of txt, phylip, csv, tsv, long, npy, npz");
  EXPECT_EQ(usage_message({"-c", "8", "--layout", "lower", "-o", "a.npy", "a"}), "npy takes --layout full or condensed, not lower");
  EXPECT_EQ(usage_message({"-c", "8", "--progress", "--quiet", "a"}), "--progress and --quiet exclude each other");
  EXPECT_EQ(usage_message({"-c", "8", "--part", "2/x", "a"}), "--part 'x' is not a whole number of 0 or more");
  EXPECT_EQ(usage_message({"-c", "13", "--dissimilarity", "a"}),
            "dissimilarity (D = 1 - S) is only for the similarities 4, 5, 7, 19, 21, 24-34, not 13 faith");
  EXPECT_NE(usage_message({"merge"}).find("no part files"), std::string::npos);
}

TEST(Options, NeighboursAndRadius) {
  const Options n = parse({"-c", "8", "--neighbors", "15", "--include-self", "--min-shared", "0", "-o", "k.npz", "a.csv"});
  EXPECT_EQ(n.result, Result::neighbors);
  EXPECT_EQ(n.k, 15);
  EXPECT_TRUE(n.include_self);
  EXPECT_EQ(n.min_shared, 0);
  EXPECT_EQ(n.format, Format::npz);
  const Options r = parse({"-c", "8", "--radius", "0.1", "--max-pairs", "7", "-f", "long", "a.csv"});
  EXPECT_EQ(r.result, Result::radius);
  EXPECT_EQ(r.radius, 0.1f);  // rounded to the nearest float
  EXPECT_EQ(r.max_pairs, 7);
  EXPECT_EQ(parse({"-c", "8", "--radius", "1e-50", "a.csv"}).radius, 0.0f);
  EXPECT_TRUE(std::isnan(parse({"-c", "8", "--radius", "NaN", "a.csv"}).radius));  // the library refuses it
  EXPECT_EQ(parse({"-c", "8", "--neighbors", "0", "a.csv"}).k, 0);                   // and k out of range
  EXPECT_EQ(usage_message({"-c", "8", "--neighbors", "2", "-o", "v.phy", "a"}),
            "--neighbors writes npz, npy, long, csv or tsv, not phylip");
  EXPECT_EQ(usage_message({"-c", "8", "--neighbors", "2", "--indices", "i.npy", "-f", "csv", "a"}),
            "--indices is for npy with --neighbors");
}

TEST(Options, HelpListsEveryOptionWithItsDefault) {
  const Options o = parse({"--help"});
  ASSERT_EQ(o.action, Options::Action::print_text);
  for (const char* name : {"--coefficient", "--list-coefficients", "--objects", "--scale", "--dissimilarity", "--output",
                           "--format", "--layout", "--shared-counts", "--input-format", "--missing", "--part",
                           "--threads", "--progress", "--quiet", "--version", "--neighbors", "--radius",
                           "--include-self", "--min-shared", "--max-pairs", "--indices"})
    EXPECT_NE(o.text.find(name), std::string::npos) << name;
  EXPECT_EQ(parse({"--version"}).text.rfind("tessora ", 0), 0u);
}

Table csv(const std::string& text, CsvSettings s = {}) {
  TextLines lines(text);
  return read_csv(lines, "t.csv", s);
}

std::string csv_error(const std::string& text, CsvSettings s = {}) {
  try {
    csv(text, s);
  } catch (const Failure& f) {
    EXPECT_EQ(f.status(), kExitData);
    return f.what();
  }
  return "(accepted)";
}

float at(const Table& t, std::int64_t i, std::int64_t v) {
  return t.view.data[i * t.view.object_stride + v * t.view.variable_stride];
}

TEST(CsvReader, CellsNamesAndMissingValues) {
  const Table t = csv("\xEF\xBB\xBF,\"a, b\",c\r\n\"r\"\"1\", 1.5 ,NA\r\n\nr2,,-2e-3\nr3,+7,NaN\n");
  ASSERT_EQ(t.view.objects, 3);
  ASSERT_EQ(t.view.variables, 2);
  EXPECT_EQ(t.labels, (std::vector<std::string>{"r\"1", "r2", "r3"}));
  EXPECT_EQ(at(t, 0, 0), 1.5f);
  EXPECT_TRUE(std::isnan(at(t, 0, 1)));
  EXPECT_TRUE(std::isnan(at(t, 1, 0)));
  EXPECT_EQ(at(t, 1, 1), -2e-3f);
  EXPECT_EQ(at(t, 2, 0), 7.0f);
  EXPECT_TRUE(std::isnan(at(t, 2, 1)));
  EXPECT_TRUE(t.view.missing.nan);

  CsvSettings cols;
  cols.objects_are_rows = false;
  cols.separator = '\t';
  cols.has_marker = true;
  cols.marker = -9;
  const Table u = csv("x\ta\tb\nv1\t1\t-9\nv2\t3\t4\n", cols);
  EXPECT_EQ(u.labels, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(at(u, 1, 1), 4.0f);
  EXPECT_TRUE(std::isnan(at(u, 1, 0)));
  EXPECT_EQ(at(u, 0, 1), 3.0f);
}

TEST(CsvReader, ValuesRoundToNearestFloat) {
  // Halfway cases and beyond-double digits: each the float nearest the decimal.
  const Table t = csv(",a,b,c,d\nr,16777217,0.1000000000000000055511151231257827,1e-46,3.4028235e38\n");
  EXPECT_EQ(at(t, 0, 0), 16777216.0f);
  EXPECT_EQ(at(t, 0, 1), 0.1f);
  EXPECT_EQ(at(t, 0, 2), 0.0f);
  EXPECT_EQ(at(t, 0, 3), 3.4028235e38f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(csv(",a\nr,1.4e-45\n").values[0]), 1u);
}

TEST(CsvReader, ErrorsNameLineAndColumn) {
  EXPECT_EQ(csv_error(",a\nr1,1,2\n"), "t.csv:2:6: row 'r1' has 2 values where the header line names 1 columns");
  EXPECT_EQ(csv_error(",a,b\nr1,1\n"), "t.csv:2:5: row 'r1' has 1 values where the header line names 2 columns");
  EXPECT_EQ(csv_error(",a\nr1,1x\n"), "t.csv:2:4: '1x' is not a number");
  EXPECT_EQ(csv_error(",a\nr1,0x10\n"), "t.csv:2:4: '0x10' is not a number");
  EXPECT_EQ(csv_error(",a\nr1,1e39\n"), "t.csv:2:4: '1e39' is out of the float range (at most 3.4028235e+38 in magnitude)");
  EXPECT_EQ(csv_error(",a\nr1,\"1\"x\n"), "t.csv:2:7: text after a quoted cell's closing quote");
  EXPECT_EQ(csv_error("\n\n"), "t.csv: no header line (the names of the columns)");
}

TEST(ShortestText, ReadsBackToTheSameFloat) {
  char buffer[32];
  for (std::uint64_t bits = 0; bits < (std::uint64_t{1} << 32); bits += 65521) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    const std::size_t n = shortest_text(v, buffer);
    if (std::isnan(v)) {
      EXPECT_EQ(std::string(buffer, n), "NaN");
      continue;
    }
    float back = 0;
    if (std::isinf(v)) {
      EXPECT_EQ(std::string(buffer, n), v > 0 ? "Inf" : "-Inf");
      continue;
    }
    std::from_chars(buffer, buffer + n, back);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << std::string(buffer, n);
  }
}

TEST(Parts, CoverEveryPairAndDiagonalEntryOnce) {
  for (std::uint64_t m : {2u, 3u, 13u, 1000u})
    for (std::uint64_t n : {1u, 2u, 7u, 100u}) {
      std::uint64_t pair = 0, diag = 0;
      for (std::uint64_t k = 1; k <= n; ++k) {
        const auto [p0, p1] = part_pairs(m, k, n);
        const auto [d0, d1] = part_diagonal(m, k, n);
        EXPECT_EQ(p0, pair);
        EXPECT_EQ(d0, diag);
        EXPECT_LE(p1 - p0, m * (m - 1) / 2 / n + 1);
        pair = p1;
        diag = d1;
      }
      EXPECT_EQ(pair, m * (m - 1) / 2);
      EXPECT_EQ(diag, m);
    }
}

TEST(Npy, HeaderIsWhatNumpySaveWrites) {
  // np.save's own headers (numpy 1.24), spare room for the first axis included.
  struct Case {
    const char* descr;
    std::initializer_list<std::int64_t> shape;
    const char* dict;
  };
  const Case cases[] = {
      {"<f4", {5, 5}, "{'descr': '<f4', 'fortran_order': False, 'shape': (5, 5), }"},
      {"<u4", {10}, "{'descr': '<u4', 'fortran_order': False, 'shape': (10,), }"},
      {"|S3", {}, "{'descr': '|S3', 'fortran_order': False, 'shape': (), }"},
      {"<i8", {123456789012, 3}, "{'descr': '<i8', 'fortran_order': False, 'shape': (123456789012, 3), }"},
  };
  for (const Case& c : cases) {
    const std::string h = npy_header(c.descr, c.shape);
    EXPECT_EQ(h.size() % 64, 0u);
    EXPECT_EQ(h.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
    EXPECT_EQ(static_cast<std::size_t>(static_cast<unsigned char>(h[8]) | static_cast<unsigned char>(h[9]) << 8), h.size() - 10);
    EXPECT_EQ(h.substr(10, std::strlen(c.dict)), c.dict);
    const std::string axis = c.shape.size() ? std::to_string(*c.shape.begin()) : "";
    const std::size_t blanks = h.size() - 10 - std::strlen(c.dict) - 1;
    EXPECT_GE(blanks, c.shape.size() ? 21 - axis.size() : 0u) << c.dict;
    EXPECT_EQ(h.find_first_not_of(' ', 10 + std::strlen(c.dict)), h.size() - 1);
    EXPECT_EQ(h.back(), '\n');
  }
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Many blocks of rows (a budget of 1 MB in flight): every value and count of
// the written file equals the engine's whole matrix bit for bit.
TEST(StreamingWriter, BlocksGiveTheWholeMatrix) {
  const std::int64_t m = 2100, n = 3;
  std::mt19937 rng(5);
  std::vector<float> x(static_cast<std::size_t>(m * n));
  for (float& v : x) v = rng() % 5 == 0 ? -1.0f : static_cast<float>(rng() % 1000) / 7.0f;
  for (std::int64_t i = 0; i < m; ++i) x[static_cast<std::size_t>(i * n)] = 1.0f + static_cast<float>(i % 3);
  const TableView view = TableView::row_major(x.data(), m, n, true);
  const Engine engine(view, {8});
  const Matrix whole = engine.compute();
  std::vector<std::string> labels;
  for (std::int64_t i = 0; i < m; ++i) labels.push_back(std::to_string(i + 1));
  MatrixInfo info{m, 8, std::string(100, ' '), &labels};
  const std::string dir = ::testing::TempDir();
  struct Run {
    Layout layout;
    bool triangle;  // from the triangle kept whole, or block rows against every object
  };
  for (const auto [layout, triangle] : {Run{Layout::full, false}, Run{Layout::full, true}, Run{Layout::condensed, false}}) {
    const std::string path = dir + "/w.npy", kpath = dir + "/k.npy";
    {
      OutputFile out(path), kout(kpath);
      MatrixWriter w(Format::npy, layout, Cells::real, info, out, 2);
      MatrixWriter k(Format::npy, layout, Cells::count, info, kout, 2);
      ProgressBar bar(false);
      std::unique_ptr<BlockSource> source;
      if (triangle) {
        source = std::make_unique<TriangleSource>(engine, 2, true, true, bar);
      } else {
        source = std::make_unique<EngineSource>(engine, 2);
      }
      write_blocks(*source, {&w, &k}, bar, std::int64_t{1} << 20);
      out.commit();
      kout.commit();
    }
    const std::string bytes = slurp(path), counts = slurp(kpath);
    const std::size_t head = layout == Layout::condensed ? npy_header("<f4", {m * (m - 1) / 2}).size()
                                                         : npy_header("<f4", {m, m}).size();
    std::size_t at = head;
    bool ok = true;
    for (std::int64_t i = 0; i < m && ok; ++i)
      for (std::int64_t j = layout == Layout::full ? 0 : i + 1; j < m; ++j, at += 4) {
        float v;
        std::memcpy(&v, bytes.data() + at, 4);
        std::uint32_t k;
        std::memcpy(&k, counts.data() + at, 4);
        const std::uint32_t want = i == j ? 3u - (x[static_cast<std::size_t>(i * n + 1)] == -1.0f) - (x[static_cast<std::size_t>(i * n + 2)] == -1.0f) : 0u;
        if (std::bit_cast<std::uint32_t>(v) != std::bit_cast<std::uint32_t>(whole(i, j)) || (i == j && k != want)) {
          ADD_FAILURE() << "cell " << i << " " << j;
          ok = false;
          break;
        }
      }
    EXPECT_EQ(at, bytes.size());
  }
}

TEST(OutputFile, WithoutCommitTheOldFileStays) {
  const std::string path = ::testing::TempDir() + "/keep.txt";
  { std::ofstream(path) << "old"; }
  {
    OutputFile out(path);
    out.write("new");
  }
  EXPECT_EQ(slurp(path), "old");
  {
    OutputFile out(path);
    out.write("new");
    out.commit();
  }
  EXPECT_EQ(slurp(path), "new");
}

TEST(OutputFile, DevicesAndLinksAreWrittenInPlace) {
  // A pipe stands for every special file (/dev/null, /dev/stdout): written
  // in place, never replaced by a renamed regular file.
  const std::string fifo = ::testing::TempDir() + "/out.fifo";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = slurp(fifo); });
  {
    OutputFile out(fifo);
    out.write("bytes");
    out.commit();
  }
  reader.join();
  EXPECT_EQ(got, "bytes");
  struct stat info;
  ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  const std::string dir = ::testing::TempDir();
  const std::string target = dir + "/target.txt", link = dir + "/link.txt";
  ::unlink(link.c_str());
  { std::ofstream(target) << "old"; }
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  {
    OutputFile out(link);
    out.write("new");
    out.commit();
  }
  struct stat l;
  ASSERT_EQ(::lstat(link.c_str(), &l), 0);
  EXPECT_TRUE(S_ISLNK(l.st_mode));
  EXPECT_EQ(slurp(target), "new");
}

}  // namespace
}  // namespace tessora::cli

namespace tessora::cli {
namespace {

// The zip writer read back by Python's zipfile (an independent reader that
// checks every CRC), with and without the 64-bit fields.
TEST(ZipWriter, PythonReadsEveryMemberBack) {
  for (const bool zip64 : {false, true}) {
    const std::string path = ::testing::TempDir() + (zip64 ? "/wide.zip" : "/narrow.zip");
    {
      OutputFile out(path);
      ZipWriter zip(out, zip64);
      zip.add("a.npy", [](const ZipWriter::Sink& sink) { sink("abc", 3); });
      zip.add("empty.npy", [](const ZipWriter::Sink&) {});
      zip.add("big.npy", [](const ZipWriter::Sink& sink) {
        std::vector<std::uint32_t> words(3'000'000);
        for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint32_t>(i * 2654435761u);
        sink(words.data(), words.size() * 4);
        sink("tail", 4);
      });
      zip.finish();
      out.commit();
    }
    const std::string check =
        "/usr/bin/python3 -c \"import zipfile, sys; z = zipfile.ZipFile(sys.argv[1]); "
        "assert z.testzip() is None; assert [i.filename for i in z.infolist()] == ['a.npy', 'empty.npy', 'big.npy']; "
        "assert z.read('a.npy') == b'abc' and z.read('empty.npy') == b''; b = z.read('big.npy'); "
        "assert len(b) == 12000004 and b[-4:] == b'tail'\" " + path;
    EXPECT_EQ(std::system(check.c_str()), 0) << (zip64 ? "zip64" : "plain");
  }
}

// Rows of the radius graph: each pair in both rows, columns ascending, the
// diagonal where it was kept; rows of the neighbours as computed.
TEST(GraphRows, PairsInBothRowsColumnsAscending) {
  Graph g;
  g.kind = Result::radius;
  g.m = 5;
  g.row_end = 5;
  g.i = {0, 0, 1, 1, 2, 3};
  g.j = {2, 4, 1, 3, 4, 4};
  g.values = {0.5f, 0.25f, 0.0f, 1.5f, 2.0f, 3.0f};
  g.shared = {1, 2, 3, 4, 5, 6};
  const GraphRows rows(g);
  EXPECT_EQ(rows.entries(), 11);
  const std::vector<std::vector<std::pair<std::int64_t, float>>> want = {
      {{2, 0.5f}, {4, 0.25f}}, {{1, 0.0f}, {3, 1.5f}}, {{0, 0.5f}, {4, 2.0f}}, {{1, 1.5f}, {4, 3.0f}},
      {{0, 0.25f}, {2, 2.0f}, {3, 3.0f}}};
  for (std::int64_t r = 0; r < 5; ++r) {
    std::vector<std::pair<std::int64_t, float>> got;
    rows.row(r, [&](std::int64_t j, float v, std::uint32_t) { got.emplace_back(j, v); });
    EXPECT_EQ(got, want[static_cast<std::size_t>(r)]) << r;
  }
}

TEST(GraphParts, RowsCoverEveryObjectOnceAndBalanceThePairs) {
  for (const Result kind : {Result::neighbors, Result::radius})
    for (const std::int64_t m : {2, 3, 40, 1001})
      for (const std::int64_t n : {1, 2, 7, 50}) {
        std::int64_t next = 0;
        for (std::int64_t k = 1; k <= n; ++k) {
          const auto [r0, r1] = graph_part_rows(kind, m, k, n);
          EXPECT_EQ(r0, next);
          EXPECT_LE(r0, r1);
          if (kind == Result::radius && m > 100) {  // about P / N pairs each, within a row's pairs
            EXPECT_LE(condensed_start(m, r1) - condensed_start(m, r0), condensed_size(m) / n + 2 * m);
          }
          next = r1;
        }
        EXPECT_EQ(next, m);
      }
}

}  // namespace
}  // namespace tessora::cli
