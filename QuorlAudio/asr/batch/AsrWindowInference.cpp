#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderV2.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderV3.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/FeatureValue.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::Model;
using platform::ml::MultiArray;

constexpr std::size_t samplesPerFrame = ASRConstants::samplesPerEncoderFrame;
constexpr std::size_t windowSamples = ASRConstants::maxModelSamples;

// Gives the pooled "audio_signal" array back to the shared pool however the window ends.
class PooledArrayReturn {
public:
    explicit PooledArrayReturn(std::shared_ptr<MultiArray> array) : array_(std::move(array)) {}
    ~PooledArrayReturn() { sharedMLArrayCache().returnArray(array_); }
    PooledArrayReturn(const PooledArrayReturn&) = delete;
    PooledArrayReturn& operator=(const PooledArrayReturn&) = delete;

private:
    std::shared_ptr<MultiArray> array_;
};

// A provider holding each array under its name; a later pair with the same name replaces an earlier one.
DictionaryFeatureProvider
createFeatureProvider(std::initializer_list<std::pair<std::string, std::shared_ptr<MultiArray>>> features) {
    std::map<std::string, FeatureValue> dictionary;
    for (const auto& [name, array] : features) {
        dictionary.insert_or_assign(name, FeatureValue(array));
    }
    return DictionaryFeatureProvider(std::move(dictionary));
}

// Element 0 of "encoder_length". An empty array counts as missing: it holds no length to read.
int encoderSequenceLengthOf(const FeatureProvider& encoderOutput) {
    const std::string message = "Invalid encoder output length";
    const auto lengths = AsrWindowInference::extractFeatureValue(encoderOutput, "encoder_length", message);
    if (lengths->count() == 0) {
        throw ASRError::processingFailed(message);
    }
    return static_cast<int>(lengths->value(0));
}

std::string joinedNames(const std::set<std::string>& names) {
    std::string joined;
    for (const auto& name : names) {
        joined += joined.empty() ? name : concatenated({", ", name});
    }
    return joined;
}

ASRError missingEncoderInput(const std::string& name, const FeatureProvider& preprocessorOutput,
                             const FeatureProvider& originalInput) {
    return ASRError::processingFailed(concatenated({"Missing required encoder input: ", name, ". Available inputs: ",
                                                    joinedNames(preprocessorOutput.featureNames()), ", ",
                                                    "fallback inputs: ", joinedNames(originalInput.featureNames())}));
}

// The preprocessor's output itself when it holds every input the encoder declares; otherwise each declared
// input from that output, else from the preprocessor's input.
std::shared_ptr<const FeatureProvider> prepareEncoderInput(const platform::ml::Model& encoder,
                                                           std::shared_ptr<const FeatureProvider> preprocessorOutput,
                                                           const FeatureProvider& originalInput) {
    const auto& declared = encoder.description().inputDescriptionsByName;
    const bool complete = std::ranges::all_of(
        declared, [&](const auto& entry) { return preprocessorOutput->featureValue(entry.first).has_value(); });
    if (complete) {
        return preprocessorOutput;
    }
    std::map<std::string, FeatureValue> features;
    for (const auto& [name, description] : declared) {
        auto value = preprocessorOutput->featureValue(name);
        if (!value) {
            value = originalInput.featureValue(name);
        }
        if (!value) {
            throw missingEncoderInput(name, *preprocessorOutput, originalInput);
        }
        features.insert_or_assign(name, std::move(*value));
    }
    return std::make_shared<DictionaryFeatureProvider>(std::move(features));
}

// The manager's configuration with the version's blank id and encoder width, rebuilt only when they differ.
ASRConfig decoderConfig(const ASRConfig& config, AsrModelVersion version) {
    if (config.tdtConfig.blankId == blankId(version) && config.encoderHiddenSize == encoderHiddenSize(version)) {
        return config;
    }
    ASRConfig rebuilt = config;
    rebuilt.tdtConfig.blankId = blankId(version);
    rebuilt.encoderHiddenSize = encoderHiddenSize(version);
    return rebuilt.validated();
}

void logIgnoredLanguage(const AppLogger& logger, AsrModelVersion version) {
    if (version == AsrModelVersion::tdtJa) {
        logger.debug("Ignoring `language` hint for tdtJa: TokenLanguageFilter currently supports Latin/Cyrillic "
                     "only; Japanese output is always kept.");
        return;
    }
    logger.debug(concatenated({"Ignoring `language` hint: script filtering requires the v3 joint decoder; loaded "
                               "model is ",
                               description(version), "."}));
}

int framesCovering(std::int64_t samples) {
    return static_cast<int>(std::ceil(static_cast<double>(samples) / static_cast<double>(samplesPerFrame)));
}

} // namespace

AsrWindowInference::AsrWindowInference(AppLogger logger, ASRConfig config)
    : logger_(std::move(logger)), config_(std::move(config)), vocabulary_(std::make_shared<const Vocabulary>()) {}

