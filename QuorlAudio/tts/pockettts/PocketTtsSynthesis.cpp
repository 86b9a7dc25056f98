#include "QuorlAudio/tts/pockettts/PocketTtsSynthesis.hpp"

#include "QuorlAudio/foundation/AudioWAV.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSessionConstruction.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"

#include <chrono>
#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::core::concatenated;

constexpr double sampleRate = static_cast<double>(PocketTtsConstants::audioSampleRate);
constexpr float deEssAmount = -3.0F;

// Read in the order that decides which missing piece is reported.
GeneratorSetup generatorSetup(const PocketTtsModelStore& store, const SynthesisRequest& request,
                              std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    GeneratorSetup setup{.constants = store.constants(), .voiceData = std::move(voiceData)};
    setup.chunks =
        chunkTextWithMetadata(request.text, setup.constants->tokenizer, request.maxTokensPerChunk, request.language);
    setup.road = readCacheRoad(store);
    setup.mimiState = loadMimiInitialState(store.repoDir(), setup.road.mimiKeys);
    setup.bosEmb = createBosEmbedding(setup.constants->bosEmbedding);
    setup.rng = SeededRNG(request.seed.value_or(SeededRNG::freshSeed()));
    setup.temperature = request.temperature;
    setup.language = request.language;
    return setup;
}

// The stateful road runs only in sessions: the whole text as one input of its own session.
FrameStream spokenBySession(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    const auto session = makeStateSession(
        std::move(voiceData), {.temperature = request.temperature, .seed = request.seed, .language = request.language},
        request.maxTokensPerChunk);
    session->enqueue(request.text);
    session->finish();
    return session->frames();
}

} // namespace

FrameStream synthesizeStreaming(const SynthesisRequest& request, const std::string& voice) {
    return synthesizeStreaming(request, Context::requiredModelStore()->voiceData(voice));
}

FrameStream synthesizeStreaming(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    const auto store = Context::requiredModelStore();
    synthesisLogger().info("PocketTTS streaming synthesis with custom voice: '" + request.text + "'");
    if (store->placement() == PocketTtsModelPlacement::aneState) {
        return spokenBySession(request, std::move(voiceData));
    }
    return makeStream(std::make_shared<StreamingGenerator>(generatorSetup(*store, request, std::move(voiceData))));
}

SynthesisResult synthesize(const SynthesisRequest& request, const std::string& voice) {
    return synthesize(request, Context::requiredModelStore()->voiceData(voice));
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
