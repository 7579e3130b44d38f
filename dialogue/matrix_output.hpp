// MATRIX.TXT: the header and row records.
#pragma once

#include <cstdint>
#include <string>

#include "tessora/engine.hpp"
#include "recordio/runtime.hpp"

namespace tessora::dialogue {


inline constexpr const char* kMatrixFileName = "MATRIX.TXT";

// Opens MATRIX.TXT on the file unit and writes its two header records: the
// coefficient number with the title, and the number of objects.
void open_matrix_file(recordio::Runtime& rt, std::int32_t coefficient, const std::string& title,
                      std::int32_t m);

// Writes one row record per object, the full matrix or the lower semimatrix
// with diagonal, and closes the file. `plain_rows` writes each row value by
// value, the slow path that the parallel row formatting is measured and
// tested against.
void write_matrix_rows(recordio::Runtime& rt, const tessora::Matrix& res, bool full, bool plain_rows = false);

}  // namespace tessora::dialogue
