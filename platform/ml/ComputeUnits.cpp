#include "platform/ml/ComputeUnits.hpp"

namespace platform::ml {

int rawValue(ComputeUnits computeUnits) { return static_cast<int>(computeUnits); }

std::string description(ComputeUnits computeUnits) {
    switch (computeUnits) {
    case ComputeUnits::cpuOnly: return "cpuOnly";
    case ComputeUnits::cpuAndGPU: return "cpuAndGPU";
    case ComputeUnits::all: return "all";
    case ComputeUnits::cpuAndNeuralEngine: return "cpuAndNeuralEngine";
    }
    return "unknown";
}

} // namespace platform::ml
