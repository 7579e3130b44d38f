// Fuzz target: the command line's option parser.
//
// Input: the arguments, separated by NUL bytes (at most 64). Every command
// line parses or is refused with a Failure of status 2 and a one-line
// message; nothing else may escape.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/failure.hpp"
#include "cli/options.hpp"
#include "tessora/coefficients.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"tessora"};
  std::string current;
  for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty() && args.size() < 64) args.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    const tessora::cli::Options o = tessora::cli::parse_options(static_cast<int>(argv.size()), argv.data());
    if (o.action == tessora::cli::Options::Action::compute &&
        (o.input.empty() || o.coefficient < 1 || o.coefficient > static_cast<std::int32_t>(tessora::coefficients().size()) || (o.parts > 0 && (o.part < 1 || o.part > o.parts))))
      std::abort();
  } catch (const tessora::cli::Failure& f) {
    const std::string what = f.what();
    if (f.status() != tessora::cli::kExitUsage || what.empty() || what.find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
