// tessora-baseline: the same dialogue on the plain console, over the plain
// single-threaded paths: the reference pair loop, the variable-by-variable
// comparability check and the value-by-value row records. It writes the same
// bytes as tessora; bench/compare_peers.sh times the two side by side.
#include "dialogue/dialogue.hpp"
#include "app/run.hpp"
#include "console/stdio_host.hpp"

int main() {
  tessora::console::StdioHost host;
  return tessora::app::run_program(host, tessora::dialogue::DialogueOptions{.reference_paths = true});
}
