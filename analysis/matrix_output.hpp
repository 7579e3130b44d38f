// MATRIX.TXT: the layout and conversion questions, the header and row records.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/matrices.hpp"
#include "recordio/runtime.hpp"

namespace tessora::analysis {

inline constexpr const char* kMatrixFileName = "MATRIX.TXT";

// Asks the layout question (not for 14 and 15), writes the two header records,
// asks the conversion question for a similarity coefficient, converts when it
// is answered 1, writes the row records and closes the file. `res` may be
// changed by the conversion. `plain_rows` writes each row value by value, the
// slow path that the parallel row formatting is measured and tested against.
void write_matrix_file(recordio::Runtime& rt, std::int32_t coefficient, const std::string& title,
                       std::int32_t m, ResemblanceMatrix& res, bool plain_rows = false);

// D = 1 - S for every entry, the diagonal included, rounded to single precision.
void convert_to_dissimilarity(ResemblanceMatrix& res);

}  // namespace tessora::analysis
