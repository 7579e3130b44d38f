#include "recordio/value_text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "recordio/runtime.hpp"

namespace tessora::recordio {

namespace detail {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_folded(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != lower_word[i]) return false;
  }
  return true;
}

constexpr bool is_real_character(char c) {
  return is_digit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e' || c == 'D' ||
         c == 'd';
}

// Significant digits kept from the value text; further ones only move the
// decimal exponent.
constexpr int kMaxSignificant = 19;

// Beyond this decimal exponent every nonzero value is an infinity or a zero;
// the clamp keeps the arithmetic on exponents far from overflow.
constexpr long kExponentClamp = 100000;


// The nearest double of digits * 10^exponent (digits nonzero, at most 19;
// `significand` is their value).
double decimal_to_double(const char* digits, int count, std::uint64_t significand, long exponent) {
  // Both factors exact in a double: one correctly rounded operation suffices.
  if (count <= 15 && exponent >= -22 && exponent <= 22) {
    const double s = static_cast<double>(significand);
    return exponent >= 0 ? s * kExactPowers[exponent] : s / kExactPowers[-exponent];
  }
  if (exponent + count > 400) return std::numeric_limits<double>::infinity();
  if (exponent + count < -400) return 0.0;
  char text[48];
  std::memcpy(text, digits, static_cast<std::size_t>(count));
  char* p = text + count;
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exponent).ptr;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text, p, value, std::chars_format::scientific);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: the sign of the magnitude decides.
    return exponent + count > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

}  // namespace detail

int parse_integer(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t magnitude = 0;  // wraps modulo 2^32 by design
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (!detail::is_digit(c)) return err::kIllegalNumeric;
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) magnitude = 0u - magnitude;
  value = static_cast<std::int32_t>(magnitude);
  return 0;
}

int parse_real(std::string_view text, float& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  if (!rest.empty()) {
    const char first = detail::lower(rest[0]);
    if (first == 'i' || first == 'n') {
      float special;
      if (detail::equals_folded(rest, "inf") || detail::equals_folded(rest, "infinity")) {
        special = std::numeric_limits<float>::infinity();
      } else if (detail::equals_folded(rest, "nan")) {
        special = std::numeric_limits<float>::quiet_NaN();
      } else {
        return err::kIllegalNumeric;
      }
      value = negative ? -special : special;
      return 0;
    }
  }
  for (char c : rest) {
    if (!detail::is_real_character(c)) return err::kIllegalNumeric;
  }

  // Digits, an optional point and digits: up to 19 significant digits kept.
  char digits[detail::kMaxSignificant];
  std::uint64_t significand = 0;  // below 10^19: fits
  int count = 0;
  long exponent = 0;  // of the last kept digit
  std::size_t p = 0;
  const std::size_t n = rest.size();
  for (; p < n && detail::is_digit(rest[p]); ++p) {
    if (count == 0 && rest[p] == '0') continue;
    if (count < detail::kMaxSignificant) {
      significand = significand * 10 + static_cast<std::uint64_t>(rest[p] - '0');
      digits[count++] = rest[p];
    } else if (exponent < detail::kExponentClamp) {
      ++exponent;
    }
  }
  if (p < n && rest[p] == '.') {
    for (++p; p < n && detail::is_digit(rest[p]); ++p) {
      if (count == 0 && rest[p] == '0') {
        if (exponent > -detail::kExponentClamp) --exponent;
        continue;
      }
      if (count < detail::kMaxSignificant) {
        significand = significand * 10 + static_cast<std::uint64_t>(rest[p] - '0');
        digits[count++] = rest[p];
        if (exponent > -detail::kExponentClamp) --exponent;
      }
    }
  }
  // The exponent: a letter with an optional sign, or a sign alone, then digits.
  if (p < n) {
    const char c = rest[p];
    bool has_exponent = false;
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      has_exponent = true;
      ++p;
    } else if (c == '+' || c == '-') {
      has_exponent = true;
    }
    if (has_exponent) {
      bool exponent_negative = false;
      if (p < n && (rest[p] == '+' || rest[p] == '-')) {
        exponent_negative = rest[p] == '-';
        ++p;
      }
      long written = 0;
      for (; p < n && detail::is_digit(rest[p]); ++p) {
        written = std::min(written * 10 + (rest[p] - '0'), detail::kExponentClamp);
      }
      exponent += exponent_negative ? -written : written;
    }
  }

  const double magnitude = count == 0 ? 0.0 : detail::decimal_to_double(digits, count, significand, exponent);
  value = static_cast<float>(negative ? -magnitude : magnitude);
  return 0;
}

void store_text(std::string_view text, char* out, std::size_t length) {
  const std::size_t kept = std::min(text.size(), length);
  if (kept > 0) std::memcpy(out, text.data(), kept);
  if (length > kept) std::memset(out + kept, ' ', length - kept);
}

}  // namespace tessora::recordio
