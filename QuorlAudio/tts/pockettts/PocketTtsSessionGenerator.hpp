#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsSessionSetup.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateVoice.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStreamingGenerator.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsTextPreparation.hpp"
#include "platform/core/AsyncStream.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorl {

// The generation task of a session: reads the texts in order, speaks each non-empty one as an utterance,
// chunk by chunk, and ends the frames when the input ends, the task is cancelled or a chunk fails. Every chunk
// starts from the voice alone; the codec state and the noise run on. The only user of its state is the task.
class PocketTtsSessionGenerator {
public:
    explicit PocketTtsSessionGenerator(PocketTtsSessionSetup setup);

    // Never throws: a failure ends `frames` with its error, after the frames before it.
    void generateLoop(platform::core::AsyncStream<std::string>& texts,
                      const PocketTtsSynthesizer::FrameStream::Continuation& frames);

    // Where a chunk stands in the session.
    struct ChunkPlace {
        std::int64_t chunkIndex = 0;
        std::int64_t chunkCount = 0;
        std::int64_t utteranceIndex = 0;
    };

private:
    class Steps;
    class CacheSteps;
    class StateSteps;

    void speak(const std::string& utterance, std::int64_t utteranceIndex,
               const PocketTtsSynthesizer::FrameStream::Continuation& frames);
    void generateChunk(const PocketTtsSynthesizer::TextChunk& chunk, const ChunkPlace& place,
                       const PocketTtsSynthesizer::FrameStream::Continuation& frames);
    std::unique_ptr<Steps> conditionCacheChunk(const std::string& modelText, std::int64_t chunkIndex);
    std::unique_ptr<Steps> conditionStateChunk(const std::string& modelText, std::int64_t chunkIndex);
    void emitFrames(Steps& steps, std::int64_t budget, std::int64_t framesAfterEos, const ChunkPlace& place,
                    const PocketTtsSynthesizer::FrameStream::Continuation& frames);

    PocketTtsSessionSetup setup_;
    std::optional<PocketTtsStateVoice> stateVoice_;
};

} // namespace quorl
