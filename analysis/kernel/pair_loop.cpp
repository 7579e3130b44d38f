// The vector pair loop. One object p is compared with a tile of partners j at
// once, one partner per lane; every lane adds its variables in order
// v = 0 .. n-1 and rounds exactly where the reference loop rounds, so each
// lane's sums have the reference's bits. Compiled once per instruction set
// (Highway's foreach_target) and chosen at run time.
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
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "analysis/kernel/pair_loop.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/aligned_allocator.h>
#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "analysis/coefficients.hpp"
#include "analysis/kernel/job.hpp"
#include "analysis/matrices.hpp"
#include "analysis/pair_steps.hpp"

HWY_BEFORE_NAMESPACE();
namespace tessora::analysis::kernel::detail {
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

// Copies one sum of every lane into the lanes' PairSums.
HWY_INLINE void Put(VF v, PairSums* out, float PairSums::*field) {
  HWY_ALIGN float lanes[kLanes];
  hn::Store(v, DF(), lanes);
  for (std::size_t l = 0; l < kLanes; ++l) out[l].*field = lanes[l];
}
HWY_INLINE void Put(const Wide& w, PairSums* out, float PairSums::*field) { Put(Narrow(w), out, field); }
HWY_INLINE void Put(VI count, PairSums* out, float PairSums::*field) {
  HWY_ALIGN std::int32_t lanes[kLanes];
  hn::Store(count, DI(), lanes);
  for (std::size_t l = 0; l < kLanes; ++l)
    out[l].*field = static_cast<float>(std::min<std::int32_t>(lanes[l], std::int32_t{1} << 24));
}

// ---------------------------------------------------------------------------
// The recipes. Each has a State of lane vectors, the per-variable Step of each
// pass (a = x(v, p) of the group's object, b = the tile's partners, known =
// both known), Between (after the first of two passes) and Export. kWeight
// counts the registers of a State, for the size of the groups.

struct NoStats {
  static constexpr bool kStats = false;
  static constexpr bool kDividerBound = false;
  static constexpr bool kFiniteSafe = false;  // finite values give no NaN sum
};
struct UsesStats {
  static constexpr bool kStats = true;
  static constexpr bool kDividerBound = false;
  static constexpr bool kFiniteSafe = false;
};

template <unsigned kSums>
struct General : NoStats {
  static constexpr bool kFiniteSafe = true;
  static constexpr int kPasses = 1;
  static constexpr unsigned kFloat = kSums & (kSsq | kSmin | kSmax);
  static constexpr unsigned kDouble = kSums & (kSad | kSprod | kSdiff);
  static constexpr std::size_t kWeight = 1 + std::popcount(kFloat) + 2 * std::popcount(kDouble) +
                                         ((kSums & kSquares) ? 2 : 0);
  struct State {
    VI k;
    VF ssq, smin, smax, sqi, sqj;
    Wide sad, sprod, sdiff;
  };
  static State Init() {
    const VF z = hn::Zero(DF());
    return {hn::Zero(DI()), z, z, z, z, z, WideZero(), WideZero(), WideZero()};
  }
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats&) {
    const VF av = hn::Set(DF(), a);
    s.k = Count(s.k, known);
    if constexpr ((kSums & kSsq) != 0) {
      const VF d = hn::Sub(av, b);  // rounded to float before it is squared
      s.ssq = P::Add(s.ssq, hn::Mul(d, d), known);
    }
    if constexpr ((kSums & kSmin) != 0) s.smin = P::Add(s.smin, Smaller<P>(av, b), known);
    if constexpr ((kSums & kSmax) != 0) s.smax = P::Add(s.smax, Larger(av, b), known);
    if constexpr (kDouble != 0) {
      const WideMask wk = Widen(known);
      const VD ad = hn::Set(DD(), static_cast<double>(a));
      const Wide bd = Widen(b);
      if constexpr ((kSums & kSad) != 0)
        AddWide<P>(s.sad, Each(bd, [&](VD x) { return Absolute(hn::Sub(ad, x)); }), wk);
      if constexpr ((kSums & kSprod) != 0)
        AddWide<P>(s.sprod, Each(bd, [&](VD x) { return Times(ad, x); }), wk);  // unrounded product
      if constexpr ((kSums & kSdiff) != 0)
        AddWide<P>(s.sdiff, Each(bd, [&](VD x) { return hn::Sub(ad, x); }), wk);
    }
    if constexpr ((kSums & kSquares) != 0) {
      s.sqi = P::Add(s.sqi, hn::Mul(av, av), known);
      s.sqj = P::Add(s.sqj, hn::Mul(b, b), known);
    }
  }
  static void Between(State&) {}
  static VI Known(const State& s) { return s.k; }
  static void Export(const State& s, PairSums* out) {
    Put(s.k, out, &PairSums::k);
    if constexpr ((kSums & kSsq) != 0) Put(s.ssq, out, &PairSums::ssq);
    if constexpr ((kSums & kSmin) != 0) Put(s.smin, out, &PairSums::smin);
    if constexpr ((kSums & kSmax) != 0) Put(s.smax, out, &PairSums::smax);
    if constexpr ((kSums & kSad) != 0) Put(s.sad, out, &PairSums::sad);
    if constexpr ((kSums & kSprod) != 0) Put(s.sprod, out, &PairSums::sprod);
    if constexpr ((kSums & kSdiff) != 0) Put(s.sdiff, out, &PairSums::sdiff);
    if constexpr ((kSums & kSquares) != 0) {
      Put(s.sqi, out, &PairSums::sqi);
      Put(s.sqj, out, &PairSums::sqj);
    }
  }
};

