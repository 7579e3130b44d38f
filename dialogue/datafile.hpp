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

// The read statements a data file is read with: the title record, then one
// statement of items per record. A step that fails does not return: in the
// dialogue the record layer writes its report and ends the run; the command
// line throws its one-line error naming the file and the line.
class DataStatements {
 public:
  virtual ~DataStatements() = default;
  // The whole next record as text of `length` characters, blank-padded.
  virtual void title(char* text, std::size_t length) = 0;
  virtual void begin() = 0;
  virtual void item(std::int32_t& value) = 0;
  // `count` real items; item c goes to out[c * stride].
  virtual void items(float* out, std::size_t count, std::size_t stride) = 0;
  virtual void end() = 0;
  // The R x C values cannot be had.
  [[noreturn]] virtual void no_memory(std::int32_t rows, std::int32_t cols) = 0;
};

// Reads the title, the dimensions R and C and the R data records through
// `statements`: every reading rule of the data file, for the dialogue and
// the command line alike. Orientation 0: the columns are the objects; any
// other value: the rows.
DataFile read_data_file(DataStatements& statements, std::int32_t orientation);

// The same from the data file open on the file unit, which it then closes.
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
