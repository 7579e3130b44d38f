// Fuzz target: console answers through the whole dialogue.
//
// Input: the lines typed on the console, one per line feed. The run sees a
// private directory holding a few small data files (the examples, a tiny
// table, one with an incomparable pair, one that ends early, tables of
// special values and of counts, one with a negative row count); the answers
// name one of them, or anything else. Each input runs twice, over the fast
// paths and over the plain reference paths: the console transcript, the exit
// code and the bytes of MATRIX.TXT must be the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "dialogue/dialogue.hpp"
#include "app/run.hpp"
#include "fuzz_support.hpp"

namespace {

using tessora::fuzz::fail;
using tessora::fuzz::read_file;
using tessora::fuzz::ScriptedHooks;

struct Outcome {
  int exit_code;
  std::string transcript;
  std::string matrix;
};

Outcome run(const std::vector<std::string>& lines, bool reference_paths) {
  std::remove("MATRIX.TXT");
  ScriptedHooks hooks(lines);
  tessora::dialogue::DialogueOptions options;
  options.reference_paths = reference_paths;
  const int code = tessora::app::run_program(hooks, options);
  return {code, hooks.transcript(), read_file("MATRIX.TXT")};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using tessora::fuzz::write_file;
  // Read the examples before leaving the source tree's working directory.
  const std::string beetles = read_file(TESSORA_EXAMPLES_DIR "/BEETLES.TXT");
  const std::string meadows = read_file(TESSORA_EXAMPLES_DIR "/MEADOWS.TXT");
  tessora::fuzz::enter_private_directory();
  write_file("BEETLES.TXT", beetles);
  write_file("MEADOWS.TXT", meadows);
  write_file("A", "SMALL\n3 4\n1 2 -1 4\n0.5 -1 3 1E2\n-1 7 8 9\n");
  write_file("B", "OBJECT 2 HAS NO KNOWN VALUE\n2 3\n1 -1 2\n3 -1 4\n");
  write_file("C", "ENDS EARLY\n3 3\n1 2 3\n4 5\n");
  write_file("D", "ONE OBJECT\n4 1\n1\n2\n3\n4\n");
  // Wider tables with infinities, NaNs, denormals, huge values and -0, so
  // that the fast kernel's lanes and tails meet them.
  write_file("E",
             "SPECIAL VALUES\n7 20\n"
             "NaN -1 -INF 12345 -0 1 100 -1 INF -2 -0 0.5 2.5 -0 1 1E-40 1E-40 1 1E38 1\n"
             "100 1E-40 -0 -2 -1 1E38 12345 12345 -2 -0 -2 -2 -INF -0 1E38 -0 100 -1 1E39 1E-40\n"
             "-1 100 -1 -2 1E39 100 4 -1 -1 -2 -2 12345 2.5 INF -1 100 9 1 -2 -0\n"
             "1E-3 2.5 7 4 100 1E-40 NaN 3 -2 3 INF 1E39 1E38 -1 9 1E38 1 -2 1E39 0.5\n"
             "7 NaN 0.25 3 1E39 1E-3 1 -1 0.5 1E-40 -1 NaN -1 7 1E-40 -0 4 1 100 -2\n"
             "NaN NaN 9 INF 1E-3 7 -2 3 1 1 -1E38 7 9 4 1 -0 0.25 9 1E39 12345\n"
             "-2 4 3 1E39 9 -INF 4 INF 0 3 INF -1 1E-3 -1 7 -0 2.5 1E39 -1 0.25\n");
  write_file("F", "NO ROWS\n-2 3\n");
  write_file("G", "COUNTS\n9 17\n" + [] {
    std::string rows;
    for (int r = 0; r < 9; ++r) {
      for (int c = 0; c < 17; ++c) rows += std::to_string((r * 7 + c * 3) % 5 == 0 ? -1 : (r + 2 * c) % 4) + ' ';
      rows += '\n';
    }
    return rows;
  }());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // A quoted name with a slash could reach outside the private directory (a
  // device that never ends a line, say): such inputs are not run. An unquoted
  // slash only ends a statement's input and stays in play.
  if (bytes.find('/') != std::string_view::npos && bytes.find_first_of("'\"") != std::string_view::npos) {
    return -1;
  }
  const auto lines = tessora::fuzz::split_lines(bytes);

  const Outcome fast = run(lines, false);
  const Outcome plain = run(lines, true);
  if (fast.exit_code != plain.exit_code) fail("exit codes differ between fast and reference paths");
  if (fast.transcript != plain.transcript) {
    fail("transcripts differ between fast and reference paths", fast.transcript, plain.transcript);
  }
  if (fast.matrix != plain.matrix) fail("MATRIX.TXT differs between fast and reference paths", fast.matrix, plain.matrix);
  if (fast.exit_code != 0 && fast.exit_code != 255) fail("exit code other than 0 or 255");
  return 0;
}
