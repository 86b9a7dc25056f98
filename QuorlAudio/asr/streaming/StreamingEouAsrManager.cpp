#include "QuorlAudio/asr/streaming/StreamingEouAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"
#include "QuorlAudio/foundation/JsonFloat.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/sys/Environment.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr std::int64_t sampleRate = 16000;
namespace files = ModelNames::ParakeetEOU;
// Optional, and not part of the download.
constexpr const char* fusedFile = "decoder_joint_decision_fused.mlmodelc";
constexpr const char* defaultBaseFolder = "parakeet-eou-streaming";

const EncoderCacheManager::CacheConfig encoderCaches{
    .channelShape = {17, 1, 70, 512},
    .timeShape = {17, 1, 512, 8},
    .lenShape = {1},
};

// Milliseconds per encoder frame: the shift spread over the frames decoded, rounded half away from zero.
std::int64_t frameDurationMs(StreamingChunkSize chunkSize) {
    return std::llround(static_cast<double>(shiftSamples(chunkSize)) * 1000.0 /
                        (static_cast<double>(validOutputLen(chunkSize)) * sampleRate));
}

std::shared_ptr<MultiArray> lengthArray(std::size_t frames) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(frames);
    return array;
}

// The output under the name when it is an array; `current` otherwise.
std::shared_ptr<MultiArray> updated(const platform::ml::FeatureProvider& output, const std::string& name,
                                    std::shared_ptr<MultiArray> current) {
    const auto value = output.featureValue(name);
    auto array = value ? value->multiArrayValue() : nullptr;
    return array ? array : current;
}

bool allPresent(const fs::path& folder, const std::set<std::string>& names) {
    return std::ranges::all_of(names, [&](const std::string& name) { return fs::exists(folder / name); });
}

} // namespace

StreamingEouAsrManager::StreamingEouAsrManager() : StreamingEouAsrManager(Config{}) {}

StreamingEouAsrManager::StreamingEouAsrManager(Config config)
    : logger_("StreamingEOU"), melProcessor_(NemotronMelExtractor::make()), config_(std::move(config)) {
    logger_.info("Initialized with chunk size: " + std::to_string(durationMs(config_.chunkSize)) +
                 "ms, EOU debounce: " + std::to_string(config_.eouDebounceMs) + "ms");
}

std::string StreamingEouAsrManager::displayName() const {
    return "Parakeet EOU 120M (" + std::to_string(durationMs(chunkSize())) + "ms)";
}

StreamingChunkSize StreamingEouAsrManager::chunkSize() const {
    const std::lock_guard lock(mutex_);
    return config_.chunkSize;
}

bool StreamingEouAsrManager::eouDetected() const {
    const std::lock_guard lock(mutex_);
    return debouncer_.eouDetected();
}

std::int64_t StreamingEouAsrManager::eouDebounceMs() const {
    const std::lock_guard lock(mutex_);
    return config_.eouDebounceMs;
}

void StreamingEouAsrManager::setEouDebounceMs(std::int64_t milliseconds) {
    const std::lock_guard lock(mutex_);
    config_.eouDebounceMs = milliseconds;
}

platform::ml::ModelConfiguration StreamingEouAsrManager::configuration() const {
    const std::lock_guard lock(mutex_);
    return config_.configuration;
}

bool StreamingEouAsrManager::debugFeatures() const {
    const std::lock_guard lock(mutex_);
    return config_.debugFeatures;
}

void StreamingEouAsrManager::setEouCallback(TextCallback callback) {
    const std::lock_guard lock(mutex_);
    eouCallback_ = std::move(callback);
}

void StreamingEouAsrManager::setPartialCallback(TextCallback callback) {
    const std::lock_guard lock(mutex_);
    partialCallback_ = std::move(callback);
}

void StreamingEouAsrManager::setPartialTranscriptCallback(PartialTranscriptCallback callback) {
    setPartialCallback(std::move(callback));
}

std::vector<std::int64_t> StreamingEouAsrManager::getTokenTimestampsMs() const {
    const std::lock_guard lock(mutex_);
    return accumulatedTokenTimestampsMs_;
}

std::vector<std::string> StreamingEouAsrManager::getRawTokenStrings() const {
    const std::lock_guard lock(mutex_);
    return accumulatedRawTokenStrings_;
}

std::vector<std::int64_t> StreamingEouAsrManager::getEouTimestampsMs() const {
    const std::lock_guard lock(mutex_);
    return accumulatedEouTimestampsMs_;
}

// Loading

