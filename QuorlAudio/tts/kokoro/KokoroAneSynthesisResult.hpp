#pragma once

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneStageTimings.hpp"

#include <vector>

namespace quorl {

// The audio of one synthesis, as the tail model gave it, with what it took to make it.
struct KokoroAneSynthesisResult {
    std::vector<float> samples;
    int sampleRate = KokoroAneConstants::sampleRate;
    // Token ids given to the chain, framing ids included.
    int encoderTokens = 0;
    // Frames after rounding the predicted durations.
    int acousticFrames = 0;
    KokoroAneStageTimings timings;

    double durationSeconds() const { return static_cast<double>(samples.size()) / sampleRate; }
};

} // namespace quorl
