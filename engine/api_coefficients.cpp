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

Ranking ranking_of_diagonal(Diagonal d) { return d == Diagonal::zero ? Ranking::ascending : Ranking::descending; }

Kind kind_of(const engine::Coefficient& c) {
  switch (c.diagonal) {
    case engine::Diagonal::zero: return Kind::distance;
    case engine::Diagonal::one: return Kind::similarity;
    case engine::Diagonal::own_sum: return Kind::sum;
    case engine::Diagonal::own_variance: return Kind::covariance;
  }
  return Kind::distance;
}

const std::array<CoefficientInfo, engine::kMenuSize>& table() {
  static const std::array<CoefficientInfo, engine::kMenuSize> rows = [] {
    std::array<CoefficientInfo, engine::kMenuSize> r{};
    const auto menu = engine::menu_coefficients();
    for (std::size_t i = 0; i < menu.size(); ++i) {
      const engine::Coefficient& c = menu[i];
      r[i] = {c.number,
              c.name,
              c.slug,
              kind_of(c),
              c.diagonal,
              c.diagonal == engine::Diagonal::one,
              c.scaled,
              c.layout_asked,
              ranking_of_diagonal(c.diagonal)};
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

namespace {

[[noreturn]] void unknown_coefficient(std::string_view text) {
  throw Error("unknown coefficient '" + std::string(text) + "': give a number from 1 to " +
              std::to_string(table().size()) + ", a menu name or one of the slugs " + coefficient_list());
}

}  // namespace

const CoefficientInfo& coefficient_info(std::int32_t number) {
  if (number < 1 || number > static_cast<std::int32_t>(table().size())) unknown_coefficient(std::to_string(number));
  return table()[static_cast<std::size_t>(number - 1)];
}

std::int32_t coefficient_number(std::int64_t number) {
  if (number < 1 || number > static_cast<std::int64_t>(table().size())) unknown_coefficient(std::to_string(number));
  return static_cast<std::int32_t>(number);
}

std::int32_t coefficient_number(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  std::int64_t number = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), number);
  if (!t.empty() && ec == std::errc() && end == t.data() + t.size()) {
    if (number >= 1 && number <= static_cast<std::int64_t>(table().size())) return static_cast<std::int32_t>(number);
  } else {
    const std::string key = folded(t);
    for (const CoefficientInfo& c : table())
      if (key == c.slug || key == folded(c.name)) return c.number;
  }
  unknown_coefficient(text);
}

bool is_similarity(std::int32_t number) { return engine::asks_conversion(number); }
bool is_scalable(std::int32_t number) { return engine::asks_scaling(number); }
bool layout_asked(std::int32_t number) { return engine::asks_layout(number); }
Diagonal diagonal_of(std::int32_t number) { return engine::coefficient(number).diagonal; }

Ranking ranking_of(std::int32_t number, bool dissimilarity) {
  return dissimilarity ? Ranking::ascending : ranking_of_diagonal(diagonal_of(number));
}

std::string coefficient_list() {
  std::string s;
  for (const CoefficientInfo& c : table()) {
    if (!s.empty()) s += ", ";
    s += std::string(c.slug);
  }
  return s;
}

std::string coefficient_numbers(bool (*test)(const CoefficientInfo&)) {
  std::string s;
  const auto& rows = table();
  for (std::size_t i = 0; i < rows.size();) {
    if (!test(rows[i])) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < rows.size() && test(rows[end])) ++end;
    auto add = [&s](std::int32_t number) { s += (s.empty() ? "" : ", ") + std::to_string(number); };
    if (end - i >= 3) {
      add(rows[i].number);
      s += "-" + std::to_string(rows[end - 1].number);
    } else {
      for (std::size_t k = i; k < end; ++k) add(rows[k].number);
    }
    i = end;
  }
  return s;
}

}  // namespace tessora
