// The finishers of whole tiles, one per row of the coefficient table and per
// instruction set (finish.cpp). Included once per instruction set by
// pair_loop.cpp and finish.cpp, after lanes-inl.h.
#if defined(TESSORA_KERNEL_FINISH_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TESSORA_KERNEL_FINISH_INL_H_
#undef TESSORA_KERNEL_FINISH_INL_H_
#else
#define TESSORA_KERNEL_FINISH_INL_H_
#endif

#include <hwy/highway.h>

#include <cstdint>

#include "engine/pair_steps.hpp"

HWY_BEFORE_NAMESPACE();
namespace tessora::engine::kernel::detail {
namespace HWY_NAMESPACE {

// The values of a whole tile's pairs (every lane; the caller keeps the run
// it wants) from their sums in columns.
using TileFinisher = void (*)(const SumColumns& sums, std::int32_t n, std::int32_t scaling, float* values);

// The finisher of coefficient number `number` (any number, as coefficient()).
TileFinisher TileFinisherOf(std::int32_t number);

}  // namespace HWY_NAMESPACE
}  // namespace tessora::engine::kernel::detail
HWY_AFTER_NAMESPACE();

#endif  // TESSORA_KERNEL_FINISH_INL_H_
