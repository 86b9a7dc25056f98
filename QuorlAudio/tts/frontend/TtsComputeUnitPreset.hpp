#pragma once

#include "platform/core/RawValue.hpp"
#include "platform/ml/ComputeUnits.hpp"

#include <optional>
#include <span>
#include <string_view>

namespace quorl {

// Named placements of a synthesiser's model stages on the processor units. `defaultConfig` (raw value
// "default") leaves the placement to the synthesiser; `aneTailGpu` puts the earlier stages on the Neural
// Engine and the final ones on the GPU; the other three put every stage on one unit set.
enum class TtsComputeUnitPreset { defaultConfig, allAne, cpuAndGpu, cpuOnly, aneTailGpu };

// "default", "allAne", "cpuAndGpu", "cpuOnly", "aneTailGpu".
std::string_view rawValue(TtsComputeUnitPreset preset);

// The command-line form: "default", "all-ane", "cpu-and-gpu", "cpu-only", "ane-tail-gpu".
std::string_view cliValue(TtsComputeUnitPreset preset);

// The command-line form or one of its aliases ("ane", "neural-engine", "cpuandgpu", "gpu", "cpu", "cpuonly",
// "anetailgpu", "m5"), in any letter case. Nothing is trimmed or otherwise normalised.
std::optional<TtsComputeUnitPreset> presetFromCliValue(std::string_view text);

// The one unit set every stage runs on; none when the preset places stages one by one.
std::optional<platform::ml::ComputeUnits> uniformUnits(TtsComputeUnitPreset preset);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw values.
template <>
std::optional<quorl::TtsComputeUnitPreset> fromRawValue<quorl::TtsComputeUnitPreset>(std::string_view rawValue);

// The five cases in declaration order.
template <> std::span<const quorl::TtsComputeUnitPreset> allCases<quorl::TtsComputeUnitPreset>();

} // namespace platform::core
