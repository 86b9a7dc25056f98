#include "tests/QuorlAudio/asr/other/CohereTestModels.hpp"

#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/ml/Kernel.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::modelManifest;
using testsupport::multiArrayFeature;
using Config = CohereAsrConfig;

constexpr const char* decoderKernelName = "cohere-test-decoder";
constexpr std::size_t hiddenWidth = 4;
const MultiArray::Shape cacheShape{1, Config::numDecoderHeads, Config::maxSeqLen, Config::headDim};

std::string layerName(const char* kind, int layer, const char* suffix = "") {
    return std::string(kind) + "_cache_" + std::to_string(layer) + suffix;
}

std::shared_ptr<MultiArray> input(const platform::ml::FeatureProvider& provider, const std::string& name) {
    return provider.featureValue(name)->multiArrayValue();
}

// k_cache_0 and friends at [0, 0, p, 0] for every cache position p.
std::vector<double> marks(const MultiArray& cache) {
    std::vector<double> values;
    for (std::size_t position = 0; position < static_cast<std::size_t>(Config::maxSeqLen); ++position) {
        values.push_back(cache.value(position * static_cast<std::size_t>(Config::headDim)));
    }
    return values;
}

} // namespace

// The updated cache: the input with the step's mark, written into the array that was the input one step
// earlier (the loop has let go of it by now), so a long run does not allocate sixteen new caches per step.
std::shared_ptr<MultiArray> CohereTestModels::markedCopy(const std::string& name,
                                                         const std::shared_ptr<MultiArray>& cache, int position,
                                                         double mark) {
    auto& spare = spareCaches_[name];
    if (!spare || spare->shape() != cache->shape() || spare->dataType() != cache->dataType() || spare == cache) {
        spare = std::make_shared<MultiArray>(cache->shape(), cache->dataType());
    }
    auto copy = std::exchange(spare, cache);
    std::memcpy(copy->dataPointer(), cache->dataPointer(),
                cache->count() * platform::ml::elementSize(cache->dataType()));
    copy->setValue(static_cast<std::size_t>(position) * static_cast<std::size_t>(Config::headDim), mark);
    return copy;
}

class CohereTestModels::DecoderKernel : public platform::ml::Kernel {
public:
    explicit DecoderKernel(CohereTestModels& models) : models_(models) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return models_.decode(input);
    }

private:
    CohereTestModels& models_;
};

CohereTestModels::CohereTestModels() : CohereTestModels(Settings{}) {}

CohereTestModels::CohereTestModels(Settings settings)
    : encoder("cohere-test-encoder",
              [this](const testsupport::ScriptedKernel::Call& call) -> testsupport::ScriptedKernel::Outputs {
                  if (omittedOutputs.contains("hidden_states")) {
                      return {};
                  }
                  auto hidden = std::make_shared<MultiArray>(MultiArray::Shape{1, settings_.encoderLength, hiddenWidth},
                                                             DataType::float32);
                  hidden->at<float>(0) = static_cast<float>(call.index);
                  return {{"hidden_states", FeatureValue(hidden)}};
              }),
      settings_(std::move(settings)) {
    platform::ml::registerKernel(decoderKernelName, [this](const platform::ml::KernelContext&) {
        return std::make_unique<DecoderKernel>(*this);
    });
}

CohereTestModels::~CohereTestModels() {
    platform::ml::registerKernel(decoderKernelName,
                                 [](const platform::ml::KernelContext&) -> std::unique_ptr<platform::ml::Kernel> {
                                     throw std::logic_error("the scripted Cohere decoder is gone");
                                 });
}

nlohmann::json CohereTestModels::encoderManifest(std::size_t encoderLength) {
    return modelManifest("cohere-test-encoder",
                         {multiArrayFeature("input_features", {1, 128, 3500}),
                          multiArrayFeature("feature_length", {1}, DataType::int32)},
                         {multiArrayFeature("hidden_states", {1, encoderLength, hiddenWidth})});
}

nlohmann::json CohereTestModels::decoderManifest(CohereDecoderVariant variant, std::size_t encoderLength,
                                                 DataType cacheType) {
    const auto maxSeqLen = static_cast<std::size_t>(Config::maxSeqLen);
    auto selfMask = multiArrayFeature("attention_mask", {1, 1, 1, maxSeqLen}, cacheType);
    if (!usesStaticSelfMask(variant)) {
        selfMask["shape"] = {1, 1, 1, 1};
        selfMask["shapeRange"] = {{1, 1}, {1, 1}, {1, 1}, {1, maxSeqLen}};
    }
    std::vector<nlohmann::json> inputs{multiArrayFeature("input_id", {1, 1}, DataType::int32),
                                       multiArrayFeature("position_id", {1, 1}, DataType::int32),
                                       multiArrayFeature("encoder_hidden_states", {1, encoderLength, hiddenWidth}),
                                       multiArrayFeature("cross_attention_mask", {1, 1, 1, encoderLength}, cacheType),
                                       selfMask};
    std::vector<nlohmann::json> outputs{multiArrayFeature("logits", {1, 1, vocabularyWidth})};
    for (int layer = 0; layer < Config::numDecoderLayers; ++layer) {
        for (const char* kind : {"k", "v"}) {
            inputs.push_back(multiArrayFeature(layerName(kind, layer), cacheShape, cacheType));
            outputs.push_back(multiArrayFeature(layerName(kind, layer, "_out"), cacheShape, cacheType));
        }
    }
    return modelManifest(decoderKernelName, inputs, outputs);
}

