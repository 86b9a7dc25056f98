#include "AllocationCounter.hpp"
#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

#include "platform/core/Concatenated.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using benchsupport::windowSamples;

constexpr auto version = quorl::AsrModelVersion::v3;

// A v3 model set of trivial kernels whose encoder declares `frames` valid frames.
quorl::AsrModels trivialModels(const benchsupport::BundleFolder& folder, std::size_t frames) {
    const std::string name = platform::core::concatenated({"bench-asr-", std::to_string(frames)});
    return benchsupport::trivialModels(
        folder, {.version = version, .name = name, .validFrames = static_cast<int>(frames), .encoderDelay = {}});
}

// Recognisers over trivial models, made once; the scratch folder is removed at exit.
struct BenchRecognisers {
    BenchRecognisers()
        : folder("asr-manager-bench"),
          fullWindow(quorl::AsrManager::create(quorl::ASRConfig(), trivialModels(folder, benchsupport::windowFrames))),
          noFrames(quorl::AsrManager::create(quorl::ASRConfig(), trivialModels(folder, 1))) {}

    benchsupport::BundleFolder folder;
    std::shared_ptr<quorl::AsrManager> fullWindow;
    std::shared_ptr<quorl::AsrManager> noFrames;
};

BenchRecognisers& recognisers() {
    static BenchRecognisers made;
    return made;
}

// One 240000-sample window through executeMLInferenceWithTimings: pooled input, preprocessor, encoder and the
// decoder over the encoder's valid frames (all blank). With no frames to decode, what remains is the window's
// own overhead; allocations are counted per window.
void runWindows(benchmark::State& state, quorl::AsrManager& manager) {
    const std::vector<float> window(windowSamples, 0.01f);
    quorl::TdtDecoderState decoderState = quorl::TdtDecoderState::make(quorl::decoderLayers(version));
    std::size_t allocations = 0;
    for (auto _ : state) {
        decoderState.reset();
        const std::size_t before = allocationCount();
        auto result = manager.windowInference().executeMLInferenceWithTimings({
            .samples = window,
            .originalLength = static_cast<int>(windowSamples),
            .context = {.decoderState = decoderState,
                        .contextFrameAdjustment = 0,
                        .isLastChunk = false,
                        .globalFrameOffset = 0},
        });
        allocations += allocationCount() - before;
        benchmark::DoNotOptimize(result);
    }
    state.counters["allocs/window"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

void BM_WindowOverheadWithoutDecoding(benchmark::State& state) { runWindows(state, *recognisers().noFrames); }
BENCHMARK(BM_WindowOverheadWithoutDecoding)->Unit(benchmark::kMicrosecond);

void BM_WindowOf188BlankFrames(benchmark::State& state) { runWindows(state, *recognisers().fullWindow); }
BENCHMARK(BM_WindowOf188BlankFrames)->Unit(benchmark::kMicrosecond);

} // namespace
