#include "cli/options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "cli/failure.hpp"
#include "tessora/checks.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/error.hpp"
#include "tessora/version.hpp"

namespace tessora::cli {

namespace {

constexpr Format kFormats[] = {Format::txt, Format::phylip, Format::csv, Format::tsv,
                               Format::long_pairs, Format::npy, Format::npz};

}  // namespace

const char* format_name(Format f) {
  switch (f) {
    case Format::txt: return "txt";
    case Format::phylip: return "phylip";
    case Format::csv: return "csv";
    case Format::tsv: return "tsv";
    case Format::long_pairs: return "long";
    case Format::npy: return "npy";
    case Format::npz: return "npz";
  }
  return "?";
}

const char* layout_name(Layout l) {
  switch (l) {
    case Layout::full: return "full";
    case Layout::lower: return "lower";
    case Layout::condensed: return "condensed";
  }
  return "?";
}

namespace {

std::string lower_case(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string extension(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower_case(name.substr(dot + 1));
}

// One line: CLI11's messages may span several.
std::string joined_lines(std::string s) {
  std::replace(s.begin(), s.end(), '\n', ' ');
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string in_quotes(const std::string& s) { return "'" + s + "'"; }

std::string similarities() {
  return coefficient_numbers([](const CoefficientInfo& c) { return c.similarity; });
}
std::string scalables() {
  return coefficient_numbers([](const CoefficientInfo& c) { return c.scalable; });
}
std::string menu_range() { return "1-" + std::to_string(coefficients().size()); }

Format parse_format(const std::string& text) {
  std::string names;
  for (Format f : kFormats) {
    if (text == format_name(f)) return f;
    names += (names.empty() ? "" : ", ") + std::string(format_name(f));
  }
  usage_error("--format " + in_quotes(text) + " is none of " + names);
}

Layout parse_layout(const std::string& text) {
  for (Layout l : {Layout::full, Layout::lower, Layout::condensed})
    if (text == layout_name(l)) return l;
  usage_error("--layout " + in_quotes(text) + " is none of full, lower, condensed");
}

// A whole number of any sign; its range is the library's to check.
std::int64_t parse_integer(const std::string& text, const char* option) {
  std::int64_t value = 0;
  const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
  if (first == text.data() + text.size() || ec != std::errc() || end != text.data() + text.size())
    usage_error(std::string(option) + " " + in_quotes(text) + " is not a whole number");
  return value;
}

std::int64_t parse_count(const std::string& text, const char* option) {
  std::int64_t value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0)
    usage_error(std::string(option) + " " + in_quotes(text) + " is not a whole number of 0 or more");
  return value;
}

// A number rounded to the nearest float; NaN and the infinities pass (the
// library refuses a NaN threshold).
float parse_real(const std::string& text, const char* option) {
  const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  float value = 0;
  auto result = std::from_chars(first, last, value);
  if (result.ec == std::errc::result_out_of_range) {
    double wide = 0;
    result = std::from_chars(first, last, wide);
    if (result.ec == std::errc() && std::fabs(wide) > std::numeric_limits<float>::max())
      usage_error(std::string(option) + " " + in_quotes(text) + " is beyond the range of a float");
    value = static_cast<float>(wide);
  }
  if (first == last || result.ec != std::errc() || result.ptr != last)
    usage_error(std::string(option) + " " + in_quotes(text) + " is not a number");
  return value;
}

// The usage lines, as the program is called.
class Usage : public CLI::Formatter {
 public:
  explicit Usage(std::string lines) : lines_(std::move(lines)) {}
  std::string make_usage(const CLI::App*, std::string) const override { return lines_ + "\n"; }

 private:
  std::string lines_;
};

// The output options that compute and merge share, as given.
struct OutputTexts {
  std::string format, layout, threads;
  bool progress = false, quiet = false;
};

void add_output_options(CLI::App& app, Options& o, OutputTexts& t, bool merge) {
  std::string formats;
  for (Format f : kFormats) formats += (formats.empty() ? "" : ", ") + std::string(format_name(f));
  app.add_option("-o,--output", o.output, "Output file, - for standard output")->default_str("-")->type_name("FILE");
  app.add_option("-f,--format", t.format,
                 "Output format: " + formats +
                     " (default: from the output's extension; .txt txt, .phy/.phylip phylip, .csv csv, .tsv tsv, "
                     ".npy npy, .npz npz, otherwise tsv); npz for --neighbors and --radius only")
      ->type_name("FORMAT");
  app.add_option("--layout", t.layout,
                 "The matrix's layout: full, lower (with the diagonal; long: the pairs alone) or condensed (npy "
                 "only: the pairs i < j row by row) (default: full; long: lower)")
      ->type_name("LAYOUT");
  if (merge) {
    app.add_option("--shared-counts", o.shared_counts,
                   "Also write the shared counts to FILE in the same format and layout: for a matrix merged from "
                   "the count parts given among the PARTs; parts of --neighbors and --radius hold their own")
        ->type_name("FILE");
  } else {
    app.add_option("--shared-counts", o.shared_counts,
                   "Also write the number of variables known in both objects of each pair (of each kept pair "
                   "with --neighbors and --radius) to FILE, in the same format and layout")
        ->type_name("FILE");
  }
  app.add_option("--indices", o.indices,
                 "npy with --neighbors: the neighbours' indices (int64, m x k) go to FILE, their values (float32, "
                 "m x k) to --output")
      ->type_name("FILE");
  app.add_option("--threads", t.threads,
                 "Worker threads, 0 for one per core, at most " + std::to_string(kMaxThreads))
      ->default_str("0")
      ->type_name("N");
  app.add_flag("--progress", t.progress, "Show a progress bar on standard error even when it is no terminal");
  app.add_flag("--quiet", t.quiet, "No progress bar (default: a bar when standard error is a terminal)");
}

void finish_output_options(Options& o, const OutputTexts& t) {
  if (o.output.empty()) usage_error("--output '' is no file name");
  if (!t.threads.empty())
    o.threads = argument_check([&] { return thread_count(parse_integer(t.threads, "--threads")); });
  o.format = t.format.empty() ? (o.output == "-" ? Format::tsv : format_from_name(o.output)) : parse_format(t.format);
  o.layout_given = !t.layout.empty();
  if (!o.layout_given) {
    o.layout = o.format == Format::long_pairs ? Layout::lower : Layout::full;
  } else {
    o.layout = parse_layout(t.layout);
  }
  if (t.progress && t.quiet) usage_error("--progress and --quiet exclude each other");
  o.progress = t.progress ? Progress::on : t.quiet ? Progress::off : Progress::automatic;
}

const char* const kFooter =
    "Exit status: 0 success, 1 a data or system error, 2 a usage error.\n"
    "Join parts: tessora merge PART... -o FILE [OPTIONS] (see tessora merge --help)\n"
    "Without arguments, tessora asks its questions one at a time on the console.";

template <class Parse>
void run_parser(CLI::App& app, Options& o, Parse&& parse) {
  try {
    parse();
  } catch (const CLI::CallForHelp&) {
    o.action = Options::Action::print_text;
    o.text = app.help();
  } catch (const CLI::ParseError& e) {
    usage_error(joined_lines(e.what()));
  }
}

std::vector<std::string> arguments(int argc, const char* const* argv, int first) {
  std::vector<std::string> args;  // CLI11 takes them last first
  for (int i = argc - 1; i >= first; --i) args.emplace_back(argv[i]);
  return args;
}

Options parse_merge(int argc, const char* const* argv) {
  Options o;
  o.action = Options::Action::merge;
  CLI::App app{"Joins the parts that tessora --part K/N wrote into the whole result.", "tessora merge"};
  app.formatter(std::make_shared<Usage>("Usage: tessora merge [OPTIONS] PART..."));
  app.set_help_flag("-h,--help", "Print this help and exit");
  OutputTexts t;
  app.add_option("PART", o.part_files,
                 "Part files, in any order: every part of one split; for the long format and for --shared-counts "
                 "the count parts (written by --part with --shared-counts) beside the value parts")
      ->type_name("");
  add_output_options(app, o, t, true);
  app.footer(kFooter);
  std::vector<std::string> args = arguments(argc, argv, 2);
  run_parser(app, o, [&] { app.parse(args); });
  if (o.action == Options::Action::print_text) return o;
  if (o.part_files.empty()) usage_error("merge: no part files given");
  finish_output_options(o, t);
  return o;
}

bool looks_like_option(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' && !(std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

Options parse_arguments(int argc, const char* const* argv) {
  if (argc >= 2 && std::string(argv[1]) == "merge") return parse_merge(argc, argv);

  Options o;
  CLI::App app{"Computes a resemblance matrix (one of " + std::to_string(coefficients().size()) +
                   " coefficients) between the objects of a table with missing values, or each object's nearest "
                   "neighbours, or the pairs within a threshold.",
               "tessora"};
  app.formatter(std::make_shared<Usage>("Usage: tessora [OPTIONS] INPUT"));
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.allow_extras();
  std::string input, coefficient, objects, input_format, missing, part, neighbors, radius, min_shared, max_pairs;
  bool list = false, version = false;
  OutputTexts t;
  app.add_option("INPUT", input, "The table: a data file, or CSV/TSV with a header line; - for standard input")
      ->type_name("");
  app.add_option("-c,--coefficient", coefficient,
                 "Coefficient: " + menu_range() + ", its slug or its menu name (bray-curtis, 8, \"BRAYCUR DIS\")")
      ->type_name("N|SLUG");
  app.add_flag("--list-coefficients", list, "List the coefficients (number, menu name, slug, kind, ...) and exit");
  app.add_option("--objects", objects,
                 "rows or columns: which of the table's dimensions are the objects (default: columns for a "
                 "data file, rows for CSV/TSV)")
      ->type_name("rows|columns");
  app.add_flag("--scale", o.scale,
               "Scale the distance by n/k, all variables over those known in both (" + scalables() + ")");
  app.add_flag("--dissimilarity", o.dissimilarity, "Write D = 1 - S (" + similarities() + ")");
  app.add_option("--neighbors", neighbors,
                 "Instead of the matrix, each object's K nearest objects by the coefficient's ranking (smallest "
                 "first for distances and D = 1 - S, largest for the others; ties to the lower index)")
      ->type_name("K");
  app.add_option("--radius", radius,
                 "Instead of the matrix, every pair within T (value <= T for distances and D = 1 - S, >= T for "
                 "the others)")
      ->type_name("T");
  app.add_flag("--include-self", o.include_self, "--neighbors, --radius: each object is a candidate for itself");
  app.add_option("--min-shared", min_shared,
                 "--neighbors, --radius: pairs with fewer variables known in both are never kept (default: 1)")
      ->type_name("N");
  app.add_option("--max-pairs", max_pairs,
                 "--radius: more pairs than N within T is an error (default: " + std::to_string(kDefaultMaxPairs) +
                     ", about 32 bytes of memory each)")
      ->type_name("N");
  add_output_options(app, o, t, false);
  app.add_option("--input-format", input_format, "data, csv or tsv (default: from the extension: .csv, .tsv, otherwise data)")
      ->type_name("data|csv|tsv");
  app.add_option("--missing", missing,
                 "The value of a missing cell, a number or NA (default: -1 in a data file; in CSV/TSV empty "
                 "cells, NA and NaN, which stay missing beside this value)")
      ->type_name("VALUE|NA");
  app.add_option("--part", part,
                 "Compute the K-th of N parts (of the matrix's pairs, or of the objects' rows with --neighbors and "
                 "--radius) into a part file (see merge)")
      ->type_name("K/N");
  app.add_flag("--version", version, "Print the version and exit");
  app.footer(kFooter);

  std::vector<std::string> args = arguments(argc, argv, 1);
  run_parser(app, o, [&] { app.parse(args); });
  if (o.action == Options::Action::print_text) return o;
  const std::vector<std::string> extras = app.remaining();
  for (const std::string& extra : extras)
    if (looks_like_option(extra)) usage_error("The following argument was not expected: " + extra);
  if (version) {
    o.action = Options::Action::print_text;
    o.text = "tessora " TESSORA_VERSION_STRING "\n";
    return o;
  }
  if (list) {
    o.action = Options::Action::list_coefficients;
    return o;
  }
  if (app.count("INPUT") == 0) usage_error("no INPUT table given (see tessora --help)");
  if (!extras.empty()) usage_error("one INPUT table only, got " + in_quotes(input) + " and " + in_quotes(extras[0]));
  o.input = input;
  if (o.input.empty()) usage_error("INPUT '' is no file name");
  if (coefficient.empty()) usage_error("no coefficient given: -c " + menu_range() + " or a slug (see --list-coefficients)");
  o.coefficient = argument_check([&] { return tessora::coefficient_number(coefficient); });
  argument_check([&] { check_settings({o.coefficient, o.scale, o.dissimilarity}); });

  if (input_format.empty()) {
    o.input_format = o.input == "-" ? InputFormat::data : input_format_from_name(o.input);
  } else if (input_format == "data") {
    o.input_format = InputFormat::data;
  } else if (input_format == "csv") {
    o.input_format = InputFormat::csv;
  } else if (input_format == "tsv") {
    o.input_format = InputFormat::tsv;
  } else {
    usage_error("--input-format " + in_quotes(input_format) + " is none of data, csv, tsv");
  }
  if (objects.empty()) {
    o.objects = o.input_format == InputFormat::data ? Objects::columns : Objects::rows;
  } else {
    o.objects = argument_check([&] { return objects_are_rows(objects); }) ? Objects::rows : Objects::columns;
  }
  o.missing_given = app.count("--missing") > 0;
  if (o.missing_given) o.missing = argument_check([&] { return missing_from_text(missing); });
  if (!part.empty()) {
    const std::size_t slash = part.find('/');
    if (slash == std::string::npos) usage_error("--part " + in_quotes(part) + " is not of the form K/N");
    o.part = parse_count(part.substr(0, slash), "--part");
    o.parts = parse_count(part.substr(slash + 1), "--part");
    if (o.parts < 1 || o.part < 1 || o.part > o.parts)
      usage_error("--part " + part + " is out of range: K must be from 1 to N, and N 1 or more");
    if (o.parts > 1000000) usage_error("--part " + part + ": at most 1000000 parts");
  }

  // Neighbours and the pairs within a threshold.
  if (app.count("--neighbors") > 0 && app.count("--radius") > 0)
    usage_error("--neighbors and --radius exclude each other");
  if (app.count("--neighbors") > 0) {
    o.result = Result::neighbors;
    o.k = parse_integer(neighbors, "--neighbors");
  } else if (app.count("--radius") > 0) {
    o.result = Result::radius;
    o.radius = parse_real(radius, "--radius");
  }
  const bool graph = o.result != Result::matrix;
  if (o.include_self && !graph) usage_error("--include-self is for --neighbors and --radius");
  if (app.count("--min-shared") > 0) {
    if (!graph) usage_error("--min-shared is for --neighbors and --radius");
    o.min_shared = parse_integer(min_shared, "--min-shared");
  }
  if (app.count("--max-pairs") > 0) {
    if (o.result != Result::radius) usage_error("--max-pairs is for --radius");
    o.max_pairs = parse_integer(max_pairs, "--max-pairs");
  }
  finish_output_options(o, t);
  if (o.parts > 0) {
    if (graph && !o.shared_counts.empty())
      usage_error("--shared-counts: a part of --neighbors or --radius holds the shared counts already (merge "
                  "writes them with --shared-counts)");
    if (!o.indices.empty()) usage_error("--indices is for the output of --neighbors, not for a part (merge takes it)");
    if (o.layout_given) usage_error("--layout is for the output, not for a part (merge takes it)");
  } else {
    check_outputs(o, o.result);
  }
  return o;
}

}  // namespace

void check_outputs(const Options& o, Result result) {
  const std::string format = format_name(o.format);
  if (result == Result::matrix) {
    if (o.format == Format::npz) usage_error("npz is for --neighbors and --radius; a matrix goes to npy");
    if (!o.indices.empty()) usage_error("--indices is for npy with --neighbors");
    if (o.layout == Layout::condensed && o.format != Format::npy)
      usage_error("--layout condensed is for npy only, not " + format);
    if (o.layout == Layout::lower && o.format == Format::npy)
      usage_error("npy takes --layout full or condensed, not lower");
  } else {
    const char* option = result == Result::neighbors ? "--neighbors" : "--radius";
    if (o.layout_given) usage_error(std::string("--layout is for the matrix, not for ") + option);
    if (o.format == Format::txt || o.format == Format::phylip ||
        (o.format == Format::npy && result == Result::radius))
      usage_error(std::string(option) + " writes " + (result == Result::neighbors ? "npz, npy" : "npz") +
                  ", long, csv or tsv, not " + format);
    if (o.format == Format::npy && o.indices.empty())
      usage_error("npy with --neighbors writes two files: the values to --output and the indices to --indices FILE");
    if (o.format != Format::npy && !o.indices.empty()) usage_error("--indices is for npy with --neighbors");
  }
  if (o.output == "-" && o.shared_counts == "-")
    usage_error("--shared-counts - and the output both on standard output");
  if (o.output == "-" && o.indices == "-") usage_error("--indices - and the output both on standard output");
}

Format format_from_name(const std::string& name) {
  const std::string ext = extension(name);
  if (ext == "txt") return Format::txt;
  if (ext == "phy" || ext == "phylip") return Format::phylip;
  if (ext == "csv") return Format::csv;
  if (ext == "npy") return Format::npy;
  if (ext == "npz") return Format::npz;
  return Format::tsv;
}

InputFormat input_format_from_name(const std::string& name) {
  const std::string ext = extension(name);
  if (ext == "csv") return InputFormat::csv;
  if (ext == "tsv") return InputFormat::tsv;
  return InputFormat::data;
}

Options parse_options(int argc, const char* const* argv) {
  try {
    return parse_arguments(argc, argv);
  } catch (const Failure& f) {
    throw Failure(f.status(), one_line(f.what()));
  }
}

}  // namespace tessora::cli
