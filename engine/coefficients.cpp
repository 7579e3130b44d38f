#include "engine/coefficients.hpp"

#include <array>
#include <cmath>

#include "engine/coefficient_table.hpp"
#include "engine/numeric.hpp"

namespace tessora::engine {

using num::absolute;
using num::add;
using num::larger;
using num::smaller;
using num::square;
using num::store;
using num::wide;

// Every update below is written `sum + term`, the running sum first: the
// NaN that an update returns depends on that order (numeric.hpp).
namespace terms {

// Coefficients 1 to 15 (and numbers below 1) add all six, whatever they use.
void general_sums(PairSums& s, double a, double b, const VariableStats&) {
  s.ssq = add(s.ssq, square(a - b));
  s.sad = add(s.sad, absolute(a - b));
  s.smin = add(s.smin, smaller(a, b));
  s.smax = add(s.smax, larger(a, b));
  s.sprod = add(s.sprod, num::times(a, b));  // the product is added unrounded
  s.sdiff = add(s.sdiff, a - b);
}

void pair_totals(PairSums& s, double a, double b, const VariableStats&) {
  s.si = add(s.si, a);
  s.sj = add(s.sj, b);
}

// Amounts present in both, in i only, in j only, and absent from both (the
// shortfall from the variable maximum). For data of zeros and ones with every
// Mv = 1 these are the cell counts of the presence/absence table.
void presence_absence(PairSums& s, double a, double b, const VariableStats& v) {
  const double most = larger(a, b);
  s.smin = add(s.smin, smaller(a, b));
  s.sonlyi = add(s.sonlyi, most - b);
  s.sonlyj = add(s.sonlyj, most - a);
  s.snone = store(wide(add(s.snone, v.max)) - most);  // sum + Mv is stored before M is subtracted
}

void sums_of_squares(PairSums& s, double a, double b, const VariableStats&) {
  s.sqi = add(s.sqi, square(a));
  s.sqj = add(s.sqj, square(b));
}

}  // namespace terms


const Coefficient& coefficient(std::int32_t number) {
  if (number < 1) return table::kBelowMenu;
  if (number > static_cast<std::int32_t>(kMenuSize)) return table::kAboveMenu;
  return table::kMenu[static_cast<std::size_t>(number - 1)];
}

std::span<const Coefficient> menu_coefficients() { return table::kMenu; }

bool asks_scaling(std::int32_t number) { return coefficient(number).scaled; }
bool asks_layout(std::int32_t number) { return coefficient(number).layout_asked; }
bool asks_conversion(std::int32_t number) { return coefficient(number).diagonal == Diagonal::one; }

}  // namespace tessora::engine
