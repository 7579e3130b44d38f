// The rules every front end shares, and the messages that name them.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "tessora/checks.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/error.hpp"

namespace tessora {

namespace {

std::string named(std::int32_t number) {
  if (number < 1 || number > static_cast<std::int32_t>(coefficients().size())) return std::to_string(number);
  return std::to_string(number) + " " + std::string(coefficient_info(number).slug);
}

}  // namespace

unsigned thread_count(std::int64_t requested) {
  if (requested < 0 || requested > kMaxThreads)
    throw Error("threads must be from 0 (one per core) to " + std::to_string(kMaxThreads) + ", not " +
                std::to_string(requested));
  return static_cast<unsigned>(requested);
}

void check_table(const TableView& table) {
  if (table.objects < 2)
    throw Error("the table has " + std::to_string(table.objects) + (table.objects == 1 ? " object" : " objects") +
                ": at least 2 are needed");
  if (table.variables < 1) throw Error("the table has no variables");
}

namespace detail {

// The two rules the Engine applies to any coefficient number.
void check_options(const Settings& s) {
  if (s.scale && !is_scalable(s.coefficient))
    throw Error("scale (by n / k) is only for the coefficients " +
                coefficient_numbers([](const CoefficientInfo& c) { return c.scalable; }) + ", not " +
                named(s.coefficient));
  if (s.dissimilarity && !is_similarity(s.coefficient))
    throw Error("dissimilarity (D = 1 - S) is only for the similarities " +
                coefficient_numbers([](const CoefficientInfo& c) { return c.similarity; }) + ", not " +
                named(s.coefficient));
}

}  // namespace detail

void check_settings(const Settings& settings) {
  coefficient_number(static_cast<std::int64_t>(settings.coefficient));
  detail::check_options(settings);
}

bool objects_are_rows(std::string_view objects) {
  if (objects == "rows") return true;
  if (objects == "columns") return false;
  throw Error("objects must be 'rows' or 'columns', not '" + std::string(objects) + "'");
}

Missing missing_from_text(std::string_view text) {
  if (text == "NA" || text == "NaN" || text == "nan") return Missing::not_a_number();
  std::string_view t = text;
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  float value = 0;
  auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Below the smallest float it rounds to zero (or the smallest
    // subnormal); beyond the largest there is no float to round to.
    double wide = 0;
    result = std::from_chars(t.data(), t.data() + t.size(), wide);
    if (result.ec == std::errc() && std::abs(wide) > std::numeric_limits<float>::max())
      throw Error("missing '" + std::string(text) + "' is beyond the range of a float");
    value = static_cast<float>(wide);
  }
  if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || std::isnan(value))
    throw Error("missing '" + std::string(text) + "' is neither a number nor NA");
  return Missing::value(value);
}

}  // namespace tessora
