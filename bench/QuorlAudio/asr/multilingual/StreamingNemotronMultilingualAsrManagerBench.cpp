#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"
#include "bench/QuorlAudio/asr/multilingual/MultilingualBenchVariant.hpp"

#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <span>
#include <vector>

// The stream manager's own work per chunk (mel features, encoder inputs, the frame loop, bookkeeping) with
// models that answer at once, in the variant's real geometry.
namespace {

using benchsupport::feature;
using multilingualbench::geometry;
using multilingualbench::recurrent;
using multilingualbench::speechLike;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Outputs = std::map<std::string, FeatureValue>;

constexpr std::size_t framesPerChunk = 14;
constexpr double chunkSeconds = 1.12;

// Hands the caches it was given back and one fixed encoding.
class TrivialEncoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return multilingualbench::withCachesEchoed({{"encoded", FeatureValue(encoded_)}}, input);
    }

private:
    std::shared_ptr<MultiArray> encoded_ = std::make_shared<MultiArray>(
        MultiArray::Shape{1, static_cast<std::size_t>(geometry.encoderDim), framesPerChunk}, DataType::float32);
};

// Emits token 0 on every seventh step and the blank otherwise, keeping the state arrays it was given.
class TrivialArgmaxDecoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        auto token = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        token->data<std::int32_t>()[0] = steps_++ % 7 == 0 ? 0 : static_cast<std::int32_t>(geometry.blankIdx);
        return {{"token_id", FeatureValue(token)},
                {"h_out", *input.featureValue("h_in")},
                {"c_out", *input.featureValue("c_in")}};
    }

private:
    std::atomic<std::size_t> steps_ = 0;
};

class TrivialVariant {
public:
    TrivialVariant() {
        platform::ml::registerKernel("multilingual-bench-encoder",
                                     [](const auto&) { return std::make_unique<TrivialEncoder>(); });
        platform::ml::registerKernel("multilingual-bench-decoder",
                                     [](const auto&) { return std::make_unique<TrivialArgmaxDecoder>(); });
        multilingualbench::writeVariantFiles(folder_.path());
        folder_.load("encoder.mlmodelc",
                     benchsupport::manifest("multilingual-bench-encoder", multilingualbench::encoderInputs(),
                                            multilingualbench::withCacheOutputs(nlohmann::json::array(
                                                {feature("encoded", {1, 1024, framesPerChunk})}))));
        folder_.load("decoder_joint_argmax.mlmodelc",
                     benchsupport::manifest(
                         "multilingual-bench-decoder",
                         {feature("token", {1, 1}, DataType::int32), feature("token_length", {1}, DataType::int32),
                          feature("h_in", recurrent()), feature("c_in", recurrent()), feature("encoder", {1, 1024, 1})},
                         {feature("token_id", {1}, DataType::int32), feature("h_out", recurrent()),
                          feature("c_out", recurrent())}));
    }

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    benchsupport::BundleFolder folder_{"multilingual-stream-bench"};
};

void BM_StreamingNemotronMultilingualChunk(benchmark::State& state) {
    const TrivialVariant variant;
    quorl::StreamingNemotronMultilingualAsrManager manager;
    manager.loadModels(variant.path());
    const auto chunk = speechLike(static_cast<std::size_t>(geometry.chunkSamples()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.process(chunk));
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(chunkSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamingNemotronMultilingualChunk)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ten minutes of audio fed as a microphone would, 20 ms at a time, then finished.
void BM_StreamingNemotronMultilingualTenMinutesIn20msPieces(benchmark::State& state) {
    constexpr std::size_t piece = 320;
    constexpr double seconds = 600;
    const TrivialVariant variant;
    quorl::StreamingNemotronMultilingualAsrManager manager;
    manager.loadModels(variant.path());
    const auto audio = speechLike(static_cast<std::size_t>(seconds * 16000));
    for (auto _ : state) {
        for (std::size_t start = 0; start < audio.size(); start += piece) {
            manager.process(std::span(audio).subspan(start, std::min(piece, audio.size() - start)));
        }
        benchmark::DoNotOptimize(manager.finish());
        state.PauseTiming();
        manager.reset();
        state.ResumeTiming();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamingNemotronMultilingualTenMinutesIn20msPieces)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
