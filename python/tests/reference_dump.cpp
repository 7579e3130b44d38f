// Test oracle for the Python module: the engine's plain reference loop (pairs
// in order, variables in order) over a table file, the full matrix written as
// raw float32 to standard output.
//
//   tessora_reference_dump TABLE M N MISSING_BITS COEFFICIENT SCALING
//
// TABLE holds M x N float32 values object by object; MISSING_BITS is the bit
// pattern of the missing value in hexadecimal (7fc00000 for NaN).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/pairs.hpp"

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

  const tessora::engine::Table table{x.data(), n, m, bits};
  const auto res = tessora::engine::compute_reference(table, coefficient, scaling, static_cast<std::int32_t>(n));
  std::vector<float> full(m * m);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < m; ++j) full[i * m + j] = res.at(i, j);
  return std::fwrite(full.data(), sizeof(float), full.size(), stdout) == full.size() ? 0 : 1;
}
