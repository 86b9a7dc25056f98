#include "tests/QuorlAudio/diarization/offline/PipelineTestModels.hpp"

#include "platform/core/Base64.hpp"
#include "tests/QuorlAudio/diarization/offline/EmbeddingTestModels.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <thread>

namespace quorl::testmodels {
namespace {

using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::ScriptedKernel;

constexpr std::size_t classes = 7;
constexpr std::size_t frameSamples = PipelineTestModels::windowSamples / PipelineTestModels::frames;
constexpr std::size_t embeddingSize = 256;
constexpr std::size_t rhoSize = 128;
// Speakers lie as far apart in the PLDA space as real ones do, so VBx keeps them apart.
constexpr double rhoScale = 10;

int voiceOf(double sample) { return static_cast<int>(std::lround(sample * 10)); }

std::vector<double> valuesOf(const ScriptedKernel::Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

// The voice at the first sample of every frame of every window row.
std::vector<int> frameVoices(const std::vector<double>& audio) {
    std::vector<int> voices;
    for (std::size_t sample = 0; sample < audio.size(); sample += frameSamples) {
        voices.push_back(voiceOf(audio[sample]));
    }
    return voices;
}

ScriptedKernel::Outputs segments(const ScriptedKernel::Call& call) {
    const auto voices = frameVoices(valuesOf(call, "audio"));
    const std::size_t windows = voices.size() / PipelineTestModels::frames;
    std::vector<double> scores(voices.size() * classes, 0.0);
    for (std::size_t frame = 0; frame < voices.size(); ++frame) {
        scores[frame * classes + static_cast<std::size_t>(std::clamp(voices[frame], 0, 3))] = 10.0;
    }
    return {{"segments", FeatureValue(testsupport::makeArray({windows, PipelineTestModels::frames, classes}, scores))}};
}

ScriptedKernel::Outputs features(const ScriptedKernel::Call& call) {
    const auto voices = frameVoices(valuesOf(call, "audio"));
    return {
        {"fbank_features", FeatureValue(testsupport::makeArray({1, PipelineTestModels::frames},
                                                               std::vector<double>(voices.begin(), voices.end())))}};
}

ScriptedKernel::Outputs embedding(const ScriptedKernel::Call& call, bool notANumber) {
    const auto voices = valuesOf(call, "fbank_features");
    const auto weights = valuesOf(call, "weights");
    std::map<int, double> weightOf;
    for (std::size_t frame = 0; frame < std::min(voices.size(), weights.size()); ++frame) {
        weightOf[static_cast<int>(voices[frame])] += weights[frame];
    }
    const auto strongest = std::ranges::max_element(weightOf, {}, [](const auto& entry) { return entry.second; });
    const auto vector = PipelineTestModels::embeddingOf(strongest == weightOf.end() ? 0 : strongest->first);
    std::vector<double> values(vector.begin(), vector.end());
    const bool unusable = notANumber || (strongest != weightOf.end() && strongest->first == 3);
    values.back() = unusable ? NAN : values.back();
    return {{"embedding", FeatureValue(testsupport::makeArray({1, embeddingSize}, values))}};
}

nlohmann::json batched(const std::string& name, const std::vector<std::size_t>& shape) {
    auto feature = testsupport::multiArrayFeature(name, shape);
    feature["shapeRange"] = nlohmann::json::array();
    for (std::size_t index = 0; index < shape.size(); ++index) {
        feature["shapeRange"].push_back(index == 0 ? nlohmann::json{1, nullptr}
                                                   : nlohmann::json{shape[index], shape[index]});
    }
    return feature;
}

std::string parameters() {
    std::vector<std::uint8_t> bytes;
    for (std::size_t index = 0; index < rhoSize; ++index) {
        const auto bits = std::bit_cast<std::uint32_t>(1.0f);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
        }
    }
    return nlohmann::json{{"tensors", {{"psi", {{"data_base64", platform::core::base64Encode(bytes)}}}}}}.dump();
}

} // namespace

PipelineTestModels::PipelineTestModels()
    : segmentation("offline-pipeline-segmentation",
                   [this](const ScriptedKernel::Call& call) {
                       std::this_thread::sleep_for(segmentationDelay.load());
                       return segments(call);
                   }),
      fbank("offline-pipeline-fbank", features),
      embedding("offline-pipeline-embedding",
                [this](const ScriptedKernel::Call& call) { return testmodels::embedding(call, notANumber.load()); }),
      plda("offline-pipeline-plda", [](const ScriptedKernel::Call& call) { return leadingRho(call, rhoScale); }) {}

OfflineDiarizerConfig PipelineTestModels::config() {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.segmentation.windowDurationSeconds = 1.0;
    config.segmentation.sampleRate = sampleRate;
    config.segmentation.stepRatio = 0.5;
    config.embedding.minSegmentDurationSeconds = 0.3;
    return config;
}

std::vector<float> PipelineTestModels::recording(double seconds, const std::vector<VoiceSpan>& spans) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * sampleRate), 0.0f);
    for (const auto& span : spans) {
        const auto first = std::min(samples.size(), static_cast<std::size_t>(span.start * sampleRate));
        const auto end = std::min(samples.size(), static_cast<std::size_t>(span.end * sampleRate));
        std::fill(samples.begin() + static_cast<std::ptrdiff_t>(first),
                  samples.begin() + static_cast<std::ptrdiff_t>(end), 0.1f * static_cast<float>(span.voice));
    }
    return samples;
}

std::vector<float> PipelineTestModels::embeddingOf(int voice) {
    std::vector<float> vector(embeddingSize, 0.0f);
    vector[static_cast<std::size_t>(voice) * 3] = 1.0f;
    return vector;
}

void PipelineTestModels::writeRepository(const std::filesystem::path& folder) const {
    using testsupport::modelManifest;
    using testsupport::multiArrayFeature;
    testsupport::writeModelBundle(folder, "Segmentation.mlmodelc",
                                  modelManifest(segmentation.name(), {batched("audio", {1, 1, windowSamples})},
                                                {batched("segments", {1, frames, classes})}));
    testsupport::writeModelBundle(folder, "FBank.mlmodelc",
                                  modelManifest(fbank.name(), {batched("audio", {1, 1, windowSamples})},
                                                {multiArrayFeature("fbank_features", {1, frames})}));
    testsupport::writeModelBundle(
        folder, "Embedding.mlmodelc",
        modelManifest(embedding.name(),
                      {multiArrayFeature("fbank_features", {1, frames}), multiArrayFeature("weights", {1, frames})},
                      {multiArrayFeature("embedding", {1, embeddingSize})}));
    testsupport::writeModelBundle(
        folder, "PldaRho.mlmodelc",
        modelManifest(plda.name(), {batched("embeddings", {1, embeddingSize})}, {batched("rho", {1, rhoSize})}));
    std::ofstream(folder / "plda-parameters.json") << parameters();
}

OfflineDiarizerModels PipelineTestModels::load(const std::filesystem::path& folder) const {
    const auto model = [&folder](const char* name) { return platform::ml::Model::load(folder / name); };
    return OfflineDiarizerModels{.segmentationModel = model("Segmentation.mlmodelc"),
                                 .fbankModel = model("FBank.mlmodelc"),
                                 .embeddingModel = model("Embedding.mlmodelc"),
                                 .pldaRhoModel = model("PldaRho.mlmodelc"),
                                 .pldaPsi = std::vector<double>(rhoSize, 1.0),
                                 .compilationDuration = 0.25};
}

} // namespace quorl::testmodels
