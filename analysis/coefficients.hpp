// The coefficient table: one row per coefficient of the menu.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessora::analysis {

// The dialogue's questions depend on the coefficient number alone.
bool asks_scaling(std::int32_t coefficient);   // 1, 2, 13
bool asks_layout(std::int32_t coefficient);    // all but 14 and 15
bool is_similarity(std::int32_t coefficient);  // 4, 5, 7, 19, 21 and 24 up: diagonal 1, conversion offered

}  // namespace tessora::analysis
