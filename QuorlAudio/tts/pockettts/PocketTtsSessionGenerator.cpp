#include "QuorlAudio/tts/pockettts/PocketTtsSessionGenerator.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsEndOfSpeech.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <utility>

namespace quorl {
namespace {

using namespace PocketTtsSynthesizer;
using platform::core::concatenated;
using platform::core::Task;

const AppLogger& logger() {
    static const AppLogger instance("PocketTtsSession");
    return instance;
}

std::string text(std::int64_t value) { return std::to_string(value); }

std::vector<float> joined(const std::vector<std::vector<float>>& rows) {
    std::vector<float> flat;
    for (const auto& row : rows) {
        flat.insert(flat.end(), row.begin(), row.end());
    }
    return flat;
}

} // namespace

// One chunk's frames once its text is conditioned: a model step per frame giving the end-of-speech logit,
// the latent of that step, and the sequence the next step starts from.
class PocketTtsSessionGenerator::Steps {
public:
    virtual ~Steps() = default;
    // The cache positions filled so far.
    virtual double position() const = 0;
    virtual float step() = 0;
    virtual std::vector<float> latent() = 0;
    virtual void advance(const std::vector<float>& latent) = 0;
    // How the chunk's messages tell the road: "" or " (state)".
    virtual const char* road() const = 0;
};

// The flow-LM step on the chunk's own copy of the cache, then the flow decoder, which draws the noise only
// for a step that is decoded.
class PocketTtsSessionGenerator::CacheSteps : public Steps {
public:
    CacheSteps(const PocketTtsSessionSetup& setup, KVCacheState cache, SeededRNG& rng)
        : setup_(setup), road_(*setup.cachePath), cache_(std::move(cache)), rng_(rng),
          sequence_(road_.flowlmLayerKeys.vCacheKeys ? createSequenceFromLatent(setup.constants->bosEmbedding)
                                                     : createNaNSequence()) {}

    double position() const override { return cachePosition(cache_); }

    float step() override {
        auto result = runFlowLMStep(sequence_, setup_.bosEmb, cache_, *road_.stepModel, road_.flowlmLayerKeys);
        transformerOut_ = std::move(result.transformerOut);
        return result.eosLogit;
    }

    std::vector<float> latent() override {
        return flowDecode(*transformerOut_, setup_.temperature, *road_.flowModel, rng_);
    }

    void advance(const std::vector<float>& latent) override { sequence_ = createSequenceFromLatent(latent); }

    const char* road() const override { return ""; }

private:
    const PocketTtsSessionSetup& setup_;
    const PocketTtsSessionCachePath& road_;
    KVCacheState cache_;
    SeededRNG& rng_;
    MultiArrayRef sequence_;
    MultiArrayRef transformerOut_;
};

// The stateful "generate" function, which takes the noise with the previous latent, so every step draws it.
class PocketTtsSessionGenerator::StateSteps : public Steps {
public:
    StateSteps(const PocketTtsSessionSetup& setup, PocketTtsStateEngine& engine, SeededRNG& rng)
        : setup_(setup), engine_(engine), rng_(rng), sequence_(setup.constants->bosEmbedding) {}

    double position() const override { return engine_.position(); }

    float step() override {
        auto frame = engine_.generateFrame(sequence_, flowNoise(setup_.temperature, rng_));
        latent_ = std::move(frame.latent);
        return frame.eosLogit;
    }

    std::vector<float> latent() override { return latent_; }

    void advance(const std::vector<float>& latent) override { sequence_ = latent; }

