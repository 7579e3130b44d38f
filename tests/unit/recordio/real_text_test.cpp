#include "recordio/real_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tessora::recordio {
namespace {

std::string fast(float value) {
  char buffer[kMaxRealText];
  return std::string(buffer, format_real(value, buffer));
}

float from_bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

float default_nan() {
  volatile float zero = 0.0f;
  return zero / zero;  // the NaN that 0/0 yields, sign bit set on this machine
}

struct Example {
  const char* what;
  float value;
  const char* written;
};

// The table of worked examples, every row.
const Example kWorkedExamples[] = {
    {"0.0", 0.0f, "  .000000"},
    {"0.1", 0.1f, "  .100000"},
    {"0.5", 0.5f, "  .500000"},
    {"2/3", 2.0f / 3.0f, "  .666667"},
    {"-0.25", -0.25f, " -.250000"},
    {"1.0", 1.0f, "  1.00000"},
    {"-1.0", -1.0f, " -1.00000"},
    {"12.345678", 12.345678f, "  12.3457"},
    {"100.0", 100.0f, "  100.000"},
    {"999999.0", 999999.0f, "  999999."},
    {"0.99999994", 0.99999994f, "  1.000000"},
    {"9.9999996", 9.9999996f, "  10.0000"},
    {"999999.94", 999999.94f, "  1000000."},
    {"0.09999999", 0.09999999f, "  .100000"},
    {"0.0999999", 0.0999999f, "  9.999990E-02"},
    {"0.05", 0.05f, "  5.000000E-02"},
    {"1.0E-05", 1.0E-05f, "  1.000000E-05"},
    {"1234567.0", 1234567.0f, "  1.234567E+06"},
    {"123456789.0", 123456789.0f, "  1.234568E+08"},
    {"3.4E+38", 3.4E+38f, "  3.400000E+38"},
    {"+infinity", std::numeric_limits<float>::infinity(), "  INF"},
    {"-infinity", -std::numeric_limits<float>::infinity(), " -INF"},
    {"NaN, sign clear", std::numeric_limits<float>::quiet_NaN(), "  NaN"},
    {"NaN, sign set", -std::numeric_limits<float>::quiet_NaN(), " -NaN"},
};

// Further cases from the rules: signs, the two boundaries, both forms.
const Example kMoreCases[] = {
    {"-0.0", -0.0f, " -.000000"},
    {"-0.05", -0.05f, " -5.000000E-02"},
    {"1/0", std::numeric_limits<float>::infinity(), "  INF"},
    {"0/0", default_nan(), " -NaN"},
    {"signalling NaN with payload", from_bits(0x7f800001u), "  NaN"},
    {"negative NaN with payload", from_bits(0xffc12345u), " -NaN"},
    {"0.333333", 0.333333f, "  .333333"},
    {"1.41421", 1.41421356f, "  1.41421"},
    {"2.82843", 2.82842712f, "  2.82843"},
    {"0.1 less one ulp", from_bits(0x3dcccccc), "  .100000"},
    {"999999.5", 999999.5f, "  1000000."},
    {"999999.44", 999999.44f, "  999999."},
    {"999999.97 (rounds into the exponent form)", 999999.96875f, "  1.000000E+06"},
    {"1000000.0", 1000000.0f, "  1.000000E+06"},
    {"max float", std::numeric_limits<float>::max(), "  3.402823E+38"},
    {"lowest float", std::numeric_limits<float>::lowest(), " -3.402823E+38"},
    {"min normal", std::numeric_limits<float>::min(), "  1.175494E-38"},
    {"smallest subnormal", from_bits(1u), "  1.401298E-45"},
    {"largest subnormal", from_bits(0x007fffffu), "  1.175494E-38"},
    {"123456.7", 123456.7f, "  123457."},
    {"0.1234567", 0.1234567f, "  .123457"},
    {"5.0", 5.0f, "  5.00000"},
    {"-1.5E-10", -1.5E-10f, " -1.500000E-10"},
    {"1.0E10", 1.0E10f, "  1.000000E+10"},
    {"16777216", 16777216.0f, "  1.677722E+07"},
};

TEST(FormatReal, WorkedExamples) {
  for (const auto& row : kWorkedExamples) {
    EXPECT_EQ(fast(row.value), row.written) << row.what;
    EXPECT_EQ(format_real_reference(row.value), row.written) << row.what;
  }
}

TEST(FormatReal, SignsBoundariesAndBothForms) {
  for (const auto& row : kMoreCases) {
    EXPECT_EQ(fast(row.value), row.written) << row.what;
    EXPECT_EQ(format_real_reference(row.value), row.written) << row.what;
  }
}

TEST(FormatReal, NeverLongerThanTheLongestItem) {
  EXPECT_EQ(fast(-1.0E-10f).size(), 14u);
  EXPECT_LE(fast(-999999.94f).size(), kMaxRealText);
}

void expect_same(float value) {
  ASSERT_EQ(fast(value), format_real_reference(value))
      << "bits 0x" << std::hex << std::bit_cast<std::uint32_t>(value);
}

// Values on both sides of every power of ten, of the rounding points that
// decide the form (0.1 and 1,000,000) and of the carries at six and seven
// digits, a few units in the last place apart.
TEST(FormatReal, FastMatchesReferenceNearHardValues) {
  std::vector<double> centres = {0.1,       0.09999999, 0.0999999,  1.0,       999999.5,
                                 999999.94, 9.9999996,  0.99999994, 0.0999995, 99999.95,
                                 0.5,       0.05};
  for (int k = -45; k <= 38; ++k) centres.push_back(std::pow(10.0, k));
  for (int k = -45; k <= 38; ++k) centres.push_back(9.9999995 * std::pow(10.0, k));
  for (int k = -45; k <= 38; ++k) centres.push_back(9.999995 * std::pow(10.0, k));
  for (double c : centres) {
    const float f = static_cast<float>(c);
    if (f == 0.0f || std::isinf(f)) continue;
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
    for (std::uint32_t d = 0; d <= 64; ++d) {
      for (std::uint32_t b : {bits - d, bits + d}) {
        expect_same(from_bits(b));
        expect_same(from_bits(b | 0x80000000u));
      }
    }
  }
}

TEST(FormatReal, FastMatchesReferenceOnSpecialsAndEdges) {
  const std::uint32_t edges[] = {0x00000000u, 0x80000000u, 0x00000001u, 0x00000002u, 0x007fffffu,
                                 0x00800000u, 0x7f7fffffu, 0x7f800000u, 0xff800000u, 0x7fc00000u,
                                 0xffc00000u, 0x7f800001u, 0x7fbfffffu, 0xffffffffu, 0x3f800000u,
                                 0x4b7fffffu, 0x4b800000u, 0x4b800001u, 0x3f7fffffu};
  for (std::uint32_t b : edges) expect_same(from_bits(b));
  // Every exponent, with its lowest, highest and a middle significand.
  for (std::uint32_t e = 0; e < 256; ++e) {
    for (std::uint32_t f : {0u, 1u, 0x400000u, 0x7ffffeu, 0x7fffffu, 0x123456u}) {
      expect_same(from_bits((e << 23) | f));
    }
  }
}

TEST(FormatReal, FastMatchesReferenceOnSubnormals) {
  for (std::uint32_t b = 1; b < 0x00800000u; b += 997) expect_same(from_bits(b));
}

TEST(FormatReal, FastMatchesReferenceOnRandomBitPatterns) {
#ifdef NDEBUG
  constexpr int kCount = 3'000'000;
#else
  constexpr int kCount = 100'000;  // unoptimised and sanitised builds
#endif
  std::mt19937 random(20240611u);
  for (int i = 0; i < kCount; ++i) expect_same(from_bits(static_cast<std::uint32_t>(random())));
}

// Values a matrix file mostly holds: plain decimals of a few digits.
TEST(FormatReal, FastMatchesReferenceOnShortDecimals) {
  std::mt19937 random(7u);
  std::uniform_int_distribution<int> digits(0, 9999999);
  std::uniform_int_distribution<int> power(-12, 12);
  for (int i = 0; i < 200'000; ++i) {
    expect_same(static_cast<float>(digits(random) * std::pow(10.0, power(random))));
  }
}

}  // namespace
}  // namespace tessora::recordio