// The sums of 16 and 18: k and SAD, in one pass.
struct CountAndSad {
  static constexpr int kPasses = 1;
  static constexpr std::size_t kWeight = 3;
  struct State {
    VI k;
    Wide sad;
  };
  static State Init() { return {hn::Zero(DI()), WideZero()}; }
  static void Between(State&) {}
  static VI Known(const State& s) { return s.k; }
  static void Export(const State& s, PairSums* out) {
    Put(s.k, out, &PairSums::k);
    Put(s.sad, out, &PairSums::sad);
  }
};

// 16: each value divided by the variable's range on its own.
struct Gower : UsesStats, CountAndSad {
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats& var) {
    s.k = Count(s.k, known);
    const double range = var.range;
    const VD qa = hn::Set(DD(), static_cast<double>(a) / range);  // the same for every lane
    const VD r = hn::Set(DD(), range);
    AddWide<P>(s.sad, Each(Widen(b), [&](VD x) { return Absolute(hn::Sub(qa, hn::Div(x, r))); }),
               Widen(known));
  }
};

// s = |a + b| as stored, and the lanes where it is above 0 (18, 22).
struct Guarded {
  VF s;
  MF use;
};
HWY_INLINE Guarded RelativeTo(VF av, VF b, MF known) {
  const VF s = Absolute(hn::Add(av, b));
  return {s, hn::And(known, hn::Gt(s, hn::Zero(DF())))};
}

// 18: |a / s - b / s|, skipped (but counted in k) where s is 0.
struct Canberra : NoStats, CountAndSad {
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats&) {
    s.k = Count(s.k, known);
    const Guarded g = RelativeTo(hn::Set(DF(), a), b, known);
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    const Wide term = Each(Widen(b), Widen(g.s), [&](VD x, VD sum) {
      return Absolute(hn::Sub(hn::Div(ad, sum), hn::Div(x, sum)));
    });
    AddWide<P>(s.sad, term, Widen(g.use));
  }
};

// 22: (a / s - b / s) rounded to float and squared, skipped where s is 0.
struct Divergence : NoStats {
  static constexpr int kPasses = 1;
  static constexpr std::size_t kWeight = 2;
  struct State {
    VI k;
    VF ssq;
  };
  static State Init() { return {hn::Zero(DI()), hn::Zero(DF())}; }
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats&) {
    s.k = Count(s.k, known);
    const Guarded g = RelativeTo(hn::Set(DF(), a), b, known);
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    const VF d = Narrow(Each(Widen(b), Widen(g.s), [&](VD x, VD sum) {
      return hn::Sub(hn::Div(ad, sum), hn::Div(x, sum));
    }));
    s.ssq = P::Add(s.ssq, hn::Mul(d, d), g.use);
  }
  static void Between(State&) {}
  static VI Known(const State& s) { return s.k; }
  static void Export(const State& s, PairSums* out) {
    Put(s.k, out, &PairSums::k);
    Put(s.ssq, out, &PairSums::ssq);
  }
};

