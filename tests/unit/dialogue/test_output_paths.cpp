// The fast comparability check and the parallel row writer against their
// plain versions: the same console lines, the same bytes of MATRIX.TXT.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "dialogue/datafile.hpp"
#include "dialogue/matrix_output.hpp"
#include "recordio/runtime.hpp"
#include "tests/unit/recordio/scripted_hooks.hpp"

namespace tessora::dialogue {
namespace {

using recordio::testing::ScriptedHooks;

DataMatrix random_table(std::mt19937& rng, std::int32_t n, std::int32_t m, double missing) {
  DataMatrix d;
  d.n = n;
  d.m = m;
  std::bernoulli_distribution gap(missing);
  std::uniform_int_distribution<int> value(0, 9);
  d.x.resize(static_cast<std::size_t>(std::max(n, 0)) * static_cast<std::size_t>(std::max(m, 0)));
  for (float& x : d.x) x = gap(rng) ? kMissing : static_cast<float>(value(rng));
  return d;
}

struct CheckResult {
  bool found;
  std::vector<std::string> lines;
};

template <typename Check>
CheckResult run_check(const DataMatrix& d, Check check) {
  ScriptedHooks hooks;
  recordio::Runtime rt(hooks);
  CheckResult r{check(rt, d), hooks.texts(console::Stream::output)};
  return r;
}

TEST(ComparabilityCheck, ReportsTheSamePairsInTheSameOrderAsTheCountingCheck) {
  std::mt19937 rng(20261207);
  const std::int32_t sizes_n[] = {0, 1, 2, 5, 63, 64, 65, 130};
  const std::int32_t sizes_m[] = {-3, 0, 1, 2, 3, 9, 20};
  const double missing[] = {0.0, 0.3, 0.7, 0.95, 1.0};
  for (std::int32_t n : sizes_n) {
    for (std::int32_t m : sizes_m) {
      for (double p : missing) {
        const DataMatrix d = random_table(rng, n, m, p);
        const CheckResult fast = run_check(d, report_incomparable_pairs);
        const CheckResult plain = run_check(d, report_incomparable_pairs_reference);
        ASSERT_EQ(fast.found, plain.found) << "n=" << n << " m=" << m << " p=" << p;
        ASSERT_EQ(fast.lines, plain.lines) << "n=" << n << " m=" << m << " p=" << p;
      }
    }
  }
}

TEST(ComparabilityCheck, NegativeVariableCountReportsNothing) {
  DataMatrix d;
  d.n = -4;
  d.m = 3;
  EXPECT_FALSE(run_check(d, report_incomparable_pairs).found);
  EXPECT_FALSE(run_check(d, report_incomparable_pairs_reference).found);
}

// Runs the output step in a temporary directory and returns MATRIX.TXT.
class MatrixFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tessora-output-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }

  std::string write(std::int32_t coefficient, tessora::Matrix res, bool full, bool convert, bool plain) {
    ScriptedHooks hooks;
    {
      recordio::Runtime rt(hooks);
      open_matrix_file(rt, coefficient, std::string(100, 'T'), static_cast<std::int32_t>(res.size()));
      if (convert) res.to_dissimilarity();
      write_matrix_rows(rt, res, full, plain);
    }
    std::ifstream in("MATRIX.TXT", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path dir_, old_;
};

// A matrix of arbitrary values: the sum of minima (12) over one variable
// gives each pair the smaller of its two values and each object its own
// value on the diagonal, so random bit patterns reach every entry.
tessora::Matrix random_matrix(std::mt19937& rng, std::int32_t m) {
  std::uniform_int_distribution<std::uint32_t> bits;
  std::uniform_real_distribution<float> ordinary(-2.0f, 2.0f);
  std::uniform_int_distribution<int> pick(0, 3);
  std::vector<float> values(static_cast<std::size_t>(m));
  for (float& x : values) x = pick(rng) == 0 ? std::bit_cast<float>(bits(rng)) : ordinary(rng);
  const auto view = tessora::TableView::row_major(values.data(), m, 1, true);
  return tessora::Engine(view, {12}).compute();
}

TEST_F(MatrixFile, ParallelRowsGiveTheSameBytesAsValueByValueRows) {
  std::mt19937 rng(7);
  struct Case {
    std::int32_t coefficient;
    bool full, convert;
  };
  const Case cases[] = {
      {1, true, false}, {1, false, false}, {14, false, false}, {4, true, true}, {24, false, true}, {30, true, false},
  };
  for (std::int32_t m : {1, 2, 3, 17, 300}) {
    for (const Case& c : cases) {
      std::mt19937 same = rng;  // the same matrix for both writers
      const std::string fast = write(c.coefficient, random_matrix(same, m), c.full, c.convert, false);
      const std::string plain = write(c.coefficient, random_matrix(rng, m), c.full, c.convert, true);
      ASSERT_FALSE(plain.empty());
      ASSERT_EQ(fast, plain) << "m=" << m << " coefficient=" << c.coefficient;
    }
  }
}

}  // namespace
}  // namespace tessora::dialogue
