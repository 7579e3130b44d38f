// The written form of a single-precision real in free-form output.
#pragma once

#include <cstddef>
#include <string>

namespace tessora::recordio {

// The longest item: sign blanks, 8 digits, point, E, sign, 2 digits.
inline constexpr std::size_t kMaxRealText = 16;

// Writes the item, its leading blanks included, to `out`; returns its length.
std::size_t format_real(float value, char* out);

// The plain reference of the same algorithm: exact decimal digits of the
// value, truncated, then the two rounding steps. Slow; used by the tests.
std::string format_real_reference(float value);

}  // namespace tessora::recordio
