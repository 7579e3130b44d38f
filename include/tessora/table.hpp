// A table of float32 values seen as objects and variables, without a copy.
#pragma once

#include <cmath>
#include <cstdint>

namespace tessora {

// Which values are missing.
struct Missing {
  bool nan = false;     // true: every NaN is missing and every other value known
  float marker = -1.0f; // otherwise: a value equal to the marker is missing
                        // (-1 in the data file); NaNs are values

  static Missing value(float marker) {
    return std::isnan(marker) ? Missing{true, marker} : Missing{false, marker};
  }
  static Missing not_a_number() { return Missing{true, NAN}; }
};

// Element (object i, variable v) is data[i * object_stride + v * variable_stride]
// (strides count floats and may be negative or zero). Objects stored one
// after the other with their variables side by side (object_stride =
// variables, variable_stride = 1) are used in place; any other layout is
// copied once into that layout when an Engine is made.
struct TableView {
  const float* data = nullptr;       // may be null when the table holds no value
  std::int64_t objects = 0;          // m, 0 or more
  std::int64_t variables = 0;        // n, 0 or more
  std::int64_t object_stride = 0;
  std::int64_t variable_stride = 0;
  Missing missing{};

  // A row-major (C-order) array of `rows` x `cols`; objects are its rows
  // (objects_are_rows) or its columns.
  static TableView row_major(const float* data, std::int64_t rows, std::int64_t cols,
                             bool objects_are_rows, Missing missing = {}) {
    return objects_are_rows ? TableView{data, rows, cols, cols, 1, missing}
                            : TableView{data, cols, rows, 1, cols, missing};
  }
  // A column-major (Fortran-order, R's) array of `rows` x `cols`.
  static TableView column_major(const float* data, std::int64_t rows, std::int64_t cols,
                                bool objects_are_rows, Missing missing = {}) {
    return objects_are_rows ? TableView{data, rows, cols, 1, rows, missing}
                            : TableView{data, cols, rows, rows, 1, missing};
  }
};

}  // namespace tessora
