// tessora-gendata ROWS COLS MISSING_FRACTION SEED > FILE
//
// Writes a random data file for the benchmarks: a title line, "ROWS COLS" and
// ROWS lines of COLS numbers. The table looks like a survey of species
// abundances: each column (a sample) has its own effort, each row (a species)
// its own commonness, many entries are zero, the rest are lognormal with two
// decimals. About MISSING_FRACTION of the entries are -1 (missing). The first
// row and the first column are complete, so every pair of columns and every
// pair of rows shares at least one known value, and a run in either
// orientation never stops at the comparability check.
// The same arguments always give the same bytes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct Args {
  long rows = 0;
  long cols = 0;
  double missing = 0.0;
  std::uint64_t seed = 0;
};

bool parse_args(int argc, char** argv, Args& a) {
  if (argc != 5) return false;
  char* end = nullptr;
  a.rows = std::strtol(argv[1], &end, 10);
  if (*end != '\0' || a.rows < 1) return false;
  a.cols = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || a.cols < 1) return false;
  a.missing = std::strtod(argv[3], &end);
  if (*end != '\0' || !(a.missing >= 0.0 && a.missing < 1.0)) return false;
  a.seed = std::strtoull(argv[4], &end, 10);
  return *end == '\0';
}

// One value as the data file holds it: "-1" or a non-negative number with at
// most two decimals, no exponent.
char* put_value(char* p, double v) {
  if (v < 0.0) {
    *p++ = '-';
    *p++ = '1';
    return p;
  }
  const auto hundredths = static_cast<std::uint64_t>(std::llround(v * 100.0));
  p = std::to_chars(p, p + 24, hundredths / 100).ptr;
  const unsigned frac = static_cast<unsigned>(hundredths % 100);
  if (frac != 0) {
    *p++ = '.';
    *p++ = static_cast<char>('0' + frac / 10);
    if (frac % 10 != 0) *p++ = static_cast<char>('0' + frac % 10);
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!parse_args(argc, argv, a)) {
    std::fprintf(stderr, "usage: tessora-gendata ROWS COLS MISSING_FRACTION SEED > FILE\n"
                         "  ROWS, COLS >= 1; 0 <= MISSING_FRACTION < 1\n");
    return 2;
  }
  std::mt19937_64 rng(a.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);

  // Sampling effort per column and commonness per row.
  std::vector<double> effort(static_cast<std::size_t>(a.cols));
  std::vector<double> commonness(static_cast<std::size_t>(a.rows));
  std::normal_distribution<double> effort_dist(0.0, 0.4);
  std::normal_distribution<double> common_dist(1.0, 1.2);
  for (double& e : effort) e = effort_dist(rng);
  for (double& c : commonness) c = common_dist(rng);

  // The first row and column are kept complete, so the other cells carry a
  // little more missingness to reach the asked fraction of the whole table.
  const double cells = static_cast<double>(a.rows) * static_cast<double>(a.cols);
  const double open_cells = static_cast<double>(a.rows - 1) * static_cast<double>(a.cols - 1);
  const double cell_missing = open_cells > 0.0 ? std::min(0.999, a.missing * cells / open_cells) : 0.0;

  std::printf("RANDOM ABUNDANCES: %ld SPECIES (ROWS) IN %ld SAMPLES (COLUMNS); -1 = MISSING; SEED %llu\n",
              a.rows, a.cols, static_cast<unsigned long long>(a.seed));
  std::printf("%ld %ld\n", a.rows, a.cols);

  std::normal_distribution<double> noise(0.0, 1.0);
  std::string line(static_cast<std::size_t>(a.cols) * 26 + 2, ' ');
  for (long r = 0; r < a.rows; ++r) {
    char* p = line.data();
    // Rarer species are absent from more samples.
    const double presence = 1.0 / (1.0 + std::exp(-(commonness[static_cast<std::size_t>(r)] - 0.3)));
    for (long c = 0; c < a.cols; ++c) {
      double v;
      if (r > 0 && c > 0 && unit(rng) < cell_missing) {
        v = -1.0;
      } else if (unit(rng) >= presence) {
        v = 0.0;
      } else {
        v = std::exp(commonness[static_cast<std::size_t>(r)] + effort[static_cast<std::size_t>(c)] + noise(rng));
      }
      if (c > 0) *p++ = ' ';
      p = put_value(p, v);
    }
    *p++ = '\n';
    std::fwrite(line.data(), 1, static_cast<std::size_t>(p - line.data()), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
