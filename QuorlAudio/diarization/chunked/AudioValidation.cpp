#include "QuorlAudio/diarization/chunked/AudioValidation.hpp"

#include "QuorlAudio/diarization/chunked/SumOfSquares.hpp"

#include <algorithm>
#include <cmath>

namespace quorl {

namespace {

constexpr float assumedSampleRate = 16000;
constexpr float minimumDurationSeconds = 1.0f;
constexpr float minimumRMS = 0.01f;
constexpr float minimumEmbeddingNorm = 0.1f;

} // namespace

AudioValidationResult AudioValidation::validateAudio(std::span<const float> samples) const {
    AudioValidationResult result{.durationSeconds = static_cast<float>(samples.size()) / assumedSampleRate};
    if (result.durationSeconds < minimumDurationSeconds) {
        result.issues.emplace_back("Audio too short (minimum 1 second)");
    }
    if (samples.empty()) {
        result.issues.emplace_back("No audio data");
    }
    if (calculateRMSEnergy(samples) < minimumRMS) {
        result.issues.emplace_back("Audio too quiet or silent");
        return result;
    }
    result.isValid = result.issues.empty();
    return result;
}

bool AudioValidation::validateEmbedding(std::span<const float> embedding) const {
    if (embedding.empty()) {
        return false;
    }
    if (!std::all_of(embedding.begin(), embedding.end(), [](float value) { return std::isfinite(value); })) {
        return false;
    }
    return std::sqrt(sumOfSquaresInOrder(embedding)) > minimumEmbeddingNorm;
}

float AudioValidation::calculateRMSEnergy(std::span<const float> samples) {
    if (samples.empty()) {
        return 0;
    }
    return std::sqrt(sumOfSquaresInOrder(samples) / static_cast<float>(samples.size()));
}

} // namespace quorl
