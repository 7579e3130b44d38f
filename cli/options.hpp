// The command line's options, parsed with CLI11; the rules of their values
// are the library's (tessora/checks.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessora/table.hpp"

namespace tessora::cli {

enum class Format { txt, phylip, csv, tsv, long_pairs, npy, npz };
enum class Layout { full, lower, condensed };
enum class InputFormat { data, csv, tsv };
enum class Objects { rows, columns };
enum class Progress { automatic, on, off };
// What is computed: the matrix, each object's k nearest neighbours, or the
// pairs within a threshold.
enum class Result { matrix, neighbors, radius };

const char* format_name(Format f);
const char* layout_name(Layout l);

// The pairs --radius keeps at most unless --max-pairs says otherwise: the
// library's default (about 3 GB of memory at 32 bytes a pair).
inline constexpr std::int64_t kDefaultMaxPairs = 100'000'000;

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
  Missing missing;  // --missing as the library reads it
  std::int64_t part = 0, parts = 0;  // --part K/N; 0/0 without

  // neighbours and the pairs within a threshold
  Result result = Result::matrix;
  std::int64_t k = 0;    // --neighbors K, checked against the table by the library
  float radius = 0;      // --radius T, rounded to the nearest float
  bool include_self = false;
  std::int64_t min_shared = 1;
  std::int64_t max_pairs = kDefaultMaxPairs;

  // compute and merge
  std::string output = "-";  // "-": standard output
  Format format = Format::tsv;
  Layout layout = Layout::full;
  bool layout_given = false;
  std::string shared_counts;  // empty: none
  std::string indices;        // npy neighbours: the file of the indices
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

// Checks the output options against what is written (a matrix, neighbours
// or pairs within a threshold): usage errors for a format or option that
// does not apply. The merge calls it once it knows what its parts hold.
void check_outputs(const Options& options, Result result);

}  // namespace tessora::cli