// The pair totals Si and Sj of the first pass (17, 19 to 24).
struct Totals {
  VI k;
  VF si, sj;
};
template <class P>
HWY_INLINE void AddTotals(Totals& t, VF av, VF b, MF known) {
  t.k = Count(t.k, known);
  t.si = P::Add(t.si, av, known);
  t.sj = P::Add(t.sj, b, known);
}
HWY_INLINE Totals ZeroTotals() { return {hn::Zero(DI()), hn::Zero(DF()), hn::Zero(DF())}; }
HWY_INLINE void PutTotals(const Totals& t, PairSums* out) {
  Put(t.k, out, &PairSums::k);
  Put(t.si, out, &PairSums::si);
  Put(t.sj, out, &PairSums::sj);
}

// The second pass of 17, 19, 20 and 21, over the completed pair totals: the
// term of one variable, a float to be added to `into`.
template <class Term>
struct TwoPass : Term {
  static constexpr int kPasses = 2;
  static constexpr std::size_t kWeight = 4 + 2 * Term::kWide;
  struct State {
    Totals t;
    VF sum;               // SSQ or SMIN
    Wide wi, wj;          // what the second pass divides by, per lane
  };
  static State Init() { return {ZeroTotals(), hn::Zero(DF()), WideZero(), WideZero()}; }
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats& var) {
    if constexpr (kPass == 0) {
      AddTotals<P>(s.t, hn::Set(DF(), a), b, known);
    } else {
      s.sum = P::Add(s.sum, Term::Value(s.wi, s.wj, a, b, var), known);
    }
  }
  static void Between(State& s) { Term::Prepare(s.t, s.wi, s.wj); }
  static VI Known(const State& s) { return s.t.k; }
  static void Export(const State& s, PairSums* out) {
    PutTotals(s.t, out);
    Put(s.sum, out, Term::kInto);
  }
};

// 17: (sqrt(a / Si) - sqrt(b / Sj)) rounded to float and squared. Two
// divisions and two roots per lane keep the divider busy: a variable that
// object p lacks is skipped instead of computed and masked.
struct HellingerTerm : NoStats {
  static constexpr bool kDividerBound = true;
  static constexpr std::size_t kWide = 2;
  static constexpr float PairSums::*kInto = &PairSums::ssq;
  static void Prepare(const Totals& t, Wide& wi, Wide& wj) {
    wi = Widen(t.si);
    wj = Widen(t.sj);
  }
  static HWY_INLINE VF Value(const Wide& si, const Wide& sj, float a, VF b, const VariableStats&) {
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    const VF d = Narrow(Each(Widen(b), si, sj, [&](VD x, VD ti, VD tj) {
      return hn::Sub(hn::Sqrt(hn::Div(ad, ti)), hn::Sqrt(hn::Div(x, tj)));
    }));
    return hn::Mul(d, d);
  }
};

// 19: min(a / h, b / h) rounded to float, h = (Si + Sj) / 2 in double.
struct KulczynskiTerm : NoStats {
  static constexpr std::size_t kWide = 1;
  static constexpr float PairSums::*kInto = &PairSums::smin;
  static void Prepare(const Totals& t, Wide& h, Wide&) {
    const VD two = hn::Set(DD(), 2.0);
    h = Each(Widen(t.si), Widen(t.sj), [&](VD si, VD sj) { return hn::Div(Plus(si, sj), two); });
  }
  static HWY_INLINE VF Value(const Wide& h, const Wide&, float a, VF b, const VariableStats&) {
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    return Narrow(Each(Widen(b), h, [&](VD x, VD hh) { return Smaller(hn::Div(ad, hh), hn::Div(x, hh)); }));
  }
};

