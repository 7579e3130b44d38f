// Outputs that would write over the input, or over each other: refused
// before anything is read.
#pragma once

#include <string>
#include <vector>

namespace tessora::cli {

// A file the run reads or writes: the option that names it ("the input",
// "--output", "--shared-counts", "a part") and its path ("-" for standard
// input or output).
struct NamedFile {
  std::string role;
  std::string path;
};

// Throws a usage error (status 2) naming both when an output is one of the
// inputs (the same regular file, whatever the path: links, "./", /dev/fd,
// standard input or output) or two outputs are one file.
void check_distinct_files(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs);

}  // namespace tessora::cli
