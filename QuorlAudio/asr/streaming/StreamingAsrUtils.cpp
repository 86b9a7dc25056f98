#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"

#include <stdexcept>

namespace quorl {

void StreamingAsrUtils::appendAudio(const platform::audio::PCMBuffer& buffer, ContinuousAudioConverter& resampler,
                                    std::vector<float>& audioBuffer) {
    const std::vector<float> samples = resampler.convert(buffer);
    audioBuffer.insert(audioBuffer.end(), samples.begin(), samples.end());
}

void StreamingAsrUtils::resetSharedState(std::vector<float>& audioBuffer,
                                         std::vector<std::int64_t>& accumulatedTokenIds, int& processedChunks) {
    audioBuffer.clear();
    accumulatedTokenIds.clear();
    processedChunks = 0;
}

bool StreamingAsrUtils::processRemainingAudio(std::vector<float>& audioBuffer, std::size_t chunkSamples,
                                              const ChunkConsumer& processChunk) {
    if (chunkSamples == 0) {
        throw std::invalid_argument("A chunk must hold at least one sample");
    }
    if (audioBuffer.empty()) {
        return false;
    }
    while (!audioBuffer.empty()) {
        if (audioBuffer.size() < chunkSamples) {
            audioBuffer.resize(chunkSamples, 0.0f);
        }
        processChunk(std::span(audioBuffer).first(chunkSamples));
        audioBuffer.erase(audioBuffer.begin(), audioBuffer.begin() + static_cast<std::ptrdiff_t>(chunkSamples));
    }
    return true;
}

std::string StreamingAsrUtils::decodeTokens(std::span<const std::int64_t> ids, const Tokenizer& tokenizer) {
    return tokenizer.decode(ids);
}

} // namespace quorl
