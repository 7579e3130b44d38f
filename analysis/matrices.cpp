#include "analysis/matrices.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace tessora::analysis {

namespace {

// No process on x86-64 can be given more than 2^47 bytes of address space:
// a larger matrix is refused at once instead of asking the allocator.
constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 47;

}  // namespace

void offer_huge_pages(void* p, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  ::madvise(p, bytes, MADV_HUGEPAGE);  // only advice: a refusal changes nothing
#else
  (void)p;
  (void)bytes;
#endif
}

ResemblanceMatrix::ResemblanceMatrix(std::int32_t m) {
  if (m <= 0) return;
  const auto count = static_cast<std::uint64_t>(m);
  const std::uint64_t pairs = count * (count - 1) / 2;  // at most about 2^61: no overflow
  const std::uint64_t bytes = (pairs + count) * sizeof(float);
  if (bytes > kAddressSpace || pairs > tri_.max_size()) throw std::bad_alloc();
  tri_.resize(static_cast<std::size_t>(pairs));
  diag_.resize(static_cast<std::size_t>(count));
  m_ = m;
}

}  // namespace tessora::analysis
