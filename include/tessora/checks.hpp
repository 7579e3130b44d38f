// The rules every front end shares, each in one place with one message. A
// front end (command line, Python, R) passes what its user gave to these
// checks and turns the Error they throw into its own kind of error; it adds
// only its language's type checks. The Engine applies the same checks to its
// own arguments.
#pragma once

#include <cstdint>
#include <string_view>

#include "tessora/engine.hpp"
#include "tessora/table.hpp"

namespace tessora {

// The most worker threads a computation may ask for.
inline constexpr std::int64_t kMaxThreads = 4096;

// The thread count for RunOptions: 0 (one per core) to kMaxThreads. Error
// naming the value otherwise.
unsigned thread_count(std::int64_t requested);

// A table a front end computes a matrix of: at least 2 objects (a single
// object has no pair) and at least 1 variable, besides what Engine checks
// of every view (sizes, strides, data).
void check_table(const TableView& table);

// Settings a front end may ask for: a coefficient of the menu (1 to 34),
// scaling only for the scalable coefficients, D = 1 - S only for the
// similarities. (The Engine takes any coefficient number, as the dialogue
// does, and applies the other two rules.)
void check_settings(const Settings& settings);

// The arguments of Engine::neighbors for a table of `objects` x `variables`:
// k from 1 to the candidates (objects - 1, or objects with include_self),
// min_shared from 0 to variables, rows within the objects. Error naming the
// value otherwise. For a front end that checks before it has an Engine (a
// graph of tasks, or an output it must allocate first).
void check_neighbors(std::int64_t objects, std::int64_t variables, std::int64_t k, const NeighborOptions& options);

// "objects": "rows" or "columns"; true for rows. Error otherwise.
bool objects_are_rows(std::string_view objects);

// A missing-value marker given as text: "NA" or "NaN" (NaNs mark the gaps)
// or a decimal number, rounded to the nearest float. Error otherwise.
Missing missing_from_text(std::string_view text);

}  // namespace tessora