// 20: (a / (Tv Si) - b / (Tv Sj)) rounded to float and squared.
struct ChiSquareTerm : UsesStats {
  static constexpr std::size_t kWide = 2;
  static constexpr float PairSums::*kInto = &PairSums::ssq;
  static void Prepare(const Totals& t, Wide& wi, Wide& wj) {
    wi = Widen(t.si);
    wj = Widen(t.sj);
  }
  static HWY_INLINE VF Value(const Wide& si, const Wide& sj, float a, VF b, const VariableStats& var) {
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    const VD tv = hn::Set(DD(), static_cast<double>(var.total));
    const VF d = Narrow(Each(Widen(b), si, sj, [&](VD x, VD ti, VD tj) {
      return hn::Sub(hn::Div(ad, Times(tv, ti)), hn::Div(x, Times(tv, tj)));
    }));
    return hn::Mul(d, d);
  }
};

// 21: min(a / Si, b / Sj) rounded to float.
struct RenkonenTerm : NoStats {
  static constexpr std::size_t kWide = 2;
  static constexpr float PairSums::*kInto = &PairSums::smin;
  static void Prepare(const Totals& t, Wide& wi, Wide& wj) {
    wi = Widen(t.si);
    wj = Widen(t.sj);
  }
  static HWY_INLINE VF Value(const Wide& si, const Wide& sj, float a, VF b, const VariableStats&) {
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    return Narrow(Each(Widen(b), si, sj, [&](VD x, VD ti, VD tj) {
      return Smaller(hn::Div(ad, ti), hn::Div(x, tj));
    }));
  }
};

// 23 and 24: the pair totals, SPROD and (24) SQI and SQJ; none depends on
// another, so one pass forms them all.
template <bool kSquaresToo>
struct Moments : NoStats {
  static constexpr bool kFiniteSafe = true;
  static constexpr int kPasses = 1;
  static constexpr std::size_t kWeight = 5 + (kSquaresToo ? 2 : 0);
  struct State {
    Totals t;
    Wide sprod;
    VF sqi, sqj;
  };
  static State Init() { return {ZeroTotals(), WideZero(), hn::Zero(DF()), hn::Zero(DF())}; }
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats&) {
    const VF av = hn::Set(DF(), a);
    AddTotals<P>(s.t, av, b, known);
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    AddWide<P>(s.sprod, Each(Widen(b), [&](VD x) { return Times(ad, x); }), Widen(known));
    if constexpr (kSquaresToo) {
      s.sqi = P::Add(s.sqi, hn::Mul(av, av), known);
      s.sqj = P::Add(s.sqj, hn::Mul(b, b), known);
    }
  }
  static void Between(State&) {}
  static VI Known(const State& s) { return s.t.k; }
  static void Export(const State& s, PairSums* out) {
    PutTotals(s.t, out);
    Put(s.sprod, out, &PairSums::sprod);
    if constexpr (kSquaresToo) {
      Put(s.sqi, out, &PairSums::sqi);
      Put(s.sqj, out, &PairSums::sqj);
    }
  }
};

// 25 to 34: the amounts present in both, in i only, in j only, and the
// shortfall of both from the variable maximum.
struct PresenceAbsence : UsesStats {
  static constexpr bool kFiniteSafe = true;
  static constexpr int kPasses = 1;
  static constexpr std::size_t kWeight = 7;
  struct State {
    VI k;
    VF smin, snone;
    Wide sonlyi, sonlyj;
  };
  static State Init() {
    const VF z = hn::Zero(DF());
    return {hn::Zero(DI()), z, z, WideZero(), WideZero()};
  }
  template <int kPass, class P>
  static HWY_INLINE void Step(State& s, float a, VF b, MF known, const VariableStats& var) {
    const VF av = hn::Set(DF(), a);
    s.k = Count(s.k, known);
    const VF most = Larger(av, b);
    s.smin = P::Add(s.smin, Smaller<P>(av, b), known);
    const WideMask wk = Widen(known);
    const Wide wm = Widen(most);
    const VD ad = hn::Set(DD(), static_cast<double>(a));
    AddWide<P>(s.sonlyi, Each(wm, Widen(b), [](VD x, VD y) { return hn::Sub(x, y); }), wk);
    AddWide<P>(s.sonlyj, Each(wm, [&](VD x) { return hn::Sub(x, ad); }), wk);
    // SNONE + Mv is stored before M is subtracted.
    const VF with_max = P::Add(s.snone, hn::Set(DF(), var.max), known);
    s.snone = hn::IfThenElse(known, hn::Sub(with_max, most), s.snone);
  }
  static void Between(State&) {}
  static VI Known(const State& s) { return s.k; }
  static void Export(const State& s, PairSums* out) {
    Put(s.k, out, &PairSums::k);
    Put(s.smin, out, &PairSums::smin);
    Put(s.snone, out, &PairSums::snone);
    Put(s.sonlyi, out, &PairSums::sonlyi);
    Put(s.sonlyj, out, &PairSums::sonlyj);
  }
};

