// The recipes of the vector pair loop: how each coefficient's sums are
// accumulated in lanes, one partner per lane. Included once per instruction
// set by pair_loop.cpp, after lanes-inl.h.
#if defined(TESSORA_KERNEL_RECIPES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TESSORA_KERNEL_RECIPES_INL_H_
#undef TESSORA_KERNEL_RECIPES_INL_H_
#else
#define TESSORA_KERNEL_RECIPES_INL_H_
#endif

#include <hwy/highway.h>

#include <bit>
#include <cstddef>

#include "engine/coefficients.hpp"
#include "engine/kernel/lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tessora::engine::kernel::detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
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
  static void Export(const State& s, LaneColumns out) {
    Put(s.k, out, &SumColumns::k);
    if constexpr ((kSums & kSsq) != 0) Put(s.ssq, out, &SumColumns::ssq);
    if constexpr ((kSums & kSmin) != 0) Put(s.smin, out, &SumColumns::smin);
    if constexpr ((kSums & kSmax) != 0) Put(s.smax, out, &SumColumns::smax);
    if constexpr ((kSums & kSad) != 0) Put(s.sad, out, &SumColumns::sad);
    if constexpr ((kSums & kSprod) != 0) Put(s.sprod, out, &SumColumns::sprod);
    if constexpr ((kSums & kSdiff) != 0) Put(s.sdiff, out, &SumColumns::sdiff);
    if constexpr ((kSums & kSquares) != 0) {
      Put(s.sqi, out, &SumColumns::sqi);
      Put(s.sqj, out, &SumColumns::sqj);
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
  static void Export(const State& s, LaneColumns out) {
    Put(s.k, out, &SumColumns::k);
    Put(s.sad, out, &SumColumns::sad);
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
  static void Export(const State& s, LaneColumns out) {
    Put(s.k, out, &SumColumns::k);
    Put(s.ssq, out, &SumColumns::ssq);
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
HWY_INLINE void PutTotals(const Totals& t, LaneColumns out) {
  Put(t.k, out, &SumColumns::k);
  Put(t.si, out, &SumColumns::si);
  Put(t.sj, out, &SumColumns::sj);
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
  static void Export(const State& s, LaneColumns out) {
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
  static constexpr Column kInto = &SumColumns::ssq;
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
  static constexpr Column kInto = &SumColumns::smin;
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
  static constexpr Column kInto = &SumColumns::ssq;
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
  static constexpr Column kInto = &SumColumns::smin;
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
  static void Export(const State& s, LaneColumns out) {
    PutTotals(s.t, out);
    Put(s.sprod, out, &SumColumns::sprod);
    if constexpr (kSquaresToo) {
      Put(s.sqi, out, &SumColumns::sqi);
      Put(s.sqj, out, &SumColumns::sqj);
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
  static void Export(const State& s, LaneColumns out) {
    Put(s.k, out, &SumColumns::k);
    Put(s.smin, out, &SumColumns::smin);
    Put(s.snone, out, &SumColumns::snone);
    Put(s.sonlyi, out, &SumColumns::sonlyi);
    Put(s.sonlyj, out, &SumColumns::sonlyj);
  }
};

}  // namespace HWY_NAMESPACE
}  // namespace tessora::engine::kernel::detail
HWY_AFTER_NAMESPACE();

#endif  // TESSORA_KERNEL_RECIPES_INL_H_
