// What a tessora::Matrix holds: the program's own resemblance matrix, so that
// the dialogue writes the library's result without a copy.
#pragma once

#include "engine/matrices.hpp"
#include "tessora/engine.hpp"

namespace tessora {

struct Matrix::Storage {
  engine::ResemblanceMatrix res;
};

}  // namespace tessora
