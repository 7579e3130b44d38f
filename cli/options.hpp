// The command line's options, parsed with CLI11.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessora::cli {

enum class Format { txt, phylip, csv, tsv, long_pairs, npy };
enum class Layout { full, lower, condensed };
enum class InputFormat { data, csv, tsv };
enum class Objects { rows, columns };
enum class Progress { automatic, on, off };

const char* format_name(Format f);
const char* layout_name(Layout l);

// What a command line asks for.
struct Options {
  enum class Action { compute, merge, list_coefficients, print_text };
  Action action = Action::compute;
  std::string text;  // print_text: the help or version text for standard output

  // compute
  std::string input;  // "-": standard input
  std::int32_t coefficient = 0;
  Objects objects = Objects::columns;
  bool scale = false;
  bool dissimilarity = false;
  InputFormat input_format = InputFormat::data;
  bool missing_given = false;
  std::string missing;  // the marker text: a number, or NA (NaN marks the gaps)
  std::int64_t part = 0, parts = 0;  // --part K/N; 0/0 without

  // compute and merge
  std::string output = "-";  // "-": standard output
  Format format = Format::tsv;
  Layout layout = Layout::full;
  std::string shared_counts;  // empty: none
  unsigned threads = 0;
  Progress progress = Progress::automatic;

  // merge
  std::vector<std::string> part_files;
};

// Parses argv[1 ..]. Help and version give Action::print_text; a usage
// error throws Failure with status 2 and a one-line message.
Options parse_options(int argc, const char* const* argv);

// The format an output name's extension stands for (tsv when none fits).
Format format_from_name(const std::string& name);
InputFormat input_format_from_name(const std::string& name);

}  // namespace tessora::cli
