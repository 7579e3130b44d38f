// The fast kernel against the reference loop, bit for bit: random tables of
// every awkward kind and of sizes that hit every vector tail, for every
// coefficient number from -2 to 40 and both scaling answers, on every
// instruction set compiled in, with one and with two threads.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include "engine/kernel/kernel.hpp"
#include "engine/pairs.hpp"
#include "test_pairs_support.hpp"

// The share of the random tables checked, in percent: all of them, or fewer
// in the slow sanitizer builds.
#ifndef TESSORA_KERNEL_TEST_SHARE
#define TESSORA_KERNEL_TEST_SHARE 100
#endif

namespace tessora::engine {
namespace {

using testing::bits;
using testing::from_bits;

constexpr float kInf = std::numeric_limits<float>::infinity();

// How many times each random table row is drawn: once, or
// TESSORA_KERNEL_ROUNDS times (from the environment) for a longer run.
int rounds() {
  if (const char* env = std::getenv("TESSORA_KERNEL_ROUNDS")) return std::max(1, std::atoi(env));
  return 1;
}

// Whether the table with this index is among the share checked.
bool checked(int table) { return (table * 37) % 100 < TESSORA_KERNEL_TEST_SHARE; }

// Every instruction set compiled in that this processor runs, then the
// choice given back to the processor.
class EachTarget {
 public:
  EachTarget() : targets_(kernel::available_targets()) {}
  ~EachTarget() { hwy::SetSupportedTargetsForTest(0); }
  const std::vector<std::int64_t>& targets() const { return targets_; }
  static void use(std::int64_t target) { hwy::SetSupportedTargetsForTest(target); }

 private:
  std::vector<std::int64_t> targets_;
};

// The kinds of value a table is drawn from.
enum Kind : unsigned {
  kCounts = 1u << 0,     // 0 to 5
  kReals = 1u << 1,      // -3 to 50, fractions
  kNegatives = 1u << 2,  // -1.5, -2, -0.25, -0
  kBinary = 1u << 3,     // 0 and 1 only
  kExtremes = 1u << 4,   // huge, tiny and subnormal magnitudes
  kSpecials = 1u << 5,   // infinities; NaNs of both signs, quiet and signalling, several payloads
  kConstant = 1u << 6,   // every variable holds one value (or is missing)
};

struct TableKind {
  const char* name;
  unsigned kinds;
  double missing;  // share of missing values
};

float draw(unsigned kinds, std::mt19937& rng) {
  std::vector<Kind> pool;
  for (unsigned k = 1; k <= kSpecials; k <<= 1)
    if (kinds & k) pool.push_back(static_cast<Kind>(k));
  const Kind kind = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
  auto pick = [&](std::initializer_list<float> values) {
    return values.begin()[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(rng)];
  };
  switch (kind) {
    case kCounts: return static_cast<float>(std::uniform_int_distribution<int>(0, 5)(rng));
    case kReals: return std::uniform_real_distribution<float>(-3.0f, 50.0f)(rng);
    case kNegatives: return pick({-1.5f, -2.0f, -0.25f, -0.0f, -1.0000001f, -0.99999994f});
    case kBinary: return pick({0.0f, 1.0f});
    case kExtremes:
      return pick({1e30f, -1e30f, 3.4e38f, -3.4e38f, 1e-30f, 1e-40f, -1e-42f, 1.4e-45f, 16777217.0f,
                   10000000.0f, 1e7f + 1.0f});
    case kSpecials:
      return pick({kInf, -kInf, from_bits(0x7FC00000u), from_bits(0xFFC00000u), from_bits(0x7FC00001u),
                   from_bits(0xFFC12345u), from_bits(0x7FFFFFFFu), from_bits(0x7F800001u),
                   from_bits(0xFF812345u)});
    default: return 0.0f;
  }
}

DataMatrix random_table(std::int32_t n, std::int32_t m, const TableKind& kind, std::mt19937& rng) {
  DataMatrix d;
  d.n = n;
  d.m = m;
  d.x.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(m));
  std::bernoulli_distribution missing(kind.missing);
  const unsigned values = kind.kinds & ~kConstant;
  std::vector<float> constant(static_cast<std::size_t>(n));
  for (float& c : constant) c = draw(values, rng);
  for (std::int32_t i = 0; i < m; ++i)
    for (std::int32_t v = 0; v < n; ++v) {
      float& x = d.x[static_cast<std::size_t>(i) * n + v];
      x = missing(rng) ? kMissing : (kind.kinds & kConstant) ? constant[v] : draw(values, rng);
    }
  return d;
}

// The first entry whose bits differ, or success.
::testing::AssertionResult same_bits(const ResemblanceMatrix& got, const ResemblanceMatrix& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "size " << got.size() << ", expected " << want.size();
  const auto m = static_cast<std::size_t>(want.size());
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j <= i; ++j)
      if (bits(got.at(i, j)) != bits(want.at(i, j))) {
        char text[160];
        std::snprintf(text, sizeof text, "entry (%zu, %zu): got %.9g (0x%08X), expected %.9g (0x%08X)", i, j,
                      got.at(i, j), bits(got.at(i, j)), want.at(i, j), bits(want.at(i, j)));
        return ::testing::AssertionFailure() << text;
      }
  return ::testing::AssertionSuccess();
}