// ---------------------------------------------------------------------------
// The loop over items, tiles, chunks of variables and groups of objects.

// Per worker: the tile of one chunk of variables (the partners transposed:
// row t holds variable v0 + t of every partner) and a row of missing values
// that stands in for the objects a group lacks.
class Scratch {
 public:
  Scratch(std::size_t chunk, float missing)
      : tile_(hwy::AllocateAligned<float>(chunk * kWidth)),
        missing_(hwy::AllocateAligned<float>(chunk)),
        marker_(missing) {
    if (!tile_ || !missing_) throw std::bad_alloc();
    std::fill(missing_.get(), missing_.get() + chunk, marker_);
  }

  // The tile of partners j0 .. j0 + width - 1 (those at or beyond m missing)
  // for variables v0 .. v0 + count - 1.
  const float* tile(const Job& job, std::size_t j0, std::size_t v0, std::size_t count) {
    if (j0 == j0_ && v0 == v0_ && count == count_) return tile_.get();
    float* t = tile_.get();
    for (std::size_t l = 0; l < kWidth; ++l) {
      const std::size_t j = j0 + l;
      if (j < job.m) {
        const float* src = job.x + j * job.n + v0;
        for (std::size_t r = 0; r < count; ++r) t[r * kWidth + l] = src[r];
      } else {
        for (std::size_t r = 0; r < count; ++r) t[r * kWidth + l] = marker_;
      }
    }
    j0_ = j0;
    v0_ = v0;
    count_ = count;
    return t;
  }

  const float* missing() const { return missing_.get(); }

 private:
  hwy::AlignedFreeUniquePtr<float[]> tile_;
  hwy::AlignedFreeUniquePtr<float[]> missing_;
  float marker_;
  std::size_t j0_ = ~std::size_t{0}, v0_ = 0, count_ = 0;
};

template <class R>
class Runner {
 public:
  // Objects per group: as many as keep every group's sums in registers.
  static constexpr std::size_t kGroup =
      R::kDividerBound
          ? 1
          : std::max<std::size_t>(1, std::min<std::size_t>(4, kSumRegisters / (R::kWeight * kVectors)));
  using State = typename R::State;
  struct Group {
    State s[kGroup][kVectors];
  };

  // The groups' sums live in 64-byte aligned memory: std::vector does not
  // see the alignment of vector types declared for a target (GCC).
  static_assert(alignof(Group) <= HWY_ALIGNMENT);

  Runner(const Job& job, std::size_t chunk)
      : job_(job),
        chunk_(chunk),
        scratch_(chunk, std::bit_cast<float>(job.missing)),
        groups_(hwy::AllocateAligned<Group>((Schedule::kSpan + kGroup - 1) / kGroup)) {
    if (!groups_) throw std::bad_alloc();
  }

  void run(Schedule& schedule) {
    Item item;
    while (schedule.next(item)) {
      if (!process(item, schedule)) return;
      schedule.done(pairs_in(item));
    }
  }

 private:
  std::uint64_t pairs_in(const Item& item) const {
    const std::size_t j_end = item.j_end;
    std::uint64_t pairs = 0;
    for (std::size_t p = item.p_begin; p < item.p_end; ++p)
      pairs += j_end - std::max(item.j0, p + 1);
    return pairs;
  }

