// One run of the program over a console host.
#pragma once

#include "dialogue/dialogue.hpp"
#include "console/hooks.hpp"

namespace tessora::app {

// Runs the dialogue once over `hooks` and returns the process exit code: the
// end-of-run hook's answer after a stop or a report, 0 when the window was
// closed during the run.
int run_program(console::Hooks& hooks, const dialogue::DialogueOptions& options = {});

}  // namespace tessora::app
