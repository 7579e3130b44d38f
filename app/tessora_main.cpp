// tessora: the dialogue on a plain console.
#include "app/run.hpp"
#include "console/stdio_host.hpp"

int main() {
  tessora::console::StdioHost host;
  return tessora::app::run_program(host);
}
