#include "QuorlAudio/tts/frontend/TtsComputeUnitPreset.hpp"

#include "platform/text/CaseMapping.hpp"

#include <algorithm>
#include <array>
#include <string>

namespace quorl {
namespace {

using platform::ml::ComputeUnits;

struct PresetEntry {
    TtsComputeUnitPreset preset;
    std::string_view rawValue;
    std::string_view cliValue;
    std::array<std::string_view, 2> aliases;
    std::optional<ComputeUnits> uniformUnits;
};

// In declaration order.
constexpr std::array<PresetEntry, 5> entries{{
    {TtsComputeUnitPreset::defaultConfig, "default", "default", {}, std::nullopt},
    {TtsComputeUnitPreset::allAne, "allAne", "all-ane", {"ane", "neural-engine"}, ComputeUnits::cpuAndNeuralEngine},
    {TtsComputeUnitPreset::cpuAndGpu, "cpuAndGpu", "cpu-and-gpu", {"cpuandgpu", "gpu"}, ComputeUnits::cpuAndGPU},
    {TtsComputeUnitPreset::cpuOnly, "cpuOnly", "cpu-only", {"cpu", "cpuonly"}, ComputeUnits::cpuOnly},
    {TtsComputeUnitPreset::aneTailGpu, "aneTailGpu", "ane-tail-gpu", {"anetailgpu", "m5"}, std::nullopt},
}};

constexpr std::array<TtsComputeUnitPreset, entries.size()> cases = [] {
    std::array<TtsComputeUnitPreset, entries.size()> result{};
    std::transform(entries.begin(), entries.end(), result.begin(), [](const auto& row) { return row.preset; });
    return result;
}();

const PresetEntry& entry(TtsComputeUnitPreset preset) { return entries.at(static_cast<std::size_t>(preset)); }

bool accepts(const PresetEntry& row, std::string_view lowered) {
    return lowered == row.cliValue || std::any_of(row.aliases.begin(), row.aliases.end(), [&](std::string_view alias) {
               return !alias.empty() && alias == lowered;
           });
}

} // namespace

std::string_view rawValue(TtsComputeUnitPreset preset) { return entry(preset).rawValue; }

std::string_view cliValue(TtsComputeUnitPreset preset) { return entry(preset).cliValue; }

std::optional<TtsComputeUnitPreset> presetFromCliValue(std::string_view text) {
    const std::string lowered = platform::text::lowercased(text);
    for (const auto& row : entries) {
        if (accepts(row, lowered)) {
            return row.preset;
        }
    }
    return std::nullopt;
}

std::optional<ComputeUnits> uniformUnits(TtsComputeUnitPreset preset) { return entry(preset).uniformUnits; }

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::TtsComputeUnitPreset> fromRawValue<quorl::TtsComputeUnitPreset>(std::string_view rawValue) {
    for (const auto preset : quorl::cases) {
        if (quorl::rawValue(preset) == rawValue) {
            return preset;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::TtsComputeUnitPreset> allCases<quorl::TtsComputeUnitPreset>() {
    return quorl::cases;
}

} // namespace platform::core