void StreamingEouAsrManager::loadModels(const fs::path& from) {
    const std::lock_guard lock(mutex_);
    loadModelsLocked(from);
}

void StreamingEouAsrManager::loadModels(const std::optional<fs::path>& to,
                                        const std::optional<platform::ml::ModelConfiguration>& configuration,
                                        const ProgressHandler& progressHandler) {
    const std::lock_guard lock(mutex_);
    if (configuration) {
        config_.configuration = *configuration;
    }
    const Repo modelRepo = repo(config_.chunkSize);
    const fs::path base = to ? *to : MLModelConfigurationUtils::defaultModelsDirectory() / defaultBaseFolder;
    const fs::path modelFolder = base / folderName(modelRepo);
    if (allPresent(modelFolder, ModelNames::getRequiredModelNames(modelRepo))) {
        logger_.info("Using cached Parakeet EOU models at " + modelFolder.string());
    } else {
        logger_.info("Downloading Parakeet EOU models to " + base.string() + "...");
        ModelHub::shared().download({.repo = modelRepo, .to = base}, progressHandler);
    }
    loadModelsLocked(modelFolder);
}

void StreamingEouAsrManager::loadModels() { loadModels(std::nullopt, std::nullopt, {}); }

void StreamingEouAsrManager::loadModelsLocked(const fs::path& from) {
    logger_.info("Loading CoreML models from " + from.string() + "...");
    streamingEncoder_ = platform::ml::Model::load(from / files::encoderFile, config_.configuration);
    decoder_ = platform::ml::Model::load(from / files::decoderFile, config_.configuration);
    joint_ = platform::ml::Model::load(from / files::jointFile, config_.configuration);
    tokenizer_ = std::make_shared<const Tokenizer>(from / files::vocab);
    rnntDecoder_ = std::make_unique<RnntDecoder>(decoder_, joint_, loadFusedModelIfAsked(from));
    resetStates();
    audioBuffer_.clear();
    logger_.info("Models loaded successfully.");
}

std::shared_ptr<platform::ml::Model> StreamingEouAsrManager::loadFusedModelIfAsked(const fs::path& from) const {
    if (platform::sys::environmentValue("QUORL_EOU_FUSED") != "1") {
        return nullptr;
    }
    if (!fs::exists(from / fusedFile)) {
        logger_.warning(std::string("QUORL_EOU_FUSED=1 set but ") + fusedFile + " not found in " + from.string() +
                        "; using reference decoder+joint path");
        return nullptr;
    }
    auto fused = platform::ml::Model::load(from / fusedFile, config_.configuration);
    logger_.info("QUORL_EOU_FUSED=1: using fused decoder+joint_decision (1 dispatch per RNNT step)");
    return fused;
}

void StreamingEouAsrManager::resetStates() {
    preCache_ = EncoderCacheManager::createZeroArray(
        {1, 128, static_cast<std::size_t>(preCacheSize(config_.chunkSize))}, DataType::float32);
    auto caches = EncoderCacheManager::createInitialCaches(encoderCaches);
    cacheLastChannel_ = std::move(caches.channel);
    cacheLastTime_ = std::move(caches.time);
    cacheLastChannelLen_ = std::move(caches.len);
}

// Audio intake

void StreamingEouAsrManager::appendAudio(const platform::audio::PCMBuffer& buffer) {
    const std::lock_guard lock(mutex_);
    StreamingAsrUtils::appendAudio(buffer, audioConverter_, audioBuffer_);
}

std::string StreamingEouAsrManager::process(const platform::audio::PCMBuffer& audioBuffer) {
    appendAudio(audioBuffer);
    processBufferedAudio();
    return {};
}

void StreamingEouAsrManager::injectSilence(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) {
        return;
    }
    const std::lock_guard lock(mutex_);
    // The resampler's held samples belong before the silence.
    appendSamplesLocked(audioConverter_.finish());
    audioBuffer_.resize(audioBuffer_.size() + static_cast<std::size_t>(seconds * sampleRate), 0.0f);
}

void StreamingEouAsrManager::appendSamplesLocked(std::vector<float> samples) {
    audioBuffer_.insert(audioBuffer_.end(), samples.begin(), samples.end());
}

// Decoding

