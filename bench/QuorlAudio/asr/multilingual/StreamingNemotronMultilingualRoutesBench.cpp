#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"
#include "bench/QuorlAudio/asr/multilingual/MultilingualBenchVariant.hpp"

#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/sys/Environment.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

// The two ways a chunk is decoded (window by window through the batched joint, or frame by frame) on a
// 14-frame chunk with one non-blank frame, and three buffered chunks with and without the look-ahead when
// the encoder and each decoding step take fixed times.
namespace {

using benchsupport::feature;
using multilingualbench::geometry;
using multilingualbench::recurrent;
using multilingualbench::speechLike;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Outputs = std::map<std::string, FeatureValue>;

constexpr std::size_t frames = 14;
constexpr std::size_t width = 640;
constexpr std::size_t window = 8;
constexpr float spokenFrame = 5;
const std::size_t vocabulary = static_cast<std::size_t>(std::max(geometry.vocabSize, geometry.blankIdx)) + 1;
const auto blank = static_cast<float>(geometry.blankIdx);

std::atomic<std::size_t> decoderPredictions = 0;
std::chrono::microseconds encoderTime{0};
std::chrono::microseconds stepTime{0};

std::shared_ptr<MultiArray> floats(const MultiArray::Shape& shape) {
    return std::make_shared<MultiArray>(shape, DataType::float32);
}

float first(const platform::ml::FeatureProvider& input, const std::string& name, std::size_t index = 0) {
    return static_cast<float>(input.featureValue(name)->multiArrayValue()->value(index));
}

// Projected frame t holds t in every channel; the caches go back as they came.
class ProjectingEncoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        std::this_thread::sleep_for(encoderTime);
        auto projected = floats({1, frames, width});
        for (std::size_t i = 0; i < projected->count(); ++i) {
            projected->data<float>()[i] = static_cast<float>(i / width);
        }
        return multilingualbench::withCachesEchoed(
            {{"encoded", FeatureValue(floats({1, static_cast<std::size_t>(geometry.encoderDim), frames}))},
             {"encoder_proj", FeatureValue(projected)}},
            input);
    }
};

// The prediction network alone: "decoder_out" carries the token it was fed.
class BareDecoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        ++decoderPredictions;
        auto out = floats({1, width, 1});
        std::fill_n(out->data<float>(), width, first(input, "token"));
        return {{"decoder_out", FeatureValue(out)},
                {"h_out", *input.featureValue("h_in")},
                {"c_out", *input.featureValue("c_in")}};
    }
};

// Token 0 at the spoken frame when the decoder has not emitted it yet, else the blank.
float decision(float frame, float fed) { return frame == spokenFrame && fed == blank ? 0 : blank; }

class BatchedJoint : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        auto logits = floats({1, window, 1, vocabulary});
        std::fill_n(logits->data<float>(), logits->count(), 0.0F);
        for (std::size_t row = 0; row < window; ++row) {
            const float token = decision(first(input, "encoder_proj", row * width), first(input, "decoder"));
            logits->data<float>()[row * vocabulary + static_cast<std::size_t>(token)] = 1;
        }
        return {{"logits", FeatureValue(logits)}};
    }
};

class ProjectedDecoderJoint : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        ++decoderPredictions;
        std::this_thread::sleep_for(stepTime);
        auto logits = floats({1, vocabulary});
        std::fill_n(logits->data<float>(), vocabulary, 0.0F);
        logits->data<float>()[static_cast<std::size_t>(decision(first(input, "encoder_proj"), first(input, "token")))] =
            1;
        return {{"logits", FeatureValue(logits)},
                {"h_out", *input.featureValue("h_in")},
                {"c_out", *input.featureValue("c_in")}};
    }
};

