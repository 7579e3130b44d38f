// The coefficient table against the lists that the dialogue and the pair
// framework are defined by.
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "engine/coefficients.hpp"

namespace tessora::engine {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Every number from -3 to 40 and both ends of the 32-bit range.
std::set<std::int32_t> numbers() {
  std::set<std::int32_t> all{kMin, kMin + 1, kMax - 1, kMax};
  for (std::int32_t c = -3; c <= 40; ++c) all.insert(c);
  return all;
}

bool in(std::int32_t c, std::initializer_list<std::int32_t> list) {
  for (auto x : list)
    if (x == c) return true;
  return false;
}

TEST(CoefficientTable, QuestionsDependOnTheNumberAlone) {
  for (std::int32_t c : numbers()) {
    EXPECT_EQ(asks_scaling(c), in(c, {1, 2, 13})) << c;
    EXPECT_EQ(asks_layout(c), !in(c, {14, 15})) << c;
    EXPECT_EQ(asks_conversion(c), in(c, {4, 5, 7, 19, 21}) || c >= 24) << c;
  }
}

TEST(CoefficientTable, PassesAndStatisticsFollowTheFrameworkTable) {
  for (std::int32_t c : numbers()) {
    const Coefficient& row = coefficient(c);
    const bool second = in(c, {17, 19, 20, 21, 23, 24});
    EXPECT_EQ(row.second != nullptr, second) << c;
    EXPECT_EQ(row.squares != nullptr, in(c, {5, 9, 10, 11, 23, 24})) << c;
    if (row.squares) {
      EXPECT_EQ(row.squares, &terms::sums_of_squares) << c;
    }

    Statistics stats = Statistics::none;
    if (c == 16 || c >= 25) stats = Statistics::max_and_range;
    if (c == 20) stats = Statistics::totals;
    EXPECT_EQ(row.statistics, stats) << c;

    Term first = nullptr;  // 16, 18 and 22 have terms of their own
    if (c <= 15) first = &terms::general_sums;
    if (second) first = &terms::pair_totals;
    if (c >= 25) first = &terms::presence_absence;
    if (first) {
      EXPECT_EQ(row.first, first) << c;
    } else {
      EXPECT_TRUE(row.first != nullptr && row.first != &terms::general_sums) << c;
    }

    EXPECT_EQ(row.guard != nullptr, in(c, {28, 29, 33, 34})) << c;
  }
}

TEST(CoefficientTable, DiagonalFollowsTheNumber) {
  for (std::int32_t c : numbers()) {
    Diagonal expected = Diagonal::zero;
    if (in(c, {4, 5, 7, 19, 21}) || c >= 24) expected = Diagonal::one;
    if (c == 12) expected = Diagonal::own_sum;
    if (c == 23) expected = Diagonal::own_variance;
    EXPECT_EQ(coefficient(c).diagonal, expected) << c;
  }
}

}  // namespace
}  // namespace tessora::engine
