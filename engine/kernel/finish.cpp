// The finishers of whole tiles: each row's formula, guard and scaling with
// the row's functions compiled in, once per instruction set, over every lane
// of a tile. The build compiles this file with -O3 -fno-math-errno, so that
// the compiler evaluates the formulas on vectors of pairs: the same
// operations in the same order, each correctly rounded (no reassociation, no
// contraction, no approximate functions: those need -ffast-math, which is
// never given), so every lane gets the bits of the scalar formula. Only runs
// whose objects hold finite values come here, whose only NaN is the default
// NaN, so the order of two NaN operands cannot matter either.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/kernel/finish.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "engine/kernel/lanes-inl.h"
#include "engine/kernel/finish-inl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/coefficient_table.hpp"
#include "engine/coefficients.hpp"
#include "engine/pair_steps.hpp"

HWY_BEFORE_NAMESPACE();
namespace tessora::engine::kernel::detail {
namespace HWY_NAMESPACE {

template <std::size_t kIndex>
HWY_NOINLINE void FinishTile(const SumColumns& sums, std::int32_t n, std::int32_t scaling, float* values) {
  constexpr Formula final = table::row_at(kIndex).final;
  constexpr Guard guard = table::row_at(kIndex).guard;
  constexpr bool scaled = table::row_at(kIndex).scaled;
  for (std::size_t l = 0; l < kWidth; ++l) values[l] = finish_pair(final, guard, scaled, sums.at(l), n, scaling);
}

template <std::size_t... I>
constexpr std::array<TileFinisher, sizeof...(I)> TileFinishers(std::index_sequence<I...>) {
  return {&FinishTile<I>...};
}

TileFinisher TileFinisherOf(std::int32_t number) {
  static constexpr auto kFinishers = TileFinishers(std::make_index_sequence<table::kRows>());
  return kFinishers[table::row_index(number)];
}

}  // namespace HWY_NAMESPACE
}  // namespace tessora::engine::kernel::detail
HWY_AFTER_NAMESPACE();
