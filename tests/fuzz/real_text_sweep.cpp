// Walks float32 bit patterns and checks that format_real writes exactly the
// text of format_real_reference for each one.
//
//   real_text_sweep [STRIDE [FIRST [LAST]]]
//
// checks FIRST, FIRST + STRIDE, ... up to LAST (bit patterns, defaults: every
// pattern from 0 to 0xffffffff). A stride that is odd and not a power of two
// reaches every exponent and every low-bit pattern in a short run; stride 1
// is the whole space, about four billion values (hours: run it in the
// background with nice). Prints the first difference and exits 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recordio/real_text.hpp"

int main(int argc, char** argv) {
  const std::uint64_t stride = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 1;
  const std::uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 0;
  const std::uint64_t last = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : 0xffffffffu;
  if (stride == 0 || last > 0xffffffffu) {
    std::fprintf(stderr, "usage: real_text_sweep [STRIDE [FIRST [LAST]]]\n");
    return 2;
  }
  std::uint64_t checked = 0;
  char buf[tessora::recordio::kMaxRealText];
  for (std::uint64_t u = first; u <= last; u += stride) {
    const auto bits = static_cast<std::uint32_t>(u);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    const std::string fast(buf, tessora::recordio::format_real(value, buf));
    const std::string plain = tessora::recordio::format_real_reference(value);
    if (fast != plain) {
      std::printf("0x%08x: format_real [%s], reference [%s]\n", bits, fast.c_str(), plain.c_str());
      return 1;
    }
    ++checked;
    if ((checked & 0xffffff) == 0) {
      std::fprintf(stderr, "0x%08x, %llu checked\n", bits, static_cast<unsigned long long>(checked));
    }
  }
  std::printf("%llu bit patterns checked, all alike\n", static_cast<unsigned long long>(checked));
  return 0;
}
