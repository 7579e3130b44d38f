// Test oracle for the Python module: the library's plain reference loop
// (tessora::reference_matrix: pairs in order, variables in order) over a
// table file, the full matrix written as raw float32 to standard output.
//
//   tessora_reference_dump TABLE M N MISSING_BITS COEFFICIENT SCALING
//
// TABLE holds M x N float32 values object by object; MISSING_BITS is the bit
// pattern of the missing value in hexadecimal (7fc00000 for NaN).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tessora/tessora.hpp"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s TABLE M N MISSING_BITS COEFFICIENT SCALING\n", argv[0]);
    return 2;
  }
  const std::size_t m = std::stoull(argv[2]), n = std::stoull(argv[3]);
  const auto bits = static_cast<std::uint32_t>(std::stoul(argv[4], nullptr, 16));
  const auto coefficient = static_cast<std::int32_t>(std::stol(argv[5]));
  const auto scaling = static_cast<std::int32_t>(std::stol(argv[6]));

  std::vector<float> x(m * n);
  std::FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr || std::fread(x.data(), sizeof(float), x.size(), f) != x.size()) {
    std::fprintf(stderr, "cannot read %zu values from %s\n", x.size(), argv[1]);
    return 1;
  }
  std::fclose(f);

  float marker = 0;
  std::memcpy(&marker, &bits, sizeof marker);
  const auto view = tessora::TableView::row_major(x.data(), static_cast<std::int64_t>(m), static_cast<std::int64_t>(n),
                                                  true, tessora::Missing::value(marker));
  const tessora::Matrix res = tessora::reference_matrix(view, {coefficient, scaling != 0, false});
  std::vector<float> full(m * m);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < m; ++j)
      full[i * m + j] = res(static_cast<std::int64_t>(i), static_cast<std::int64_t>(j));
  return std::fwrite(full.data(), sizeof(float), full.size(), stdout) == full.size() ? 0 : 1;
}
