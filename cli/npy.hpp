// NumPy's .npy format: the header that np.save writes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessora::cli {

// The header of a C-order array as numpy's np.save writes it (format 1.0):
// the magic, the header's length, the dictionary with its spare room for
// the first axis to grow, padded with blanks and a line feed to a multiple
// of 64 bytes. `descr`: "<f4", "<u4", "<i4", "<i8", "|S3"; `shape`: the
// sizes, none for a scalar.
std::string npy_header(std::string_view descr, std::initializer_list<std::int64_t> shape);

}  // namespace tessora::cli
