// The lanes of the vector pair loop: the vector types, and the arithmetic
// with the rounding points and the NaN order of numeric.hpp. Included once
// per instruction set by pair_loop.cpp.
//
// Why the lanes give the same bits:
// - An update whose double expression is one +, -, *, / or sqrt of floats,
//   rounded to float, equals that operation in float (double has more than
//   2 * 24 + 2 bits), so SSQ, SMIN, SMAX, SQI, SQJ, the pair totals, SNONE
//   and k run in float lanes.
// - An update with an unrounded double intermediate (SAD + |a - b|,
//   SPROD + a * b, SDIFF + (a - b), SONLYI + (M - b), the quotients of 16 to
//   22) runs in double lanes, and the sum is rounded to float after each
//   update, as it is stored.
// - A lane that does not know both values keeps its sums (a select), so
//   whatever its term came to (an infinity, a NaN) is dropped.
// - Where both operands of + or * can be NaNs the first operand's NaN wins,
//   selected explicitly as in numeric.hpp, since the compiler may swap them.
//   Objects whose values are all finite cannot give a NaN sum in the general
//   sums, the moments and the presence/absence sums (an overflow only gives
//   an infinity, which no finite term turns into a NaN), and skip the check.
#if defined(TESSORA_KERNEL_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TESSORA_KERNEL_LANES_INL_H_
#undef TESSORA_KERNEL_LANES_INL_H_
#else
#define TESSORA_KERNEL_LANES_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/coefficients.hpp"
#include "engine/pair_steps.hpp"

HWY_BEFORE_NAMESPACE();
namespace tessora::engine::kernel::detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;
using MF = hn::Mask<DF>;
using DI = hn::RebindToSigned<DF>;
using VI = hn::Vec<DI>;
// The double lanes: each float vector splits into kParts double vectors.
#if HWY_TARGET == HWY_SCALAR
constexpr std::size_t kParts = 1;
using DP = DF;  // the float lanes of one part
#else
constexpr std::size_t kParts = 2;
using DP = hn::Half<DF>;
#endif
using VP = hn::Vec<DP>;
using DD = hn::Rebind<double, DP>;
using VD = hn::Vec<DD>;
using MD = hn::Mask<DD>;
using DIP = hn::Rebind<std::int32_t, DP>;
using DL = hn::Rebind<std::int64_t, DP>;

constexpr std::size_t kLanes = hn::MaxLanes(DF());
// At least 8 partners per tile: narrow vectors take two or more per row.
constexpr std::size_t kVectors = kLanes >= 8 ? 1 : 8 / kLanes;
constexpr std::size_t kWidth = kLanes * kVectors;
// Registers that the running sums of one group of objects may take.
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
constexpr std::size_t kSumRegisters = 20;  // of 32
#else
constexpr std::size_t kSumRegisters = 8;  // of 16
#endif

// Calls f(integral_constant<0>) .. f(integral_constant<N-1>): loops over the
// objects of a group and the vectors of a tile row, fully unrolled.
template <class F, std::size_t... I>
HWY_INLINE void UnrollImpl(F&& f, std::index_sequence<I...>) {
  (f(std::integral_constant<std::size_t, I>()), ...);
}
template <std::size_t N, class F>
HWY_INLINE void Unroll(F&& f) {
  UnrollImpl(f, std::make_index_sequence<N>());
}

// ---------------------------------------------------------------------------
// Lane arithmetic with the rounding points and the NaN order of numeric.hpp.

// How a running sum takes a term, in the lanes of `update`. KeepNaN: a sum
// that already is a NaN keeps its own NaN (the running sum is the first
// operand). Finite: for the recipes whose sums cannot become NaNs when every
// value of the objects at hand is finite (even an overflow only gives an
// infinity of the sign of the sum), the check is left out.
struct KeepNaN {
  template <class V, class M>
  static HWY_INLINE V Add(V sum, V term, M update) {
    return hn::IfThenElse(hn::AndNot(hn::IsNaN(sum), update), hn::Add(sum, term), sum);
  }
};
struct Finite {
  template <class V, class M>
  static HWY_INLINE V Add(V sum, V term, M update) {
    return hn::IfThenElse(update, hn::Add(sum, term), sum);
  }
};

// x * y and x + y with x's NaN winning.
template <class V>
HWY_INLINE V Times(V x, V y) {
  return hn::IfThenElse(hn::IsNaN(x), x, hn::Mul(x, y));
}
template <class V>
HWY_INLINE V Plus(V x, V y) {
  return hn::IfThenElse(hn::IsNaN(x), x, hn::Add(x, y));
}

// Clears the sign bit, a NaN's included.
template <class V>
HWY_INLINE V Absolute(V x) {
  return hn::AndNot(hn::SignBit(hn::DFromV<V>()), x);
}

// The x86 min and max instructions: min(a, b) is a < b ? a : b and max(a, b)
// is a > b ? a : b, NaNs and zeros of both signs included.
#if HWY_ARCH_X86 && HWY_TARGET != HWY_EMU128 && HWY_TARGET != HWY_SCALAR
constexpr bool kMinMaxInstructions = true;
#else
constexpr bool kMinMaxInstructions = false;
#endif

// smaller(a, b): a when a < b or either is a NaN, otherwise b. Without NaNs
// (Finite) that is the min instruction.
template <class P = void, class V>
HWY_INLINE V Smaller(V a, V b) {
  if constexpr (kMinMaxInstructions && std::is_same_v<P, Finite>) return hn::Min(a, b);
  return hn::IfThenElse(hn::Ge(a, b), b, a);
}
// larger(a, b): a when a > b, otherwise b: the max instruction, NaNs included.
template <class V>
HWY_INLINE V Larger(V a, V b) {
  if constexpr (kMinMaxInstructions) return hn::Max(a, b);
  return hn::IfThenElse(hn::Gt(a, b), a, b);
}

