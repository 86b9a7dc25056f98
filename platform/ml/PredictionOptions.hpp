#pragma once

#include "platform/ml/MultiArray.hpp"

#include <map>
#include <memory>
#include <string>

namespace platform::ml {

// Options of one prediction. An output named in `outputBackings` is written into the given array, which
// the prediction's result then holds as that very object; the array must have the output's shape and type.
struct PredictionOptions {
    std::map<std::string, std::shared_ptr<MultiArray>> outputBackings;
};

} // namespace platform::ml