  // False when a stop was asked for.
  bool process(const Item& item, Schedule& schedule) {
    const std::size_t count = (item.p_end - item.p_begin + kGroup - 1) / kGroup;
    for (std::size_t g = 0; g < count; ++g)
      for (auto& per_object : groups_[g].s)
        for (State& s : per_object) s = R::Init();

    if (!pass<0>(item, count, schedule)) return false;
    if constexpr (R::kPasses == 2) {
      for (std::size_t g = 0; g < count; ++g)
        for (auto& per_object : groups_[g].s)
          for (State& s : per_object) R::Between(s);
      if (!pass<1>(item, count, schedule)) return false;
    }
    for (std::size_t g = 0; g < count; ++g) store(item, g);
    return true;
  }

  template <int kPass>
  bool pass(const Item& item, std::size_t count, Schedule& schedule) {
    for (std::size_t v0 = 0; v0 < job_.n; v0 += chunk_) {
      if (schedule.stopped()) return false;
      const std::size_t length = std::min(chunk_, job_.n - v0);
      const float* tile = scratch_.tile(job_, item.j0, v0, length);
      const bool finite_tile = finite(item.j0, std::min(job_.m, item.j0 + kWidth));
      for (std::size_t g = 0; g < count; ++g) {
        const float* rows[kGroup];
        for (std::size_t q = 0; q < kGroup; ++q) {
          const std::size_t p = item.p_begin + g * kGroup + q;
          rows[q] = p < item.p_end ? job_.x + p * job_.n + v0 : scratch_.missing();
        }
        const std::size_t p0 = item.p_begin + g * kGroup;
        const VariableStats* stats = job_.stats ? job_.stats + v0 : nullptr;
        if (R::kFiniteSafe && finite_tile && finite(p0, std::min(item.p_end, p0 + kGroup))) {
          accumulate<kPass, Finite>(groups_[g], rows, tile, length, stats, job_.missing);
        } else {
          accumulate<kPass, KeepNaN>(groups_[g], rows, tile, length, stats, job_.missing);
        }
      }
    }
    return true;
  }

  // Whether objects begin .. end - 1 hold only finite values.
  bool finite(std::size_t begin, std::size_t end) const {
    for (std::size_t i = begin; i < end; ++i)
      if (!job_.finite[i]) return false;
    return true;
  }

  // The hot loop: every variable of the chunk, for the group's objects
  // against the tile's partners.
  template <int kPass, class P>
  static HWY_NOINLINE void accumulate(Group& group, const float* const* rows, const float* tile,
                                      std::size_t length, const VariableStats* stats,
                                      std::uint32_t missing_bits) {
    const DF df;
    const DI di;
    // Missing is a bit pattern: -1.0f, or the one NaN that stands for a gap.
    const VI missing = hn::Set(di, static_cast<std::int32_t>(missing_bits));
    Group g = group;  // in registers while the loop runs
    for (std::size_t t = 0; t < length; ++t) {
      if constexpr (R::kDividerBound && kPass > 0) {
        if (std::bit_cast<std::uint32_t>(rows[0][t]) == missing_bits) continue;  // every lane masked
      }
      const float* row = tile + t * kWidth;
      VariableStats var{};
      if constexpr (R::kStats) var = stats[t];
      VF b[kVectors];
      MF b_known[kVectors];
      Unroll<kVectors>([&](auto u) {
        b[u] = hn::Load(df, row + u * kLanes);
        b_known[u] = hn::RebindMask(df, hn::Not(hn::Eq(hn::BitCast(di, b[u]), missing)));
      });
      Unroll<kGroup>([&](auto q) {
        const float a = rows[q][t];
        const MF a_missing = hn::RebindMask(df, hn::Eq(hn::Set(di, std::bit_cast<std::int32_t>(a)), missing));
        Unroll<kVectors>([&](auto u) {
          const MF known = hn::AndNot(a_missing, b_known[u]);
          R::template Step<kPass, P>(g.s[q][u], a, b[u], known, var);
        });
      });
    }
    group = g;
  }