// Doubles rounded to the floats that are stored. The emulated targets'
// DemoteTo saturates infinities and NaNs, so they convert lane by lane; the
// empty asm keeps GCC 12 from dropping the plain conversion (seen when the
// rounded value is widened again at once).
HWY_INLINE VP ToFloat(VD x) {
#if HWY_TARGET == HWY_EMU128 || HWY_TARGET == HWY_SCALAR
  constexpr std::size_t kPartLanes = hn::MaxLanes(DD());
  HWY_ALIGN double in[kPartLanes];
  HWY_ALIGN float out[kPartLanes];
  hn::Store(x, DD(), in);
  for (std::size_t i = 0; i < kPartLanes; ++i) out[i] = static_cast<float>(in[i]);
#if defined(__GNUC__)
  asm("" : "+m"(out));
#endif
  return hn::Load(DP(), out);
#else
  return hn::DemoteTo(DP(), x);
#endif
}

// The float that is stored, widened again (exact).
HWY_INLINE VD Stored(VD x) { return hn::PromoteTo(DD(), ToFloat(x)); }

// The lanes of a float vector in double, and a mask of them.
struct Wide {
  VD part[kParts];
};
struct WideMask {
  MD part[kParts];
};

HWY_INLINE Wide Widen(VF v) {
#if HWY_TARGET == HWY_SCALAR
  return {{hn::PromoteTo(DD(), v)}};
#else
  return {{hn::PromoteTo(DD(), hn::LowerHalf(DP(), v)), hn::PromoteTo(DD(), hn::UpperHalf(DP(), v))}};
#endif
}

HWY_INLINE VF Narrow(const Wide& w) {
#if HWY_TARGET == HWY_SCALAR
  return ToFloat(w.part[0]);
#else
  return hn::Combine(DF(), ToFloat(w.part[1]), ToFloat(w.part[0]));
#endif
}

HWY_INLINE MD WidenMask(hn::Vec<DIP> bits) {  // all ones or zero per lane
  return hn::MaskFromVec(hn::BitCast(DD(), hn::PromoteTo(DL(), bits)));
}
HWY_INLINE WideMask Widen(MF m) {
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  // A mask register: its low and high eight bits are the halves' masks.
  return {{MD{static_cast<__mmask8>(m.raw)}, MD{static_cast<__mmask8>(m.raw >> 8)}}};
#else
  const auto bits = hn::VecFromMask(DI(), hn::RebindMask(DI(), m));
#if HWY_TARGET == HWY_SCALAR
  return {{WidenMask(bits)}};
#else
  return {{WidenMask(hn::LowerHalf(DIP(), bits)), WidenMask(hn::UpperHalf(DIP(), bits))}};
#endif
#endif
}

template <class Op>
HWY_INLINE Wide Each(const Wide& x, Op op) {
  Wide r;
  for (std::size_t i = 0; i < kParts; ++i) r.part[i] = op(x.part[i]);
  return r;
}
template <class Op>
HWY_INLINE Wide Each(const Wide& x, const Wide& y, Op op) {
  Wide r;
  for (std::size_t i = 0; i < kParts; ++i) r.part[i] = op(x.part[i], y.part[i]);
  return r;
}
template <class Op>
HWY_INLINE Wide Each(const Wide& x, const Wide& y, const Wide& z, Op op) {
  Wide r;
  for (std::size_t i = 0; i < kParts; ++i) r.part[i] = op(x.part[i], y.part[i], z.part[i]);
  return r;
}

// A float running sum kept in double lanes: updated in double, stored as float.
template <class P>
HWY_INLINE void AddWide(Wide& sum, const Wide& term, const WideMask& update) {
  for (std::size_t i = 0; i < kParts; ++i)
    sum.part[i] = Stored(P::Add(sum.part[i], term.part[i], update.part[i]));
}

HWY_INLINE Wide WideZero() {
  Wide r;
  for (VD& x : r.part) x = hn::Zero(DD());
  return r;
}

// k + 1 for every variable known in both, in integer lanes: one integer
// operation (a masked add, or subtracting the all-ones mask) that leaves the
// floating-point units to the sums. The stored k is a float sum of ones,
// which stops growing at 2^24 (2^24 + 1 rounds back to 2^24); Put gives that.
HWY_INLINE VI Count(VI k, MF known) {
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  return hn::IfThenElse(hn::RebindMask(DI(), known), hn::Add(k, hn::Set(DI(), 1)), k);
#else
  return hn::Sub(k, hn::VecFromMask(DI(), hn::RebindMask(DI(), known)));
#endif
}

// Where a vector of lanes puts its sums: the columns, from pair `at` on.
struct LaneColumns {
  SumColumns* sums;
  std::size_t at;
};
using Column = float (SumColumns::*)[SumColumns::kMost];

// Stores one sum of every lane into its column.
HWY_INLINE void Put(VF v, LaneColumns out, Column column) { hn::StoreU(v, DF(), (out.sums->*column) + out.at); }
HWY_INLINE void Put(const Wide& w, LaneColumns out, Column column) { Put(Narrow(w), out, column); }
HWY_INLINE void Put(VI count, LaneColumns out, Column column) {
  const VI most = hn::Set(DI(), std::int32_t{1} << 24);
  Put(hn::ConvertTo(DF(), hn::Min(count, most)), out, column);  // exact: at most 2^24
}

}  // namespace HWY_NAMESPACE
}  // namespace tessora::engine::kernel::detail
HWY_AFTER_NAMESPACE();

#endif  // TESSORA_KERNEL_LANES_INL_H_
