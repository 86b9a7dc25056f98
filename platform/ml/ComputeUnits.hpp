#pragma once

#include <string>

namespace platform::ml {

// The processor units a model may run on. The raw codes are fixed; a value outside the four cases can reach
// us from a configuration and is named "unknown".
enum class ComputeUnits : int { cpuOnly = 0, cpuAndGPU = 1, all = 2, cpuAndNeuralEngine = 3 };

// The raw code: 0, 1, 2, 3.
int rawValue(ComputeUnits computeUnits);

// The case name used in log lines: "cpuOnly", "cpuAndGPU", "all", "cpuAndNeuralEngine", else "unknown".
std::string description(ComputeUnits computeUnits);

} // namespace platform::ml
