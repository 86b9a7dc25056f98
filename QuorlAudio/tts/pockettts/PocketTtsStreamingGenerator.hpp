#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsCacheRoad.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsTextPreparation.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "QuorlAudio/tts/pockettts/SeededRNG.hpp"
#include "platform/core/AsyncStream.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorl::PocketTtsSynthesizer {

using FrameStream = platform::core::AsyncStream<AudioFrame>;

// Everything one stream's generation needs, taken from the store before it starts.
struct GeneratorSetup {
    std::shared_ptr<const PocketTtsConstantsBundle> constants{};
    std::shared_ptr<const PocketTtsVoiceData> voiceData{};
    std::vector<TextChunk> chunks{};
    PocketTtsCacheRoad road{};
    MimiState mimiState{};
    MultiArrayRef bosEmb{};
    SeededRNG rng{0};
    float temperature = 0;
    PocketTtsLanguage language{};
};

// Produces the frames of one text, chunk by chunk: a fresh cache per chunk holding the voice and the chunk's
// text, then one flow-LM step, flow decode and codec decode per frame until shortly after end of speech or
// the chunk's budget. The codec state and the noise run on across chunks. Stops, ending the stream normally,
// as soon as its task is cancelled.
class StreamingGenerator {
public:
    explicit StreamingGenerator(GeneratorSetup setup);

    // Feeds the continuation and finishes it, with the error of a failed step if one fails. Never throws.
    void generate(const FrameStream::Continuation& continuation);

private:
    // False when the task was cancelled.
    bool generateChunk(std::int64_t index, const FrameStream::Continuation& continuation);
    KVCacheState prefillChunk(const std::string& normalizedText) const;
    MultiArrayRef startSequence() const;

    GeneratorSetup setup_;
};

// Runs the generator on a task of its own and returns its frames. A consumer that cancels or drops the stream
// cancels that task.
FrameStream makeStream(std::shared_ptr<StreamingGenerator> generator);

} // namespace quorl::PocketTtsSynthesizer
