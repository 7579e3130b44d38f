// The vector pair loop: tiles of partners, groups of objects, the workers'
// runner and the dispatch from a coefficient's row to its recipe. One object
// p is compared with a tile of partners j at once, one partner per lane;
// every lane adds its variables in order v = 0 .. n-1 and rounds exactly
// where the reference loop rounds, so each lane's sums have the reference's
// bits (lanes-inl.h says why). Compiled once per instruction set (Highway's
// foreach_target) and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/kernel/pair_loop.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/aligned_allocator.h>
#include <hwy/highway.h>

#include "engine/kernel/lanes-inl.h"
#include "engine/kernel/recipes-inl.h"
#include "engine/kernel/finish-inl.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/coefficient_table.hpp"
#include "engine/coefficients.hpp"
#include "engine/kernel/job.hpp"
#include "engine/matrices.hpp"
#include "engine/pair_steps.hpp"

HWY_BEFORE_NAMESPACE();
namespace tessora::engine::kernel::detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

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
    if (!groups_ || !sink_values_ || !sink_counts_) throw std::bad_alloc();
  }

  void run(Schedule& schedule) {
    Item item;
    while (schedule.next(item)) {
      // One tile at a time; each object stops before a tile whose partners
      // all come before it.
      for (std::size_t j0 = item.j0; j0 < item.j_end; j0 += kWidth) {
        const std::size_t j_end = std::min(item.j_end, j0 + kWidth);
        const Item tile{j0, j_end, item.p_begin, std::min(item.p_end, j_end - 1)};
        if (tile.p_begin < tile.p_end && !process(tile, schedule)) return;
      }
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
    if (job_.out.sink)
      job_.out.sink->take_tile(item.p_begin, item.p_end, item.j0, item.j_end, sink_values_.get(), sink_counts_.get(),
                               kWidth);
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
        const MF a_missing = hn::RebindMask(df, hn::Eq(hn::BitCast(di, hn::Set(df, a)), missing));
        Unroll<kVectors>([&](auto u) {
          const MF known = hn::AndNot(a_missing, b_known[u]);
          R::template Step<kPass, P>(g.s[q][u], a, b[u], known, var);
        });
      });
    }
    group = g;
  }

  // The stored values of the group's pairs p < j, a run per object.
  void store(const Item& item, std::size_t g) {
    SumColumns& sums = *columns_;
    HWY_ALIGN std::int32_t counts[kWidth];
    HWY_ALIGN float values[kWidth];
    const bool wants_values = job_.out.wants_values();
    for (std::size_t q = 0; q < kGroup; ++q) {
      const std::size_t p = item.p_begin + g * kGroup + q;
      if (p >= item.p_end) break;
      const std::size_t from = std::max(item.j0, p + 1);
      if (from >= item.j_end) continue;
      for (std::size_t u = 0; u < kVectors; ++u) {
        if (wants_values) R::Export(groups_[g].s[q][u], LaneColumns{&sums, u * kLanes});
        hn::Store(R::Known(groups_[g].s[q][u]), DI(), counts + u * kLanes);
      }
      const std::size_t first = from - item.j0, length = item.j_end - from;
      // A sink takes the whole tile at once, when it is done: the run goes
      // straight to its place in the tile.
      const std::size_t at = (p - item.p_begin) * kWidth + first;
      float* const run = job_.out.sink ? sink_values_.get() + at : values;
      if (wants_values) {
        // Where a value may be a NaN of the data, the sums are finished by the
        // same compiled formula as the reference loop's: a compiler may order
        // the operands of + and * differently in another copy, and with two
        // NaNs of different bits the first wins. Finite data only ever gives
        // the one default NaN, whatever the order.
        if (finite(p, p + 1) && finite(from, item.j_end)) {
          HWY_ALIGN float tile_values[kWidth];
          finish_tile_(sums, job_.n_signed, job_.scaling, tile_values);
          std::copy_n(tile_values + first, length, run);
        } else {
          for (std::size_t l = 0; l < length; ++l)
            run[l] = pair_value(*job_.row, sums.at(first + l), job_.n_signed, job_.scaling);
        }
      }
      const auto* count_run = reinterpret_cast<const std::uint32_t*>(counts + first);
      if (job_.out.sink)
        std::copy_n(count_run, length, sink_counts_.get() + at);
      else
        job_.out.put_run(p, from, item.j_end, wants_values ? values : nullptr, count_run);
    }
  }

  const Job& job_;
  std::size_t chunk_;
  Scratch scratch_;
  hwy::AlignedFreeUniquePtr<float[]> sink_values_ = hwy::AllocateAligned<float>(Schedule::kSpan * kWidth);
  hwy::AlignedFreeUniquePtr<std::uint32_t[]> sink_counts_ = hwy::AllocateAligned<std::uint32_t>(Schedule::kSpan * kWidth);
  hwy::AlignedFreeUniquePtr<Group[]> groups_;
  std::unique_ptr<SumColumns> columns_ = std::make_unique<SumColumns>();  // sums a row never reads stay 0
  TileFinisher finish_tile_ = TileFinisherOf(job_.row->number);
};
static_assert(kWidth <= SumColumns::kMost);

template <class R>
void Run(const Job& job, Schedule& schedule) {
  // The tile of one chunk of variables stays within the job's bytes (it then
  // fits the second-level cache); longer objects are taken in chunks.
  const std::size_t fits = std::max<std::size_t>(64, job.tile_bytes / (kWidth * sizeof(float)));
  const std::size_t chunk = std::min(job.n, job.chunk != 0 ? job.chunk : fits);
  Runner<R>(job, chunk).run(schedule);
}

// The sets of general sums that the rows' formulas read, each compiled as
// its own recipe: derived from the table, so a row cannot name a set the
// kernel lacks.
struct GeneralSets {
  std::array<unsigned, kMenuSize + 2> sets{};  // at most one set per row: the menu, below and above it
  std::size_t count = 0;
};
constexpr GeneralSets kGeneralSets = [] {
  GeneralSets g;
  auto add = [&g](const Coefficient& c) {
    if (c.plan.recipe != Recipe::general) return;
    for (std::size_t i = 0; i < g.count; ++i)
      if (g.sets[i] == c.plan.sums) return;
    g.sets[g.count++] = c.plan.sums;
  };
  for (const Coefficient& c : table::kMenu) add(c);
  add(table::kBelowMenu);
  add(table::kAboveMenu);
  return g;
}();

template <std::size_t I = 0>
void RunGeneral(const Job& job, Schedule& schedule) {
  if constexpr (I < kGeneralSets.count) {
    if (job.plan.sums == kGeneralSets.sets[I]) return Run<General<kGeneralSets.sets[I]>>(job, schedule);
    return RunGeneral<I + 1>(job, schedule);
  } else {
    throw std::logic_error("no row of the coefficient table reads these general sums");
  }
}

// Every recipe a row can name has its case: a missing one is a compile error.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"
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
#pragma GCC diagnostic pop

const TargetKernel* ChooseKernel() {
  static const TargetKernel kernel{HWY_TARGET, kWidth, &Work};
  return &kernel;
}

}  // namespace HWY_NAMESPACE
}  // namespace tessora::engine::kernel::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tessora::engine::kernel::detail {

HWY_EXPORT(ChooseKernel);

const TargetKernel& best_kernel() { return *HWY_DYNAMIC_DISPATCH(ChooseKernel)(); }

std::vector<std::int64_t> compiled_targets() { return hwy::SupportedAndGeneratedTargets(); }

}  // namespace tessora::engine::kernel::detail
#endif
