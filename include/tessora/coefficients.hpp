// The 34 coefficients: numbers, names, slugs and properties.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessora {

// What a coefficient's values are; follows from its diagonal.
enum class Kind : std::uint8_t {
  distance,     // diagonal 0: larger for less alike objects
  similarity,   // diagonal 1 (4, 5, 7, 19, 21, 24 the correlation, 25-34)
  covariance,   // 23: diagonal the object's own variance
  sum,          // 12: the sum of minima, diagonal the object's own sum
};

// The entry on the diagonal, res(i, i).
enum class Diagonal : std::uint8_t {
  zero,
  one,
  own_sum,       // the sum of the object's own known values (12)
  own_variance,  // the sample variance of the object's own known values (23)
};

// How a coefficient's values rank the objects, nearest first.
enum class Ranking : std::uint8_t {
  ascending,   // smaller is nearer: the distances, and every D = 1 - S
  descending,  // larger is nearer: the similarities, the covariance (23), the sum of minima (12)
};

struct CoefficientInfo {
  std::int32_t number;    // 1 to 34, the menu number
  std::string_view name;  // the menu name: "BRAYCUR DIS"
  std::string_view slug;  // lower case: "bray-curtis"
  Kind kind;
  Diagonal diagonal;
  bool similarity;        // diagonal 1: D = 1 - S is offered (4, 5, 7, 19, 21, 24-34)
  bool scalable;          // distances scaled by n / k on request (1, 2, 13)
  bool layout_asked;      // false for 14 and 15, whose file is always a lower semimatrix
  Ranking ranking;        // nearest first: ascending for the distances, descending for the rest
};

// The 34 coefficients in menu order (number i at index i - 1).
std::span<const CoefficientInfo> coefficients();

// The row of a menu number. Throws Error outside 1 to 34.
const CoefficientInfo& coefficient_info(std::int32_t number);

// A coefficient given by its number: 1 to 34, or the Error of an unknown
// coefficient (the same message as coefficient_number(text)).
std::int32_t coefficient_number(std::int64_t number);

// The number of a coefficient given as its number ("8"), its slug
// ("bray-curtis") or its menu name ("BRAYCUR DIS"), without regard to case;
// blanks and underscores may stand for the slug's hyphens. Throws Error,
// naming the text, when it is none of the 34.
std::int32_t coefficient_number(std::string_view text);

// A number outside 1 to 34 is still a valid argument of a computation and
// behaves as it does in the dialogue: below 1 as the unscaled Euclidean
// distance (diagonal 0), above 34 as 0 for every pair with diagonal 1. These
// tell the properties of any number.
bool is_similarity(std::int32_t number);  // 4, 5, 7, 19, 21 and every number from 24 up
bool is_scalable(std::int32_t number);    // 1, 2, 13
bool layout_asked(std::int32_t number);   // all but 14 and 15, whose matrix is always written lower
Diagonal diagonal_of(std::int32_t number);
// The order in which the values of `number` rank objects, nearest first;
// with D = 1 - S (dissimilarity) always ascending.
Ranking ranking_of(std::int32_t number, bool dissimilarity = false);

// The numbers of the coefficients that `test` accepts, a run of three or
// more as a range: "4, 5, 7, 19, 21, 24-34" for the similarities.
std::string coefficient_numbers(bool (*test)(const CoefficientInfo&));

// "1 EUCLIDEAN (euclidean), 2 MANHATTAN (manhattan), ...": for messages.
std::string coefficient_list();

}  // namespace tessora
