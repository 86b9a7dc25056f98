#include "bench/QuorlAudio/tts/pockettts/PocketTtsTrivialModels.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using pocketttsbench::filled;
using pocketttsbench::keysOf;
using pocketttsbench::trivialModels;

// The generation loop's own work per 80 ms frame around trivial models: the flow-LM step with its cache
// inputs and outputs, the noise and flow decoder, the codec decoder and the next sequence. "frames/s" is to
// be read against real time's 12.5.
void BM_PocketTtsFrame(benchmark::State& state) {
    const auto layers = state.range(0);
    const benchsupport::BundleFolder folder("pockettts-bench");
    const auto models = trivialModels(folder, layers);
    const auto keys = keysOf(layers);
    namespace synthesizer = quorl::PocketTtsSynthesizer;
    auto cache = synthesizer::emptyKVCacheState(layers, false);
    auto mimiState = synthesizer::loadMimiInitialState(folder.path(), models.mimiKeys);
    const auto bosEmb = synthesizer::createBosEmbedding(std::vector<float>(32, 0.5F));
    auto sequence = synthesizer::createNaNSequence();
    quorl::SeededRNG rng(42);
    for (auto _ : state) {
        const auto step = synthesizer::runFlowLMStep(sequence, bosEmb, cache, *models.cache, keys);
        const auto latent = synthesizer::flowDecode(*step.transformerOut, 0.7F, *models.flow, rng);
        benchmark::DoNotOptimize(synthesizer::runMimiDecoder(latent, mimiState, *models.mimi, models.mimiKeys));
        sequence = synthesizer::createSequenceFromLatent(latent);
        // Rewinds before the cache is full, as a new chunk would, without building a new cache.
        if (synthesizer::cachePosition(cache) >= 500) {
            for (auto& position : cache.positions) {
                position = filled({1}, 0.0F);
            }
        }
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PocketTtsFrame)->Arg(6)->Arg(24)->Unit(benchmark::kMicrosecond);

// A chunk's prefill with a cloned voice of 125 frames and 20 text tokens over the fast road: the fresh
// 6-layer cache, the conditioning arrays and two prefill calls.
void BM_PocketTtsClonedVoicePrefill(benchmark::State& state) {
    const benchsupport::BundleFolder folder("pockettts-bench");
    const auto models = trivialModels(folder, 6);
    const quorl::PocketTtsSynthesizer::ConditioningModels conditioning{.step = models.cache,
                                                                       .stepKeys = keysOf(6),
                                                                       .prefill = models.cache,
                                                                       .prefillKeys = keysOf(6),
                                                                       .useFastPrefill = true};
    const quorl::PocketTtsVoiceData voice{
        .audioPrompt = std::vector<float>(125 * 1024, 0.2F), .promptLength = 125, .cacheSnapshot = std::nullopt};
    const std::vector<std::vector<float>> text(20, std::vector<float>(1024, 0.3F));
    const std::optional<std::vector<float>> bosBeforeVoice(std::vector<float>(1024, 0.1F));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            quorl::PocketTtsSynthesizer::prefillKVCache(voice, text, bosBeforeVoice, conditioning));
    }
}
BENCHMARK(BM_PocketTtsClonedVoicePrefill)->Unit(benchmark::kMillisecond);

} // namespace
