// The rounding points of the resemblance arithmetic.
//
// Every stored real is a float. Each expression is evaluated in double from
// stored float operands and rounded to float where it is stored. These
// helpers give the rounding points names, so that every formula reads like its
// definition and every rounding is visible. Floating-point exceptions stay
// masked: a zero denominator or an invalid operation yields an infinity or a
// NaN, which is stored like any other value.
//
// NaN propagation follows the hardware: on x86-64 an operation with one NaN
// operand returns that NaN, quieted; with two NaN operands it returns the
// first. A compiler may swap the operands of + and *, so where both can be
// NaNs the order is made explicit (add, plus, times): the first operand's NaN
// wins. Running sums are always updated as `sum + term`, running sum first,
// and the vectorised kernel follows the same rule to give the same NaN bits.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tessora::engine::num {

// The stored float, widened for an expression (exact).
inline double wide(float x) { return x; }

// Rounds a double to the float that is stored.
inline float store(double x) { return static_cast<float>(x); }

// A square as stored: the operand rounded to float, the square rounded to float.
inline float square(double x) {
  const double r = store(x);
  return store(r * r);
}

// x + y and x * y with the first operand's NaN winning over the second's,
// whatever order the compiler gives the instruction.
inline double plus(double x, double y) { return std::isnan(x) ? x : x + y; }
inline double times(double x, double y) { return std::isnan(x) ? x : x * y; }

// One update of a running sum: evaluated in double, stored as float.
// The running sum is the first operand (see the note on NaNs above).
inline float add(float sum, double term) { return store(plus(wide(sum), term)); }

// The absolute value as a bit operation: clears the sign bit of any value,
// a NaN included.
inline double absolute(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & ~(std::uint64_t{1} << 63));
}

// The smaller value: a when a < b, and also when either is a NaN; otherwise b.
inline double smaller(double a, double b) { return !(a >= b) ? a : b; }

// The larger value: a when a > b; otherwise b, a NaN on either side included.
inline double larger(double a, double b) { return a > b ? a : b; }

// The default NaN of an invalid operation on this hardware (0/0): sign set.
inline float default_nan() { return std::bit_cast<float>(std::uint32_t{0xFFC00000u}); }

// Single-precision arc cosine: acos in double from the stored float, rounded
// to float. Beyond +-1 (infinities included) it is an invalid operation and
// gives the default NaN, whose sign differs from the C library's NaN; a NaN
// argument passes through unchanged.
inline float arc_cosine(float c) {
  if (std::isnan(c)) return c;
  if (c > 1.0f || c < -1.0f) return default_nan();
  return store(std::acos(wide(c)));
}

}  // namespace tessora::engine::num