    const char* road() const override { return " (state)"; }

private:
    const PocketTtsSessionSetup& setup_;
    PocketTtsStateEngine& engine_;
    SeededRNG& rng_;
    std::vector<float> sequence_;
    std::vector<float> latent_;
};

PocketTtsSessionGenerator::PocketTtsSessionGenerator(PocketTtsSessionSetup setup) : setup_(std::move(setup)) {
    if (setup_.statePath) {
        stateVoice_.emplace(*setup_.statePath, setup_.constants, setup_.language, logger());
    }
}

void PocketTtsSessionGenerator::generateLoop(platform::core::AsyncStream<std::string>& texts,
                                             const FrameStream::Continuation& frames) {
    try {
        std::int64_t utteranceIndex = 0;
        while (const auto next = texts.next()) {
            if (Task::isCancelled()) {
                break;
            }
            const auto trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(*next);
            if (!trimmed.empty()) {
                speak(trimmed, utteranceIndex++, frames);
            }
        }
        frames.finish();
    } catch (const platform::core::CancellationError&) {
        frames.finish();
    } catch (...) {
        frames.fail(std::current_exception());
    }
}

void PocketTtsSessionGenerator::speak(const std::string& utterance, std::int64_t utteranceIndex,
                                      const FrameStream::Continuation& frames) {
    const auto chunks =
        chunkTextWithMetadata(utterance, setup_.constants->tokenizer, setup_.maxTokensPerChunk, setup_.language);
    const auto chunkCount = static_cast<std::int64_t>(chunks.size());
    logger().info(concatenated({"Session enqueued '", utterance, "', ", text(chunkCount), " chunk(s)"}));
    for (std::int64_t index = 0; index < chunkCount && !Task::isCancelled(); ++index) {
        generateChunk(chunks[static_cast<std::size_t>(index)],
                      {.chunkIndex = index, .chunkCount = chunkCount, .utteranceIndex = utteranceIndex}, frames);
    }
}

void PocketTtsSessionGenerator::generateChunk(const TextChunk& chunk, const ChunkPlace& place,
                                              const FrameStream::Continuation& frames) {
    if (stateVoice_ && !platform::ml::statefulModelsSupported()) {
        throw PocketTTSError::processingFailed("PocketTTS `.aneState` placement requires macOS 15+/iOS 18+");
    }
    if (!stateVoice_ && !setup_.cachePath) {
        throw PocketTTSError::processingFailed("PocketTTS session misconfigured: IO models missing");
    }
    const auto normalized = normalizeText(chunk.text, chunk.isMidSentence, setup_.language);
    auto steps = stateVoice_ ? conditionStateChunk(normalized.text, place.chunkIndex)
                             : conditionCacheChunk(normalized.text, place.chunkIndex);
    emitFrames(*steps, estimateMaxFrames(chunk.text), normalized.framesAfterEos, place, frames);
}

std::unique_ptr<PocketTtsSessionGenerator::Steps>
PocketTtsSessionGenerator::conditionCacheChunk(const std::string& modelText, std::int64_t chunkIndex) {
    logger().info(concatenated({"Session chunk ", text(chunkIndex), ": '", modelText, "'"}));
    auto cache = cloneKVCacheState(setup_.cachePath->voiceKVSnapshot);
    prefillText(cache, embedText(modelText, *setup_.constants), setup_.cachePath->conditioning);
    return std::make_unique<CacheSteps>(setup_, std::move(cache), setup_.rng);
}

std::unique_ptr<PocketTtsSessionGenerator::Steps>
PocketTtsSessionGenerator::conditionStateChunk(const std::string& modelText, std::int64_t chunkIndex) {
    auto& engine = stateVoice_->engine();
    const auto& voice = stateVoice_->voiceSnapshot();
    logger().info(concatenated({"Session chunk ", text(chunkIndex), " (state): '", modelText, "'"}));
    const auto rows = embedText(modelText, *setup_.constants);
    checkPrefillCapacity(voice.position, rows.size());
    engine.reset(voice);
    engine.prefill(joined(rows), static_cast<std::int64_t>(rows.size()));
    logger().info("State KV prefilled to position " + text(static_cast<std::int64_t>(engine.position())));
    return std::make_unique<StateSteps>(setup_, engine, setup_.rng);
}

// The chunk's frames until `framesAfterEos` + 2 after end of speech, its budget, or the cache's last position.
void PocketTtsSessionGenerator::emitFrames(Steps& steps, std::int64_t budget, std::int64_t framesAfterEos,
                                           const ChunkPlace& place, const FrameStream::Continuation& frames) {
    EndOfSpeech endOfSpeech(framesAfterEos);
    for (std::int64_t step = 0; step < budget; ++step) {
        if (Task::isCancelled()) {
            return;
        }
        if (steps.position() >= static_cast<double>(PocketTtsConstants::kvCacheMaxLen)) {
            logger().warning(
                concatenated({"Session chunk ", text(place.chunkIndex), steps.road(), " filled the KV cache's ",
                              text(PocketTtsConstants::kvCacheMaxLen), " positions at step ", text(step)}));
            return;
        }
        if (endOfSpeech.observe(step, steps.step())) {
            logger().info(
                concatenated({"Session chunk ", text(place.chunkIndex), steps.road(), " EOS at step ", text(step)}));
        }
        if (endOfSpeech.isPast(step)) {
            return;
        }
        const auto latent = steps.latent();
        frames.yield(AudioFrame{.samples = runMimiDecoder(latent, setup_.mimiState, *setup_.mimiModel, setup_.mimiKeys),
                                .frameIndex = step,
                                .chunkIndex = place.chunkIndex,
                                .chunkCount = place.chunkCount,
                                .utteranceIndex = place.utteranceIndex});
        steps.advance(latent);
    }
}

} // namespace quorl
