// The written form of a real item. Both versions take the first eight digits
// of the exact decimal expansion of the value (widened to double), truncated,
// and round them twice: once to choose between the fixed and the exponent
// form, once more for the digits that are written.
#include "recordio/real_text.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tessora::recordio {

namespace detail {

using u128 = unsigned __int128;

constexpr std::array<std::uint32_t, 9> kPow10_32 = {1,      10,      100,      1000,     10000,
                                                    100000, 1000000, 10000000, 100000000};

// 5^k for k = 0 to 55, enough for every power a float can need.
constexpr std::array<u128, 56> make_pow5() {
  std::array<u128, 56> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 5;
  return p;
}
constexpr auto kPow5 = make_pow5();
// With a significand below 2^24, m * 5^k stays below 2^64 up to this k.
constexpr int kPow5In64 = 17;

constexpr u128 pow10_128(int k) {
  u128 p = 1;
  while (k-- > 0) p *= 10;
  return p;
}

// The eight leading digits of a positive value and its decimal exponent:
// value = 0.d1d2...d8... x 10^r with d1 nonzero, digits truncated.
struct Leading {
  std::uint32_t digits;  // 10^7 <= digits < 10^8
  int r;
};

// floor(m * 2^e * 10^k), known to be below 2^32.
inline std::uint32_t scaled_floor(std::uint64_t m, int e, int k) {
  if (e >= 0) {
    const u128 whole = static_cast<u128>(m) << e;
    if (k >= 0) return static_cast<std::uint32_t>(whole * pow10_128(k));
    return static_cast<std::uint32_t>(whole / pow10_128(-k));
  }
  // m * 10^k / 2^t = m * 5^k * 2^(k - t); k >= 0 here, as the value is below 2^24.
  const int t = -e;
  const u128 p5 = kPow5[static_cast<std::size_t>(k)];
  if (k <= kPow5In64) {
    // The values written most (about 1E-9 to 2^24): m * 5^k fits 64 bits.
    const std::uint64_t product = m * static_cast<std::uint64_t>(p5);
    const int down = t - k;
    return static_cast<std::uint32_t>(down >= 0 ? product >> down : product << -down);
  }
  // The 192-bit product m * 5^k as three 64-bit limbs.
  const u128 low = static_cast<u128>(m) * static_cast<std::uint64_t>(p5);
  const u128 high = static_cast<u128>(m) * static_cast<std::uint64_t>(p5 >> 64);
  const std::uint64_t limb0 = static_cast<std::uint64_t>(low);
  const u128 mid = (low >> 64) + static_cast<std::uint64_t>(high);
  const std::uint64_t limb1 = static_cast<std::uint64_t>(mid);
  const std::uint64_t limb2 = static_cast<std::uint64_t>(high >> 64) + static_cast<std::uint64_t>(mid >> 64);
  const int shift = t - k;
  if (shift <= 0) return static_cast<std::uint32_t>(limb0 << -shift);
  if (shift >= 128) return static_cast<std::uint32_t>(limb2 >> (shift - 128));
  const u128 upper = (static_cast<u128>(limb2) << 64) | limb1;  // bits 64 to 191
  if (shift >= 64) return static_cast<std::uint32_t>(upper >> (shift - 64));
  const u128 lower = (static_cast<u128>(limb1) << 64) | limb0;
  return static_cast<std::uint32_t>(lower >> shift);
}

inline Leading leading_digits(std::uint64_t m, int e) {
  // value lies in [2^a, 2^(a+1)) with a = e + bit length - 1, so
  // 10^(r0 - 1) <= value < 2 * 10^r0 for r0 = floor(a log10 2) + 1.
  const int a = e + static_cast<int>(std::bit_width(m)) - 1;
  const int r0 = ((a * 315653) >> 20) + 1;  // floor(a log10 2) for |a| <= 2620
  const std::uint32_t digits = scaled_floor(m, e, 8 - r0);
  // Without a branch: which way this goes is a coin toss for real data.
  const bool nine = digits >= 100000000u;
  return {nine ? digits / 10u : digits, r0 + static_cast<int>(nine)};
}

// Keeps the first P digits (0 <= P <= 7) of eight, rounding by digit P + 1;
// a carry out of the first digit gives 10000000 and r + 1.
template <int P>
inline Leading round_to(Leading x) {
  constexpr std::uint32_t unit = kPow10_32[8 - P];
  std::uint32_t kept = x.digits / unit;
  if ((x.digits / (unit / 10u)) % 10u >= 5u) ++kept;
  if (kept == kPow10_32[P]) return {10000000u, x.r + 1};
  return {kept * unit, x.r};
}

// The same with P known only at run time; each case divides by constants.
inline Leading round_to(Leading x, int p) {
  switch (p) {
    case 0: return round_to<0>(x);
    case 1: return round_to<1>(x);
    case 2: return round_to<2>(x);
    case 3: return round_to<3>(x);
    case 4: return round_to<4>(x);
    case 5: return round_to<5>(x);
    case 6: return round_to<6>(x);
    default: return round_to<7>(x);
  }
}

// "00" to "99": two digits a lookup (the exponent).
constexpr std::array<char, 200> make_pairs() {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}
constexpr auto kPairs = make_pairs();

// The eight decimal digits of a number below 10^8 as ASCII in one 64-bit
// word, the first digit in the lowest byte: split into halves of four digits,
// those into pairs, the pairs into digits, each step in all lanes at once.
inline std::uint64_t digits8_word(std::uint32_t digits) {
  const std::uint64_t halves = digits / 10000u | (std::uint64_t{digits % 10000u} << 32);
  const std::uint64_t hundreds = ((halves * 5243u) >> 19) & 0x0000007F0000007Full;  // / 100
  const std::uint64_t pairs = hundreds | ((halves - hundreds * 100u) << 16);
  const std::uint64_t tens = ((pairs * 103u) >> 10) & 0x000F000F000F000Full;  // / 10
  const std::uint64_t word = tens | ((pairs - tens * 10u) << 8);
  return word + 0x3030303030303030ull;
}

inline void put_digits8(std::uint32_t digits, char* out) {
  std::uint64_t word = digits8_word(digits);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(out, &word, 8);
}

}  // namespace detail

