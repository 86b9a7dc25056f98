#pragma once

#include "platform/ml/ComputeUnits.hpp"

namespace quorl {

// How the voice-activity manager loads its model and reads its probabilities.
struct VadConfig {
    // A block whose speech probability is at least this counts as voice.
    float defaultThreshold = 0.85f;
    // Carried for callers; nothing reads it.
    bool debugMode = false;
    platform::ml::ComputeUnits computeUnits = platform::ml::ComputeUnits::cpuAndNeuralEngine;

    static VadConfig defaultConfig();

    bool operator==(const VadConfig&) const = default;
};

} // namespace quorl
