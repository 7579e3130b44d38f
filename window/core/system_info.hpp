// The machine facts that the About box shows.
#pragma once

#include <cstdint>
#include <string>

namespace tessora::console {

struct SystemInfo {
  std::uint64_t page_size = 0;
  std::uintptr_t minimum_address = 0;  // lowest address a program may map
  std::uintptr_t maximum_address = 0;  // highest address a program may map
  unsigned processor_type = 0;
  unsigned processors = 0;
};

SystemInfo system_info();

// "0x" and the address in lower-case hexadecimal, at least eight digits.
std::string format_address(std::uintptr_t address);

}  // namespace tessora::console