std::size_t format_real(float value, char* out) {
  using namespace detail;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  out[0] = ' ';
  out[1] = (bits >> 31) ? '-' : ' ';
  char* p = out + 2;
  const std::uint32_t biased = (bits >> 23) & 0xffu;
  const std::uint32_t fraction = bits & 0x7fffffu;
  if (biased == 0xffu) {
    std::memcpy(p, fraction ? "NaN" : "INF", 3);
    return 5;
  }
  if (biased == 0 && fraction == 0) {
    std::memcpy(p, ".000000", 7);
    return 9;
  }
  const std::uint64_t m = biased ? (fraction | 0x800000u) : fraction;
  const int e = biased ? static_cast<int>(biased) - 150 : -149;
  const Leading first = leading_digits(m, e);

  // The form: rounded to r + 7 digits (at most seven), is r within 0 to 6?
  // From r = 0 on that is seven digits, which carry only from 99999995 on.
  int r = first.r;
  if (r >= 0) {
    if (first.digits >= 99999995u) ++r;
  } else if (r + 7 >= 0) {
    r = round_to(first, r + 7).r;
  }

  if (r >= 0 && r <= 6) {
    // Six digits, rounded by the seventh; a carry gives 1000000 and one more
    // digit before the point. The at most seven digits and the point fill
    // eight bytes: the digits before the point stay, the rest move up one.
    const int q = 6 - r;  // digits after the point
    std::uint32_t kept = (first.digits / 10u + 5u) / 10u;
    const bool carry = kept == 1000000u;
    const int before = first.r + static_cast<int>(carry);  // 0 to 7
    kept = carry ? 100000u : kept;
    std::uint64_t word = digits8_word(kept * 100u);
    const std::uint64_t low = (std::uint64_t{1} << (8 * before)) - 1;  // text[0] lowest
    word = (word & low) | (std::uint64_t{'.'} << (8 * before)) | ((word & ~low) << 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(p, &word, 8);
    return static_cast<std::size_t>(2 + before + 1 + q);
  }
  const Leading exp = round_to<7>(first);
  char digits[8];
  put_digits8(exp.digits, digits);
  *p++ = digits[0];
  *p++ = '.';
  std::memcpy(p, digits + 1, 6);
  p += 6;
  *p++ = 'E';
  const int power = exp.r - 1;
  *p++ = power < 0 ? '-' : '+';
  const int magnitude = power < 0 ? -power : power;
  std::memcpy(p, &kPairs[static_cast<std::size_t>(2 * magnitude)], 2);
  return static_cast<std::size_t>(p + 2 - out);
}

// The same algorithm, step by step on a string of decimal digits.
std::string format_real_reference(float value) {
  std::string text = std::signbit(value) ? " -" : "  ";
  if (std::isinf(value)) return text + "INF";
  if (std::isnan(value)) return text + "NaN";

  // 1. Digits: the exact expansion (a float has at most 112 significant
  // decimal digits, so 120 after the first one are exact), truncated to 8.
  std::string digits = "00000000";
  int r = 0;
  const double magnitude = std::fabs(static_cast<double>(value));
  if (magnitude != 0.0) {
    char buffer[200];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 120);
    const std::string exact(buffer, result.ptr);  // d.ddd...e+XX
    const std::size_t e_at = exact.find('e');
    const std::string all_digits = exact.substr(0, 1) + exact.substr(2, e_at - 2);
    digits = all_digits.substr(0, 8);
    r = std::stoi(exact.substr(e_at + 1)) + 1;
  }

  // 2. Rounding to p digits, looking at digit p + 1 alone.
  auto round = [](std::string d, int& exponent, int p) {
    if (p + 1 > 8) p = 7;
    const bool up = d[static_cast<std::size_t>(p)] >= '5';
    for (std::size_t i = static_cast<std::size_t>(p); i < d.size(); ++i) d[i] = '0';
    if (up) {
      int i = p - 1;
      while (i >= 0 && d[static_cast<std::size_t>(i)] == '9') d[static_cast<std::size_t>(i--)] = '0';
      if (i >= 0) {
        ++d[static_cast<std::size_t>(i)];
      } else {
        d = "10000000";
        ++exponent;
      }
    }
    return d;
  };

  // 3. The form, from the rounding to r + 7 places.
  int r_form = r;
  if (magnitude != 0.0 && r + 7 >= 0) round(digits, r_form, r + 7);
  if (r_form >= 0 && r_form <= 6) {
    // 4. Fixed form with q = 6 - r digits after the point.
    const int q = 6 - r_form;
    int r_fixed = r;
    const std::string d = round(digits, r_fixed, r_form + q);
    if (r_fixed > 0) {
      text += d.substr(0, static_cast<std::size_t>(r_fixed)) + "." +
              d.substr(static_cast<std::size_t>(r_fixed), static_cast<std::size_t>(q));
    } else {
      text += "." + std::string(static_cast<std::size_t>(-r_fixed), '0') +
              d.substr(0, static_cast<std::size_t>(r_fixed + q));
    }
    return text;
  }
  // 5. Exponent form with seven significant digits.
  int r_exp = r;
  const std::string d = round(digits, r_exp, 7);
  const int power = r_exp - 1;
  std::string exponent = std::to_string(power < 0 ? -power : power);
  if (exponent.size() < 2) exponent.insert(0, "0");
  return text + d.substr(0, 1) + "." + d.substr(1, 6) + "E" + (power < 0 ? "-" : "+") + exponent;
}

}  // namespace tessora::recordio
