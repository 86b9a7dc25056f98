#include "QuorlAudio/tts/kokoro/KokoroAneComputeUnits.hpp"

namespace quorl {
namespace {

using Units = platform::ml::ComputeUnits;

KokoroAneComputeUnits uniform(Units units) { return {units, units, units, units, units, units, units}; }

} // namespace

KokoroAneComputeUnits KokoroAneComputeUnits::defaultConfig() { return aneTailGpu(); }

KokoroAneComputeUnits KokoroAneComputeUnits::allAne() { return uniform(Units::cpuAndNeuralEngine); }

KokoroAneComputeUnits KokoroAneComputeUnits::cpuAndGpu() { return uniform(Units::cpuAndGPU); }

KokoroAneComputeUnits KokoroAneComputeUnits::cpuOnly() { return uniform(Units::cpuOnly); }

KokoroAneComputeUnits KokoroAneComputeUnits::aneTailGpu() {
    auto units = allAne();
    units.noise = Units::cpuAndGPU;
    units.tail = Units::cpuAndGPU;
    return units;
}

KokoroAneComputeUnits KokoroAneComputeUnits::fromPreset(TtsComputeUnitPreset preset) {
    switch (preset) {
    case TtsComputeUnitPreset::defaultConfig: return defaultConfig();
    case TtsComputeUnitPreset::allAne: return allAne();
    case TtsComputeUnitPreset::cpuAndGpu: return cpuAndGpu();
    case TtsComputeUnitPreset::cpuOnly: return cpuOnly();
    case TtsComputeUnitPreset::aneTailGpu: return aneTailGpu();
    }
    return defaultConfig();
}

Units KokoroAneComputeUnits::forStage(KokoroAneStage stage) const { return stageMember(*this, stage); }

} // namespace quorl
