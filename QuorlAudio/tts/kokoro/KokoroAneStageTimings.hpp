#pragma once

#include "QuorlAudio/tts/kokoro/KokoroAneStage.hpp"

namespace quorl {

// Milliseconds each stage's prediction took, on a monotonic clock.
struct KokoroAneStageTimings {
    double albert = 0;
    double postAlbert = 0;
    double alignment = 0;
    double prosody = 0;
    double noise = 0;
    double vocoder = 0;
    double tail = 0;

    double totalMs() const;
    double& forStage(KokoroAneStage stage);
    // Adds each stage's time of `other` to this one's.
    KokoroAneStageTimings& operator+=(const KokoroAneStageTimings& other);

    bool operator==(const KokoroAneStageTimings&) const = default;
};

} // namespace quorl
