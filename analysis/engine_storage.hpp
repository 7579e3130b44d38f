// What a tessora::Matrix holds: the program's own resemblance matrix, so that
// the dialogue writes the library's result without a copy.
#pragma once

#include "analysis/matrices.hpp"
#include "tessora/engine.hpp"

namespace tessora {

struct Matrix::Storage {
  analysis::ResemblanceMatrix res;
};

}  // namespace tessora