const std::filesystem::path& CohereTestModels::folder() {
    if (!written_) {
        const auto& path = folder_.path();
        testsupport::writeModelBundle(path, std::string(ModelNames::CohereTranscribe::encoderCompiledFile),
                                      encoderManifest(settings_.encoderLength));
        for (const auto variant : {CohereDecoderVariant::v2, CohereDecoderVariant::v1}) {
            testsupport::writeModelBundle(path, std::string(compiledFileName(variant)),
                                          decoderManifest(variant, settings_.encoderLength, settings_.cacheType));
        }
        nlohmann::json vocabulary = nlohmann::json::object();
        for (const auto& [id, piece] : settings_.vocabulary) {
            vocabulary[std::to_string(id)] = piece;
        }
        std::ofstream(path / std::string(ModelNames::CohereTranscribe::vocab)) << vocabulary.dump();
        written_ = true;
    }
    return folder_.path();
}

CohereLoadedModels CohereTestModels::modelSet(CohereDecoderVariant variant) {
    const auto& path = folder();
    return CohereLoadedModels::loadModels({.encoderDir = path,
                                           .decoderDir = path,
                                           .vocabDir = path,
                                           .decoderVariant = variant,
                                           .computeUnits = platform::ml::ComputeUnits::cpuOnly});
}

void CohereTestModels::answer(std::vector<std::vector<int>> windows) {
    std::lock_guard lock(mutex_);
    answers_ = std::move(windows);
}

std::vector<CohereDecoderStep> CohereTestModels::decoderSteps() const {
    std::lock_guard lock(mutex_);
    return steps_;
}

std::map<std::string, FeatureValue> CohereTestModels::decode(const platform::ml::FeatureProvider& provider) {
    std::lock_guard lock(mutex_);
    const auto selfMask = input(provider, "attention_mask");
    const auto keys = input(provider, "k_cache_0");
    const auto& step = steps_.emplace_back(CohereDecoderStep{
        .inputId = static_cast<int>(input(provider, "input_id")->value(0)),
        .positionId = static_cast<int>(input(provider, "position_id")->value(0)),
        .window = static_cast<int>(input(provider, "encoder_hidden_states")->value(0)),
        .attentionMaskShape = selfMask->shape(),
        .attentionMask = testsupport::valuesOf(*selfMask),
        .crossAttentionMask = testsupport::valuesOf(*input(provider, "cross_attention_mask")),
        .maskType = selfMask->dataType(),
        .cacheType = keys->dataType(),
        .keyMarks = marks(*keys),
        .valueMarks = marks(*input(provider, "v_cache_7")),
    });

    std::vector<float> values(vocabularyWidth, 0.0f);
    if (scores) {
        values = scores(step.window, step.positionId);
    } else {
        const int lastPromptPosition = static_cast<int>(promptSequence(Config::Language::english).size()) - 1;
        const auto& tokens = static_cast<std::size_t>(step.window) < answers_.size()
                                 ? answers_[static_cast<std::size_t>(step.window)]
                                 : std::vector<int>{};
        const auto index = static_cast<std::size_t>(step.positionId - lastPromptPosition);
        const int id = step.positionId < lastPromptPosition ? promptAnswer
                       : index < tokens.size()              ? tokens[index]
                                                            : Config::SpecialTokens::eosToken;
        values.at(static_cast<std::size_t>(id)) = 1.0f;
    }
    std::vector<double> logits(values.begin(), values.end());
    std::map<std::string, FeatureValue> outputs{
        {"logits", FeatureValue(testsupport::makeArray({1, 1, values.size()}, logits, logitsType))}};
    for (int layer = 0; layer < Config::numDecoderLayers; ++layer) {
        const double mark = step.positionId + 1;
        for (const auto& [kind, sign] : {std::pair{"k", 1.0}, std::pair{"v", -1.0}}) {
            const auto name = layerName(kind, layer);
            outputs.emplace(name + "_out",
                            FeatureValue(markedCopy(name, input(provider, name), step.positionId, sign * mark)));
        }
    }
    for (const auto& name : omittedOutputs) {
        outputs.erase(name);
    }
    return outputs;
}

} // namespace quorl
