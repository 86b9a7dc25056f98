#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualModelBundles.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualWarmup.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/text/CaseMapping.hpp"

#include <array>
#include <exception>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::DataType;
using platform::ml::MultiArray;
using ModelField = std::shared_ptr<platform::ml::Model> NemotronMultilingualModels::*;

constexpr const char* smartSpeculativeVariable = "QUORLAUDIO_ENABLE_SMART_SPECULATIVE";
// The width of a projected encoder frame in every model of the family, whatever the metadata says.
constexpr std::size_t projectedWidth = 640;

// A decoder-side model: its file stem, where it goes, the variable choosing its compute units (none: the
// manager's configuration as it is), when it is wanted, and the line that reports it.
struct OptionalModel {
    const char* name;
    ModelField field;
    const char* computeUnitVariable;
    bool (*wanted)(const NemotronMultilingualModels&);
    const char* loadedLine;
};

bool always(const NemotronMultilingualModels&) { return true; }

// Only the most fused decoder-joint model is loaded: argmax, then the one fed projected frames, then merged.
bool noArgmaxModel(const NemotronMultilingualModels& models) { return !models.decoderJointArgmax; }
bool noOtherFusedModel(const NemotronMultilingualModels& models) {
    return !models.decoderJointArgmax && !models.decoderJointNoEncProj;
}

const std::array<OptionalModel, 6> optionalModels{{
    {"decoder", &NemotronMultilingualModels::decoder, "QUORLAUDIO_DECODER_CU", always, nullptr},
    {"joint", &NemotronMultilingualModels::joint, "QUORLAUDIO_JOINT_CU", always, nullptr},
    {"decoder_joint_argmax", &NemotronMultilingualModels::decoderJointArgmax, "QUORLAUDIO_DECODERJOINT_CU", always,
     "Loaded decoder_joint_argmax \u2014 using triple-fusion inner-loop path"},
    {"decoder_joint_noencproj", &NemotronMultilingualModels::decoderJointNoEncProj, nullptr, noArgmaxModel,
     "Loaded decoder_joint_noencproj \u2014 using B3+B1 inner-loop path"},
    {"decoder_joint", &NemotronMultilingualModels::decoderJoint, nullptr, noOtherFusedModel,
     "Loaded decoder_joint \u2014 using merged inner-loop path"},
    {"joint_noencproj_batched", &NemotronMultilingualModels::jointNoEncProjBatched, "QUORLAUDIO_JOINT_BATCHED_CU",
     always, "Loaded joint_noencproj_batched \u2014 smart speculative-blank path available"},
}};

std::string compiledName(const std::string& name) { return name + ".mlmodelc"; }
std::string packageName(const std::string& name) { return name + ".mlpackage"; }

bool isStateful(const std::shared_ptr<platform::ml::Model>& encoder) {
    return platform::ml::statefulModelsSupported() && encoder &&
           !encoder->description().stateDescriptionsByName.empty();
}

bool disablesSmartSpeculative(const std::string& value) {
    const std::string lower = platform::text::lowercased(value);
    return lower == "0" || lower == "false" || lower == "no";
}