class Variant {
public:
    Variant() {
        platform::ml::registerKernel("multilingual-routes-encoder",
                                     [](const auto&) { return std::make_unique<ProjectingEncoder>(); });
        platform::ml::registerKernel("multilingual-routes-decoder",
                                     [](const auto&) { return std::make_unique<BareDecoder>(); });
        platform::ml::registerKernel("multilingual-routes-batched",
                                     [](const auto&) { return std::make_unique<BatchedJoint>(); });
        platform::ml::registerKernel("multilingual-routes-noencproj",
                                     [](const auto&) { return std::make_unique<ProjectedDecoderJoint>(); });
        multilingualbench::writeVariantFiles(folder_.path());
        const auto token = feature("token", {1, 1}, DataType::int32);
        const auto length = feature("token_length", {1}, DataType::int32);
        const auto h = feature("h_in", recurrent());
        const auto c = feature("c_in", recurrent());
        const auto hOut = feature("h_out", recurrent());
        const auto cOut = feature("c_out", recurrent());
        folder_.load("encoder.mlmodelc",
                     benchsupport::manifest(
                         "multilingual-routes-encoder", multilingualbench::encoderInputs(),
                         multilingualbench::withCacheOutputs(nlohmann::json::array(
                             {feature("encoded", {1, 1024, frames}), feature("encoder_proj", {1, frames, width})}))));
        const nlohmann::json decoderOutputs{feature("decoder_out", {1, width, 1}), hOut, cOut};
        folder_.load("decoder.mlmodelc",
                     benchsupport::manifest("multilingual-routes-decoder", {token, length, h, c}, decoderOutputs));
        folder_.load(
            "joint_noencproj_batched.mlmodelc",
            benchsupport::manifest("multilingual-routes-batched",
                                   {feature("encoder_proj", {1, window, width}), feature("decoder", {1, width, 1})},
                                   nlohmann::json::array({feature("logits", {1, window, 1, vocabulary})})));
        const nlohmann::json fusedOutputs{feature("logits", {1, vocabulary}), hOut, cOut};
        folder_.load("decoder_joint_noencproj.mlmodelc",
                     benchsupport::manifest("multilingual-routes-noencproj",
                                            {token, length, h, c, feature("encoder_proj", {1, 1, width})},
                                            fusedOutputs));
    }

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    benchsupport::BundleFolder folder_{"multilingual-routes-bench"};
};

void setSwitch(const char* name, bool set) {
    if (set) {
        ::setenv(name, "0", 1);
    } else {
        ::unsetenv(name);
    }
}

// Argument: 1 for the speculative route, 0 for the per-frame route.
void BM_StreamingNemotronMultilingualOneSpokenFrame(benchmark::State& state) {
    encoderTime = std::chrono::microseconds{0};
    stepTime = std::chrono::microseconds{0};
    setSwitch("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", state.range(0) == 0);
    const Variant variant;
    quorl::StreamingNemotronMultilingualAsrManager manager;
    manager.loadModels(variant.path());
    const auto chunk = speechLike(static_cast<std::size_t>(geometry.chunkSamples()));
    const std::size_t before = decoderPredictions;
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.process(chunk));
        state.PauseTiming();
        manager.reset();
        state.ResumeTiming();
    }
    state.counters["decoder_predictions_per_chunk"] =
        static_cast<double>(decoderPredictions - before) / static_cast<double>(state.iterations());
    setSwitch("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", false);
}
BENCHMARK(BM_StreamingNemotronMultilingualOneSpokenFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Argument: 1 with the look-ahead, 0 without. The encoder takes 2 ms, each per-frame decoding step 150 µs.
void BM_StreamingNemotronMultilingualThreeBufferedChunks(benchmark::State& state) {
    encoderTime = std::chrono::microseconds{2000};
    stepTime = std::chrono::microseconds{150};
    setSwitch("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", true);
    setSwitch("QUORLAUDIO_DISABLE_TRIPLE_STAGE", state.range(0) == 0);
    const Variant variant;
    quorl::StreamingNemotronMultilingualAsrManager manager;
    manager.loadModels(variant.path());
    const auto audio = speechLike(3 * static_cast<std::size_t>(geometry.chunkSamples()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.process(audio));
        state.PauseTiming();
        manager.reset();
        state.ResumeTiming();
    }
    setSwitch("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", false);
    setSwitch("QUORLAUDIO_DISABLE_TRIPLE_STAGE", false);
}
BENCHMARK(BM_StreamingNemotronMultilingualThreeBufferedChunks)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
