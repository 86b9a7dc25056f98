#include "bench/QuorlAudio/tts/pockettts/PocketTtsTrivialModels.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsSession.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateEngine.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using quorl::PocketTtsStateEngine;
using quorl::PocketTtsSynthesizer::FrameStream;

// A shipped voice of 125 positions, as the packs carry.
quorl::PocketTtsVoiceCacheSnapshot shippedVoice(std::int64_t layers) {
    quorl::PocketTtsVoiceCacheSnapshot voice{.layers = {}, .cacheSeqLen = 125};
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        voice.layers.push_back({.cache = std::vector<float>(125 * 2048, 0.25F), .offset = 125});
    }
    return voice;
}

// Converting a shipped voice into the half-precision snapshot a state session restores for every chunk.
void BM_PocketTtsFp16Snapshot(benchmark::State& state) {
    const auto layers = state.range(0);
    const auto voice = shippedVoice(layers);
    for (auto _ : state) {
        benchmark::DoNotOptimize(PocketTtsStateEngine::fp16Snapshot(voice, layers));
    }
}
BENCHMARK(BM_PocketTtsFp16Snapshot)->Arg(6)->Arg(24)->Unit(benchmark::kMillisecond);

// Restoring a voice snapshot into the model state: one block copy per dense buffer.
void BM_PocketTtsStateReset(benchmark::State& state) {
    const auto layers = state.range(0);
    const benchsupport::BundleFolder folder("pockettts-state-bench");
    PocketTtsStateEngine engine(pocketttsbench::trivialStateModels(folder, layers), layers);
    const auto snapshot = PocketTtsStateEngine::fp16Snapshot(shippedVoice(layers), layers);
    for (auto _ : state) {
        engine.reset(snapshot);
    }
}
BENCHMARK(BM_PocketTtsStateReset)->Arg(6)->Arg(24)->Unit(benchmark::kMillisecond);

// A six-layer session with an empty voice, on the cache road (0) or the stateful road (1).
quorl::PocketTtsSessionSetup sessionSetup(const benchsupport::BundleFolder& folder, bool stateful) {
    namespace synthesizer = quorl::PocketTtsSynthesizer;
    const auto models = pocketttsbench::trivialModels(folder, 6);
    auto constants = std::make_shared<quorl::PocketTtsConstantsBundle>(
        quorl::PocketTtsConstantsBundle{.bosEmbedding = std::vector<float>(32, 0.5F),
                                        .textEmbedTable = std::vector<float>(128 * 1024, 0.25F),
                                        .tokenizer = pocketttsfixtures::characterTokenizer(),
                                        .bosBeforeVoice = std::vector<float>(1024, 0.1F)});
    quorl::PocketTtsSessionSetup setup{.mimiModel = models.mimi, .mimiKeys = models.mimiKeys, .constants = constants};
    if (stateful) {
        setup.statePath =
            quorl::PocketTtsSessionStatePath{.stateModels = pocketttsbench::trivialStateModels(folder, 6),
                                             .voiceData = std::make_shared<const quorl::PocketTtsVoiceData>()};
    } else {
        const auto keys = pocketttsbench::keysOf(6);
        setup.cachePath = quorl::PocketTtsSessionCachePath{.conditioning = {.step = models.cache,
                                                                            .stepKeys = keys,
                                                                            .prefill = models.cache,
                                                                            .prefillKeys = keys,
                                                                            .useFastPrefill = true},
                                                           .stepModel = models.cache,
                                                           .flowModel = models.flow,
                                                           .flowlmLayerKeys = keys,
                                                           .voiceKVSnapshot = synthesizer::emptyKVCacheState(6, false)};
    }
    setup.mimiState = synthesizer::loadMimiInitialState(folder.path(), setup.mimiKeys);
    setup.bosEmb = synthesizer::createBosEmbedding(constants->bosEmbedding);
    setup.temperature = 0.7F;
    setup.maxTokensPerChunk = 400;
    return setup;
}

// A session's cost per frame around trivial models, read from its stream as a consumer would: the step (with
// its cache in and out, or the stateful call), the noise, the codec decoder and the frame's delivery. Each
// session speaks one chunk of 20 words, its budget of 275 frames; starting the next one is not timed, its
// conditioning (and on the stateful road its engine and voice snapshot) is. Timed by the clock, since the
// consumer mostly waits.
void BM_PocketTtsSessionFrame(benchmark::State& state) {
    const benchsupport::BundleFolder folder("pockettts-session-bench");
    const auto setup = sessionSetup(folder, state.range(0) == 1);
    std::string text = "ab";
    for (int word = 1; word < 20; ++word) {
        text += " ab";
    }
    std::shared_ptr<quorl::PocketTtsSession> session;
    std::optional<FrameStream> frames;
    std::int64_t delivered = 0;
    for (auto _ : state) {
        if (!frames) {
            state.PauseTiming();
            session = quorl::PocketTtsSession::start(setup);
            session->enqueue(text);
            session->finish();
            frames = session->frames();
            state.ResumeTiming();
        }
        if (frames->next()) {
            ++delivered;
        } else {
            frames.reset();
        }
    }
    if (session) {
        session->cancel();
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PocketTtsSessionFrame)->ArgName("stateful")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
