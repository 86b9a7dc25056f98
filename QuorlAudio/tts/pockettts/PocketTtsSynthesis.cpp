#include "QuorlAudio/tts/pockettts/PocketTtsSynthesis.hpp"

#include "QuorlAudio/foundation/AudioWAV.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"

#include <chrono>
#include <random>
#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::core::concatenated;

constexpr double sampleRate = static_cast<double>(PocketTtsConstants::audioSampleRate);
constexpr float deEssAmount = -3.0F;

std::shared_ptr<PocketTtsModelStore> boundStore() {
    auto store = Context::modelStore();
    if (store == nullptr) {
        throw PocketTTSError::processingFailed("PocketTtsSynthesizer requires a model store context.");
    }
    return store;
}

std::uint64_t freshSeed() {
    std::random_device source;
    return (static_cast<std::uint64_t>(source()) << 32U) | source();
}

// The prefill model and its keys when the store has both; the step model in its place otherwise.
void choosePrefill(const PocketTtsModelStore& store, ConditioningModels& models) {
    auto prefillKeys = store.condPrefillStepLayerKeys();
    if (store.hasCondPrefill() && prefillKeys) {
        models.prefill = store.condPrefill();
        models.prefillKeys = std::move(prefillKeys);
        models.useFastPrefill = true;
    } else {
        models.prefill = models.step;
    }
}

// Read in the order that decides which missing piece is reported.
GeneratorSetup generatorSetup(const PocketTtsModelStore& store, const SynthesisRequest& request,
                              std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    GeneratorSetup setup{.constants = store.constants(), .voiceData = std::move(voiceData)};
    setup.chunks =
        chunkTextWithMetadata(request.text, setup.constants->tokenizer, request.maxTokensPerChunk, request.language);
    setup.conditioning.step = store.condStep();
    setup.stepModel = store.flowlmStep();
    setup.flowModel = store.flowDecoder();
    setup.mimiModel = store.mimiDecoder();
    setup.conditioning.stepKeys = store.condStepLayerKeys();
    choosePrefill(store, setup.conditioning);
    setup.flowlmLayerKeys = store.flowLMStepLayerKeys();
    setup.mimiKeys = store.mimiDecoderKeys();
    setup.mimiState = loadMimiInitialState(store.repoDir(), setup.mimiKeys);
    setup.bosEmb = createBosEmbedding(setup.constants->bosEmbedding);
    setup.rng = SeededRNG(request.seed.value_or(freshSeed()));
    setup.temperature = request.temperature;
    setup.language = request.language;
    return setup;
}

} // namespace

FrameStream synthesizeStreaming(const SynthesisRequest& request, const std::string& voice) {
    return synthesizeStreaming(request, boundStore()->voiceData(voice));
}

FrameStream synthesizeStreaming(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    const auto store = boundStore();
    synthesisLogger().info("PocketTTS streaming synthesis with custom voice: '" + request.text + "'");
    return makeStream(std::make_shared<StreamingGenerator>(generatorSetup(*store, request, std::move(voiceData))));
}

SynthesisResult synthesize(const SynthesisRequest& request, const std::string& voice) {
    return synthesize(request, boundStore()->voiceData(voice));
}

SynthesisResult synthesize(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    synthesisLogger().info("PocketTTS synthesizing with custom voice: '" + request.text + "'");
    const auto start = std::chrono::steady_clock::now();
    SynthesisResult result;
    for (auto& frame : synthesizeStreaming(request, std::move(voiceData))) {
        result.samples.insert(result.samples.end(), frame.samples.begin(), frame.samples.end());
        ++result.frameCount;
    }
    synthesisLogger().info(concatenated({"Generated ", std::to_string(result.frameCount), " frames in ",
                                         fixedDecimalText(platform::core::secondsSince(start), 2), "s"}));
    if (request.deEss) {
        AudioPostProcessor::applyTtsPostProcessing(result.samples, static_cast<float>(sampleRate), deEssAmount, false);
    }
    result.audio = AudioWAV::data(result.samples, sampleRate, true);
    synthesisLogger().info(concatenated(
        {"Audio duration: ", fixedDecimalText(static_cast<double>(result.samples.size()) / sampleRate, 2), "s"}));
    return result;
}

} // namespace quorl::PocketTtsSynthesizer