std::shared_ptr<MultiArray> makeArrayOrNull(const MultiArray::Shape& shape, DataType dataType) {
    try {
        return std::make_shared<MultiArray>(shape, dataType);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

StreamingNemotronMultilingualAsrManager::StreamingNemotronMultilingualAsrManager(
    std::optional<platform::ml::ModelConfiguration> configuration)
    : logger_("NemotronMultilingualStreaming"), currentPromptId_(static_cast<std::int32_t>(config_.defaultPromptId)),
      mlConfiguration_(configuration ? *configuration
                                     : MLModelConfigurationUtils::defaultConfiguration(
                                           platform::ml::ComputeUnits::cpuAndNeuralEngine)) {
    state_.lastToken = static_cast<std::int32_t>(config_.blankIdx);
}

NemotronMultilingualStreamingConfig StreamingNemotronMultilingualAsrManager::config() const {
    const std::lock_guard lock(mutex_);
    return config_;
}

platform::ml::ModelConfiguration StreamingNemotronMultilingualAsrManager::mlConfiguration() const {
    const std::lock_guard lock(mutex_);
    return mlConfiguration_;
}

// Loading

void StreamingNemotronMultilingualAsrManager::loadModels(const fs::path& directory) {
    const std::lock_guard lock(mutex_);
    logger_.info("Loading Nemotron multilingual CoreML models from " + directory.string() + "...");
    const fs::path metadata = directory / "metadata.json";
    if (!platform::sys::isPresent(metadata)) {
        throw ASRError::processingFailed("metadata.json not found at " + metadata.string() +
                                         ". The multilingual variant requires it for prompt_dictionary and "
                                         "lang_tag_token_ids.");
    }
    installConfiguration(NemotronMultilingualStreamingConfig::read(metadata));
    melExtractor_ = NemotronMelExtractor::make(static_cast<int>(config_.melFeatures));
    prefetchMelExtractor_ = NemotronMelExtractor::make(static_cast<int>(config_.melFeatures));
    loadEncoder(directory);
    loadOptionalModels(directory);
    readBatchWidth();
    reportSmartSpeculative();
    tokenizer_ =
        std::make_shared<const NemotronMultilingualTokenizer>(directory / "tokenizer.json", config_.langTagTokenIds);
    resetStatesLocked();
    makePredictionOptions();
    makeReusableInputs();
    NemotronMultilingualWarmup{.models = models_, .state = state_, .config = config_, .promptId = currentPromptId_}.run(
        logger_);
    logger_.info("Nemotron multilingual models loaded successfully (" + std::to_string(config_.chunkMs) +
                 "ms chunks).");
}

// Models of an earlier variant go with its configuration: left in place they would outrank this variant's
// own fused models and pair its encoder with another variant's decoder.
void StreamingNemotronMultilingualAsrManager::installConfiguration(const NemotronMultilingualStreamingConfig& config) {
    config_ = config;
    models_ = {};
    state_.encoderState.reset();
    state_.lastToken = static_cast<std::int32_t>(config_.blankIdx);
    currentPromptId_ = static_cast<std::int32_t>(config_.defaultPromptId);
    logger_.info("Loaded multilingual config: " + std::to_string(config_.chunkMs) +
                 "ms chunks, vocab=" + std::to_string(config_.vocabSize) + ", " + std::to_string(config_.numPrompts) +
                 " prompts, default=" + std::to_string(config_.defaultPromptId));
}

void StreamingNemotronMultilingualAsrManager::loadEncoder(const fs::path& directory) {
    models_.encoder = loadModel(directory, "encoder", "QUORLAUDIO_ENCODER_CU");
    if (isStateful(models_.encoder)) {
        state_.encoderState = models_.encoder->makeState();
        logger_.info("Loaded stateful encoder (MLState cache) \u2014 using ANE-resident cache path");
    }
}

void StreamingNemotronMultilingualAsrManager::loadOptionalModels(const fs::path& directory) {
    for (const OptionalModel& model : optionalModels) {
        if (!model.wanted(models_)) {
            continue;
        }
        if (!platform::sys::isPresent(directory / compiledName(model.name)) &&
            !platform::sys::isPresent(directory / packageName(model.name))) {
            continue;
        }
        models_.*model.field = loadModel(directory, model.name, model.computeUnitVariable);
        if (model.loadedLine) {
            logger_.info(model.loadedLine);
        }
    }
}

std::shared_ptr<platform::ml::Model>
StreamingNemotronMultilingualAsrManager::loadModel(const fs::path& directory, const std::string& name,
                                                   const char* computeUnitVariable) const {
    const fs::path bundle =
        NemotronMultilingualModelBundles::locateModelBundle(directory, compiledName(name), packageName(name), logger_);
    const auto configuration =
        computeUnitVariable
            ? NemotronMultilingualModelBundles::computeUnitOverride(computeUnitVariable, mlConfiguration_, logger_)
            : mlConfiguration_;
    return platform::ml::Model::load(bundle, configuration);
}

void StreamingNemotronMultilingualAsrManager::readBatchWidth() {
    if (!models_.jointNoEncProjBatched) {
        return;
    }
    const auto& inputs = models_.jointNoEncProjBatched->description().inputDescriptionsByName;
    const auto input = inputs.find("encoder_proj");
    if (input == inputs.end() || !input->second.multiArrayConstraint) {
        return;
    }
    const auto& shape = input->second.multiArrayConstraint->shape;
    if (shape.size() < 2 || shape[1] < 1) {
        return;
    }
    models_.jointNoEncProjBatchedK = static_cast<std::int64_t>(shape[1]);
    logger_.info("Smart-spec K = " + std::to_string(models_.jointNoEncProjBatchedK) +
                 " (from joint_noencproj_batched encoder_proj input shape)");
}

// Only a report: each chunk reads the switch again to choose its route.
void StreamingNemotronMultilingualAsrManager::reportSmartSpeculative() const {
    const auto value = platform::sys::environmentValue(smartSpeculativeVariable);
    if (value && disablesSmartSpeculative(*value)) {
        logger_.info(std::string("Smart-spec: explicitly disabled via ") + smartSpeculativeVariable + "=" + *value);
        return;
    }
    if (!models_.jointNoEncProjBatched) {
        const std::string line =
            "Smart-spec: assets missing (joint_noencproj_batched.mlpackage); falling back to legacy inner loop";
        value ? logger_.warning(line) : logger_.info(line);
        return;
    }
    logger_.info(
        "Smart-spec: enabled (default-on; assets present; K=" + std::to_string(models_.jointNoEncProjBatchedK) + ")");
}

void StreamingNemotronMultilingualAsrManager::makePredictionOptions() {
    using Bundles = NemotronMultilingualModelBundles;
    models_.encoderPredictionOptions = Bundles::makePredictionOptions(models_.encoder);
    models_.decoderPredictionOptions = Bundles::makePredictionOptions(models_.decoder);
    models_.jointPredictionOptions = Bundles::makePredictionOptions(models_.joint);
    models_.decoderJointPredictionOptions = Bundles::makePredictionOptions(models_.decoderJoint);
    models_.decoderJointArgmaxPredictionOptions = Bundles::makePredictionOptions(models_.decoderJointArgmax);
    models_.decoderJointNoEncProjPredictionOptions = Bundles::makePredictionOptions(models_.decoderJointNoEncProj);
    models_.jointNoEncProjBatchedPredictionOptions = Bundles::makePredictionOptions(models_.jointNoEncProjBatched);
}

// An input that cannot be made now is made by the decoding step that needs it.
void StreamingNemotronMultilingualAsrManager::makeReusableInputs() {
    encoderStepBuf_ = makeArrayOrNull({1, static_cast<std::size_t>(config_.encoderDim), 1}, DataType::float32);
    encoderProjStepBuf_ = makeArrayOrNull({1, 1, projectedWidth}, DataType::float32);
    if (auto token = makeArrayOrNull({1, 1}, DataType::int32)) {
        tokenInputBuf_ = std::move(token);
    }
    if (auto length = makeArrayOrNull({1}, DataType::int32)) {
        length->data<std::int32_t>()[0] = 1;
        tokenLenBuf_ = std::move(length);
    }
}

// States

void StreamingNemotronMultilingualAsrManager::resetStates() {
    const std::lock_guard lock(mutex_);
    resetStatesLocked();
}

void StreamingNemotronMultilingualAsrManager::resetStatesLocked() {
    auto caches = EncoderCacheManager::createInitialCaches({
        .channelShape = {config_.cacheChannelShape.begin(), config_.cacheChannelShape.end()},
        .timeShape = {config_.cacheTimeShape.begin(), config_.cacheTimeShape.end()},
        .lenShape = {1},
    });
    state_.cacheChannel = std::move(caches.channel);
    state_.cacheTime = std::move(caches.time);
    state_.cacheLen = std::move(caches.len);
    if (isStateful(models_.encoder)) {
        state_.encoderState = models_.encoder->makeState();
    }
    state_.cacheLen->data<std::int32_t>()[0] = 1;
    state_.melCache.reset();
    state_.prefetchedEncoded.reset();
    state_.prefetchedEncoderProj.reset();
    const MultiArray::Shape stateShape{static_cast<std::size_t>(config_.decoderLayers), 1,
                                       static_cast<std::size_t>(config_.decoderHidden)};
    state_.hState = EncoderCacheManager::createZeroArray(stateShape, DataType::float32);
    state_.cState = EncoderCacheManager::createZeroArray(stateShape, DataType::float32);
    state_.lastToken = static_cast<std::int32_t>(config_.blankIdx);
}

// Pieces

std::optional<std::string>
StreamingNemotronMultilingualAsrManager::tokenizerPiece(std::int64_t id,
                                                        const NemotronMultilingualTokenizer& tokenizer) {
    const std::int64_t ids[] = {id};
    const auto decoded = tokenizer.decode(ids);
    if (decoded.detectedLanguage) {
        return "<" + *decoded.detectedLanguage + ">";
    }
    if (!decoded.text.empty()) {
        return decoded.text;
    }
    return std::nullopt;
}

} // namespace quorl
