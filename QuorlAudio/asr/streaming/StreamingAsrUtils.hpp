#pragma once

#include "QuorlAudio/asr/streaming/Tokenizer.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Small operations on the state every streaming engine keeps: its sample buffer, its token ids and its chunk
// counter.
class StreamingAsrUtils {
public:
    using ChunkConsumer = std::function<void(std::span<const float> chunk)>;

    // Appends the buffer's samples at the resampler's target format; the stream's one resampler carries its
    // filter across buffer edges. A failed conversion is thrown and appends nothing.
    static void appendAudio(const platform::audio::PCMBuffer& buffer, ContinuousAudioConverter& resampler,
                            std::vector<float>& audioBuffer);

    static void resetSharedState(std::vector<float>& audioBuffer, std::vector<std::int64_t>& accumulatedTokenIds,
                                 int& processedChunks);

    // Hands every sample still buffered to the consumer in chunks of chunkSamples, the last one padded with
    // zeros, and removes each chunk once consumed; false when the buffer was empty. A consumer's error is
    // thrown and leaves the failing chunk (padded, when it is the last) at the front of the buffer. Throws
    // std::invalid_argument for a chunk of no samples.
    static bool processRemainingAudio(std::vector<float>& audioBuffer, std::size_t chunkSamples,
                                      const ChunkConsumer& processChunk);

    // Tokenizer::decode.
    static std::string decodeTokens(std::span<const std::int64_t> ids, const Tokenizer& tokenizer);
};

} // namespace quorl
