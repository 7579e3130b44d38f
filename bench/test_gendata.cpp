// The benchmark data generator: the data-file format, the asked share of
// missing values, comparability in both orientations, and repeatability.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Output {
  int status = -1;
  std::string out;
};

Output run_gendata(const std::string& args) {
  Output r;
  const std::string cmd = std::string(TESSORA_GENDATA) + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, got);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

struct Table {
  std::string title;
  long rows = 0;
  long cols = 0;
  std::vector<std::vector<double>> values;  // one vector per line
  std::vector<std::string> tokens_with_bad_form;
};

Table parse(const std::string& text) {
  Table t;
  std::istringstream in(text);
  std::getline(in, t.title);
  std::string dims;
  std::getline(in, dims);
  std::istringstream(dims) >> t.rows >> t.cols;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::vector<double> row;
    std::string tok;
    while (ls >> tok) {
      // "-1", or digits with at most two decimals: what the reader takes
      // without an exponent or a sign.
      const auto dot = tok.find('.');
      const bool ok = tok == "-1" ||
                      (tok.find_first_not_of("0123456789.") == std::string::npos &&
                       (dot == std::string::npos || (dot > 0 && tok.size() - dot - 1 <= 2)));
      if (!ok) t.tokens_with_bad_form.push_back(tok);
      row.push_back(std::stod(tok));
    }
    t.values.push_back(row);
  }
  return t;
}

bool comparable_columns(const Table& t, long a, long b) {
  for (const auto& row : t.values) {
    if (row[a] != -1.0 && row[b] != -1.0) return true;
  }
  return false;
}

bool comparable_rows(const Table& t, long a, long b) {
  for (long c = 0; c < t.cols; ++c) {
    if (t.values[a][c] != -1.0 && t.values[b][c] != -1.0) return true;
  }
  return false;
}

struct Case {
  long rows, cols;
  double missing;
  unsigned seed;
  double missing_tolerance;  // absolute, on the share of -1 in the table
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.rows << "x" << c.cols << " missing " << c.missing << " seed " << c.seed;
}

class GendataTable : public ::testing::TestWithParam<Case> {};

TEST_P(GendataTable, HasTheFormatTheShareOfMissingValuesAndNoIncomparablePair) {
  const Case c = GetParam();
  const Output r = run_gendata(std::to_string(c.rows) + " " + std::to_string(c.cols) + " " +
                            std::to_string(c.missing) + " " + std::to_string(c.seed));
  ASSERT_EQ(r.status, 0);
  const Table t = parse(r.out);
  EXPECT_LE(t.title.size(), 100u);
  EXPECT_EQ(t.rows, c.rows);
  EXPECT_EQ(t.cols, c.cols);
  ASSERT_EQ(static_cast<long>(t.values.size()), c.rows);
  EXPECT_TRUE(t.tokens_with_bad_form.empty()) << t.tokens_with_bad_form.front();

  long missing = 0, zeros = 0, negative_other = 0;
  for (const auto& row : t.values) {
    ASSERT_EQ(static_cast<long>(row.size()), c.cols);
    for (double v : row) {
      if (v == -1.0) {
        ++missing;
      } else if (v == 0.0) {
        ++zeros;
      } else if (v < 0.0) {
        ++negative_other;
      }
    }
  }
  const double cells = static_cast<double>(c.rows * c.cols);
  EXPECT_EQ(negative_other, 0);
  EXPECT_NEAR(missing / cells, c.missing, c.missing_tolerance);
  if (c.rows * c.cols >= 1000) {
    EXPECT_GT(zeros, 0);
  }

  for (long a = 0; a < c.cols; ++a)
    for (long b = a + 1; b < c.cols; ++b) ASSERT_TRUE(comparable_columns(t, a, b)) << a << " " << b;
  for (long a = 0; a < c.rows; ++a)
    for (long b = a + 1; b < c.rows; ++b) ASSERT_TRUE(comparable_rows(t, a, b)) << a << " " << b;
}

INSTANTIATE_TEST_SUITE_P(Sizes, GendataTable,
                         ::testing::Values(Case{1, 1, 0.1, 1, 0.1},  // nothing can be missing
                                           Case{2, 3, 0.5, 2, 0.5},
                                           Case{50, 40, 0.0, 3, 0.0},
                                           Case{200, 150, 0.1, 4, 0.02},
                                           Case{100, 120, 0.6, 5, 0.03},  // most pairs meet only on row 0 or column 0
                                           Case{300, 30, 0.9, 6, 0.03}));

TEST(Gendata, SameArgumentsGiveTheSameBytesAndAnotherSeedOthers) {
  const Output a = run_gendata("60 70 0.1 42");
  const Output b = run_gendata("60 70 0.1 42");
  const Output c = run_gendata("60 70 0.1 43");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out.substr(a.out.find('\n')), c.out.substr(c.out.find('\n')));
}

struct BadArgs {
  const char* args;
};

void PrintTo(const BadArgs& b, std::ostream* os) { *os << '"' << b.args << '"'; }

class GendataRejects : public ::testing::TestWithParam<BadArgs> {};

TEST_P(GendataRejects, WithUsageAndExitCode2) {
  const Output r = run_gendata(GetParam().args);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.out.empty());
}

INSTANTIATE_TEST_SUITE_P(Args, GendataRejects,
                         ::testing::Values(BadArgs{""}, BadArgs{"10 10 0.1"}, BadArgs{"0 10 0.1 1"},
                                           BadArgs{"10 -3 0.1 1"}, BadArgs{"10 10 1.0 1"},
                                           BadArgs{"10 10 -0.1 1"}, BadArgs{"10x 10 0.1 1"},
                                           BadArgs{"10 10 0.1 1 extra"}));

}  // namespace