constexpr std::int32_t kFirstNumber = -2;
constexpr std::int32_t kLastNumber = 40;

// Runs every coefficient number and scaling answer over the table, with the
// reference computed once and every target compared against it.
void check_table(const DataMatrix& d, const EachTarget& targets, const kernel::Options& options,
                 const std::string& what) {
  for (std::int32_t c = kFirstNumber; c <= kLastNumber; ++c) {
    for (std::int32_t scaling : {0, 1}) {
      const ResemblanceMatrix want = compute_reference(d, c, scaling);
      for (std::int64_t target : targets.targets()) {
        EachTarget::use(target);
        const ResemblanceMatrix got = kernel::compute(d, c, scaling, {}, nullptr, options);
        ASSERT_TRUE(same_bits(got, want))
            << what << ", coefficient " << c << ", scaling " << scaling << ", target "
            << hwy::TargetName(target) << ", threads " << options.threads << ", tile variables "
            << options.tile_variables;
      }
    }
  }
}

const TableKind kTableKinds[] = {
    {"counts", kCounts, 0.2},
    {"reals and negatives", kReals | kNegatives, 0.1},
    {"binary", kBinary, 0.1},
    {"extremes", kExtremes | kReals | kCounts | kNegatives, 0.2},
    {"infinities and NaNs", kSpecials | kCounts | kReals, 0.2},
    {"NaN heavy", kSpecials, 0.1},
    {"everything", kCounts | kReals | kNegatives | kExtremes | kSpecials, 0.3},
    {"sparse", kCounts | kReals, 0.9},
    {"complete", kCounts | kReals | kNegatives, 0.0},
    {"all missing", kCounts, 1.0},
    {"constant variables", kConstant | kCounts | kExtremes | kNegatives, 0.3},
};

// Sizes around every vector width: 1, 4, 8 and 16 lanes and their tails.
const std::int32_t kSizes[] = {1, 2, 7, 8, 9, 15, 16, 17, 33};

TEST(Kernel, SameBitsAsTheReferenceOnRandomTables) {
  const EachTarget targets;
  ASSERT_FALSE(targets.targets().empty());
  std::mt19937 rng(20261207);
  int table = 0;
  for (int round = 0; round < rounds(); ++round)
    for (const TableKind& kind : kTableKinds)
      for (std::int32_t n : kSizes)
        for (std::int32_t m : kSizes) {
          const std::uint32_t seed = rng();
          if (!checked(table++)) continue;
          std::mt19937 table_rng(seed);
          const DataMatrix d = random_table(n, m, kind, table_rng);
          kernel::Options options;
          options.threads = table % 4 == 0 ? 2 : 1;  // two workers, or the calling thread alone
          // Some tables in chunks of a few variables: the sums carry over.
          const std::size_t chunks[] = {0, 0, 1, 3, 8};
          options.tile_variables = chunks[table % 5];
          check_table(d, targets, options,
                      std::string(kind.name) + ", n " + std::to_string(n) + ", m " + std::to_string(m) +
                          ", seed " + std::to_string(seed));
          if (::testing::Test::HasFatalFailure()) return;
        }
}

