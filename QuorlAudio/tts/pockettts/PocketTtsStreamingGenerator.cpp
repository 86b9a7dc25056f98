#include "QuorlAudio/tts/pockettts/PocketTtsStreamingGenerator.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"

#include <thread>
#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::core::concatenated;
using platform::core::Task;

std::string text(std::int64_t value) { return std::to_string(value); }

// When a chunk is over: `framesAfterEos` + 2 frames after the first step whose logit passes the threshold,
// counting that step.
class EndOfSpeech {
public:
    explicit EndOfSpeech(std::int64_t framesAfterEos) : framesAfterEos_(framesAfterEos) {}

    // Whether the step's output is past the end; true once reported means the step is not decoded.
    bool isPast(std::int64_t step) const {
        return eosStep_ && step >= *eosStep_ + framesAfterEos_ + PocketTtsConstants::extraFramesAfterDetection;
    }

    // True the first time a logit passes the threshold.
    bool observe(std::int64_t step, float logit) {
        if (eosStep_ || !(logit > PocketTtsConstants::eosThreshold)) {
            return false;
        }
        eosStep_ = step;
        return true;
    }

private:
    std::int64_t framesAfterEos_;
    std::optional<std::int64_t> eosStep_;
};

std::vector<std::int64_t> tokenIds(const std::string& normalizedText, const SentencePieceTokenizer& tokenizer) {
    return normalizedText.empty() ? std::vector<std::int64_t>() : tokenizer.encode(normalizedText);
}

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
            runFlowLMStep(sequence, setup_.bosEmb, cache, *setup_.stepModel, setup_.flowlmLayerKeys);
        if (endOfSpeech.observe(step, eosLogit)) {
            synthesisLogger().info(concatenated({"Stream chunk ", text(index + 1), " EOS at step ", text(step)}));
        }
        if (endOfSpeech.isPast(step)) {
            return true;
        }
        const auto latent = flowDecode(*transformerOut, setup_.temperature, *setup_.flowModel, setup_.rng);
        auto samples = runMimiDecoder(latent, setup_.mimiState, *setup_.mimiModel, setup_.mimiKeys);
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
    const auto embeddings = embedTokens(tokenIds(normalizedText, constants.tokenizer), constants);
    return prefillKVCache(*setup_.voiceData, embeddings, constants.bosBeforeVoice, setup_.conditioning);
}

MultiArrayRef StreamingGenerator::startSequence() const {
    return setup_.flowlmLayerKeys.vCacheKeys ? createSequenceFromLatent(setup_.constants->bosEmbedding)
                                             : createNaNSequence();
}

FrameStream makeStream(std::shared_ptr<StreamingGenerator> generator) {
    auto [stream, continuation] = FrameStream::makeStream();
    auto cancellation = std::make_shared<platform::core::CancellationSource>();
    continuation.onTermination([cancellation] { cancellation->cancel(); });
    std::thread([generator = std::move(generator), continuation = continuation, token = cancellation->token()] {
        const Task::Scope scope(token);
        generator->generate(continuation);
    }).detach();
    return stream;
}

} // namespace quorl::PocketTtsSynthesizer