  // The stored values of the group's pairs p < j.
  void store(const Item& item, std::size_t g) {
    PairSums sums[kWidth];
    HWY_ALIGN std::int32_t counts[kWidth];
    const bool values = job_.out.wants_values();
    for (std::size_t q = 0; q < kGroup; ++q) {
      const std::size_t p = item.p_begin + g * kGroup + q;
      if (p >= item.p_end) break;
      for (std::size_t u = 0; u < kVectors; ++u) {
        R::Export(groups_[g].s[q][u], sums + u * kLanes);
        hn::Store(R::Known(groups_[g].s[q][u]), DI(), counts + u * kLanes);
      }
      for (std::size_t l = 0; l < kWidth; ++l) {
        const std::size_t j = item.j0 + l;
        if (j >= item.j_end) break;
        if (j <= p) continue;
        const float value = values ? pair_value(*job_.row, sums[l], job_.n_signed, job_.scaling) : 0.0f;
        job_.out.put(p, j, value, static_cast<std::uint32_t>(counts[l]));
      }
    }
  }

  const Job& job_;
  std::size_t chunk_;
  Scratch scratch_;
  hwy::AlignedFreeUniquePtr<Group[]> groups_;
};

template <class R>
void Run(const Job& job, Schedule& schedule) {
  // The tile of one chunk of variables stays within the job's bytes (it then
  // fits the second-level cache); longer objects are taken in chunks.
  const std::size_t fits = std::max<std::size_t>(64, job.tile_bytes / (kWidth * sizeof(float)));
  const std::size_t chunk = std::min(job.n, job.chunk != 0 ? job.chunk : fits);
  Runner<R>(job, chunk).run(schedule);
}

void RunGeneral(const Job& job, Schedule& schedule) {
  switch (job.plan.sums) {
    case kSsq: return Run<General<kSsq>>(job, schedule);
    case kSad: return Run<General<kSad>>(job, schedule);
    case kSmin | kSmax: return Run<General<kSmin | kSmax>>(job, schedule);
    case kSprod | kSquares: return Run<General<kSprod | kSquares>>(job, schedule);
    case kSad | kSmax: return Run<General<kSad | kSmax>>(job, schedule);
    case kSad | kSmin | kSmax: return Run<General<kSad | kSmin | kSmax>>(job, schedule);
    case kSmin: return Run<General<kSmin>>(job, schedule);
    case kSsq | kSdiff: return Run<General<kSsq | kSdiff>>(job, schedule);
    case kSdiff: return Run<General<kSdiff>>(job, schedule);
    default:  // every general sum: any subset reads no more than these
      return Run<General<kSsq | kSad | kSmin | kSmax | kSprod | kSdiff | kSquares>>(job, schedule);
  }
}

void Work(const Job& job, Schedule& schedule) {
  switch (job.plan.recipe) {
    case Recipe::constant: return;  // nothing to accumulate
    case Recipe::general: return RunGeneral(job, schedule);
    case Recipe::gower: return Run<Gower>(job, schedule);
    case Recipe::canberra: return Run<Canberra>(job, schedule);
    case Recipe::divergence: return Run<Divergence>(job, schedule);
    case Recipe::hellinger: return Run<TwoPass<HellingerTerm>>(job, schedule);
    case Recipe::kulczynski: return Run<TwoPass<KulczynskiTerm>>(job, schedule);
    case Recipe::chi_square: return Run<TwoPass<ChiSquareTerm>>(job, schedule);
    case Recipe::renkonen: return Run<TwoPass<RenkonenTerm>>(job, schedule);
    case Recipe::covariance: return Run<Moments<false>>(job, schedule);
    case Recipe::correlation: return Run<Moments<true>>(job, schedule);
    case Recipe::presence_absence: return Run<PresenceAbsence>(job, schedule);
    case Recipe::count: return Run<General<0>>(job, schedule);
  }
}

const TargetKernel* ChooseKernel() {
  static const TargetKernel kernel{HWY_TARGET, kWidth, &Work};
  return &kernel;
}

}  // namespace HWY_NAMESPACE
}  // namespace tessora::analysis::kernel::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tessora::analysis::kernel::detail {

HWY_EXPORT(ChooseKernel);

const TargetKernel& best_kernel() { return *HWY_DYNAMIC_DISPATCH(ChooseKernel)(); }

std::vector<std::int64_t> compiled_targets() { return hwy::SupportedAndGeneratedTargets(); }

}  // namespace tessora::analysis::kernel::detail
#endif
