#include "tests/QuorlAudio/asr/other/ParaformerTestModels.hpp"

#include "QuorlAudio/asr/other/ParaformerConfig.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

namespace quorl {
namespace {

namespace names = ModelNames::ParaformerZh;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::modelManifest;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;
using Config = ParaformerConfig;

constexpr std::size_t featureDim = Config::featureDim;
constexpr std::size_t encoderDim = Config::encoderDim;

std::shared_ptr<MultiArray> input(const ScriptedKernel::Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue();
}

std::size_t frames(const MultiArray& array) { return array.shape().at(1); }

// A feature whose middle dimension may be any of the encoder's buckets.
nlohmann::json bucketed(const std::string& name, std::size_t width) {
    auto feature = multiArrayFeature(name, {1, 128, width});
    for (const int bucket : Config::encoderBuckets) {
        feature["enumeratedShapes"].push_back({1, bucket, width});
    }
    return feature;
}

nlohmann::json preprocessorManifest() {
    auto waveform = multiArrayFeature("waveform", {1, 1});
    waveform["shapeRange"] = {{1, 1}, {1, nullptr}};
    return modelManifest("paraformer-test-preprocessor", {waveform},
                         {multiArrayFeature("features", {1, 1, featureDim})});
}

nlohmann::json encoderManifest() {
    return modelManifest("paraformer-test-encoder",
                         {bucketed("speech", featureDim), multiArrayFeature("speech_lengths", {1}, DataType::int32)},
                         {bucketed("enc_out", encoderDim)});
}

nlohmann::json cifAlphasManifest() {
    return modelManifest("paraformer-test-cif-alphas", {bucketed("enc_out", encoderDim)},
                         {multiArrayFeature("alphas", {1, 128})});
}

nlohmann::json decoderManifest() {
    const auto frames = static_cast<std::size_t>(Config::decoderEncFrames);
    const auto tokens = static_cast<std::size_t>(Config::decoderMaxTokens);
    return modelManifest(
        "paraformer-test-decoder",
        {multiArrayFeature("enc", {1, frames, encoderDim}), multiArrayFeature("elen", {1}, DataType::int32),
         multiArrayFeature("ac", {1, tokens, encoderDim}), multiArrayFeature("tn", {1}, DataType::int32)},
        {multiArrayFeature("logits", {1, tokens, 1})});
}

int widthOf(const TokenVocabulary& vocabulary) {
    int width = Config::eosId + 1;
    for (const auto& [id, piece] : vocabulary) {
        width = std::max(width, id + 1);
    }
    return width;
}

} // namespace

ParaformerTestModels::ParaformerTestModels(TokenVocabulary vocabulary)
    : preprocessor("paraformer-test-preprocessor", [this](const ScriptedKernel::Call& call) { return features(call); }),
      encoder("paraformer-test-encoder",
              [this](const ScriptedKernel::Call& call) {
                  const auto speech = input(call, "speech");
                  auto rows = std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*speech), encoderDim},
                                                           DataType::float32);
                  for (std::size_t frame = 0; frame < frames(*speech); ++frame) {
                      rows->at<float>({0, frame, 0}) = speech->at<float>({0, frame, 0});
                  }
                  return answer("enc_out", FeatureValue(rows));
              }),
      cifAlphas("paraformer-test-cif-alphas",
                [this](const ScriptedKernel::Call& call) {
                    const auto rows = input(call, "enc_out");
                    auto alphas = std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*rows)}, DataType::float32);
                    for (std::size_t frame = 0; frame < frames(*rows); ++frame) {
                        alphas->at<float>({0, frame}) = rows->at<float>({0, frame, 0}) > 0 ? 1.0f : 0.0f;
                    }
                    return answer("alphas", FeatureValue(alphas));
                }),
      decoder("paraformer-test-decoder", [this](const ScriptedKernel::Call& call) { return logits(call); }),
      vocabulary_(std::move(vocabulary)), vocabularyWidth_(widthOf(vocabulary_)) {}

ScriptedKernel::Outputs ParaformerTestModels::features(const ScriptedKernel::Call& call) const {
    const auto waveform = input(call, "waveform");
    const std::span<const float> samples(waveform->data<float>(), waveform->count());
    const auto ids = transcript(samples);
    const std::size_t count = std::max({ids.size(), static_cast<std::size_t>(featureFrames), std::size_t{1}});
    auto values = std::make_shared<MultiArray>(MultiArray::Shape{1, count, featureDim}, DataType::float32);
    for (std::size_t frame = 0; frame < ids.size(); ++frame) {
        values->at<float>({0, frame, 0}) = static_cast<float>(ids[frame]);
    }
    return answer("features", FeatureValue(values));
}

ScriptedKernel::Outputs ParaformerTestModels::logits(const ScriptedKernel::Call& call) const {
    beforeDecoding();
    const auto embeddings = input(call, "ac");
    const auto tokens = static_cast<std::size_t>(input(call, "tn")->value(0));
    const auto width = static_cast<std::size_t>(vocabularyWidth_);
    auto scores = std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*embeddings), width}, DataType::float32);
    for (std::size_t position = 0; position < tokens; ++position) {
        const auto id = std::lround(embeddings->at<float>({0, position, 0}));
        if (id >= 0 && static_cast<std::size_t>(id) < width) {
            scores->at<float>({0, position, static_cast<std::size_t>(id)}) = 1.0f;
        }
    }
    return answer("logits", FeatureValue(scores));
}

ScriptedKernel::Outputs ParaformerTestModels::answer(const std::string& name, FeatureValue value) const {
    if (omittedOutputs.contains(name)) {
        return {};
    }
    return {{name, std::move(value)}};
}

ParaformerModels ParaformerTestModels::modelSet() {
    if (!written_) {
        writeModelFolder(folder_.path());
        written_ = true;
    }
    return ParaformerModels::load(folder_.path(), ParaformerPrecision::int8);
}

std::map<std::string, nlohmann::json> ParaformerTestModels::manifests() {
    return {{std::string(names::preprocessor), preprocessorManifest()},
            {std::string(names::encoder), encoderManifest()},
            {std::string(names::encoderInt8), encoderManifest()},
            {std::string(names::cifAlphas), cifAlphasManifest()},
            {std::string(names::decoder), decoderManifest()},
            {std::string(names::decoderInt8), decoderManifest()}};
}

void ParaformerTestModels::writeModelFolder(const std::filesystem::path& folder) const { files().write(folder); }

void ParaformerTestModels::serve(testsupport::LoopbackHub& hub) const { files().serve(hub, Repo::paraformerLargeZh); }

TestModelFolder ParaformerTestModels::files() const { return {.manifests = manifests(), .vocabulary = vocabulary_}; }

} // namespace quorl
