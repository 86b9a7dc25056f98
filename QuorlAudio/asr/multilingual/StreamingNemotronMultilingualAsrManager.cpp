#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualChunkEncoder.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualModelBundles.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualSharedPreloader.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualSpeculativeDecoder.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTerminalPunctuation.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualVariantDownloader.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualWarmup.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "platform/core/TaskGroup.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/text/CaseMapping.hpp"

#include <array>
#include <chrono>
#include <exception>
#include <limits>
#include <utility>
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

// Dimension 1 of the batched joint's "encoder_proj" input, when it declares one of at least 1.
std::optional<std::int64_t> batchWidthOf(const std::shared_ptr<platform::ml::Model>& batchedJoint) {
    if (!batchedJoint) {
        return std::nullopt;
    }
    const auto& inputs = batchedJoint->description().inputDescriptionsByName;
    const auto input = inputs.find("encoder_proj");
    if (input == inputs.end() || !input->second.multiArrayConstraint) {
        return std::nullopt;
    }
    const auto& shape = input->second.multiArrayConstraint->shape;
    if (shape.size() < 2 || shape[1] < 1) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(shape[1]);
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

void StreamingNemotronMultilingualAsrManager::loadFromShared(const SharedNemotronMultilingualModels& shared) {
    const std::lock_guard lock(mutex_);
    mlConfiguration_ = shared.mlConfiguration;
    config_ = shared.config;
    state_.lastToken = static_cast<std::int32_t>(config_.blankIdx);
    currentPromptId_ = static_cast<std::int32_t>(config_.defaultPromptId);
    melExtractor_ = NemotronMelExtractor::make(static_cast<int>(config_.melFeatures));
    prefetchMelExtractor_ = NemotronMelExtractor::make(static_cast<int>(config_.melFeatures));
    adoptModels(shared);
    resetStatesLocked();
    makePredictionOptions();
    makeReusableInputs();
    logger_.info("Nemotron multilingual manager initialized from shared models (" + std::to_string(config_.chunkMs) +
                 "ms chunks).");
}

// Every model field follows the set, so a model of an earlier load cannot outlive it here. An encoder state
// belongs to the encoder that made it: it is made anew from the shared encoder, or dropped.
void StreamingNemotronMultilingualAsrManager::adoptModels(const SharedNemotronMultilingualModels& shared) {
    models_.encoder = shared.encoder;
    models_.decoder = shared.decoder;
    models_.joint = shared.joint;
    models_.decoderJoint = shared.decoderJoint;
    models_.decoderJointArgmax = shared.decoderJointArgmax;
    models_.decoderJointNoEncProj = shared.decoderJointNoEncProj;
    models_.jointNoEncProjBatched = shared.jointNoEncProjBatched;
    tokenizer_ = shared.tokenizer;
    models_.jointNoEncProjBatchedK =
        batchWidthOf(shared.jointNoEncProjBatched).value_or(models_.jointNoEncProjBatchedK);
    state_.encoderState =
        shared.encoderIsStateful && platform::ml::statefulModelsSupported() ? shared.encoder->makeState() : nullptr;
}

SharedNemotronMultilingualModels StreamingNemotronMultilingualAsrManager::preloadShared(
    const fs::path& directory, const std::optional<platform::ml::ModelConfiguration>& configuration) {
    return NemotronMultilingualSharedPreloader::preload(directory, configuration);
}

std::string StreamingNemotronMultilingualAsrManager::languageDirectory(const std::string& languageCode) {
    return NemotronMultilingualVariantDownloader::languageDirectory(languageCode);
}

fs::path StreamingNemotronMultilingualAsrManager::downloadVariant(const NemotronMultilingualVariantRequest& request) {
    return NemotronMultilingualVariantDownloader::download(request);
}

SharedNemotronMultilingualModels StreamingNemotronMultilingualAsrManager::downloadAndPreloadShared(
    const NemotronMultilingualVariantRequest& request,
    const std::optional<platform::ml::ModelConfiguration>& configuration) {
    return preloadShared(downloadVariant(request), configuration);
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
    const auto width = batchWidthOf(models_.jointNoEncProjBatched);
    if (!width) {
        return;
    }
    models_.jointNoEncProjBatchedK = *width;
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
    stepBuffers_.encoderStep = makeArrayOrNull({1, static_cast<std::size_t>(config_.encoderDim), 1}, DataType::float32);
    stepBuffers_.encoderProjStep = makeArrayOrNull({1, 1, projectedWidth}, DataType::float32);
    if (auto token = makeArrayOrNull({1, 1}, DataType::int32)) {
        stepBuffers_.tokenInput = std::move(token);
    }
    if (auto length = makeArrayOrNull({1}, DataType::int32)) {
        length->data<std::int32_t>()[0] = 1;
        stepBuffers_.tokenLength = std::move(length);
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

// Partial transcripts are handed out once the lock is released, so a callback may call into the manager.
struct StreamingNemotronMultilingualAsrManager::Partials {
    PartialCallback callback;
    std::vector<std::string> texts;
};

void StreamingNemotronMultilingualAsrManager::deliver(const Partials& partials) {
    for (const std::string& text : partials.texts) {
        partials.callback(text);
    }
}

void StreamingNemotronMultilingualAsrManager::setPartialCallback(PartialCallback callback) {
    const std::lock_guard lock(mutex_);
    partialCallback_ = std::move(callback);
}

bool StreamingNemotronMultilingualAsrManager::appendTerminalPunctuation() const {
    const std::lock_guard lock(mutex_);
    return appendTerminalPunctuation_;
}

void StreamingNemotronMultilingualAsrManager::setAppendTerminalPunctuation(bool append) {
    const std::lock_guard lock(mutex_);
    appendTerminalPunctuation_ = append;
}

NemotronMultilingualStatistics StreamingNemotronMultilingualAsrManager::statistics() const {
    const std::lock_guard lock(mutex_);
    return statistics_;
}

// Audio intake

void StreamingNemotronMultilingualAsrManager::appendAudio(const platform::audio::PCMBuffer& buffer) {
    const std::vector<float> samples = audioConverter_.resampleBuffer(buffer);
    const std::lock_guard lock(mutex_);
    audioBuffer_.append(samples);
}

std::string StreamingNemotronMultilingualAsrManager::process(const platform::audio::PCMBuffer& audioBuffer) {
    return process(audioConverter_.resampleBuffer(audioBuffer));
}

std::string StreamingNemotronMultilingualAsrManager::process(std::span<const float> samples) {
    Partials partials;
    try {
        const std::lock_guard lock(mutex_);
        checkReady(false);
        audioBuffer_.append(samples);
        decodeWholeChunks(partials);
    } catch (...) {
        deliver(partials);
        throw;
    }
    deliver(partials);
    return {};
}

std::string StreamingNemotronMultilingualAsrManager::finish() { return finishWithTokenTimings().text; }

// Whole chunks appended but never processed are decoded first: only the remainder is padded.
StreamingNemotronMultilingualAsrManager::TimedText StreamingNemotronMultilingualAsrManager::finishWithTokenTimings() {
    Partials partials;
    TimedText result;
    try {
        const std::lock_guard lock(mutex_);
        checkReady(true);
        decodeWholeChunks(partials);
        const auto chunkSamples = static_cast<std::size_t>(config_.chunkSamples());
        if (audioBuffer_.pending() > 0) {
            audioBuffer_.padToChunk(chunkSamples);
            processChunk(audioBuffer_.chunk(chunkSamples), std::nullopt, partials);
            audioBuffer_.clear();
        }
        result.text = finishTranscript();
        result.timings = lastFinishTokenTimings_;
    } catch (...) {
        deliver(partials);
        throw;
    }
    deliver(partials);
    return result;
}

std::string StreamingNemotronMultilingualAsrManager::finishTranscript() {
    const auto decoded = tokenizer_->decode(transcript_.tokenIds);
    if (decoded.detectedLanguage) {
        transcript_.recordDetectedLanguage(*decoded.detectedLanguage);
    }
    lastFinish_ = {
        .tokenCount = static_cast<std::int64_t>(transcript_.tokenIds.size()),
        .detectedLanguage = transcript_.firstDetectedLanguage,
        .processedChunks = processedChunks_,
    };
    lastFinishTokenTimings_ = std::move(transcript_.tokenTimings);
    transcript_.tokenIds.clear();
    transcript_.tokenTimings.clear();
    return appendTerminalPunctuation_ ? tidyTerminalPunctuation(decoded.text, lastFinish_.detectedLanguage)
                                      : decoded.text;
}

NemotronMultilingualDecodeStats StreamingNemotronMultilingualAsrManager::lastDecodeStats() const {
    const std::lock_guard lock(mutex_);
    return lastFinish_;
}

std::string StreamingNemotronMultilingualAsrManager::getPartialTranscript() {
    const std::lock_guard lock(mutex_);
    if (!tokenizer_) {
        return {};
    }
    const auto decoded = tokenizer_->decode(transcript_.tokenIds);
    if (decoded.detectedLanguage) {
        transcript_.recordDetectedLanguage(*decoded.detectedLanguage);
    }
    return decoded.text;
}

std::vector<TokenTiming> StreamingNemotronMultilingualAsrManager::getTokenTimings() const {
    const std::lock_guard lock(mutex_);
    return transcript_.tokenTimings;
}

std::string
StreamingNemotronMultilingualAsrManager::tidyTerminalPunctuation(const std::string& text,
                                                                 const std::optional<std::string>& language) {
    return quorl::tidyTerminalPunctuation(text, language);
}

// Chunks

void StreamingNemotronMultilingualAsrManager::checkReady(bool needsTokenizer) const {
    const bool decodable = models_.decoderJoint || models_.decoderJointNoEncProj || models_.decoderJointArgmax ||
                           (models_.decoder && models_.joint);
    if (!melExtractor_ || !models_.encoder || !decodable || (needsTokenizer && !tokenizer_)) {
        throw ASRError::notInitialized();
    }
}

void StreamingNemotronMultilingualAsrManager::decodeWholeChunks(Partials& partials) {
    const auto chunkSamples = static_cast<std::size_t>(config_.chunkSamples());
    while (audioBuffer_.pending() >= chunkSamples) {
        NextChunk next;
        if (audioBuffer_.pending() >= 2 * chunkSamples) {
            next = audioBuffer_.chunk(2 * chunkSamples).subspan(chunkSamples);
        }
        processChunk(audioBuffer_.chunk(chunkSamples), next, partials);
        audioBuffer_.advance(chunkSamples);
    }
}

// What a chunk may change before it fails, kept so that the chunk, cut again, is decoded exactly once.
struct StreamingNemotronMultilingualAsrManager::ChunkAttempt {
    NemotronMultilingualEnergyGate gate;
    NemotronMultilingualStreamState state;
    NemotronMultilingualTranscript::Mark transcript;
    std::optional<NemotronMultilingualEncoding> encoding;
};

void StreamingNemotronMultilingualAsrManager::processChunk(std::span<const float> samples, NextChunk nextChunk,
                                                           Partials& partials) {
    checkChunkReady();
    ++statistics_.chunkCount;
    ChunkAttempt attempt{.gate = gate_, .state = state_, .transcript = transcript_.mark(), .encoding = {}};
    if (gate_.skips(samples)) {
        ++statistics_.vadSkipCount;
        transcript_.absoluteFrameBase += static_cast<std::int64_t>(samples.size() / 1280);
        return;
    }
    try {
        encodeAndDecode(samples, nextChunk, partials, attempt);
    } catch (...) {
        rollBack(attempt);
        throw;
    }
}

void StreamingNemotronMultilingualAsrManager::checkChunkReady() const {
    if (!melExtractor_ || !models_.encoder || !state_.cacheChannel || !state_.cacheTime || !state_.cacheLen ||
        !state_.hState || !state_.cState || !tokenizer_) {
        throw ASRError::notInitialized();
    }
}

// The next chunk is encoded on the shared pool while this one is decoded. The look-ahead is always joined
// before the chunk ends: on a decoding failure by the group's destructor, its result discarded.
void StreamingNemotronMultilingualAsrManager::encodeAndDecode(std::span<const float> samples, NextChunk nextChunk,
                                                              Partials& partials, ChunkAttempt& attempt) {
    const auto t0 = std::chrono::steady_clock::now();
    if (state_.prefetchedEncoded) {
        attempt.encoding = {.encoded = std::exchange(state_.prefetchedEncoded, nullptr),
                            .encoderProj = std::exchange(state_.prefetchedEncoderProj, nullptr)};
        statistics_.prepNanos += static_cast<std::uint64_t>((std::chrono::steady_clock::now() - t0).count());
    } else {
        attempt.encoding =
            NemotronMultilingualChunkEncoder{
                .models = models_, .config = config_, .melExtractor = *melExtractor_, .promptId = currentPromptId_}
                .encode(samples, state_, statistics_);
    }
    std::optional<NemotronMultilingualPrefetchedChunk> prefetched;
    std::exception_ptr lookAheadFailure;
    platform::core::TaskGroup lookAheads;
    if (nextChunk) {
        lookAheads.spawn([&prefetched, &lookAheadFailure, request = lookAhead(nextChunk)] {
            try {
                prefetched = request.prefetchNextChunk();
            } catch (...) {
                lookAheadFailure = std::current_exception();
            }
        });
    }
    const auto t2 = std::chrono::steady_clock::now();
    NemotronMultilingualDecoderState decoder{.token = state_.lastToken, .h = state_.hState, .c = state_.cState};
    const auto emitted = decodeEncoding(decoder, attempt);
    statistics_.decNanos += static_cast<std::uint64_t>((std::chrono::steady_clock::now() - t2).count());
    state_.lastToken = decoder.token;
    state_.hState = decoder.h;
    state_.cState = decoder.c;
    if (!emitted.empty() && partialCallback_) {
        partials.callback = partialCallback_;
        partials.texts.push_back(tokenizer_->decode(transcript_.tokenIds).text);
    }
    lookAheads.waitAll();
    installLookAhead(std::move(prefetched), lookAheadFailure);
    const auto& shape = attempt.encoding->encoded->shape();
    transcript_.absoluteFrameBase += shape.size() == 3 ? static_cast<std::int64_t>(shape[2]) : 0;
    ++processedChunks_;
}

// The speculative route needs the bare decoder, the batched joint and projected frames; it is switched off
// per chunk by the environment.
std::vector<std::int64_t>
StreamingNemotronMultilingualAsrManager::decodeEncoding(NemotronMultilingualDecoderState& decoder,
                                                        const ChunkAttempt& attempt) {
    const auto& encoding = *attempt.encoding;
    const NemotronMultilingualGreedyDecoder::Context context{models_, config_, *tokenizer_, stepBuffers_};
    const auto switchValue = platform::sys::environmentValue(smartSpeculativeVariable);
    const bool speculative = !(switchValue && disablesSmartSpeculative(*switchValue));
    if (speculative && models_.jointNoEncProjBatched && models_.decoder && encoding.encoderProj) {
        return NemotronMultilingualSpeculativeDecoder({context, encProjBatchReusable_, statistics_}, transcript_)
            .decodeChunk(*encoding.encoded, *encoding.encoderProj, decoder);
    }
    return NemotronMultilingualGreedyDecoder(context, transcript_)
        .decodeChunk(*encoding.encoded, encoding.encoderProj.get(), decoder);
}

NemotronMultilingualLookAhead StreamingNemotronMultilingualAsrManager::lookAhead(NextChunk nextChunk) const {
    return {
        .nextChunkSamples = nextChunk,
        .statefulEncoder = platform::ml::statefulModelsSupported() && state_.encoderState != nullptr,
        .cacheChannel = state_.cacheChannel,
        .cacheTime = state_.cacheTime,
        .cacheLen = state_.cacheLen,
        .melCache = state_.melCache,
        .promptId = currentPromptId_,
        .melExtractor = prefetchMelExtractor_ ? &*prefetchMelExtractor_ : nullptr,
        .geometry = {.totalMelFrames = config_.totalMelFrames,
                     .melFeatures = config_.melFeatures,
                     .preEncodeCache = config_.preEncodeCache},
        .encoder = models_.encoder,
        .gate = gate_,
    };
}

// A failed look-ahead costs only the head start: the chunk it was for is encoded in turn by the next call,
// while the decoded chunk stands.
void StreamingNemotronMultilingualAsrManager::installLookAhead(
    std::optional<NemotronMultilingualPrefetchedChunk> prefetched, std::exception_ptr failure) {
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            logger_.error(std::string("Look-ahead encoding failed: ") + error.what());
        } catch (...) {
            logger_.error("Look-ahead encoding failed");
        }
        return;
    }
    if (!prefetched) {
        return;
    }
    state_.prefetchedEncoded = std::move(prefetched->encoded);
    state_.prefetchedEncoderProj = std::move(prefetched->encoderProj);
    state_.cacheChannel = std::move(prefetched->cacheChannel);
    state_.cacheTime = std::move(prefetched->cacheTime);
    state_.cacheLen = std::move(prefetched->cacheLen);
    state_.melCache = std::move(prefetched->newMelCache);
}

// A stateful encoder has advanced its state in place and cannot go back: its finished encoding is kept for
// the retry, with the caches and mel cache that stand after it. Otherwise everything goes back.
void StreamingNemotronMultilingualAsrManager::rollBack(const ChunkAttempt& attempt) {
    gate_ = attempt.gate;
    transcript_.rollBack(attempt.transcript);
    state_.lastToken = attempt.state.lastToken;
    state_.hState = attempt.state.hState;
    state_.cState = attempt.state.cState;
    if (attempt.encoding && attempt.encoding->advancedEncoderState) {
        state_.prefetchedEncoded = attempt.encoding->encoded;
        state_.prefetchedEncoderProj = attempt.encoding->encoderProj;
        return;
    }
    state_.cacheChannel = attempt.state.cacheChannel;
    state_.cacheTime = attempt.state.cacheTime;
    state_.cacheLen = attempt.state.cacheLen;
    state_.melCache = attempt.state.melCache;
    state_.prefetchedEncoded = attempt.state.prefetchedEncoded;
    state_.prefetchedEncoderProj = attempt.state.prefetchedEncoderProj;
}

// Language

void StreamingNemotronMultilingualAsrManager::setLanguage(const std::optional<std::string>& language) {
    const std::lock_guard lock(mutex_);
    const std::int64_t promptId = config_.promptId(language);
    currentPromptId_ = static_cast<std::int32_t>(promptId);
    currentLanguageCode_ = language;
    logger_.info("Prompt id set to " + std::to_string(promptId) + " for language " + language.value_or("auto"));
    if (useForcedPrefix_) {
        seedLogged();
    }
}

void StreamingNemotronMultilingualAsrManager::setPromptId(std::int64_t promptId) {
    const std::lock_guard lock(mutex_);
    if (promptId < std::numeric_limits<std::int32_t>::min() || promptId > std::numeric_limits<std::int32_t>::max()) {
        logger_.warning("Prompt id out of range: " + std::to_string(promptId));
        return;
    }
    currentPromptId_ = static_cast<std::int32_t>(promptId);
}

std::int64_t StreamingNemotronMultilingualAsrManager::promptId() const { return currentPromptIdValue(); }

std::int32_t StreamingNemotronMultilingualAsrManager::currentPromptIdValue() const {
    const std::lock_guard lock(mutex_);
    return currentPromptId_;
}

void StreamingNemotronMultilingualAsrManager::setForcedPrefix(bool enabled) {
    const std::lock_guard lock(mutex_);
    useForcedPrefix_ = enabled;
    logger_.info(std::string("Forced prefix ") + (enabled ? "enabled" : "disabled"));
    if (enabled) {
        seedLogged();
    }
}

bool StreamingNemotronMultilingualAsrManager::forcedPrefixEnabled() const {
    const std::lock_guard lock(mutex_);
    return useForcedPrefix_;
}

std::optional<std::string> StreamingNemotronMultilingualAsrManager::detectedLanguage() const {
    const std::lock_guard lock(mutex_);
    return transcript_.firstDetectedLanguage;
}

void StreamingNemotronMultilingualAsrManager::recordDetectedLanguage(const std::string& language) {
    const std::lock_guard lock(mutex_);
    transcript_.recordDetectedLanguage(language);
}

void StreamingNemotronMultilingualAsrManager::seedLogged() {
    try {
        applyForcedPrefixIfNeeded();
    } catch (const std::exception& error) {
        logger_.error(std::string("Forced prefix seeding failed: ") + error.what());
    }
}

// The decoder consumes the language's tag as if the model had emitted it; nothing is added to the transcript.
void StreamingNemotronMultilingualAsrManager::applyForcedPrefixIfNeeded() {
    if (!useForcedPrefix_ || !currentLanguageCode_ || !tokenizer_ || !models_.decoder || !state_.hState ||
        !state_.cState) {
        return;
    }
    const std::string& code = *currentLanguageCode_;
    const auto tag = tokenizer_->langTagTokenId(code);
    if (!tag) {
        logger_.info("Forced prefix: no lang-tag token for " + code + "; skipping seed");
        return;
    }
    auto token = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::int32);
    token->data<std::int32_t>()[0] = static_cast<std::int32_t>(*tag);
    auto length = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    length->data<std::int32_t>()[0] = 1;
    const auto outputs = models_.decoder->predict(platform::ml::DictionaryFeatureProvider({
        {"token", platform::ml::FeatureValue(token)},
        {"token_length", platform::ml::FeatureValue(length)},
        {"h_in", platform::ml::FeatureValue(state_.hState)},
        {"c_in", platform::ml::FeatureValue(state_.cState)},
    }));
    auto h = platform::ml::multiArrayOutput(*outputs, "h_out");
    auto c = platform::ml::multiArrayOutput(*outputs, "c_out");
    if (!h || !c) {
        logger_.warning("Forced prefix: decoder did not return h_out/c_out; skipping");
        return;
    }
    state_.hState = std::move(h);
    state_.cState = std::move(c);
    state_.lastToken = static_cast<std::int32_t>(*tag);
    transcript_.recordDetectedLanguage(code);
    logger_.info("Forced prefix: seeded decoder with lang-tag token id " + std::to_string(*tag) + " for " + code);
}

