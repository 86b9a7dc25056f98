#include "tests/QuorlAudio/diarization/offline/EmbeddingTestModels.hpp"

#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace quorl::testmodels {
namespace {

using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::ScriptedKernel;

constexpr std::size_t embeddingSize = 256;
constexpr std::size_t rhoSize = 128;

std::vector<double> valuesOf(const ScriptedKernel::Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

ScriptedKernel::Outputs fbankOutputs(const ScriptedKernel::Call& call) {
    const auto audio = valuesOf(call, "audio");
    const auto nonZero = std::ranges::count_if(audio, [](double sample) { return sample != 0; });
    return {{"fbank_features", FeatureValue(testsupport::makeArray({1, 3}, {audio.front(), static_cast<double>(nonZero),
                                                                            static_cast<double>(call.index)}))}};
}

ScriptedKernel::Outputs embeddingOutputs(const ScriptedKernel::Call& call) {
    auto values = valuesOf(call, "fbank_features");
    const auto weights = valuesOf(call, "weights");
    values.push_back(std::accumulate(weights.begin(), weights.end(), 0.0));
    values.resize(embeddingSize, static_cast<double>(call.index));
    return {{"embedding", FeatureValue(testsupport::makeArray({1, embeddingSize}, values))}};
}

} // namespace

EmbeddingTestModels::EmbeddingTestModels(const MultiArray::Shape& audioShape, const MultiArray::Shape& weightsShape)
    : fbank("offline-embedding-fbank",
            [this](const ScriptedKernel::Call& call) {
                note("fbank");
                return fbankOutputs(call);
            }),
      embedding("offline-embedding-model",
                [this](const ScriptedKernel::Call& call) {
                    note("embedding");
                    return embeddingOutputs(call);
                }),
      plda("offline-embedding-plda",
           [this](const ScriptedKernel::Call& call) {
               note("plda");
               return leadingRho(call);
           }),
      fbankBundle(fbankModel({testsupport::multiArrayFeature("audio", audioShape)},
                             {testsupport::multiArrayFeature("fbank_features", {1, 3})})),
      embeddingBundle(embeddingModel({testsupport::multiArrayFeature("fbank_features", {1, 3}),
                                      testsupport::multiArrayFeature("weights", weightsShape)},
                                     {testsupport::multiArrayFeature("embedding", {1, embeddingSize})})) {}

OfflineEmbeddingExtractor EmbeddingTestModels::extractor(const OfflineDiarizerConfig& config) const {
    return OfflineEmbeddingExtractor(fbankBundle, embeddingBundle, pldaTransform(), config);
}

std::shared_ptr<platform::ml::Model> EmbeddingTestModels::fbankModel(const std::vector<nlohmann::json>& inputs,
                                                                     const std::vector<nlohmann::json>& outputs) const {
    const std::lock_guard lock(mutex_);
    const auto name = "FBank" + std::to_string(bundles_++) + ".mlmodelc";
    return platform::ml::Model::load(
        testsupport::writeModelBundle(folder.path(), name, testsupport::modelManifest(fbank.name(), inputs, outputs)));
}

std::shared_ptr<platform::ml::Model>
EmbeddingTestModels::embeddingModel(const std::vector<nlohmann::json>& inputs,
                                    const std::vector<nlohmann::json>& outputs) const {
    const std::lock_guard lock(mutex_);
    const auto name = "Embedding" + std::to_string(bundles_++) + ".mlmodelc";
    return platform::ml::Model::load(testsupport::writeModelBundle(
        folder.path(), name, testsupport::modelManifest(embedding.name(), inputs, outputs)));
}

PLDATransform EmbeddingTestModels::pldaTransform() const {
    return PLDATransform(platform::ml::Model::load(testsupport::writeModelBundle(
                             folder.path(), "PldaRho.mlmodelc", testsupport::modelManifest(plda.name(), {}, {}))),
                         {});
}

std::vector<std::string> EmbeddingTestModels::order() const {
    const std::lock_guard lock(mutex_);
    return order_;
}

void EmbeddingTestModels::note(const std::string& model) {
    const std::lock_guard lock(mutex_);
    order_.push_back(model);
}

ScriptedKernel::Outputs leadingRho(const ScriptedKernel::Call& call, double scale) {
    const auto embeddings = valuesOf(call, "embeddings");
    const std::size_t rows = embeddings.size() / embeddingSize;
    std::vector<double> rho;
    for (std::size_t row = 0; row < rows; ++row) {
        const auto first = embeddings.begin() + static_cast<std::ptrdiff_t>(row * embeddingSize);
        std::transform(first, first + rhoSize, std::back_inserter(rho),
                       [scale](double value) { return value * scale; });
    }
    return {{"rho", FeatureValue(testsupport::makeArray({rows, rhoSize}, rho))}};
}

OfflineDiarizerConfig embeddingConfig(double seconds, std::int64_t sampleRate, double minSegment,
                                      std::int64_t batchSize) {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.segmentation.windowDurationSeconds = seconds;
    config.segmentation.sampleRate = sampleRate;
    config.embedding.minSegmentDurationSeconds = minSegment;
    config.embedding.batchSize = batchSize;
    return config;
}

} // namespace quorl::testmodels
