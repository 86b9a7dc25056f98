#include "AllocationCounter.hpp"

#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderV3.hpp"
#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"
#include "QuorlAudio/asr/batch/TdtModelInference.hpp"
#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::Kernel;
using platform::ml::MultiArray;

constexpr int windowFrames = 1000;
constexpr std::size_t encoderHiddenSize = 1024;
constexpr std::size_t projectionSize = 640;
constexpr int decoderLayers = 2;
constexpr int blankId = 8192;

// A decoder that costs next to nothing: a fixed projection, and the recurrent state left in the backings.
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

// A joint model that writes a fixed answer straight into the caller's backings (so the runtime copies
// nothing) and returns them.
class TrivialJoint : public Kernel {
public:
    explicit TrivialJoint(int token) : token_(token) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions& options) override {
        const auto& tokenId = options.outputBackings.at("token_id");
        const auto& tokenProb = options.outputBackings.at("token_prob");
        const auto& duration = options.outputBackings.at("duration");
        tokenId->at<std::int32_t>(0) = token_;
        tokenProb->at<float>(0) = 0.9f;
        duration->at<std::int32_t>(0) = 1;
        return {{"token_id", FeatureValue(tokenId)},
                {"token_prob", FeatureValue(tokenProb)},
                {"duration", FeatureValue(duration)}};
    }

private:
    int token_;
};

nlohmann::json feature(const std::string& name, const std::vector<std::size_t>& shape, DataType dataType) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", shape}};
}

nlohmann::json decoderManifest() {
    const std::vector<std::size_t> recurrent{decoderLayers, 1, projectionSize};
    return {{"kernel", "bench-tdt-decoder"},
            {"inputs",
             {feature("targets", {1, 1}, DataType::int32), feature("target_length", {1}, DataType::int32),
              feature("h_in", recurrent, DataType::float32), feature("c_in", recurrent, DataType::float32)}},
            {"outputs",
             {feature("decoder", {1, 1, projectionSize}, DataType::float32),
              feature("h_out", recurrent, DataType::float32), feature("c_out", recurrent, DataType::float32)}}};
}

nlohmann::json jointManifest(const std::string& kernel) {
    return {{"kernel", kernel},
            {"inputs",
             {feature("encoder_step", {1, encoderHiddenSize, 1}, DataType::float32),
              feature("decoder_step", {1, projectionSize, 1}, DataType::float32)}},
            {"outputs",
             {feature("token_id", {1, 1, 1}, DataType::int32), feature("token_prob", {1, 1, 1}, DataType::float32),
              feature("duration", {1, 1, 1}, DataType::int32)}}};
}

std::filesystem::path writeBundle(const std::filesystem::path& folder, const std::string& name,
                                  const nlohmann::json& manifest) {
    const auto bundle = folder / name;
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << manifest.dump();
    return bundle;
}

