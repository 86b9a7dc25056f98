#include "tests/QuorlAudio/asr/other/SenseVoiceTestModels.hpp"

#include "QuorlAudio/asr/other/SenseVoiceConfig.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/DataType.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <cstddef>
#include <fstream>
#include <utility>

namespace quorl {
namespace {

namespace names = ModelNames::SenseVoice;
using platform::ml::DataType;
using testsupport::modelManifest;
using testsupport::multiArrayFeature;

constexpr std::size_t featureDim = SenseVoiceConfig::featureDim;

nlohmann::json preprocessorManifest() {
    auto waveform = multiArrayFeature("waveform", {1, 1});
    waveform["shapeRange"] = {{1, 1}, {1, nullptr}};
    auto features = multiArrayFeature("features", {1, 1, featureDim});
    features["shapeRange"] = {{1, 1}, {1, nullptr}, {featureDim, featureDim}};
    return modelManifest("sensevoice-test-preprocessor", {waveform}, {features});
}

nlohmann::json encoderManifest() {
    auto speech = multiArrayFeature("speech", {1, 128, featureDim});
    for (const int bucket : SenseVoiceConfig::buckets) {
        speech["enumeratedShapes"].push_back({1, bucket, featureDim});
    }
    auto logits = multiArrayFeature("ctc_logits", {1, 1, 1});
    logits["shapeRange"] = {{1, 1}, {1, nullptr}, {1, nullptr}};
    return modelManifest("sensevoice-test-encoder",
                         {speech, multiArrayFeature("speech_lengths", {1}, DataType::int32),
                          multiArrayFeature("language", {1}, DataType::int32),
                          multiArrayFeature("textnorm", {1}, DataType::int32)},
                         {logits});
}

} // namespace

SenseVoiceTestModels::SenseVoiceTestModels(TokenVocabulary vocabulary) : vocabulary_(std::move(vocabulary)) {}

std::map<std::string, nlohmann::json> SenseVoiceTestModels::manifests() {
    return {{std::string(names::preprocessor), preprocessorManifest()},
            {std::string(names::encoder), encoderManifest()},
            {std::string(names::encoderInt8), encoderManifest()},
            {std::string(names::encoderFp32), encoderManifest()}};
}

void SenseVoiceTestModels::writeModelFolder(const std::filesystem::path& folder) const {
    for (const auto& [name, manifest] : manifests()) {
        testsupport::writeModelBundle(folder, name + ".mlmodelc", manifest);
    }
    std::ofstream(folder / std::string(names::vocabularyFile)) << vocabularyDocument();
}

void SenseVoiceTestModels::serve(testsupport::LoopbackHub& hub) const {
    const std::string repository = remotePath(Repo::senseVoiceSmall);
    for (const auto& [name, manifest] : manifests()) {
        hub.putFile(repository, platform::core::concatenated({name, ".mlmodelc/coremldata.bin"}), "compiled");
        hub.putFile(repository, platform::core::concatenated({name, ".mlmodelc/model.json"}), manifest.dump(2));
    }
    hub.putFile(repository, std::string(names::vocabularyFile), vocabularyDocument());
}

std::string SenseVoiceTestModels::vocabularyDocument() const {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [id, piece] : vocabulary_) {
        document[std::to_string(id)] = piece;
    }
    return document.dump();
}

} // namespace quorl
