// The coefficient table: one row per coefficient, and the only place that
// says what a coefficient is. The pair framework, the fast kernel's recipes
// and dispatch, the dialogue's questions and the library's names all read
// these rows. Kept in a header so that the kernel can derive its dispatch
// from the rows at compile time.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "engine/coefficients.hpp"
#include "engine/numeric.hpp"

namespace tessora::engine::table {

using num::absolute;
using num::add;
using num::larger;
using num::smaller;
using num::square;
using num::store;
using num::wide;

// A row's vector recipe: the general sums its formula reads, or its own.
constexpr Plan general(unsigned sums) { return {Recipe::general, sums}; }
constexpr Plan recipe(Recipe r) { return {r, 0}; }


using terms::general_sums;
using terms::pair_totals;
using terms::presence_absence;
using terms::sums_of_squares;

using enum tessora::Diagonal;
constexpr Statistics no_stats = Statistics::none;
constexpr Statistics max_range = Statistics::max_and_range;
constexpr Statistics totals = Statistics::totals;
constexpr Term no_pass = nullptr;
constexpr Guard no_guard = nullptr;
constexpr bool scaled = true, unscaled = false;
constexpr bool layout = true, lower = false;

// The cosine of the angle between the two profiles (9, 10, 11), in double.
inline double cosine(const WideSums& s) { return s.sprod / std::sqrt(s.sqi * s.sqj); }

// 28 and 29: a guarded sum that is 0, or a NaN, counts as 0.
inline bool zero_or_nan(double x) { return x == 0.0 || std::isnan(x); }

inline bool any_cell_sum_zero(const WideSums& s) {
  return zero_or_nan(s.smin + s.sonlyi) || zero_or_nan(s.smin + s.sonlyj) ||
         zero_or_nan(s.snone + s.sonlyi) || zero_or_nan(s.snone + s.sonlyj);
}

// 33 and 34: both products (unrounded) 0, a NaN counting as 0.
inline bool both_products_zero(const WideSums& s) {
  return zero_or_nan(s.smin * s.snone) && zero_or_nan(s.sonlyi * s.sonlyj);
}

// The constants of 11, single-precision reals.
constexpr double kDegrees = 57.29578f;
constexpr double kPi4 = 3.1416f;  // the four-decimal value, not the float nearest pi
constexpr double kHalfTurn = 180.0f;

// Columns: number, menu name, slug, statistics,
//          first pass, second pass, sums-of-squares pass,
//          final formula, guard, diagonal, scaling, layout question,
//          vector recipe (for general sums: the sums the formula reads).
// Each final formula is evaluated in double from the stored sums (widened)
// and rounded once where it is stored, unless it says otherwise.
inline constexpr std::array<Coefficient, kMenuSize> kMenu{{
    {1, "EUCLIDEAN", "euclidean", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(std::sqrt(s.ssq)); },
     no_guard, zero, scaled, layout,
     general(kSsq)},

    {2, "MANHATTAN", "manhattan", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad); },
     no_guard, zero, scaled, layout,
     general(kSad)},

    {3, "MEAN CH DIF", "mean-character-difference", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad / s.k); },
     no_guard, zero, unscaled, layout,
     general(kSad)},

    {4, "RUZICKA", "ruzicka", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.smin / s.smax); },
     no_guard, one, unscaled, layout,
     general(kSmin | kSmax)},

    {5, "SIM RATIO", "similarity-ratio", no_stats, general_sums, no_pass, sums_of_squares,
     [](const WideSums& s) { return store(s.sprod / ((s.sqi + s.sqj) - s.sprod)); },
     no_guard, one, unscaled, layout,
     general(kSprod | kSquares)},

    {6, "MARC-STEIN", "marczewski-steinhaus", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad / s.smax); },
     no_guard, zero, unscaled, layout,
     general(kSad | kSmax)},

    {7, "BRAYCUR SIM", "bray-curtis-similarity", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store((2.0 * s.smin) / (s.smin + s.smax)); },
     no_guard, one, unscaled, layout,
     general(kSmin | kSmax)},

    {8, "BRAYCUR DIS", "bray-curtis", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad / (s.smin + s.smax)); },
     no_guard, zero, unscaled, layout,
     general(kSad | kSmin | kSmax)},

    // The cosine is not clamped: beyond 1 the root is a NaN.
    {9, "CHORD DIS", "chord", no_stats, general_sums, no_pass, sums_of_squares,
     [](const WideSums& s) { return store(std::sqrt((1.0 - cosine(s)) * 2.0)); },
     no_guard, zero, unscaled, layout,
     general(kSprod | kSquares)},

    {10, "ANGULAR SEP", "angular-separation", no_stats, general_sums, no_pass, sums_of_squares,
     [](const WideSums& s) { return store(1.0 - cosine(s)); },
     no_guard, zero, unscaled, layout,
     general(kSprod | kSquares)},

    // Two stored steps: the angle in degrees, then degrees times 3.1416 / 180.
    {11, "GEODESIC", "geodesic", no_stats, general_sums, no_pass, sums_of_squares,
     [](const WideSums& s) {
       const float radians = num::arc_cosine(store(cosine(s)));
       const float degrees = store(wide(radians) * kDegrees);
       return store(wide(degrees) * kPi4 / kHalfTurn);
     },
     no_guard, zero, unscaled, layout,
     general(kSprod | kSquares)},

    {12, "KENDALL", "kendall", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(s.smin); },
     no_guard, own_sum, unscaled, layout,
     general(kSmin)},

    // Equals SAD up to rounding: the three sums are combined as written.
    {13, "FAITH", "faith", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store((s.sad + s.smax - s.smin) * 0.5); },
     no_guard, zero, scaled, layout,
     general(kSad | kSmin | kSmax)},

    // The sample variance of the differences; SSQ / (k - 1) is stored first.
    {14, "PEN SHAPE", "penrose-shape", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) {
       const float spread = store(s.ssq / (s.k - 1.0));
       return store(wide(spread) - wide(square(s.sdiff)) / (wide(square(s.k)) - s.k));
     },
     no_guard, zero, unscaled, lower,
     general(kSsq | kSdiff)},

    // The square of the mean difference.
    {15, "PEN SIZE", "penrose-size", no_stats, general_sums, no_pass, no_pass,
     [](const WideSums& s) { return store(wide(square(s.sdiff)) / wide(square(s.k))); },
     no_guard, zero, unscaled, lower,
     general(kSdiff)},

    // Each value is divided by the variable's range on its own.
    {16, "GOWER", "gower", max_range,
     [](PairSums& s, double a, double b, const VariableStats& v) {
       s.sad = add(s.sad, absolute(a / v.range - b / v.range));
     },
     no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad / s.k); },
     no_guard, zero, unscaled, layout,
     recipe(Recipe::gower)},

    {17, "HELLINGER", "hellinger", no_stats, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats&) {
       s.ssq = add(s.ssq, square(std::sqrt(a / s.si) - std::sqrt(b / s.sj)));
     },
     no_pass,
     [](const WideSums& s) { return store(std::sqrt(s.ssq)); },
     no_guard, zero, unscaled, layout,
     recipe(Recipe::hellinger)},

    // A variable with a + b = 0 adds nothing but still counts in k.
    {18, "CANBERRA", "canberra", no_stats,
     [](PairSums& s, double a, double b, const VariableStats&) {
       const double sum = store(absolute(a + b));
       if (sum > 0.0) s.sad = add(s.sad, absolute(a / sum - b / sum));
     },
     no_pass, no_pass,
     [](const WideSums& s) { return store(s.sad); },
     no_guard, zero, unscaled, layout,
     recipe(Recipe::canberra)},

    // h, the mean pair total, stays in double; the smaller ratio is stored
    // before it is added.
    {19, "KULCZYNSKI", "kulczynski", no_stats, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats&) {
       const double h = num::plus(s.si, s.sj) / 2.0;
       s.smin = add(s.smin, store(smaller(a / h, b / h)));
     },
     no_pass,
     [](const WideSums& s) { return store(s.smin); },
     no_guard, one, unscaled, layout,
     recipe(Recipe::kulczynski)},

    // Tv multiplies each denominator inside the square.
    {20, "CHI SQ", "chi-square", totals, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats& v) {
       s.ssq = add(s.ssq, square(a / num::times(v.total, s.si) - b / num::times(v.total, s.sj)));
     },
     no_pass,
     [](const WideSums& s) { return store(std::sqrt(s.ssq)); },
     no_guard, zero, unscaled, layout,
     recipe(Recipe::chi_square)},

    // The overlap of the two profiles; the smaller profile value is stored
    // before it is added.
    {21, "RENKONEN", "renkonen", no_stats, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats&) {
       s.smin = add(s.smin, store(smaller(a / s.si, b / s.sj)));
     },
     no_pass,
     [](const WideSums& s) { return store(s.smin); },
     no_guard, one, unscaled, layout,
     recipe(Recipe::renkonen)},

    // A variable with a + b = 0 adds nothing but still counts in k.
    {22, "COEF DIVG", "divergence", no_stats,
     [](PairSums& s, double a, double b, const VariableStats&) {
       const double sum = store(absolute(a + b));
       if (sum > 0.0) s.ssq = add(s.ssq, square(a / sum - b / sum));
     },
     no_pass, no_pass,
     [](const WideSums& s) { return store(std::sqrt(s.ssq / s.k)); },
     no_guard, zero, unscaled, layout,
     recipe(Recipe::divergence)},

    // Means over the pair's own common variables. The sums of squares are
    // formed but not used.
    {23, "COVARIANCE", "covariance", no_stats, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats&) { s.sprod = add(s.sprod, num::times(a, b)); },
     sums_of_squares,
     [](const WideSums& s) { return store((s.sprod - s.si * s.sj / s.k) / (s.k - 1.0)); },
     no_guard, own_variance, unscaled, layout,
     recipe(Recipe::covariance)},

    // P and Q are stored before the quotient; not clamped to [-1, 1].
    {24, "CORRELATION", "correlation", no_stats, pair_totals,
     [](PairSums& s, double a, double b, const VariableStats&) { s.sprod = add(s.sprod, num::times(a, b)); },
     sums_of_squares,
     [](const WideSums& s) {
       const float p = store(s.sprod - s.si * s.sj / s.k);
       const float q = store(s.sqi - wide(square(s.si)) / s.k);
       return store(wide(p) / std::sqrt((s.sqj - wide(square(s.sj)) / s.k) * wide(q)));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::correlation)},

    // 25 to 34: formulas over the presence/absence sums; smin is the amount
    // present in both.
    {25, "SIMPLE MATCH", "simple-matching", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((s.smin + s.snone) / (s.smin + s.sonlyi + s.sonlyj + s.snone));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {26, "ROGERS-TANIM", "rogers-tanimoto", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((s.smin + s.snone) / (s.smin + s.snone + 2.0 * s.sonlyi + 2.0 * s.sonlyj));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {27, "SOKAL-SNEATH", "sokal-sneath", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((2.0 * s.smin + 2.0 * s.snone) /
                    (s.sonlyi + s.sonlyj + 2.0 * s.smin + 2.0 * s.snone));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    // The root of the product of the four ratios, multiplied in this order.
    {28, "ANDERB 1", "anderberg-1", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store(std::sqrt((s.smin / (s.smin + s.sonlyi)) * (s.smin / (s.smin + s.sonlyj)) *
                              (s.snone / (s.snone + s.sonlyi)) * (s.snone / (s.snone + s.sonlyj))));
     },
     any_cell_sum_zero, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    // A quarter of the product of the same four ratios.
    {29, "ANDERB 2", "anderberg-2", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store(0.25 * (s.smin / (s.smin + s.sonlyi)) * (s.smin / (s.smin + s.sonlyj)) *
                    (s.snone / (s.snone + s.sonlyi)) * (s.snone / (s.snone + s.sonlyj)));
     },
     any_cell_sum_zero, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {30, "FAITH 2", "faith-2", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((s.smin + 0.5 * s.snone) / (s.smin + s.sonlyi + s.sonlyj + s.snone));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {31, "RUSSELL-RAO", "russell-rao", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) { return store(s.smin / (s.smin + s.sonlyi + s.sonlyj + s.snone)); },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {32, "BARONI", "baroni-urbani-buser", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((std::sqrt(s.smin * s.snone) + s.smin) /
                    (std::sqrt(s.smin * s.snone) + s.smin + s.sonlyi + s.sonlyj));
     },
     no_guard, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {33, "YULE 1", "yule-1", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((std::sqrt(s.smin * s.snone) - std::sqrt(s.sonlyi * s.sonlyj)) /
                    (std::sqrt(s.smin * s.snone) + std::sqrt(s.sonlyi * s.sonlyj)));
     },
     both_products_zero, one, unscaled, layout,
     recipe(Recipe::presence_absence)},

    {34, "YULE 2", "yule-2", max_range, presence_absence, no_pass, no_pass,
     [](const WideSums& s) {
       return store((s.smin * s.snone - s.sonlyi * s.sonlyj) /
                    (s.smin * s.snone + s.sonlyi * s.sonlyj));
     },
     both_products_zero, one, unscaled, layout,
     recipe(Recipe::presence_absence)},
}};

// Numbers below 1 run the general sums and the formula of 1, never scaled.
inline constexpr Coefficient kBelowMenu{
    0, "", "", no_stats, general_sums, no_pass, no_pass,
    [](const WideSums& s) { return store(std::sqrt(s.ssq)); },
    no_guard, zero, unscaled, layout, general(kSsq)};

// Numbers above 34 take Mv and Rv and the presence/absence sums like 25 to
// 34, but the formula of 1 over an SSQ that nothing adds to: 0 for every pair.
inline constexpr Coefficient kAboveMenu{
    35, "", "", max_range, presence_absence, no_pass, no_pass,
    [](const WideSums& s) { return store(std::sqrt(s.ssq)); },
    no_guard, one, unscaled, layout, recipe(Recipe::constant)};

static_assert([] {
  for (std::size_t i = 0; i < kMenu.size(); ++i)
    if (kMenu[i].number != static_cast<std::int32_t>(i + 1)) return false;
  return true;
}());


// Every general-sums recipe names at least one sum to read, every other
// recipe none, and no row of the menu is left without a recipe of its own.
static_assert([] {
  for (const Coefficient& c : kMenu) {
    if ((c.plan.recipe == Recipe::general) != (c.plan.sums != 0)) return false;
    if (c.plan.recipe == Recipe::constant || c.plan.recipe == Recipe::count) return false;
  }
  return true;
}());

// Every row in one order, for tables indexed by row: the menu's (index
// number - 1), then the row below the menu and the row above it.
inline constexpr std::size_t kRows = kMenuSize + 2;
constexpr const Coefficient& row_at(std::size_t index) {
  return index < kMenuSize ? kMenu[index] : index == kMenuSize ? kBelowMenu : kAboveMenu;
}
constexpr std::size_t row_index(std::int32_t number) {
  if (number < 1) return kMenuSize;
  if (number > static_cast<std::int32_t>(kMenuSize)) return kMenuSize + 1;
  return static_cast<std::size_t>(number - 1);
}

}  // namespace tessora::engine::table
