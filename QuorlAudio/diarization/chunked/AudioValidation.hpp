#pragma once

#include "QuorlAudio/diarization/chunked/AudioValidationResult.hpp"

#include <span>

namespace quorl {

// Checks that audio and speaker embeddings are usable before diarization.
struct AudioValidation {
    // Too short (under a second at 16 kHz), empty and too quiet (RMS under 0.01) are reported in this order;
    // any issue makes the audio invalid.
    AudioValidationResult validateAudio(std::span<const float> samples) const;
    // A usable embedding is non-empty, finite and has a Euclidean norm above 0.1.
    bool validateEmbedding(std::span<const float> embedding) const;

private:
    static float calculateRMSEnergy(std::span<const float> samples);
};

} // namespace quorl
