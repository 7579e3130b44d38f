// tessora with arguments: the whole command-line run.
#pragma once

namespace tessora::cli {

// Runs the command line of argv[1 ..] and returns the exit status; every
// error is one line on standard error.
int run_command_line(int argc, const char* const* argv);

}  // namespace tessora::cli