template <class Decode> auto StreamingEouAsrManager::decodeAndNotify(Decode&& decode) {
    Notifications notifications;
    std::exception_ptr error;
    decltype(decode(notifications)) result{};
    {
        const std::lock_guard lock(mutex_);
        try {
            result = decode(notifications);
        } catch (...) {
            error = std::current_exception();
        }
    }
    for (const auto& notification : notifications) {
        notification.callback(notification.text);
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return result;
}

void StreamingEouAsrManager::processBufferedAudio() {
    decodeAndNotify([this](Notifications& notifications) {
        decodeCompleteChunks(notifications);
        return true;
    });
}

std::string StreamingEouAsrManager::finish() {
    return decodeAndNotify([this](Notifications& notifications) { return finishLocked(notifications); });
}

std::string StreamingEouAsrManager::finishLocked(Notifications& notifications) {
    appendSamplesLocked(audioConverter_.finish());
    decodeCompleteChunks(notifications);
    StreamingAsrUtils::processRemainingAudio(audioBuffer_, static_cast<std::size_t>(chunkSamples(config_.chunkSize)),
                                             [&](std::span<const float> chunk) { decodeChunk(chunk, notifications); });
    if (!tokenizer_) {
        return {};
    }
    std::string text = tokenizer_->decode(accumulatedTokenIds_);
    accumulatedTokenIds_.clear();
    accumulatedTokenTimestampsMs_.clear();
    accumulatedRawTokenStrings_.clear();
    accumulatedEouTimestampsMs_.clear();
    return text;
}

void StreamingEouAsrManager::decodeCompleteChunks(Notifications& notifications) {
    const auto chunk = static_cast<std::size_t>(chunkSamples(config_.chunkSize));
    const auto shift = static_cast<std::size_t>(shiftSamples(config_.chunkSize));
    while (audioBuffer_.size() >= chunk) {
        decodeChunk(std::span(audioBuffer_).first(chunk), notifications);
        audioBuffer_.erase(audioBuffer_.begin(),
                           audioBuffer_.begin() + static_cast<std::ptrdiff_t>(std::min(shift, audioBuffer_.size())));
    }
}

void StreamingEouAsrManager::decodeChunk(std::span<const float> chunk, Notifications& notifications) {
    if (!streamingEncoder_ || !preCache_ || !cacheLastChannel_ || !cacheLastTime_ || !cacheLastChannelLen_ ||
        !rnntDecoder_) {
        throw ASRError::notInitialized();
    }
    const auto encoded = encode(chunk);
    const auto result = rnntDecoder_->decodeWithEOU(*encoded, 0, 0, validOutputLen(config_.chunkSize));
    recordTokens(result, notifications);
    totalSamplesProcessed_ += shiftSamples(config_.chunkSize);
    updateEndOfUtterance(result, notifications);
    ++processedChunks_;
}

std::shared_ptr<MultiArray> StreamingEouAsrManager::encode(std::span<const float> chunk) {
    const auto features = melProcessor_.melSpectrogram(chunk);
    const std::size_t frames = features->shape()[2];
    if (config_.debugFeatures) {
        const float* values = features->data<float>();
        debugFeatureBuffer_.insert(debugFeatureBuffer_.end(), values, values + features->count());
    }
    const auto output = streamingEncoder_->predict(platform::ml::DictionaryFeatureProvider({
        {"audio_signal", features},
        {"audio_length", lengthArray(frames)},
        {"pre_cache", preCache_},
        {"cache_last_channel", cacheLastChannel_},
        {"cache_last_time", cacheLastTime_},
        {"cache_last_channel_len", cacheLastChannelLen_},
    }));
    preCache_ = updated(*output, "new_pre_cache", preCache_);
    cacheLastChannel_ = updated(*output, "new_cache_last_channel", cacheLastChannel_);
    cacheLastTime_ = updated(*output, "new_cache_last_time", cacheLastTime_);
    cacheLastChannelLen_ = updated(*output, "new_cache_last_channel_len", cacheLastChannelLen_);
    const auto encodedOutput = output->featureValue("encoded_output");
    auto encoded = encodedOutput ? encodedOutput->multiArrayValue() : nullptr;
    if (!encoded) {
        throw ASRError::processingFailed("Missing encoder output");
    }
    return encoded;
}

void StreamingEouAsrManager::recordTokens(const RnntDecoder::DecodeResult& result, Notifications& notifications) {
    accumulatedTokenIds_.insert(accumulatedTokenIds_.end(), result.tokenIds.begin(), result.tokenIds.end());
    if (result.tokenIds.empty()) {
        return;
    }
    if (tokenizer_) {
        for (const std::int64_t id : result.tokenIds) {
            const auto piece = tokenizer_->rawToken(id);
            accumulatedRawTokenStrings_.push_back(piece ? *piece : "<id:" + std::to_string(id) + ">");
        }
    }
    const std::int64_t baseFrame = static_cast<std::int64_t>(processedChunks_) * validOutputLen(config_.chunkSize);
    const auto times = computeTokenTimestampsMs(baseFrame, result.tokenFrames, frameDurationMs(config_.chunkSize));
    accumulatedTokenTimestampsMs_.insert(accumulatedTokenTimestampsMs_.end(), times.begin(), times.end());
    if (partialCallback_ && tokenizer_) {
        notifications.push_back({.callback = partialCallback_, .text = tokenizer_->decode(accumulatedTokenIds_)});
    }
}

void StreamingEouAsrManager::updateEndOfUtterance(const RnntDecoder::DecodeResult& result,
                                                  Notifications& notifications) {
    const auto outcome = debouncer_.observe({
        .eouReported = result.eouDetected,
        .producedTokens = !result.tokenIds.empty(),
        .totalSamplesProcessed = totalSamplesProcessed_,
        .debounceMs = config_.eouDebounceMs,
    });
    if (outcome.candidateStarted) {
        logger_.debug("EOU candidate at chunk " + std::to_string(processedChunks_) + ", starting debounce timer");
    }
    if (!outcome.confirmed) {
        return;
    }
    logger_.info("EOU confirmed at chunk " + std::to_string(processedChunks_) + " after " +
                 std::to_string(outcome.elapsedMs) + "ms silence");
    accumulatedEouTimestampsMs_.push_back(totalSamplesProcessed_ * 1000 / sampleRate);
    if (eouCallback_ && tokenizer_) {
        notifications.push_back({.callback = eouCallback_, .text = tokenizer_->decode(accumulatedTokenIds_)});
    }
}

std::vector<std::int64_t> StreamingEouAsrManager::computeTokenTimestampsMs(std::int64_t baseFrame,
                                                                           std::span<const int> tokenFrames,
                                                                           std::int64_t frameDurationMs) {
    std::vector<std::int64_t> times;
    times.reserve(tokenFrames.size());
    for (const int frame : tokenFrames) {
        times.push_back((baseFrame + frame) * frameDurationMs);
    }
    return times;
}

// Transcript and lifecycle

std::string StreamingEouAsrManager::getPartialTranscript() const {
    const std::lock_guard lock(mutex_);
    return transcriptLocked();
}

std::string StreamingEouAsrManager::transcriptLocked() const {
    return tokenizer_ ? tokenizer_->decode(accumulatedTokenIds_) : std::string();
}

void StreamingEouAsrManager::reset() {
    const std::lock_guard lock(mutex_);
    resetLocked();
}

void StreamingEouAsrManager::resetLocked() {
    StreamingAsrUtils::resetSharedState(audioBuffer_, accumulatedTokenIds_, processedChunks_);
    accumulatedTokenTimestampsMs_.clear();
    accumulatedRawTokenStrings_.clear();
    accumulatedEouTimestampsMs_.clear();
    debugFeatureBuffer_.clear();
    debouncer_.reset();
    totalSamplesProcessed_ = 0;
    audioConverter_.reset();
    try {
        resetStates();
    } catch (...) {
        logger_.warning("Could not recreate the encoder caches on reset");
    }
    if (rnntDecoder_) {
        rnntDecoder_->resetState();
    }
}

void StreamingEouAsrManager::cleanup() {
    const std::lock_guard lock(mutex_);
    resetLocked();
    streamingEncoder_.reset();
    decoder_.reset();
    joint_.reset();
    rnntDecoder_.reset();
    tokenizer_.reset();
    preCache_.reset();
    cacheLastChannel_.reset();
    cacheLastTime_.reset();
    cacheLastChannelLen_.reset();
    logger_.info("StreamingEouAsrManager resources cleaned up");
}

void StreamingEouAsrManager::saveDebugFeatures(const fs::path& path) const {
    const std::lock_guard lock(mutex_);
    nlohmann::json features = nlohmann::json::array();
    for (const float value : debugFeatureBuffer_) {
        features.push_back(jsonFloat(value));
    }
    const nlohmann::json document{{"mel_features", std::move(features)}, {"count", debugFeatureBuffer_.size()}};
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << document.dump(2);
    file.close();
    if (!file) {
        throw fs::filesystem_error("Cannot write the debug features", path,
                                   std::error_code(errno, std::generic_category()));
    }
    logger_.info("Dumped " + std::to_string(debugFeatureBuffer_.size()) + " features to " + path.string());
}

} // namespace quorl
