// Fuzz target: the part files that tessora merge reads (a matrix's and those
// of --neighbors and --radius).
//
// Input: byte 0 picks the output format (npz, csv, long, npy for a graph;
// tsv, long, npy, txt for a matrix), the rest is the part file. Every file
// is merged or refused (exit status 1, or 2 for a format it does not take)
// with one line on standard error
// (libFuzzer's -close_fd_mask=2 quiets them); nothing may crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/command.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::string path = "/tmp/tessora-fuzz-part-" + std::to_string(::getpid());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const bool graph = size > 4 && data[3] == 'G';  // "TSGPART1"
  static const char* const graph_formats[] = {"npz", "csv", "long", "npy"};
  static const char* const matrix_formats[] = {"tsv", "long", "npy", "txt"};
  const char* format = (graph ? graph_formats : matrix_formats)[data[0] % 4];
  const char* argv[] = {"tessora", "merge", path.c_str(), "-f", format, "-o", "/dev/null", "--quiet",
                        "--indices", "/dev/null"};
  const bool npy_graph = graph && std::string(format) == "npy";
  const int status = tessora::cli::run_command_line(npy_graph ? 10 : 8, argv);
  if (status < 0 || status > 2) std::abort();  // 2: a format the parts do not take
  std::remove(path.c_str());
  return 0;
}
