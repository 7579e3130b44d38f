// Helpers shared by the pair and coefficient tests: building a data matrix
// object by object, and comparing floats by their bits.
#pragma once

#include <bit>
#include <cstdio>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/matrices.hpp"

namespace tessora::engine::testing {

inline std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }
inline float from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

// The NaN of 0/0 on this hardware (sign set), and the same NaN with its sign
// cleared by an absolute value.
inline const float kMinusNaN = from_bits(0xFFC00000u);
inline const float kPlusNaN = from_bits(0x7FC00000u);

// One inner list per object, each holding that object's n values.
inline DataMatrix objects(std::initializer_list<std::vector<float>> rows) {
  DataMatrix d;
  d.m = static_cast<std::int32_t>(rows.size());
  d.n = rows.size() == 0 ? 0 : static_cast<std::int32_t>(rows.begin()->size());
  for (const auto& r : rows) d.x.insert(d.x.end(), r.begin(), r.end());
  return d;
}

inline ::testing::AssertionResult same_bits(float actual, float expected) {
  if (bits(actual) == bits(expected)) return ::testing::AssertionSuccess();
  char text[128];
  std::snprintf(text, sizeof text, "got %.9g (0x%08X), expected %.9g (0x%08X)", actual, bits(actual),
                expected, bits(expected));
  return ::testing::AssertionFailure() << text;
}

}  // namespace tessora::engine::testing
