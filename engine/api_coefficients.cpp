// The public face of the coefficient table: names, slugs, properties.
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string>

#include "engine/coefficients.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/error.hpp"

namespace tessora {

namespace {

Diagonal public_diagonal(engine::Diagonal d) {
  switch (d) {
    case engine::Diagonal::zero: return Diagonal::zero;
    case engine::Diagonal::one: return Diagonal::one;
    case engine::Diagonal::own_sum: return Diagonal::own_sum;
    case engine::Diagonal::own_variance: return Diagonal::own_variance;
  }
  return Diagonal::zero;
}

Kind kind_of(const engine::Coefficient& c) {
  switch (c.diagonal) {
    case engine::Diagonal::zero: return Kind::distance;
    case engine::Diagonal::one: return Kind::similarity;
    case engine::Diagonal::own_sum: return Kind::sum;
    case engine::Diagonal::own_variance: return Kind::covariance;
  }
  return Kind::distance;
}

const std::array<CoefficientInfo, 34>& table() {
  static const std::array<CoefficientInfo, 34> rows = [] {
    std::array<CoefficientInfo, 34> r{};
    const auto menu = engine::menu_coefficients();
    for (std::size_t i = 0; i < menu.size(); ++i) {
      const engine::Coefficient& c = menu[i];
      r[i] = {c.number,
              c.name,
              c.slug,
              kind_of(c),
              public_diagonal(c.diagonal),
              c.diagonal == engine::Diagonal::one,
              c.scaled,
              c.layout_asked};
    }
    return r;
  }();
  return rows;
}

// Lower case, with blanks and underscores as hyphens.
std::string folded(std::string_view text) {
  std::string s;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    s += (c == ' ' || c == '_') ? '-' : static_cast<char>(std::tolower(u));
  }
  return s;
}

}  // namespace

std::span<const CoefficientInfo> coefficients() { return table(); }

const CoefficientInfo& coefficient_info(std::int32_t number) {
  if (number < 1 || number > 34)
    throw Error("coefficient " + std::to_string(number) + " does not exist: the coefficients are 1 to 34");
  return table()[static_cast<std::size_t>(number - 1)];
}

std::int32_t coefficient_number(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  std::int32_t number = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), number);
  if (!t.empty() && ec == std::errc() && end == t.data() + t.size()) {
    if (number >= 1 && number <= 34) return number;
  } else {
    const std::string key = folded(t);
    for (const CoefficientInfo& c : table())
      if (key == c.slug || key == folded(c.name)) return c.number;
  }
  throw Error("unknown coefficient '" + std::string(text) + "': give a number from 1 to 34 or one of " +
              coefficient_list());
}

bool is_similarity(std::int32_t number) { return engine::asks_conversion(number); }
bool is_scalable(std::int32_t number) { return engine::asks_scaling(number); }
bool layout_asked(std::int32_t number) { return engine::asks_layout(number); }
Diagonal diagonal_of(std::int32_t number) { return public_diagonal(engine::coefficient(number).diagonal); }

std::string coefficient_list() {
  std::string s;
  for (const CoefficientInfo& c : table()) {
    if (!s.empty()) s += ", ";
    s += std::to_string(c.number) + " " + std::string(c.slug);
  }
  return s;
}

}  // namespace tessora
