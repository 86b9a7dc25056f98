#include "AllocationCounter.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::Kernel;
using platform::ml::MultiArray;

constexpr std::size_t windowSamples = 240000;
constexpr std::size_t windowFrames = 188;
constexpr std::size_t encoderHiddenSize = 1024;
constexpr std::size_t projectionSize = 640;
constexpr std::size_t decoderLayers = 2;
constexpr int blankId = 8192;

std::shared_ptr<MultiArray> lengthArray(int length) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = length;
    return array;
}

// A preprocessor that hands the same small mel array on, whatever it is given.
class TrivialPreprocessor : public Kernel {
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
class TrivialEncoder : public Kernel {
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

// A decoder with a fixed projection that leaves the recurrent state in the backings.
class TrivialDecoder : public Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions& options) override {
        return {
            {"decoder", FeatureValue(projection_)},
            {"h_out", FeatureValue(options.outputBackings.at("h_out"))},
            {"c_out", FeatureValue(options.outputBackings.at("c_out"))},
        };
    }

private:
    std::shared_ptr<MultiArray> projection_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, 1, projectionSize}, DataType::float32);
};

// A joint model that answers blank straight into the caller's backings.
class BlankJoint : public Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions& options) override {
        const auto& tokenId = options.outputBackings.at("token_id");
        const auto& tokenProb = options.outputBackings.at("token_prob");
        const auto& duration = options.outputBackings.at("duration");
        tokenId->at<std::int32_t>(0) = blankId;
        tokenProb->at<float>(0) = 0.9f;
        duration->at<std::int32_t>(0) = 1;
        return {{"token_id", FeatureValue(tokenId)},
                {"token_prob", FeatureValue(tokenProb)},
                {"duration", FeatureValue(duration)}};
    }
};

nlohmann::json feature(const std::string& name, const std::vector<std::size_t>& shape,
                       DataType dataType = DataType::float32) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", shape}};
}

nlohmann::json manifest(const std::string& kernel, const nlohmann::json& inputs, const nlohmann::json& outputs) {
    return {{"kernel", kernel}, {"inputs", inputs}, {"outputs", outputs}};
}

std::shared_ptr<platform::ml::Model> loadBundle(const std::filesystem::path& folder, const std::string& name,
                                                const nlohmann::json& document) {
    const auto bundle = folder / name;
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << document.dump();
    return platform::ml::Model::load(bundle);
}

// A v3 model set of trivial kernels whose encoder declares `frames` valid frames.
quorl::AsrModels trivialModels(const std::filesystem::path& folder, int frames) {
    const std::string encoderKernel = platform::core::concatenated({"bench-asr-encoder-", std::to_string(frames)});
    platform::ml::registerKernel("bench-asr-preprocessor",
                                 [](const auto&) { return std::make_unique<TrivialPreprocessor>(); });
    platform::ml::registerKernel(encoderKernel,
                                 [frames](const auto&) { return std::make_unique<TrivialEncoder>(frames); });
    platform::ml::registerKernel("bench-asr-decoder", [](const auto&) { return std::make_unique<TrivialDecoder>(); });
    platform::ml::registerKernel("bench-asr-joint", [](const auto&) { return std::make_unique<BlankJoint>(); });
    const std::vector<std::size_t> recurrent{decoderLayers, 1, projectionSize};
    const nlohmann::json mel{feature("mel", {1, 128, 16}), feature("mel_length", {1}, DataType::int32)};
    return quorl::AsrModels{
        .encoder = loadBundle(folder, platform::core::concatenated({encoderKernel, ".mlmodelc"}),
                              manifest(encoderKernel, mel,
                                       {feature("encoder", {1, encoderHiddenSize, windowFrames}),
                                        feature("encoder_length", {1}, DataType::int32)})),
        .preprocessor = loadBundle(folder, "Preprocessor.mlmodelc",
                                   manifest("bench-asr-preprocessor",
                                            {feature("audio_signal", {1, windowSamples}),
                                             feature("audio_length", {1}, DataType::int32)},
                                            mel)),
        .decoder = loadBundle(folder, "Decoder.mlmodelc",
                              manifest("bench-asr-decoder",
                                       {feature("targets", {1, 1}, DataType::int32),
                                        feature("target_length", {1}, DataType::int32), feature("h_in", recurrent),
                                        feature("c_in", recurrent)},
                                       {feature("decoder", {1, 1, projectionSize}), feature("h_out", recurrent),
                                        feature("c_out", recurrent)})),
        .joint = loadBundle(folder, "Joint.mlmodelc",
                            manifest("bench-asr-joint",
                                     {feature("encoder_step", {1, encoderHiddenSize, 1}),
                                      feature("decoder_step", {1, projectionSize, 1})},
                                     {feature("token_id", {1, 1, 1}, DataType::int32),
                                      feature("token_prob", {1, 1, 1}),
                                      feature("duration", {1, 1, 1}, DataType::int32)})),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = {},
        .version = quorl::AsrModelVersion::v3,
    };
}

// Recognisers over trivial models, made once; the scratch folder is removed at exit.
struct BenchRecognisers {
    BenchRecognisers()
        : folder(std::filesystem::temp_directory_path() /
                 platform::core::concatenated({"asr-manager-bench-", std::to_string(getpid())})),
          fullWindow(quorl::AsrManager::create(quorl::ASRConfig(), trivialModels(folder, windowFrames))),
          noFrames(quorl::AsrManager::create(quorl::ASRConfig(), trivialModels(folder, 1))) {}
    ~BenchRecognisers() { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
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
