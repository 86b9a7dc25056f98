#pragma once

#include "QuorlAudio/tts/frontend/TtsComputeUnitPreset.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneStage.hpp"
#include "platform/ml/ComputeUnits.hpp"

namespace quorl {

// Where each of the seven Kokoro stages runs.
struct KokoroAneComputeUnits {
    using Units = platform::ml::ComputeUnits;

    Units albert;
    Units postAlbert;
    Units alignment;
    Units prosody;
    Units noise;
    Units vocoder;
    Units tail;

    // Noise and tail on CPU and GPU, every other stage on CPU and Neural Engine; `aneTailGpu` is the same.
    static KokoroAneComputeUnits defaultConfig();
    static KokoroAneComputeUnits allAne();
    static KokoroAneComputeUnits cpuAndGpu();
    static KokoroAneComputeUnits cpuOnly();
    static KokoroAneComputeUnits aneTailGpu();

    // The static value named like the preset.
    static KokoroAneComputeUnits fromPreset(TtsComputeUnitPreset preset);

    Units forStage(KokoroAneStage stage) const;

    bool operator==(const KokoroAneComputeUnits&) const = default;
};

} // namespace quorl
