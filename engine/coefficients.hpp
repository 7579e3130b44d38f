// The coefficient table: one row per coefficient of the menu.
//
// A row says everything the pair framework needs of a coefficient: which
// per-variable statistics it uses, the terms it adds in the first pass, the
// second pass and the sums-of-squares pass, its final formula over the pair's
// sums, its guard, its diagonal and whether it is scaled. The dialogue's
// questions read the same rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "tessora/coefficients.hpp"

namespace tessora::engine {

// How the fast kernel accumulates a coefficient's sums. A final formula reads
// only some of the sums its passes form; the kernel forms only those (the
// others stay 0 and are never read), and it fuses passes whose terms do not
// depend on an earlier pass.
enum class Recipe : std::uint8_t {
  constant,          // no sum is read: every pair has the same value (above 34)
  general,           // a subset of the general sums and the sums of squares
  gower,             // 16: |a / Rv - b / Rv| into SAD
  canberra,          // 18: |a / s - b / s| into SAD when s = |a + b| > 0
  divergence,        // 22: (a / s - b / s)^2 into SSQ when s > 0
  hellinger,         // 17: pair totals, then (sqrt(a / Si) - sqrt(b / Sj))^2
  kulczynski,        // 19: pair totals, then min(a / h, b / h)
  chi_square,        // 20: pair totals, then (a / (Tv Si) - b / (Tv Sj))^2
  renkonen,          // 21: pair totals, then min(a / Si, b / Sj)
  covariance,        // 23: pair totals and SPROD in one pass
  correlation,       // 24: pair totals, SPROD, SQI and SQJ in one pass
  presence_absence,  // 25 to 34: SMIN, SONLYI, SONLYJ, SNONE
  count,             // k alone: the shared counts without a value
};

// The general sums a formula reads (Recipe::general).
enum GeneralSum : unsigned {
  kSsq = 1u << 0,
  kSad = 1u << 1,
  kSmin = 1u << 2,
  kSmax = 1u << 3,
  kSprod = 1u << 4,
  kSdiff = 1u << 5,
  kSquares = 1u << 6,  // SQI and SQJ
};

struct Plan {
  Recipe recipe;
  unsigned sums = 0;  // GeneralSum bits, for Recipe::general
};

// Per-variable statistics taken over all objects before the pair loop.
enum class Statistics : std::uint8_t {
  none,
  max_and_range,  // Mv and Rv, always computed together
  totals,         // Tv
};

// The diagonal kinds are the public ones (tessora/coefficients.hpp); a
// diagonal of 1 marks the similarities, which also get D = 1 - S.
using Diagonal = tessora::Diagonal;

// The running sums of one pair over the variables known in both, all reset
// to 0 for every pair. Coefficients 16 to 24 reuse ssq, sad, smin and sprod
// for sums of their own terms.
template <class Real>
struct Sums {
  Real k{};  // the known-in-both count
  // The general sums.
  Real ssq{}, sad{}, smin{}, smax{}, sprod{}, sdiff{};
  // The sums of squares.
  Real sqi{}, sqj{};
  // The pair totals.
  Real si{}, sj{};
  // The presence/absence sums; the amount present in both is smin.
  Real sonlyi{}, sonlyj{}, snone{};
};
using PairSums = Sums<float>;   // as stored
using WideSums = Sums<double>;  // the stored sums widened (exactly) for a final formula

inline WideSums widen(const PairSums& s) {
  return {s.k,   s.ssq, s.sad, s.smin,   s.smax,   s.sprod, s.sdiff,
          s.sqi, s.sqj, s.si,  s.sj,     s.sonlyi, s.sonlyj, s.snone};
}

// The statistics of one variable, as stored (0 where not computed).
struct VariableStats {
  float max = 0.0f;    // Mv
  float range = 0.0f;  // Rv
  float total = 0.0f;  // Tv
};

// One pass term: adds the contribution of one variable known in both objects,
// a = x(v, i) and b = x(v, j) widened from their stored floats.
using Term = void (*)(PairSums& s, double a, double b, const VariableStats& v);
// The final formula: the value stored for the pair, rounded to float.
using Formula = float (*)(const WideSums& s);
// A guard: when it holds, the stored value is replaced by 0.
using Guard = bool (*)(const WideSums& s);

struct Coefficient {
  std::int32_t number;    // 0 and 35 for the rows of the numbers below 1 and above 34
  std::string_view name;  // the menu name ("" outside the menu)
  std::string_view slug;  // the lower-case name other programs use ("bray-curtis")
  Statistics statistics;
  Term first;             // every row has a first pass
  Term second;            // nullptr: no second pass
  Term squares;           // nullptr: no sums-of-squares pass
  Formula final;
  Guard guard;            // nullptr: no guard
  Diagonal diagonal;
  bool scaled;            // the scaling question is asked and an answer of 1 applies
  bool layout_asked;      // false: always written as a lower semimatrix with diagonal
  Plan plan;              // the fast kernel's recipe
};

// The number of rows of the menu, 1 to kMenuSize: the one place it is said.
inline constexpr std::size_t kMenuSize = 34;

// The row that a coefficient number behaves as: its own for 1 to 34, the
// row "below 1" for numbers below 1 and "above 34" for numbers above 34.
const Coefficient& coefficient(std::int32_t number);

// The 34 rows of the menu, in menu order.
std::span<const Coefficient> menu_coefficients();

// The pass terms that several rows share.
namespace terms {
void general_sums(PairSums& s, double a, double b, const VariableStats& v);
void pair_totals(PairSums& s, double a, double b, const VariableStats& v);
void presence_absence(PairSums& s, double a, double b, const VariableStats& v);
void sums_of_squares(PairSums& s, double a, double b, const VariableStats& v);
}  // namespace terms

// The dialogue's questions depend on the coefficient number alone.
bool asks_scaling(std::int32_t coefficient);   // 1, 2, 13
bool asks_layout(std::int32_t coefficient);    // all but 14 and 15
bool asks_conversion(std::int32_t coefficient);  // diagonal 1: 4, 5, 7, 19, 21 and 24 up

}  // namespace tessora::engine
