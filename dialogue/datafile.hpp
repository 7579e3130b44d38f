// The data file: opening it, reading it into the data matrix, and the
// comparability check.
#pragma once

#include <cstdint>
#include <string>

#include "engine/matrices.hpp"
#include "recordio/runtime.hpp"
#include "tessora/table.hpp"

namespace tessora::dialogue {

using engine::DataMatrix;
using engine::Floats;
using engine::kMissing;
using engine::known;

// The file unit the data file, and later MATRIX.TXT, are opened on.
inline constexpr int kFileUnit = 1;
inline constexpr std::size_t kTextLength = 100;

// Opens the named data file on the file unit for reading. Returns false when
// it cannot be opened (nothing is reported).
bool open_data_file(recordio::Runtime& rt, const std::string& name);

struct DataFile {
  std::string title;  // the first line, 100 characters, blank-padded
  DataMatrix data;
};

// Reads the title, the dimensions R and C and the R data records from the open
// data file, then closes it. Orientation 0: the columns are the objects;
// any other value: the rows.
DataFile read_data_file(recordio::Runtime& rt, std::int32_t orientation);

// Writes one report line for every pair of objects with no variable known in
// both, in the order (1,2), (1,3), ..., (m-1,m); returns whether there was one.
bool report_incomparable_pairs(recordio::Runtime& rt, const DataMatrix& data);

// The data matrix as the library sees it: object by object, -1 missing.
tessora::TableView as_view(const DataMatrix& data);

// The same check, counting variable by variable for every pair: the plain
// version that the fast one is tested against.
bool report_incomparable_pairs_reference(recordio::Runtime& rt, const DataMatrix& data);

}  // namespace tessora::dialogue
