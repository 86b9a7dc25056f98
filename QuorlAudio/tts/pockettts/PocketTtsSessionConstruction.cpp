#include "QuorlAudio/tts/pockettts/PocketTtsSessionConstruction.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsCacheRoad.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "platform/ml/StatefulModels.hpp"

#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

// The codec's first state, the start latent, the noise and the options: what both roads set up alike.
void setUpGeneration(PocketTtsSessionSetup& setup, const PocketTtsModelStore& store, const SessionOptions& options) {
    setup.mimiState = loadMimiInitialState(store.repoDir(), setup.mimiKeys);
    setup.bosEmb = createBosEmbedding(setup.constants->bosEmbedding);
    setup.rng = SeededRNG(options.seed ? *options.seed : SeededRNG::freshSeed());
    setup.temperature = options.temperature;
    setup.language = options.language;
}

PocketTtsSessionCachePath voicePrefilled(PocketTtsCacheRoad road, const PocketTtsVoiceData& voiceData,
                                         const PocketTtsConstantsBundle& constants) {
    auto voiceCache = prefillVoice(voiceData, constants.bosBeforeVoice, road.conditioning);
    synthesisLogger().info("Session voice prefill at position " +
                           std::to_string(static_cast<std::int64_t>(cachePosition(voiceCache))));
    return {.conditioning = std::move(road.conditioning),
            .stepModel = std::move(road.stepModel),
            .flowModel = std::move(road.flowModel),
            .flowlmLayerKeys = std::move(road.flowlmLayerKeys),
            .voiceKVSnapshot = std::move(voiceCache)};
}

} // namespace

std::shared_ptr<PocketTtsSession> makeSession(std::shared_ptr<const PocketTtsVoiceData> voiceData,
                                              const SessionOptions& options) {
    const auto store = Context::requiredModelStore();
    if (store->placement() == PocketTtsModelPlacement::aneState) {
        return makeStateSession(std::move(voiceData), options, PocketTtsConstants::maxTokensPerChunk);
    }
    PocketTtsSessionSetup setup{.constants = store->constants()};
    auto road = readCacheRoad(*store);
    setup.mimiModel = road.mimiModel;
    setup.mimiKeys = road.mimiKeys;
    setUpGeneration(setup, *store, options);
    setup.maxTokensPerChunk = PocketTtsConstants::maxTokensPerChunk;
    setup.cachePath = voicePrefilled(std::move(road), *voiceData, *setup.constants);
    return PocketTtsSession::start(std::move(setup));
}

std::shared_ptr<PocketTtsSession> makeStateSession(std::shared_ptr<const PocketTtsVoiceData> voiceData,
                                                   const SessionOptions& options, std::int64_t maxTokensPerChunk) {
    const auto store = Context::requiredModelStore();
    if (!platform::ml::statefulModelsSupported()) {
        throw PocketTTSError::processingFailed("PocketTTS `.aneState` placement requires macOS 15+/iOS 18+ (MLState "
                                               "and multifunction CoreML models).");
    }
    PocketTtsSessionSetup setup{.constants = store->constants()};
    setup.statePath = PocketTtsSessionStatePath{.stateModels = store->stateModels(), .voiceData = std::move(voiceData)};
    setup.mimiModel = store->mimiDecoder();
    setup.mimiKeys = store->mimiDecoderKeys();
    setUpGeneration(setup, *store, options);
    setup.maxTokensPerChunk = maxTokensPerChunk;
    return PocketTtsSession::start(std::move(setup));
}

} // namespace quorl::PocketTtsSynthesizer
