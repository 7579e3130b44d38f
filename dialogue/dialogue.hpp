// The dialogue: the program's main procedure, from the banner to the stop.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/matrices.hpp"
#include "tessora/engine.hpp"
#include "recordio/runtime.hpp"

namespace tessora::dialogue {

using engine::DataMatrix;

struct DialogueOptions {
  // Take the plain reference paths throughout: the reference pair loop, the
  // variable-by-variable comparability check and value-by-value row records.
  // Same output; the benchmarks measure the fast paths against it.
  bool reference_paths = false;

  // Called once MATRIX.TXT has been written and closed, before the stop, with
  // the values as written (converted when the conversion was asked for) and
  // the data they came from. The window draws its picture from these.
  struct MatrixWritten {
    std::int32_t coefficient;
    const DataMatrix& data;
    const tessora::Matrix& matrix;
  };
  std::function<void(const MatrixWritten&)> matrix_written;
};

// Runs the whole dialogue on `runtime`. It ends through a stop or a report,
// which throw recordio::RunEnded; it never returns normally.
[[noreturn]] void run_dialogue(recordio::Runtime& runtime, const DialogueOptions& options = {});

}  // namespace tessora::dialogue