std::shared_ptr<Model> AsrWindowInference::preprocessorModel() const {
    std::lock_guard lock(mutex_);
    return preprocessorModel_;
}

void AsrWindowInference::setPreprocessorModel(std::shared_ptr<Model> model) {
    std::lock_guard lock(mutex_);
    preprocessorModel_ = std::move(model);
}

std::shared_ptr<Model> AsrWindowInference::encoderModel() const {
    std::lock_guard lock(mutex_);
    return encoderModel_;
}

void AsrWindowInference::setEncoderModel(std::shared_ptr<Model> model) {
    std::lock_guard lock(mutex_);
    encoderModel_ = std::move(model);
}

std::shared_ptr<Model> AsrWindowInference::decoderModel() const {
    std::lock_guard lock(mutex_);
    return decoderModel_;
}

void AsrWindowInference::setDecoderModel(std::shared_ptr<Model> model) {
    std::lock_guard lock(mutex_);
    decoderModel_ = std::move(model);
}

std::shared_ptr<Model> AsrWindowInference::jointModel() const {
    std::lock_guard lock(mutex_);
    return jointModel_;
}

void AsrWindowInference::setJointModel(std::shared_ptr<Model> model) {
    std::lock_guard lock(mutex_);
    jointModel_ = std::move(model);
}

std::optional<AsrModels> AsrWindowInference::asrModels() const {
    std::lock_guard lock(mutex_);
    return asrModels_;
}

void AsrWindowInference::setAsrModels(std::optional<AsrModels> models) {
    std::lock_guard lock(mutex_);
    asrModels_ = std::move(models);
}

AsrWindowInference::Vocabulary AsrWindowInference::vocabulary() const { return *vocabularySnapshot(); }

void AsrWindowInference::setVocabulary(Vocabulary vocabulary) {
    auto replacement = std::make_shared<const Vocabulary>(std::move(vocabulary));
    std::lock_guard lock(mutex_);
    vocabulary_ = std::move(replacement);
}

std::shared_ptr<platform::ml::PredictionOptions> AsrWindowInference::predictionOptions() {
    std::lock_guard lock(mutex_);
    if (predictionOptions_ == nullptr) {
        predictionOptions_ = std::make_shared<platform::ml::PredictionOptions>();
    }
    return predictionOptions_;
}

void AsrWindowInference::setPredictionOptions(std::shared_ptr<platform::ml::PredictionOptions> options) {
    std::lock_guard lock(mutex_);
    predictionOptions_ = std::move(options);
}

void AsrWindowInference::bind(const AsrModels& models) {
    auto vocabulary = std::make_shared<const Vocabulary>(models.vocabulary);
    std::lock_guard lock(mutex_);
    asrModels_ = models;
    preprocessorModel_ = models.preprocessor;
    encoderModel_ = models.encoder;
    decoderModel_ = models.decoder;
    jointModel_ = models.joint;
    vocabulary_ = std::move(vocabulary);
}

void AsrWindowInference::unbind() {
    std::lock_guard lock(mutex_);
    asrModels_.reset();
    preprocessorModel_.reset();
    encoderModel_.reset();
    decoderModel_.reset();
    jointModel_.reset();
}

std::optional<AsrModelVersion> AsrWindowInference::modelVersion() const {
    std::lock_guard lock(mutex_);
    return asrModels_ ? std::optional(asrModels_->version) : std::nullopt;
}

int AsrWindowInference::decoderLayerCount() const {
    const auto version = modelVersion();
    return version ? decoderLayers(*version) : 2;
}

bool AsrWindowInference::isAvailable() const {
    std::lock_guard lock(mutex_);
    if (decoderModel_ == nullptr || jointModel_ == nullptr || preprocessorModel_ == nullptr) {
        return false;
    }
    const bool fusedOrUnknown = !asrModels_ || asrModels_->version == AsrModelVersion::tdtCtc110m;
    return fusedOrUnknown || encoderModel_ != nullptr;
}

AsrTokenText AsrWindowInference::tokenText() const {
    return AsrTokenText(logger_, config_.tdtConfig.boundarySearchFrames, vocabularySnapshot());
}

AsrWindowInference::InferenceResult AsrWindowInference::executeMLInferenceWithTimings(const Request& request) {
    const std::size_t windowLength = request.paddedLength.value_or(request.samples.size());
    const DictionaryFeatureProvider input = preparePaddedInput(request.samples, windowLength, request.originalLength);
    const PooledArrayReturn pooledInput(input.featureValue("audio_signal")->multiArrayValue());
    const auto encoderOutput = runFrontEnd(input);
    const auto encoder = extractFeatureValue(*encoderOutput, "encoder", "Invalid encoder output");
    const int encoderSequenceLength = encoderSequenceLengthOf(*encoderOutput);
    const int audioFrames = request.actualAudioFrames.value_or(
        framesCovering(request.originalLength ? *request.originalLength : static_cast<std::int64_t>(windowLength)));
    TdtHypothesis hypothesis = decode(encoder, encoderSequenceLength, audioFrames, request.context);
    return InferenceResult{.hypothesis = std::move(hypothesis), .encoderSequenceLength = encoderSequenceLength};
}

