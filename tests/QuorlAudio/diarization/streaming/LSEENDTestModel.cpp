#include "tests/QuorlAudio/diarization/streaming/LSEENDTestModel.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDState.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <algorithm>

namespace quorl::testing {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

std::shared_ptr<MultiArray> plusOne(const MultiArray& state) {
    auto next = std::make_shared<MultiArray>(state.shape(), DataType::float32);
    for (std::size_t index = 0; index < state.count(); ++index) {
        next->setValue(index, state.value(index) + 1);
    }
    return next;
}

} // namespace

// The window ends K - X - 1 frames short of the chunk's last output frame; that frame reads what is there.
float LSEENDTestModel::meanLevel(const MultiArray& features, std::size_t frame) const {
    const auto mels = static_cast<std::size_t>(metadata.nMels);
    const auto subsampling = static_cast<std::size_t>(metadata.subsampling);
    const std::size_t first = (static_cast<std::size_t>(metadata.contextSize) + frame * subsampling) * mels;
    const std::size_t end = std::min(first + subsampling * mels, features.count());
    double total = 0;
    for (std::size_t index = first; index < end; ++index) {
        total += features.value(index);
    }
    return static_cast<float>(total / static_cast<double>(std::max<std::size_t>(end - first, 1)));
}

LSEENDMetadata smallLSEENDMetadata() {
    return LSEENDMetadata{.chunkSize = 4,
                          .frameDurationSeconds = 0.1f,
                          .maxSpeakers = 2,
                          .sampleRate = 8000,
                          .maxNspks = 3,
                          .hopLength = 80,
                          .winLength = 200,
                          .nMels = 8,
                          .contextSize = 7,
                          .subsampling = 10,
                          .convDelay = 3,
                          .nUnits = 4,
                          .nHeads = 2,
                          .encNLayers = 2,
                          .decNLayers = 1,
                          .convKernelSize = 3};
}

nlohmann::json snakeCaseConfig(const LSEENDMetadata& metadata) {
    nlohmann::json config;
    const auto encoded = metadata.encode();
    for (const auto& [key, value] : encoded.items()) {
        std::string snake;
        for (const char letter : key) {
            if (std::isupper(static_cast<unsigned char>(letter))) {
                snake += '_';
            }
            snake += static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        }
        config[snake] = value;
    }
    return config;
}

LSEENDTestModel::LSEENDTestModel(std::string kernelName, LSEENDMetadata metadata)
    : metadata(metadata),
      kernel(std::move(kernelName), [this](const ScriptedKernel::Call& call) { return predict(call); }) {}

ScriptedKernel::Outputs LSEENDTestModel::predict(const ScriptedKernel::Call& call) const {
    if (beforePrediction) {
        beforePrediction(call.index);
    }
    const auto frames = static_cast<std::size_t>(metadata.chunkSize);
    const auto slots = static_cast<std::size_t>(metadata.maxSpeakers);
    auto probs = ANEMemoryUtils::createAlignedArray({1, frames, slots}, DataType::float32, true);
    const auto& features = *call.inputs.at("features").multiArrayValue();
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const bool speech = meanLevel(features, frame) > -1.0f;
        for (std::size_t slot = 0; slot < slots && slot < slotProbabilities.size(); ++slot) {
            probs->at<float>({0, frame, slot}) = speech ? slotProbabilities[slot] : 0.0f;
        }
    }
    ScriptedKernel::Outputs outputs{{"probs", FeatureValue(probs)}};
    for (const char* name : LSEENDState::inputNames()) {
        outputs.emplace(std::string(name) + "_new", FeatureValue(plusOne(*call.inputs.at(name).multiArrayValue())));
    }
    return outputs;
}

std::filesystem::path LSEENDTestModel::write(const std::filesystem::path& folder, const std::string& name,
                                             const nlohmann::json& creatorDefined) const {
    const LSEENDState state(metadata);
    std::vector<nlohmann::json> inputs{multiArrayFeature("features", {1, static_cast<std::size_t>(metadata.melFrames()),
                                                                      static_cast<std::size_t>(metadata.nMels)}),
                                       multiArrayFeature("valid_mask", {static_cast<std::size_t>(metadata.chunkSize)})};
    std::vector<nlohmann::json> outputs{multiArrayFeature(
        "probs", {1, static_cast<std::size_t>(metadata.chunkSize), static_cast<std::size_t>(metadata.maxSpeakers)})};
    for (std::size_t index = 0; index < state.arrays().size(); ++index) {
        const std::string input = LSEENDState::inputNames()[index];
        inputs.push_back(multiArrayFeature(input, state.arrays()[index]->shape()));
        outputs.push_back(multiArrayFeature(input + "_new", state.arrays()[index]->shape()));
    }
    auto manifest = testsupport::modelManifest(kernel.name(), inputs, outputs);
    manifest["metadata"]["creatorDefined"] =
        creatorDefined.is_null() ? nlohmann::json{{"config", snakeCaseConfig(metadata).dump()}} : creatorDefined;
    return testsupport::writeModelBundle(folder, name, manifest);
}

std::shared_ptr<LSEENDModel> LSEENDTestModel::load(const std::filesystem::path& folder) const {
    return std::make_shared<LSEENDModel>(write(folder), platform::ml::ComputeUnits::cpuOnly);
}

} // namespace quorl::testing
