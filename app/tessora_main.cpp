// tessora: the dialogue on a plain console without arguments, the command
// line with them.
#include "app/run.hpp"
#include "cli/command.hpp"
#include "console/stdio_host.hpp"

int main(int argc, char** argv) {
  if (argc > 1) return tessora::cli::run_command_line(argc, argv);
  tessora::console::StdioHost host;
  return tessora::app::run_program(host);
}
