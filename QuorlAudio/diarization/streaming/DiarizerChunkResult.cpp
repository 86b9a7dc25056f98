#include "QuorlAudio/diarization/streaming/DiarizerChunkResult.hpp"

#include <cstddef>

namespace quorl {

namespace {

float valueAt(const std::vector<float>& predictions, std::int64_t frameCount, std::int64_t speaker, std::int64_t frame,
              std::int64_t numSpeakers) {
    if (speaker < 0 || frame < 0 || frame >= frameCount || speaker >= numSpeakers) {
        return 0;
    }
    const auto index = static_cast<std::size_t>(frame * numSpeakers + speaker);
    return index < predictions.size() ? predictions[index] : 0.0f;
}

} // namespace

float DiarizerChunkResult::probability(std::int64_t speaker, std::int64_t frame, std::int64_t numSpeakers) const {
    return valueAt(finalizedPredictions, finalizedFrameCount, speaker, frame, numSpeakers);
}

float DiarizerChunkResult::tentativeProbability(std::int64_t speaker, std::int64_t frame,
                                                std::int64_t numSpeakers) const {
    return valueAt(tentativePredictions, tentativeFrameCount, speaker, frame, numSpeakers);
}

} // namespace quorl
