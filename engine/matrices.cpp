#include "engine/matrices.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace tessora::engine {

namespace {

// No process on x86-64 can be given more than 2^47 bytes of address space:
// a larger matrix is refused at once instead of asking the allocator.
constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 47;

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLarge = std::size_t{8} << 20;  // mapped from this size on

std::size_t page_size() {
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t mapped_bytes(std::size_t bytes) { return (bytes + page_size() - 1) / page_size() * page_size(); }

}  // namespace

void* allocate_zeroed(std::size_t bytes) {
  if (bytes < kLarge) {
    void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  // Map 2 MB more than needed, then give back what lies before the first
  // 2 MB boundary and after the block.
  const std::size_t length = mapped_bytes(bytes);
  if (length > std::size_t(-1) - kHugePage) throw std::bad_alloc();
  void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::size_t tail = (start + length + kHugePage) - (aligned + length);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // advice only
#endif
  return reinterpret_cast<void*>(aligned);
}

void release_zeroed(void* p, std::size_t bytes) noexcept {
  if (p == nullptr) return;
  if (bytes < kLarge) {
    std::free(p);
  } else {
    ::munmap(p, mapped_bytes(bytes));
  }
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

}  // namespace tessora::engine
