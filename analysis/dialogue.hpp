// The dialogue: the program's main procedure, from the banner to the stop.
#pragma once

#include "recordio/runtime.hpp"

namespace tessora::analysis {

// Runs the whole dialogue on `runtime`. It ends through a stop or a report,
// which throw recordio::RunEnded; it never returns normally.
[[noreturn]] void run_dialogue(recordio::Runtime& runtime);

}  // namespace tessora::analysis
