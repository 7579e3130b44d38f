#include "recordio/value_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "recordio/runtime.hpp"

namespace tessora::recordio {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

struct RealCase {
  const char* text;
  float expected;
};

const RealCase kReals[] = {
    {"5", 5.0f},           {"-1", -1.0f},          {".5", 0.5f},
    {"5.", 5.0f},          {"1E3", 1000.0f},       {"1+3", 1000.0f},
    {"1.5d-2", 0.015f},    {"1.5D-2", 0.015f},     {"1.5e+2", 150.0f},
    {"1.5.3", 1.5f},       {"1E", 1.0f},           {"1E+", 1.0f},
    {"1-", 1.0f},          {"+2.25", 2.25f},       {"-1E0", -1.0f},
    {"-1.0", -1.0f},       {"0.35E1", 3.5f},       {"1e5e3", 1e5f},
    {"1E39", kInf},        {"-1E39", -kInf},       {"1E-50", 0.0f},
    {"1e-45", 1.4e-45f},   {"3.4028235e38", 3.4028235e38f},
    {"000123.4500", 123.45f},
    {"0.000001", 1e-6f},   {"123456789012345678901234", 1.2345679e23f},
    {"1" "000000000000000000000000000000000000000", kInf},
    {"1E99999999999999999999", kInf},
    {"1E-99999999999999999999", 0.0f},
    {"INF", kInf},         {"inf", kInf},          {"-Inf", -kInf},
    {"Infinity", kInf},    {"+INFINITY", kInf},
    {"1e-7", 1e-7f},       {"2.5E-2", 0.025f},
};

TEST(ParseReal, DecimalTextsGiveTheNearestFloat) {
  for (const auto& row : kReals) {
    float value = 99.0f;
    ASSERT_EQ(parse_real(row.text, value), 0) << row.text;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(row.expected))
        << row.text << " gave " << value;
  }
}

TEST(ParseReal, SignAloneAndZerosKeepTheSign) {
  const struct {
    const char* text;
    bool negative;
  } rows[] = {{"-", true}, {"+", false}, {"-0", true}, {"0", false}, {"-.", true}, {"E5", false}};
  for (const auto& row : rows) {
    float value = 99.0f;
    ASSERT_EQ(parse_real(row.text, value), 0) << row.text;
    EXPECT_EQ(value, 0.0f) << row.text;
    EXPECT_EQ(std::signbit(value), row.negative) << row.text;
  }
}

TEST(ParseReal, NaNCarriesTheWrittenSign) {
  for (const auto& [text, negative] :
       {std::pair{"NaN", false}, std::pair{"nan", false}, std::pair{"-NAN", true}, std::pair{"+nan", false}}) {
    float value = 0.0f;
    ASSERT_EQ(parse_real(text, value), 0) << text;
    EXPECT_TRUE(std::isnan(value)) << text;
    EXPECT_EQ(std::signbit(value), negative) << text;
  }
}

TEST(ParseReal, IllegalCharactersLeaveTheItem) {
  for (const char* text : {"abc", "1,5", "12x", "1.5f", "I", "IN", "INFX", "N", "NA", "NANA", "-infinit",
                           "1 2", "'1'", "0x10", "1e5x", "--I"}) {
    float value = 99.0f;
    EXPECT_EQ(parse_real(text, value), err::kIllegalNumeric) << text;
    EXPECT_EQ(value, 99.0f) << text;
  }
}

// Up to 19 significant digits are kept, later ones only move the exponent:
// the result is the correctly rounded double of the kept digits, as a float.
TEST(ParseReal, MatchesTheKeptDigitsRoundedThroughDouble) {
  std::mt19937_64 random(11u);
  for (int i = 0; i < 100'000; ++i) {
    const int length = 1 + static_cast<int>(random() % 25);
    std::string digits;
    for (int d = 0; d < length; ++d) digits.push_back(static_cast<char>('0' + random() % 10));
    const int point = static_cast<int>(random() % (length + 1));
    const int exponent = static_cast<int>(random() % 90) - 45;
    const std::string text = digits.substr(0, point) + "." + digits.substr(point) + "E" + std::to_string(exponent);

    // The same number with only its first 19 significant digits.
    const std::size_t first = digits.find_first_not_of('0');
    std::string kept = digits;
    if (first != std::string::npos && digits.size() - first > 19) {
      for (std::size_t j = first + 19; j < kept.size(); ++j) kept[j] = '0';
    }
    const std::string truncated =
        kept.substr(0, point) + "." + kept.substr(point) + "E" + std::to_string(exponent);
    const float expected = static_cast<float>(std::strtod(truncated.c_str(), nullptr));

    float value = 0.0f;
    ASSERT_EQ(parse_real(text, value), 0) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(expected)) << text;
  }
}

// The values a data file mostly holds: a few digits, a point, a short exponent.
TEST(ParseReal, ShortDecimalsMatchTheCorrectlyRoundedDouble) {
  std::mt19937 random(5u);
  for (int i = 0; i < 200'000; ++i) {
    std::string text = (random() % 4 == 0 ? "-" : "") + std::to_string(random() % 100000) + "." +
                       std::to_string(random() % 1000000);
    if (random() % 3 == 0) text += "E" + std::to_string(static_cast<int>(random() % 61) - 30);
    const float expected = static_cast<float>(std::strtod(text.c_str(), nullptr));
    float value = 0.0f;
    ASSERT_EQ(parse_real(text, value), 0) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(expected)) << text;
  }
}

struct IntegerCase {
  const char* text;
  int error;
  std::int32_t expected;
};

const IntegerCase kIntegers[] = {
    {"0", 0, 0},
    {"12", 0, 12},
    {"+12", 0, 12},
    {"-12", 0, -12},
    {"-", 0, 0},
    {"+", 0, 0},
    {"007", 0, 7},
    {"2147483647", 0, 2147483647},
    {"-2147483648", 0, INT32_MIN},
    {"2147483648", 0, INT32_MIN},  // modulo 2^32
    {"4294967297", 0, 1},
    {"-2147483649", 0, 2147483647},
    {"99999999999999999999999", 0, -159383553},  // (10^23 - 1) mod 2^32
    {"12.0", err::kIllegalNumeric, 0},
    {"1E3", err::kIllegalNumeric, 0},
    {"abc", err::kIllegalNumeric, 0},
    {"1-", err::kIllegalNumeric, 0},
    {"--1", err::kIllegalNumeric, 0},
    {" 1", err::kIllegalNumeric, 0},
};

TEST(ParseInteger, SignAndDigitsModulo2To32) {
  for (const auto& row : kIntegers) {
    std::int32_t value = 99;
    EXPECT_EQ(parse_integer(row.text, value), row.error) << row.text;
    EXPECT_EQ(value, row.error ? 99 : row.expected) << row.text;
  }
}

TEST(StoreText, KeepsTheFirstCharactersOrPadsWithBlanks) {
  const struct {
    const char* text;
    const char* stored;  // into 6 characters
  } rows[] = {{"AB", "AB    "}, {"ABCDEF", "ABCDEF"}, {"ABCDEFGH", "ABCDEF"}, {"", "      "}, {" x ", " x    "}};
  for (const auto& row : rows) {
    char out[7] = "######";
    store_text(row.text, out, 6);
    EXPECT_EQ(std::string(out, 6), row.stored) << row.text;
  }
}

}  // namespace
}  // namespace tessora::recordio
