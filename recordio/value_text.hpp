// Conversion of one scanned value text into an item: 32-bit integer,
// single-precision real, or fixed-length text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessora::recordio {

namespace detail {
// 10^k for k = 0 to 22: exact in a double.
inline constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
}  // namespace detail

// A sign and decimal digits, taken modulo 2^32; a sign alone gives 0.
// Returns 0 or err::kIllegalNumeric; `value` is set only on success.
int parse_integer(std::string_view text, std::int32_t& value);

// An optional sign, digits, an optional point and digits, an optional
// exponent (E, e, D or d with an optional sign and digits, or a sign and
// digits alone); reading stops at the first character that does not fit and
// the rest is ignored. "INF", "INFINITY" and "NAN" (any case) after the sign
// give infinities and a quiet NaN. The nearest double is rounded to float.
// Returns 0 or err::kIllegalNumeric; `value` is set only on success.
int parse_real(std::string_view text, float& value);

// Stores `text` from the left into the `length` characters at `out`: a
// longer text keeps its first characters, a shorter one is padded with blanks.
void store_text(std::string_view text, char* out, std::size_t length);

}  // namespace tessora::recordio
