#include "cli/options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "cli/failure.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/error.hpp"
#include "tessora/version.hpp"

namespace tessora::cli {

const char* format_name(Format f) {
  switch (f) {
    case Format::txt: return "txt";
    case Format::phylip: return "phylip";
    case Format::csv: return "csv";
    case Format::tsv: return "tsv";
    case Format::long_pairs: return "long";
    case Format::npy: return "npy";
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

Format parse_format(const std::string& text) {
  static constexpr Format all[] = {Format::txt, Format::phylip, Format::csv, Format::tsv, Format::long_pairs,
                                   Format::npy};
  for (Format f : all)
    if (text == format_name(f)) return f;
  usage_error("--format " + in_quotes(text) + " is none of txt, phylip, csv, tsv, long, npy");
}

Layout parse_layout(const std::string& text) {
  for (Layout l : {Layout::full, Layout::lower, Layout::condensed})
    if (text == layout_name(l)) return l;
  usage_error("--layout " + in_quotes(text) + " is none of full, lower, condensed");
}

std::int64_t parse_count(const std::string& text, const char* option) {
  std::int64_t value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0)
    usage_error(std::string(option) + " " + in_quotes(text) + " is not a whole number of 0 or more");
  return value;
}

// The output options that compute and merge share.
struct OutputTexts {
  std::string format, layout, threads;
  bool progress = false, quiet = false;
};

void add_output_options(CLI::App& app, Options& o, OutputTexts& t) {
  app.add_option("-o,--output", o.output, "Output file, - for standard output")->default_str("-")->type_name("FILE");
  app.add_option("-f,--format", t.format,
                 "Output format: txt, phylip, csv, tsv, long, npy (default: from the output's extension; "
                 ".txt txt, .phy/.phylip phylip, .csv csv, .tsv tsv, .npy npy, otherwise tsv)")
      ->type_name("FORMAT");
  app.add_option("--layout", t.layout,
                 "full, lower (with the diagonal; long: the pairs alone) or condensed (npy only: the "
                 "pairs i < j row by row) (default: full; long: lower)")
      ->type_name("LAYOUT");
  app.add_option("--shared-counts", o.shared_counts,
                 "Also write the number of variables known in both objects of each pair to FILE, in the "
                 "same format and layout")
      ->type_name("FILE");
  app.add_option("--threads", t.threads, "Worker threads, 0 for one per core")->default_str("0")->type_name("N");
  app.add_flag("--progress", t.progress, "Show a progress bar on standard error even when it is no terminal");
  app.add_flag("--quiet", t.quiet, "No progress bar (default: a bar when standard error is a terminal)");
}

void finish_output_options(Options& o, const OutputTexts& t) {
  if (o.output.empty()) usage_error("--output '' is no file name");
  o.format = t.format.empty() ? (o.output == "-" ? Format::tsv : format_from_name(o.output)) : parse_format(t.format);
  if (t.layout.empty()) {
    o.layout = o.format == Format::long_pairs ? Layout::lower : Layout::full;
  } else {
    o.layout = parse_layout(t.layout);
  }
  if (o.layout == Layout::condensed && o.format != Format::npy)
    usage_error("--layout condensed is for npy only, not " + std::string(format_name(o.format)));
  if (o.layout == Layout::lower && o.format == Format::npy)
    usage_error("npy takes --layout full or condensed, not lower");
  if (!t.threads.empty()) {
    const std::int64_t n = parse_count(t.threads, "--threads");
    if (n > 4096) usage_error("--threads " + t.threads + " is more than 4096");
    o.threads = static_cast<unsigned>(n);
  }
  if (t.progress && t.quiet) usage_error("--progress and --quiet exclude each other");
  o.progress = t.progress ? Progress::on : t.quiet ? Progress::off : Progress::automatic;
  if (!o.shared_counts.empty() && o.shared_counts == o.output && o.output != "-")
    usage_error("--shared-counts " + in_quotes(o.shared_counts) + " is the output file itself");
  if (o.shared_counts == "-" && o.output == "-")
    usage_error("--shared-counts - and the output both on standard output");
}

const char* const kFooter =
    "Exit status: 0 success, 1 a data or system error, 2 a usage error.\n"
    "Join parts: tessora merge PART... -o FILE [-f FORMAT] [--layout LAYOUT]\n"
    "Without arguments, tessora asks its questions one at a time on the console.";

template <class Parse>
Options run_parser(CLI::App& app, Options& o, Parse&& parse) {
  try {
    parse();
  } catch (const CLI::CallForHelp&) {
    o.action = Options::Action::print_text;
    o.text = app.help();
    return o;
  } catch (const CLI::ParseError& e) {
    usage_error(joined_lines(e.what()));
  }
  return o;
}

Options parse_merge(int argc, const char* const* argv) {
  Options o;
  o.action = Options::Action::merge;
  CLI::App app{"Joins the parts that tessora --part K/N wrote into the whole matrix.", "tessora merge"};
  app.set_help_flag("-h,--help", "Print this help and exit");
  OutputTexts t;
  app.add_option("PART", o.part_files, "Part files, in any order")->type_name("PART");
  add_output_options(app, o, t);
  app.footer(kFooter);
  std::vector<std::string> args;
  for (int i = argc - 1; i >= 2; --i) args.emplace_back(argv[i]);
  run_parser(app, o, [&] { app.parse(args); });
  if (o.action == Options::Action::print_text) return o;
  if (o.part_files.empty()) usage_error("merge: no part files given");
  finish_output_options(o, t);
  return o;
}

}  // namespace

Format format_from_name(const std::string& name) {
  const std::string ext = extension(name);
  if (ext == "txt") return Format::txt;
  if (ext == "phy" || ext == "phylip") return Format::phylip;
  if (ext == "csv") return Format::csv;
  if (ext == "npy") return Format::npy;
  return Format::tsv;
}

InputFormat input_format_from_name(const std::string& name) {
  const std::string ext = extension(name);
  if (ext == "csv") return InputFormat::csv;
  if (ext == "tsv") return InputFormat::tsv;
  return InputFormat::data;
}

namespace {
Options parse_arguments(int argc, const char* const* argv);
}

Options parse_options(int argc, const char* const* argv) {
  try {
    return parse_arguments(argc, argv);
  } catch (const Failure& f) {
    throw Failure(f.status(), one_line(f.what()));
  }
}

namespace {

Options parse_arguments(int argc, const char* const* argv) {
  if (argc >= 2 && std::string(argv[1]) == "merge") return parse_merge(argc, argv);

  Options o;
  CLI::App app{"Computes a resemblance matrix (one of 34 coefficients) between the objects of a table "
               "with missing values.",
               "tessora"};
  app.set_help_flag("-h,--help", "Print this help and exit");
  std::vector<std::string> inputs;
  std::string coefficient, objects, input_format, part;
  bool list = false, version = false;
  OutputTexts t;
  app.add_option("INPUT", inputs, "The table: a data file, or CSV/TSV with a header line; - for standard input")
      ->type_name("FILE");
  app.add_option("-c,--coefficient", coefficient, "Coefficient: 1-34, its name or its menu name (bray-curtis, 8, \"BRAYCUR DIS\")")
      ->type_name("N|NAME");
  app.add_flag("--list-coefficients", list, "List the coefficients and exit");
  app.add_option("--objects", objects,
                 "rows or columns: which of the table's dimensions are the objects (default: columns for a "
                 "data file, rows for CSV/TSV)")
      ->type_name("rows|columns");
  app.add_flag("--scale", o.scale, "Scale the distance by n/k, all variables over those known in both (1, 2, 13)");
  app.add_flag("--dissimilarity", o.dissimilarity, "Write D = 1 - S (4, 5, 7, 19, 21, 24-34)");
  add_output_options(app, o, t);
  app.add_option("--input-format", input_format, "data, csv or tsv (default: from the extension: .csv, .tsv, otherwise data)")
      ->type_name("data|csv|tsv");
  app.add_option("--missing", o.missing,
                 "The value of a missing cell, a number or NA (default: -1 in a data file; in CSV/TSV empty "
                 "cells, NA and NaN, which stay missing beside this value)")
      ->type_name("VALUE|NA");
  app.add_option("--part", part, "Compute the K-th of N parts of the lower triangle into a part file (see merge)")
      ->type_name("K/N");
  app.add_flag("--version", version, "Print the version and exit");
  app.footer(kFooter);

  std::vector<std::string> args;
  for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
  run_parser(app, o, [&] { app.parse(args); });
  if (o.action == Options::Action::print_text) return o;
  if (version) {
    o.action = Options::Action::print_text;
    o.text = "tessora " TESSORA_VERSION_STRING "\n";
    return o;
  }
  if (list) {
    o.action = Options::Action::list_coefficients;
    return o;
  }
  o.missing_given = app.count("--missing") > 0;

  if (inputs.empty()) usage_error("no INPUT table given (see tessora --help)");
  if (inputs.size() > 1) usage_error("one INPUT table only, got " + in_quotes(inputs[0]) + " and " + in_quotes(inputs[1]));
  o.input = inputs[0];
  if (o.input.empty()) usage_error("INPUT '' is no file name");
  if (coefficient.empty()) usage_error("no coefficient given: -c 1-34 or a name (see --list-coefficients)");
  try {
    o.coefficient = tessora::coefficient_number(coefficient);
  } catch (const tessora::Error& e) {
    usage_error(e.what());
  }
  const CoefficientInfo& info = coefficient_info(o.coefficient);
  if (o.scale && !info.scalable)
    usage_error("--scale is for 1, 2 and 13 only, not " + std::to_string(o.coefficient) + " " + std::string(info.slug));
  if (o.dissimilarity && !info.similarity)
    usage_error("--dissimilarity is for the similarities 4, 5, 7, 19, 21 and 24-34 only, not " +
                std::to_string(o.coefficient) + " " + std::string(info.slug));

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
  } else if (objects == "rows") {
    o.objects = Objects::rows;
  } else if (objects == "columns") {
    o.objects = Objects::columns;
  } else {
    usage_error("--objects " + in_quotes(objects) + " is neither rows nor columns");
  }
  if (o.missing_given && o.missing != "NA") {
    float v = 0;
    const char* first = o.missing.data();
    if (!o.missing.empty() && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, o.missing.data() + o.missing.size(), v);
    if (o.missing.empty() || ec != std::errc() || end != o.missing.data() + o.missing.size())
      usage_error("--missing " + in_quotes(o.missing) + " is neither a number nor NA");
  }
  if (!part.empty()) {
    const std::size_t slash = part.find('/');
    if (slash == std::string::npos) usage_error("--part " + in_quotes(part) + " is not of the form K/N");
    o.part = parse_count(part.substr(0, slash), "--part");
    o.parts = parse_count(part.substr(slash + 1), "--part");
    if (o.parts < 1 || o.part < 1 || o.part > o.parts)
      usage_error("--part " + part + " is out of range: K must be from 1 to N, and N 1 or more");
    if (o.parts > 1000000) usage_error("--part " + part + ": at most 1000000 parts");
  }
  finish_output_options(o, t);
  return o;
}

}  // namespace

}  // namespace tessora::cli