DictionaryFeatureProvider AsrWindowInference::preparePreprocessorInput(std::span<const float> samples,
                                                                       std::optional<int> actualLength) const {
    return preparePaddedInput(samples, samples.size(), actualLength);
}

DictionaryFeatureProvider AsrWindowInference::preparePaddedInput(std::span<const float> samples,
                                                                 std::size_t windowLength,
                                                                 std::optional<int> actualLength) const {
    auto audioSignal = sharedMLArrayCache().getArray({1, windowLength}, DataType::float32);
    try {
        std::ranges::copy(samples, audioSignal->data<float>());
        auto audioLength = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        audioLength->at<std::int32_t>(0) = actualLength.value_or(static_cast<int>(windowLength));
        return createFeatureProvider({{"audio_signal", audioSignal}, {"audio_length", std::move(audioLength)}});
    } catch (...) {
        sharedMLArrayCache().returnArray(audioSignal);
        throw;
    }
}

std::size_t AsrWindowInference::frameAlignedLength(std::size_t count, bool allowAlignment) {
    const std::size_t alignedLength = (count + samplesPerFrame - 1) / samplesPerFrame * samplesPerFrame;
    return allowAlignment && alignedLength <= windowSamples ? alignedLength : count;
}

AsrWindowInference::FrameAlignedAudio AsrWindowInference::frameAlignedAudio(std::vector<float> samples,
                                                                            bool allowAlignment) {
    const std::size_t alignedLength = frameAlignedLength(samples.size(), allowAlignment);
    samples.resize(alignedLength, 0.0f);
    return FrameAlignedAudio{.samples = std::move(samples), .frameAlignedLength = static_cast<int>(alignedLength)};
}

std::shared_ptr<MultiArray> AsrWindowInference::extractFeatureValue(const FeatureProvider& provider,
                                                                    const std::string& key,
                                                                    const std::string& errorMessage) {
    const auto value = provider.featureValue(key);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr) {
        throw ASRError::processingFailed(errorMessage);
    }
    return array;
}

std::shared_ptr<const FeatureProvider> AsrWindowInference::runFrontEnd(const FeatureProvider& input) {
    const auto preprocessor = preprocessorModel();
    if (preprocessor == nullptr) {
        throw ASRError::notInitialized();
    }
    platform::core::Task::checkCancellation();
    const auto options = predictionOptions();
    auto preprocessorOutput = preprocessor->predict(input, *options);
    const auto encoder = encoderModel();
    if (encoder == nullptr) {
        return preprocessorOutput;
    }
    const auto encoderInput = prepareEncoderInput(*encoder, std::move(preprocessorOutput), input);
    platform::core::Task::checkCancellation();
    return encoder->predict(*encoderInput, *options);
}

TdtHypothesis AsrWindowInference::decode(const std::shared_ptr<const MultiArray>& encoderOutput,
                                         int encoderSequenceLength, int actualAudioFrames,
                                         const TdtWindowContext& context) const {
    const DecoderBinding binding = decoderBinding();
    const ASRConfig config = decoderConfig(config_, binding.version);
    TdtDecoderV3::WindowRequest request{
        .encoderOutput = encoderOutput,
        .encoderSequenceLength = encoderSequenceLength,
        .actualAudioFrames = actualAudioFrames,
        .decoderModel = *binding.decoder,
        .jointModel = *binding.joint,
        .vocabulary = binding.vocabulary.get(),
        .context = context,
    };
    if (binding.version == AsrModelVersion::v3) {
        return TdtDecoderV3(config).decodeWithTimings(request);
    }
    if (context.language) {
        logIgnoredLanguage(logger_, binding.version);
    }
    // Sets of other versions decode from the start the state implies, recording every token, unfiltered.
    request.vocabulary = nullptr;
    request.context.language = std::nullopt;
    request.context.emitTokensAfterGlobalFrame = std::nullopt;
    request.context.initialTimeIndexOverride = std::nullopt;
    const ASRConfig versionConfig = binding.version == AsrModelVersion::tdtJa ? config : TdtDecoderV2(config).config;
    return TdtDecoderV3(versionConfig).decodeWithTimings(request);
}

std::shared_ptr<const AsrWindowInference::Vocabulary> AsrWindowInference::vocabularySnapshot() const {
    std::lock_guard lock(mutex_);
    return vocabulary_;
}

AsrWindowInference::DecoderBinding AsrWindowInference::decoderBinding() const {
    std::lock_guard lock(mutex_);
    if (!asrModels_ || decoderModel_ == nullptr || jointModel_ == nullptr) {
        throw ASRError::notInitialized();
    }
    return DecoderBinding{
        .version = asrModels_->version,
        .decoder = decoderModel_,
        .joint = jointModel_,
        .vocabulary = vocabulary_,
    };
}

} // namespace quorl