// More objects than one item takes along p, and partners in several tiles.
TEST(Kernel, SameBitsAsTheReferenceAcrossItems) {
  const EachTarget targets;
  std::mt19937 rng(77);
  struct Row {
    std::int32_t n, m;
    TableKind kind;
  };
  const Row rows[] = {
      {3, 65, {"counts", kCounts, 0.2}},
      {2, 130, {"specials", kSpecials | kReals, 0.2}},
      {5, 97, {"reals", kReals | kNegatives, 0.1}},
  };
  for (const Row& r : rows) {
    const DataMatrix d = random_table(r.n, r.m, r.kind, rng);
    kernel::Options options;
    options.threads = 2;
    check_table(d, targets, options, std::string(r.kind.name) + ", m " + std::to_string(r.m));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Every width from 1 to 40 variables, an odd number of objects (a partial
// last tile on every target), tables of finite values only (whose values the
// vectorised finishers compute) and with the special values (whose values
// go through the row's own formula).
TEST(Kernel, SameBitsAsTheReferenceAtEveryNarrowWidth) {
  const EachTarget targets;
  std::mt19937 rng(1040);
  const TableKind kinds[] = {{"finite, extremes", kExtremes | kReals | kCounts | kNegatives, 0.15},
                             {"finite, zeros and ones", kBinary | kCounts, 0.25},
                             {"specials", kSpecials | kReals | kCounts, 0.15}};
  int table = 0;
  for (std::int32_t n = 1; n <= 40; ++n) {
    const TableKind& kind = kinds[n % 3];
    const DataMatrix d = random_table(n, 37, kind, rng);
    if (!checked(table++)) continue;
    kernel::Options options;
    options.threads = n % 2 == 0 ? 2 : 1;
    check_table(d, targets, options, std::string(kind.name) + ", n " + std::to_string(n) + ", m 37");
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Both orders of work: narrow tables go by spans of objects against runs of
// tiles (several runs when there are many partners), wide ones tile by tile
// (here with several chunks of variables as well).
TEST(Kernel, SameBitsAsTheReferenceInBothOrdersOfWork) {
  const EachTarget targets;
  std::mt19937 rng(2026);
  struct Row {
    std::int32_t n, m;
    std::size_t tile_variables;
  };
  const Row rows[] = {{3, 700, 0}, {1, 1200, 0}, {40, 300, 0}, {128, 90, 0}, {129, 90, 0}, {131, 70, 64}, {300, 45, 0}};
  const TableKind kind{"reals, specials", kReals | kCounts | kSpecials, 0.15};
  for (const Row& r : rows) {
    const DataMatrix d = random_table(r.n, r.m, kind, rng);
    for (std::int32_t c : {1, 3, 8, 11, 14, 16, 17, 18, 20, 23, 24, 27, 33, 35}) {
      for (std::int32_t scaling : {0, 1}) {
        if (scaling == 1 && c != 1) continue;
        const ResemblanceMatrix want = compute_reference(d, c, scaling);
        for (std::int64_t target : targets.targets()) {
          EachTarget::use(target);
          kernel::Options options;
          options.threads = 2;
          options.tile_variables = r.tile_variables;
          ASSERT_TRUE(same_bits(kernel::compute(d, c, scaling, {}, nullptr, options), want))
              << "n " << r.n << ", m " << r.m << ", coefficient " << c << ", scaling " << scaling << ", target "
              << hwy::TargetName(target);
        }
      }
    }
  }
}

// No variables, no objects, and negative dimensions (no values along them).
TEST(Kernel, SameBitsAsTheReferenceForEmptyDimensions) {
  const EachTarget targets;
  struct Row {
    std::int32_t n, m;
  };
  const Row rows[] = {{0, 0}, {0, 1}, {0, 5}, {-3, 4}, {4, 0}, {4, -2}, {-1, -1}, {3, 1}};
  std::mt19937 rng(5);
  for (const Row& r : rows) {
    DataMatrix d;
    d.n = r.n;
    d.m = r.m;
    if (r.n > 0 && r.m > 0) d = random_table(r.n, r.m, {"counts", kCounts, 0.2}, rng);
    kernel::Options options;
    options.threads = 2;
    check_table(d, targets, options, "n " + std::to_string(r.n) + ", m " + std::to_string(r.m));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Where both operands of an update are NaNs, the running sum's NaN wins (and
// a's over b's in a product), in float lanes and in double lanes alike.
TEST(Kernel, TheFirstOperandsNaNWins) {
  const float plus_nan = from_bits(0x7FC00000u);
  const float minus_nan = from_bits(0xFFC00000u);
  const float nan_1 = from_bits(0x7FC00001u);
  const float nan_2 = from_bits(0x7FC00002u);
  struct Row {
    const char* what;
    std::int32_t coefficient;
    std::vector<float> i, j;
    std::uint32_t expected;
  };
  const Row rows[] = {
      // (a - b)^2 with both NaN: a's NaN.
      {"SSQ, a first", 1, {plus_nan}, {minus_nan}, 0x7FC00000u},
      {"SSQ, a first (other sign)", 1, {minus_nan}, {plus_nan}, 0xFFC00000u},
      // SMIN = +NaN, then + (-NaN): the sum's NaN stays.
      {"SMIN, sum first", 12, {plus_nan, minus_nan}, {5.0f, 5.0f}, 0x7FC00000u},
      {"SMIN, sum first (other sign)", 12, {minus_nan, plus_nan}, {5.0f, 5.0f}, 0xFFC00000u},
      // SAD in double lanes: |NaN(1)| then |NaN(2)|: payload 1 stays.
      {"SAD, sum first", 2, {nan_1, nan_2}, {0.0f, 0.0f}, 0x7FC00001u},
      {"SAD, sum first (other payload)", 2, {nan_2, nan_1}, {0.0f, 0.0f}, 0x7FC00002u},
      // SDIFF: a - b = +NaN, then 0 - (-NaN) = -NaN; SDIFF^2 / k^2 keeps +NaN.
      {"SDIFF, sum first", 15, {plus_nan, 0.0f}, {0.0f, minus_nan}, 0x7FC00000u},
      {"SDIFF, sum first (other sign)", 15, {minus_nan, 0.0f}, {0.0f, plus_nan}, 0xFFC00000u},
      // RENKONEN: SMIN picks the NaN ratio of a's object first.
      {"RENKONEN, a's ratio first", 21, {plus_nan, 1.0f}, {minus_nan, 1.0f}, 0x7FC00000u},
  };
  const EachTarget targets;
  for (const Row& r : rows) {
    const DataMatrix d = testing::objects({r.i, r.j});
    const ResemblanceMatrix want = compute_reference(d, r.coefficient, 0);
    EXPECT_EQ(bits(want.at(1, 0)), r.expected) << r.what << " (reference loop)";
    for (std::int64_t target : targets.targets()) {
      EachTarget::use(target);
      const ResemblanceMatrix got = kernel::compute(d, r.coefficient, 0, {}, nullptr, {});
      EXPECT_EQ(bits(got.at(1, 0)), r.expected) << r.what << ", target " << hwy::TargetName(target);
    }
  }
}

// k is a float sum of ones: from 2^24 on, adding one rounds back to 2^24.
// The kernel counts in integers and must give the float's value. Here every
// difference is 0.5, so SAD stops at 2^23 and coefficient 3 (SAD / k) is
// exactly 0.5 with the float k, 0.49999991 with the true count.
TEST(Kernel, KnownInBothCountStopsWhereTheFloatSumOfOnesStops) {
  constexpr std::size_t n = (std::size_t{1} << 24) + 3;
  const DataMatrix d = testing::objects({std::vector<float>(n, 1.5f), std::vector<float>(n, 1.0f)});
  const ResemblanceMatrix want = compute_reference(d, 3, 0);
  EXPECT_EQ(want.at(1, 0), 0.5f);
  const EachTarget targets;
  for (std::int64_t target : targets.targets()) {
    EachTarget::use(target);
    EXPECT_EQ(bits(kernel::compute(d, 3, 0, {}, nullptr, {}).at(1, 0)), bits(0.5f)) << hwy::TargetName(target);
  }
}

TEST(Kernel, EveryCompiledTargetCanBeChosen) {
  const EachTarget targets;
  for (std::int64_t target : targets.targets()) {
    EachTarget::use(target);
    EXPECT_EQ(kernel::active_target(), hwy::TargetName(target));
  }
}

}  // namespace
}  // namespace tessora::engine