// Reset and cleanup

void StreamingNemotronMultilingualAsrManager::reset() {
    const std::lock_guard lock(mutex_);
    resetLocked();
}

void StreamingNemotronMultilingualAsrManager::resetLocked() {
    audioBuffer_.clear();
    transcript_ = {};
    lastFinishTokenTimings_.clear();
    processedChunks_ = 0;
    try {
        resetStatesLocked();
    } catch (const std::exception& error) {
        logger_.error(std::string("Failed to reset states: ") + error.what());
    }
    if (useForcedPrefix_) {
        seedLogged();
    }
}

void StreamingNemotronMultilingualAsrManager::cleanup() {
    const std::lock_guard lock(mutex_);
    resetLocked();
    melExtractor_.reset();
    prefetchMelExtractor_.reset();
    for (auto* model : {&models_.encoder, &models_.decoder, &models_.joint, &models_.decoderJoint,
                        &models_.decoderJointArgmax, &models_.decoderJointNoEncProj, &models_.jointNoEncProjBatched}) {
        model->reset();
    }
    tokenizer_.reset();
    state_.cacheChannel.reset();
    state_.cacheTime.reset();
    state_.cacheLen.reset();
    state_.melCache.reset();
    state_.hState.reset();
    state_.cState.reset();
    logger_.info("StreamingNemotronMultilingualAsrManager resources cleaned up");
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
