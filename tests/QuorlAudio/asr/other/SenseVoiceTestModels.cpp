#include "tests/QuorlAudio/asr/other/SenseVoiceTestModels.hpp"

#include "QuorlAudio/asr/other/SenseVoiceConfig.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace quorl {
namespace {

namespace names = ModelNames::SenseVoice;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::modelManifest;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

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

SenseVoiceTestModels::SenseVoiceTestModels(TokenVocabulary vocabulary)
    : preprocessor("sensevoice-test-preprocessor", [this](const ScriptedKernel::Call&) { return features(); }),
      encoder("sensevoice-test-encoder", [this](const ScriptedKernel::Call& call) { return logits(call); }),
      vocabulary_(std::move(vocabulary)) {}

SenseVoiceModels SenseVoiceTestModels::modelSet() {
    if (!written_) {
        writeModelFolder(folder_.path());
        written_ = true;
    }
    return SenseVoiceModels::load(folder_.path(), SenseVoiceEncoderPrecision::int8);
}

ScriptedKernel::Outputs SenseVoiceTestModels::features() const {
    auto values = std::make_shared<MultiArray>(MultiArray::Shape{1, featureFrames, featureDim}, featureType);
    for (std::size_t index = 0; index < values->count(); ++index) {
        values->setValue(index, static_cast<double>(index / featureDim + 1));
    }
    return answer("features", std::move(values));
}

ScriptedKernel::Outputs SenseVoiceTestModels::logits(const ScriptedKernel::Call& call) const {
    const auto lengths = static_cast<std::size_t>(call.inputs.at("speech_lengths").multiArrayValue()->value(0));
    const std::size_t frames = scoreFrames.value_or(lengths + SenseVoiceConfig::numQueryTokens);
    auto scores = std::make_shared<MultiArray>(MultiArray::Shape{1, frames, scoreWidth}, scoreType);
    for (std::size_t frame = 0; frame < std::min(frames, bestIds.size()); ++frame) {
        scores->setValue(frame * scoreWidth + static_cast<std::size_t>(bestIds[frame]), 1.0);
    }
    return answer("ctc_logits", std::move(scores));
}

ScriptedKernel::Outputs SenseVoiceTestModels::answer(const std::string& name, std::shared_ptr<MultiArray> array) const {
    if (omittedOutputs.contains(name)) {
        return {};
    }
    return {{name, FeatureValue(std::move(array))}};
}

std::map<std::string, nlohmann::json> SenseVoiceTestModels::manifests() {
    return {{std::string(names::preprocessor), preprocessorManifest()},
            {std::string(names::encoder), encoderManifest()},
            {std::string(names::encoderInt8), encoderManifest()},
            {std::string(names::encoderFp32), encoderManifest()}};
}

void SenseVoiceTestModels::writeModelFolder(const std::filesystem::path& folder) const { files().write(folder); }

void SenseVoiceTestModels::serve(testsupport::LoopbackHub& hub) const { files().serve(hub, Repo::senseVoiceSmall); }

TestModelFolder SenseVoiceTestModels::files() const { return {.manifests = manifests(), .vocabulary = vocabulary_}; }

} // namespace quorl