// The three models, loaded once from bundles in a scratch folder that is removed at exit.
struct BenchModels {
    BenchModels() : folder(std::filesystem::temp_directory_path() / ("tdt-bench-" + std::to_string(getpid()))) {
        platform::ml::registerKernel("bench-tdt-decoder",
                                     [](const auto&) { return std::make_unique<TrivialDecoder>(); });
        platform::ml::registerKernel("bench-tdt-joint-blank",
                                     [](const auto&) { return std::make_unique<TrivialJoint>(blankId); });
        platform::ml::registerKernel("bench-tdt-joint-token",
                                     [](const auto&) { return std::make_unique<TrivialJoint>(7); });
        decoder = platform::ml::Model::load(writeBundle(folder, "Decoder.mlmodelc", decoderManifest()));
        blankJoint = platform::ml::Model::load(
            writeBundle(folder, "JointBlank.mlmodelc", jointManifest("bench-tdt-joint-blank")));
        tokenJoint = platform::ml::Model::load(
            writeBundle(folder, "JointToken.mlmodelc", jointManifest("bench-tdt-joint-token")));
    }
    ~BenchModels() { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    std::shared_ptr<platform::ml::Model> decoder;
    std::shared_ptr<platform::ml::Model> blankJoint;
    std::shared_ptr<platform::ml::Model> tokenJoint;
};

const BenchModels& models() {
    static const BenchModels loaded;
    return loaded;
}

std::shared_ptr<MultiArray> encoderOutput(int frames = windowFrames) {
    return quorl::ANEMemoryUtils::createAlignedArray({1, encoderHiddenSize, static_cast<std::size_t>(frames)},
                                                     DataType::float32, true);
}

// Time and operator-new calls per encoder frame.
void reportPerFrame(benchmark::State& state, std::size_t allocations, std::int64_t framesPerIteration) {
    const auto frames = static_cast<double>(state.iterations() * framesPerIteration);
    state.SetItemsProcessed(state.iterations() * framesPerIteration);
    state.counters["time/frame"] =
        benchmark::Counter(static_cast<double>(framesPerIteration),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["allocs/frame"] = static_cast<double>(allocations) / frames;
}

// One window of 1000 frames: a blank at every frame (one joint prediction per frame, no decoder run), or a
// token at every frame (a joint prediction and a decoder run per frame).
void decodeWindow(benchmark::State& state, const platform::ml::Model& joint) {
    quorl::ASRConfig config;
    config.tdtConfig.maxTokensPerChunk = windowFrames;
    const auto encoder = encoderOutput();
    quorl::TdtDecoderState decoderState = quorl::TdtDecoderState::make(decoderLayers);
    std::size_t allocations = 0;
    for (auto _ : state) {
        decoderState.reset();
        const quorl::TdtDecoderV3 decoder(config);
        const std::size_t before = allocationCount();
        auto hypothesis = decoder.decodeWithTimings(encoder, windowFrames, windowFrames, *models().decoder, joint,
                                                    decoderState, 0, false, 0);
        allocations += allocationCount() - before;
        benchmark::DoNotOptimize(hypothesis);
    }
    reportPerFrame(state, allocations, windowFrames);
}

void BM_DecodeWindowOfBlanks(benchmark::State& state) { decodeWindow(state, *models().blankJoint); }
BENCHMARK(BM_DecodeWindowOfBlanks)->Unit(benchmark::kMicrosecond);

void BM_DecodeWindowWithATokenPerFrame(benchmark::State& state) { decodeWindow(state, *models().tokenJoint); }
BENCHMARK(BM_DecodeWindowWithATokenPerFrame)->Unit(benchmark::kMicrosecond);

// The decoder's joint step alone: frame copy, lent backings, prediction, output checks.
void BM_JointStep(benchmark::State& state) {
    const quorl::EncoderFrameView frames(encoderOutput(), windowFrames, encoderHiddenSize);
    quorl::TdtStepBuffers buffers(encoderHiddenSize);
    const quorl::TdtModelInference inference;
    std::size_t allocations = 0;
    int frame = 0;
    for (auto _ : state) {
        const std::size_t before = allocationCount();
        auto decision = inference.runJointPrepared(frames, frame, *models().blankJoint, buffers, false);
        allocations += allocationCount() - before;
        benchmark::DoNotOptimize(decision);
        frame = (frame + 1) % windowFrames;
    }
    reportPerFrame(state, allocations, 1);
}
BENCHMARK(BM_JointStep);

// The runtime's own cost of one joint prediction with backed outputs: the floor under every frame.
void BM_RuntimeJointPredict(benchmark::State& state) {
    quorl::TdtStepBuffers buffers(encoderHiddenSize);
    platform::ml::PredictionOptions options{.outputBackings = buffers.jointBackings};
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = allocationCount();
        auto output = models().blankJoint->predict(buffers.jointInput, options);
        allocations += allocationCount() - before;
        benchmark::DoNotOptimize(output);
    }
    reportPerFrame(state, allocations, 1);
}
BENCHMARK(BM_RuntimeJointPredict);

// Copying one 1024-value frame of an encoder output of `range(0)` frames into the padded "encoder_step"
// (destination stride 16). The source stride is the padded frame count, so longer outputs read sparser memory.
void BM_EncoderFrameCopy(benchmark::State& state) {
    const int windowFrames = static_cast<int>(state.range(0));
    const quorl::EncoderFrameView frames(encoderOutput(windowFrames), windowFrames, encoderHiddenSize);
    quorl::TdtStepBuffers buffers(encoderHiddenSize);
    int frame = 0;
    for (auto _ : state) {
        frames.copyFrame(frame, buffers.encoderDestPtr, buffers.encoderDestStride);
        benchmark::ClobberMemory();
        frame = (frame + 1) % windowFrames;
    }
}
BENCHMARK(BM_EncoderFrameCopy)->Arg(188)->Arg(windowFrames);

} // namespace
