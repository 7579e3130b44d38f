// The rounding points: every helper is checked against values whose float
// and double results differ, so that a missing or extra rounding shows.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "engine/numeric.hpp"
#include "test_pairs_support.hpp"

namespace tessora::engine {
namespace {

using testing::bits;
using testing::from_bits;
using testing::kMinusNaN;
using testing::kPlusNaN;
using testing::same_bits;

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Numeric, SquareRoundsTheOperandAndTheSquare) {
  struct Row { double x; float expected; };
  const Row rows[] = {
      {3.0, 9.0f},
      {-4.0, 16.0f},
      {0.1, from_bits(0x3C23D70Bu)},          // 0.1f squared; 0.1 * 0.1 in double would store 0x3C23D70A
      {1.0 + 0x1p-12, 1.0f + 0x1p-11f},       // the 2^-24 of the exact square is a tie, rounded to even
      {1.0 + 0x1p-25, 1.0f},                  // the operand itself is rounded to 1 first
      {0x1p70, std::numeric_limits<float>::infinity()},
  };
  for (const auto& r : rows) EXPECT_TRUE(same_bits(num::square(r.x), r.expected)) << r.x;
  EXPECT_NE(bits(num::square(0.1)), bits(num::store(0.1 * 0.1)));
}

TEST(Numeric, AddEvaluatesInDoubleAndStoresOnce) {
  struct Row { float sum; double term; float expected; };
  const Row rows[] = {
      {1.0f, 0x1p-24, 1.0f},                         // exactly half an ulp: ties to even
      {1.0f, 0x1p-24 + 0x1p-50, 1.0f + 0x1p-23f},    // just above half: one rounding, upward
      {16777216.0f, 1.0, 16777216.0f},               // 2^24 + 1 is not a float
      {0.0f, -0.0, 0.0f},                            // a running sum never turns into -0
  };
  for (const auto& r : rows) EXPECT_TRUE(same_bits(num::add(r.sum, r.term), r.expected));
}

// The fast kernel reproduces this: with two NaNs, the running sum's wins.
TEST(Numeric, AddKeepsTheNaNOfTheRunningSum) {
  struct Row { std::uint32_t sum, term, expected; };
  const Row rows[] = {
      {0xFFC00000u, 0x7FC00001u, 0xFFC00000u},
      {0x7FC00002u, 0xFFC00000u, 0x7FC00002u},
      {0x3F800000u, 0xFFC00003u, 0xFFC00003u},  // 1 + NaN: the term's NaN
  };
  for (const auto& r : rows) {
    volatile float sum = from_bits(r.sum), term = from_bits(r.term);  // no folding at compile time
    EXPECT_EQ(bits(num::add(sum, term)), r.expected);
  }
}

TEST(Numeric, PlusAndTimesGiveTheFirstOperandsNaN) {
  struct Row { std::uint32_t x, y, expected; };
  const Row rows[] = {
      {0xFFC00000u, 0x7FC00001u, 0xFFC00000u},
      {0x7FC00001u, 0xFFC00000u, 0x7FC00001u},
      {0x40000000u, 0xFFC00000u, 0xFFC00000u},  // 2 and a NaN: the NaN
  };
  for (const auto& r : rows) {
    volatile float x = from_bits(r.x), y = from_bits(r.y);
    EXPECT_EQ(bits(num::store(num::plus(x, y))), r.expected);
    EXPECT_EQ(bits(num::store(num::times(x, y))), r.expected);
  }
  EXPECT_EQ(num::plus(2.0, 3.0), 5.0);
  EXPECT_EQ(num::times(2.0, 3.0), 6.0);
}

TEST(Numeric, AbsoluteClearsTheSignBitOfAnyValue) {
  struct Row { double x; float expected; };
  const Row rows[] = {
      {-2.5, 2.5f}, {2.5, 2.5f}, {-0.0, 0.0f}, {-kInf, std::numeric_limits<float>::infinity()},
      {static_cast<double>(kMinusNaN), kPlusNaN},
      {static_cast<double>(kPlusNaN), kPlusNaN},
  };
  for (const auto& r : rows) EXPECT_TRUE(same_bits(num::store(num::absolute(r.x)), r.expected)) << r.x;
}

TEST(Numeric, SmallerGivesTheFirstAndLargerTheSecondWhenANaNIsInvolved) {
  const double nan_a = static_cast<double>(from_bits(0xFFC00001u));
  const double nan_b = static_cast<double>(from_bits(0x7FC00002u));
  struct Row { double a, b; float smaller, larger; };
  const Row rows[] = {
      {1.0, 2.0, 1.0f, 2.0f},
      {2.0, 1.0, 1.0f, 2.0f},
      {nan_a, 1.0, from_bits(0xFFC00001u), 1.0f},
      {1.0, nan_b, 1.0f, from_bits(0x7FC00002u)},
      {nan_a, nan_b, from_bits(0xFFC00001u), from_bits(0x7FC00002u)},
      {-0.0, 0.0, 0.0f, 0.0f},  // equal values: both give the second
  };
  for (const auto& r : rows) {
    EXPECT_TRUE(same_bits(num::store(num::smaller(r.a, r.b)), r.smaller)) << r.a << " " << r.b;
    EXPECT_TRUE(same_bits(num::store(num::larger(r.a, r.b)), r.larger)) << r.a << " " << r.b;
  }
}

TEST(Numeric, ArcCosineIsRoundedFromDoubleAndInvalidBeyondOne) {
  struct Row { float c; float expected; };
  const Row rows[] = {
      {0.0f, from_bits(0x3FC90FDBu)},  // pi / 2
      {0.5f, from_bits(0x3F860A92u)},  // pi / 3
      {1.0f, 0.0f},
      {-1.0f, from_bits(0x40490FDBu)},  // pi
      {1.0000001f, kMinusNaN},
      {-1.0000001f, kMinusNaN},
      {std::numeric_limits<float>::infinity(), kMinusNaN},
      {-std::numeric_limits<float>::infinity(), kMinusNaN},
      {kPlusNaN, kPlusNaN},                              // a NaN passes unchanged
      {from_bits(0xFFC00123u), from_bits(0xFFC00123u)},
  };
  for (const auto& r : rows) EXPECT_TRUE(same_bits(num::arc_cosine(r.c), r.expected)) << r.c;
}

TEST(Numeric, DefaultNaNIsTheOneThatZeroOverZeroGives) {
  volatile double zero = 0.0;
  EXPECT_EQ(bits(num::store(zero / zero)), bits(num::default_nan()));
  EXPECT_EQ(bits(num::store(std::sqrt(-zero - 1.0))), bits(num::default_nan()));
}

}  // namespace
}  // namespace tessora::engine
