#pragma once

#include "platform/ml/ComputeUnits.hpp"

#include <optional>
#include <string>

namespace platform::ml {

// How a model is loaded. A new configuration allows every unit and keeps full-precision accumulation.
struct ModelConfiguration {
    ComputeUnits computeUnits = ComputeUnits::all;
    bool allowLowPrecisionAccumulationOnGPU = false;
    // The function of a multifunction bundle to load; none loads the bundle's main function.
    std::optional<std::string> functionName;
};

} // namespace platform::ml
