// TESSORA: resemblance matrices for incomplete data.
//
//   #include <tessora/tessora.hpp>
//   float x[] = {...};  // 5 objects x 4 variables, row by row, NaN = missing
//   auto view = tessora::TableView::row_major(x, 5, 4, true, tessora::Missing::not_a_number());
//   tessora::Engine engine(view, {tessora::coefficient_number("bray-curtis")});
//   tessora::Matrix d = engine.compute();
#pragma once

#include "tessora/checks.hpp"
#include "tessora/coefficients.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"
#include "tessora/layout.hpp"
#include "tessora/table.hpp"
#include "tessora/version.hpp"
