// The dialogue: the program's main procedure, from the banner to the stop.
#pragma once

#include "recordio/runtime.hpp"

namespace tessora::analysis {

struct DialogueOptions {
  // Take the plain reference paths throughout: the reference pair loop, the
  // variable-by-variable comparability check and value-by-value row records.
  // Same output; the benchmarks measure the fast paths against it.
  bool reference_paths = false;
};

// Runs the whole dialogue on `runtime`. It ends through a stop or a report,
// which throw recordio::RunEnded; it never returns normally.
[[noreturn]] void run_dialogue(recordio::Runtime& runtime, const DialogueOptions& options = {});

}  // namespace tessora::analysis
