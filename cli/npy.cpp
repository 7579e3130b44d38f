#include "cli/npy.hpp"

namespace tessora::cli {

std::string npy_header(std::string_view descr, std::initializer_list<std::int64_t> shape) {
  // The keys in sorted order, each value as Python's repr writes it.
  std::string dict = "{'descr': '" + std::string(descr) + "', 'fortran_order': False, 'shape': (";
  std::size_t first_axis = 0;
  for (std::int64_t size : shape) {
    const std::string digits = std::to_string(size);
    if (first_axis == 0) first_axis = digits.size();
    dict += digits + (shape.size() == 1 ? ",)" : ", ");
  }
  if (shape.size() != 1) {
    if (shape.size() > 1) dict.resize(dict.size() - 2);
    dict += ")";
  }
  dict += ", }";
  constexpr std::size_t kGrowthDigits = 21;  // numpy's room for the first axis to grow
  if (shape.size() > 0) dict.append(kGrowthDigits - first_axis, ' ');
  const std::size_t prefix = 6 + 2 + 2;  // magic, version, length
  // As numpy pads: 64 - (prefix + header + line feed) % 64 blanks, 64 when
  // already aligned.
  dict.append(64 - (prefix + dict.size() + 1) % 64, ' ');
  dict += '\n';
  std::string h("\x93NUMPY\x01\x00", 8);
  h += static_cast<char>(dict.size() & 0xff);
  h += static_cast<char>(dict.size() >> 8);
  return h + dict;
}

}  // namespace tessora::cli
