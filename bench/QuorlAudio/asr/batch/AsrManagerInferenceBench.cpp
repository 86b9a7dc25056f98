#include "AllocationCounter.hpp"
#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t windowSamples = 240000;
constexpr std::size_t windowFrames = 188;
constexpr std::size_t encoderHiddenSize = 1024;
constexpr std::size_t decoderLayers = 2;
constexpr int blankId = 8192;

std::shared_ptr<MultiArray> lengthArray(int length) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = length;
    return array;
}

// A preprocessor that hands the same small mel array on, whatever it is given.
class TrivialPreprocessor : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"mel", FeatureValue(mel_)}, {"mel_length", FeatureValue(melLength_)}};
    }

private:
    std::shared_ptr<MultiArray> mel_ = std::make_shared<MultiArray>(MultiArray::Shape{1, 128, 16}, DataType::float32);
    std::shared_ptr<MultiArray> melLength_ = lengthArray(1500);
};

// An encoder that returns one prepared window of frames and declares `frames` of them valid.
class TrivialEncoder : public platform::ml::Kernel {
public:
    explicit TrivialEncoder(int frames) : length_(lengthArray(frames)) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"encoder", FeatureValue(encoder_)}, {"encoder_length", FeatureValue(length_)}};
    }

private:
    std::shared_ptr<MultiArray> encoder_ = quorl::ANEMemoryUtils::createAlignedArray(
        {1, encoderHiddenSize, windowFrames}, DataType::float32, true);
    std::shared_ptr<MultiArray> length_;
};

// A v3 model set of trivial kernels, written into the folder, whose encoder declares `frames` valid frames.
quorl::AsrModels trivialModels(const benchsupport::BundleFolder& folder, int frames) {
    using benchsupport::feature;
    using benchsupport::manifest;
    const std::string encoderKernel = platform::core::concatenated({"bench-asr-encoder-", std::to_string(frames)});
    platform::ml::registerKernel("bench-asr-preprocessor",
                                 [](const auto&) { return std::make_unique<TrivialPreprocessor>(); });
    platform::ml::registerKernel(encoderKernel,
                                 [frames](const auto&) { return std::make_unique<TrivialEncoder>(frames); });
    platform::ml::registerKernel("bench-asr-decoder",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialDecoder>(); });
    platform::ml::registerKernel("bench-asr-joint",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialJoint>(blankId); });
    const nlohmann::json mel{feature("mel", {1, 128, 16}), feature("mel_length", {1}, DataType::int32)};
    return quorl::AsrModels{
        .encoder = folder.load(platform::core::concatenated({encoderKernel, ".mlmodelc"}),
                               manifest(encoderKernel, mel,
                                        {feature("encoder", {1, encoderHiddenSize, windowFrames}),
                                         feature("encoder_length", {1}, DataType::int32)})),
        .preprocessor = folder.load("Preprocessor.mlmodelc",
                                    manifest("bench-asr-preprocessor",
                                             {feature("audio_signal", {1, windowSamples}),
                                              feature("audio_length", {1}, DataType::int32)},
                                             mel)),
        .decoder = folder.load("Decoder.mlmodelc", benchsupport::decoderManifest("bench-asr-decoder", decoderLayers)),
        .joint = folder.load("Joint.mlmodelc", benchsupport::jointManifest("bench-asr-joint", encoderHiddenSize)),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = {},
        .version = quorl::AsrModelVersion::v3,
    };
}

// Recognisers over trivial models, made once; the scratch folder is removed at exit.
struct BenchRecognisers {
    BenchRecognisers()
        : folder("asr-manager-bench"),
          fullWindow(quorl::AsrManager::create(quorl::ASRConfig(), trivialModels(folder, windowFrames))),
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
    quorl::TdtDecoderState decoderState = quorl::TdtDecoderState::make(static_cast<int>(decoderLayers));
    std::size_t allocations = 0;
    for (auto _ : state) {
        decoderState.reset();
        const std::size_t before = allocationCount();
        auto result = manager.executeMLInferenceWithTimings(window, static_cast<int>(windowSamples), std::nullopt,
                                                            decoderState, 0, false, 0);
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
