#include "QuorlAudio/tts/pockettts/PocketTtsStreamingGenerator.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsEndOfSpeech.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/DetachedTask.hpp"
#include "platform/core/Task.hpp"

#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::core::concatenated;
using platform::core::Task;

std::string text(std::int64_t value) { return std::to_string(value); }

// The cache has room for 512 positions; a step past them would write outside its arrays.
bool isFull(const KVCacheState& cache, std::int64_t chunkIndex, std::int64_t step) {
    if (cachePosition(cache) < static_cast<double>(PocketTtsConstants::kvCacheMaxLen)) {
        return false;
    }
    synthesisLogger().warning(
        concatenated({"Stream chunk ", text(chunkIndex + 1), " filled the KV cache's ",
                      text(PocketTtsConstants::kvCacheMaxLen), " positions at step ", text(step)}));
    return true;
}

} // namespace

StreamingGenerator::StreamingGenerator(GeneratorSetup setup) : setup_(std::move(setup)) {}

void StreamingGenerator::generate(const FrameStream::Continuation& continuation) {
    try {
        for (std::size_t index = 0; index < setup_.chunks.size(); ++index) {
            if (!generateChunk(static_cast<std::int64_t>(index), continuation) || Task::isCancelled()) {
                break;
            }
        }
        continuation.finish();
    } catch (...) {
        continuation.fail(std::current_exception());
    }
}

bool StreamingGenerator::generateChunk(std::int64_t index, const FrameStream::Continuation& continuation) {
    const auto& chunk = setup_.chunks[static_cast<std::size_t>(index)];
    const auto chunkCount = static_cast<std::int64_t>(setup_.chunks.size());
    const auto normalized = normalizeText(chunk.text, chunk.isMidSentence, setup_.language);
    synthesisLogger().info(
        concatenated({"Stream chunk ", text(index + 1), "/", text(chunkCount), ": '", normalized.text, "'"}));
    auto cache = prefillChunk(normalized.text);
    const auto maxFrames = estimateMaxFrames(chunk.text);
    auto sequence = startSequence();
    EndOfSpeech endOfSpeech(normalized.framesAfterEos);
    for (std::int64_t step = 0; step < maxFrames; ++step) {
        if (Task::isCancelled()) {
            return false;
        }
        if (isFull(cache, index, step)) {
            return true;
        }
        const auto [transformerOut, eosLogit] =
            runFlowLMStep(sequence, setup_.bosEmb, cache, *setup_.road.stepModel, setup_.road.flowlmLayerKeys);
        if (endOfSpeech.observe(step, eosLogit)) {
            synthesisLogger().info(concatenated({"Stream chunk ", text(index + 1), " EOS at step ", text(step)}));
        }
        if (endOfSpeech.isPast(step)) {
            return true;
        }
        const auto latent = flowDecode(*transformerOut, setup_.temperature, *setup_.road.flowModel, setup_.rng);
        auto samples = runMimiDecoder(latent, setup_.mimiState, *setup_.road.mimiModel, setup_.road.mimiKeys);
        continuation.yield(AudioFrame{.samples = std::move(samples),
                                      .frameIndex = step,
                                      .chunkIndex = index,
                                      .chunkCount = chunkCount,
                                      .utteranceIndex = std::nullopt});
        sequence = createSequenceFromLatent(latent);
    }
    return true;
}

KVCacheState StreamingGenerator::prefillChunk(const std::string& normalizedText) const {
    const auto& constants = *setup_.constants;
    return prefillKVCache(*setup_.voiceData, embedText(normalizedText, constants), constants.bosBeforeVoice,
                          setup_.road.conditioning);
}

MultiArrayRef StreamingGenerator::startSequence() const {
    return setup_.road.flowlmLayerKeys.vCacheKeys ? createSequenceFromLatent(setup_.constants->bosEmbedding)
                                                  : createNaNSequence();
}

FrameStream makeStream(std::shared_ptr<StreamingGenerator> generator) {
    auto [stream, continuation] = FrameStream::makeStream();
    const platform::core::DetachedTask task(
        [generator = std::move(generator), continuation = continuation] { generator->generate(continuation); });
    continuation.onTermination([task] { task.cancel(); });
    return stream;
}

} // namespace quorl::PocketTtsSynthesizer
