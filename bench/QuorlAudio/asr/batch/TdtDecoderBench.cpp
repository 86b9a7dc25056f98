#include "AllocationCounter.hpp"
#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderV3.hpp"
#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"
#include "QuorlAudio/asr/batch/TdtModelInference.hpp"
#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr int windowFrames = 1000;
constexpr std::size_t encoderHiddenSize = 1024;
constexpr int decoderLayers = 2;
constexpr int blankId = 8192;

// The three models, loaded once from bundles in a scratch folder that is removed at exit.
struct BenchModels {
    BenchModels() : folder("tdt-bench") {
        platform::ml::registerKernel("bench-tdt-decoder",
                                     [](const auto&) { return std::make_unique<benchsupport::TrivialDecoder>(); });
        platform::ml::registerKernel("bench-tdt-joint-blank",
                                     [](const auto&) { return std::make_unique<benchsupport::TrivialJoint>(blankId); });
        platform::ml::registerKernel("bench-tdt-joint-token",
                                     [](const auto&) { return std::make_unique<benchsupport::TrivialJoint>(7); });
        decoder = folder.load("Decoder.mlmodelc", benchsupport::decoderManifest("bench-tdt-decoder", decoderLayers));
        blankJoint =
            folder.load("JointBlank.mlmodelc", benchsupport::jointManifest("bench-tdt-joint-blank", encoderHiddenSize));
        tokenJoint =
            folder.load("JointToken.mlmodelc", benchsupport::jointManifest("bench-tdt-joint-token", encoderHiddenSize));
    }

    benchsupport::BundleFolder folder;
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
        auto hypothesis = decoder.decodeWithTimings({
            .encoderOutput = encoder,
            .encoderSequenceLength = windowFrames,
            .actualAudioFrames = windowFrames,
            .decoderModel = *models().decoder,
            .jointModel = joint,
            .context = {.decoderState = decoderState,
                        .contextFrameAdjustment = 0,
                        .isLastChunk = false,
                        .globalFrameOffset = 0},
        });
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

// The same prediction into a result reused from call to call, as the decoder's joint steps make it.
void BM_RuntimeJointPredictInto(benchmark::State& state) {
    quorl::TdtStepBuffers buffers(encoderHiddenSize);
    platform::ml::PredictionOptions options{.outputBackings = buffers.jointBackings};
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = allocationCount();
        models().blankJoint->predictInto(buffers.jointInput, options, buffers.jointOutputs);
        allocations += allocationCount() - before;
    }
    reportPerFrame(state, allocations, 1);
}
BENCHMARK(BM_RuntimeJointPredictInto);

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
