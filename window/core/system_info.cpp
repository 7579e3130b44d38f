#include "window/core/system_info.hpp"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

namespace tessora::console {

namespace {

std::uintptr_t lowest_mappable(std::uint64_t page_size) {
  // The kernel's floor for mappings; 64 KiB is the usual setting.
  std::ifstream in("/proc/sys/vm/mmap_min_addr");
  unsigned long long value = 0;
  if (in >> value && value > 0) return static_cast<std::uintptr_t>(value);
  return page_size > 0x10000 ? static_cast<std::uintptr_t>(page_size) : 0x10000;
}

std::uintptr_t highest_mappable(std::uint64_t page_size) {
  if constexpr (sizeof(std::uintptr_t) == 8) {
    // A 47-bit user half on x86-64 and a 48-bit one on AArch64, less the
    // guard page at the top.
#if defined(__aarch64__)
    constexpr std::uintptr_t top = std::uintptr_t{1} << 48;
#else
    constexpr std::uintptr_t top = std::uintptr_t{1} << 47;
#endif
    return top - static_cast<std::uintptr_t>(page_size) - 1;
  } else {
    return static_cast<std::uintptr_t>(0xbfffffffu - page_size);
  }
}

// The customary processor-type numbers: 586 for the 32-bit x86 family,
// 8664 for x86-64; other processors show their ELF machine number.
unsigned processor_type() {
#if defined(__x86_64__)
  return 8664;
#elif defined(__i386__)
  return 586;
#elif defined(__aarch64__)
  return 183;
#elif defined(__arm__)
  return 40;
#else
  return 0;
#endif
}

}  // namespace

SystemInfo system_info() {
  SystemInfo info;
  const long page = ::sysconf(_SC_PAGESIZE);
  info.page_size = page > 0 ? static_cast<std::uint64_t>(page) : 4096;
  info.minimum_address = lowest_mappable(info.page_size);
  info.maximum_address = highest_mappable(info.page_size);
  info.processor_type = processor_type();
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  info.processors = online > 0 ? static_cast<unsigned>(online) : std::thread::hardware_concurrency();
  return info;
}

std::string format_address(std::uintptr_t address) {
  char buffer[2 + 2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(buffer, sizeof buffer, "0x%08llx", static_cast<unsigned long long>(address));
  return buffer;
}

}  // namespace tessora::console
