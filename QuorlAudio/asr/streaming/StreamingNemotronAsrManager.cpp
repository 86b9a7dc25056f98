#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace files = ModelNames::NemotronStreaming;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr const char* probeFailure =
    "Nemotron int8 encoder returned all-zero output on a load-time probe — the ANE program did not instantiate "
    "(see CoreML ANEProgramProcessRequestDirect status=0x12). This is a known cold-start failure of the encoder; "
    "re-download or update the encoder model.";

std::vector<std::size_t> sizes(const std::vector<std::int64_t>& shape) { return {shape.begin(), shape.end()}; }

std::shared_ptr<MultiArray> int32Scalar(std::int64_t value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

} // namespace

StreamingNemotronAsrManager::StreamingNemotronAsrManager() : StreamingNemotronAsrManager(Options{}) {}

StreamingNemotronAsrManager::StreamingNemotronAsrManager(Options options)
    : logger_("NemotronStreaming"), lastToken_(static_cast<std::int32_t>(config_.blankIdx)),
      requestedChunkSize_(options.requestedChunkSize),
      mlConfiguration_(options.configuration ? *options.configuration
                                             : MLModelConfigurationUtils::defaultConfiguration(
                                                   platform::ml::ComputeUnits::cpuAndNeuralEngine)) {}

std::string StreamingNemotronAsrManager::displayName() const {
    return "Nemotron 0.6B (" + std::to_string(config().chunkMs) + "ms)";
}

NemotronStreamingConfig StreamingNemotronAsrManager::config() const {
    const std::lock_guard lock(mutex_);
    return config_;
}

platform::ml::ModelConfiguration StreamingNemotronAsrManager::mlConfiguration() const {
    const std::lock_guard lock(mutex_);
    return mlConfiguration_;
}

void StreamingNemotronAsrManager::setPartialCallback(TextCallback callback) {
    const std::lock_guard lock(mutex_);
    partialCallback_ = std::move(callback);
}

void StreamingNemotronAsrManager::setPartialTranscriptCallback(PartialTranscriptCallback callback) {
    setPartialCallback(std::move(callback));
}

// Loading

void StreamingNemotronAsrManager::loadModels(const fs::path& from) {
    const std::lock_guard lock(mutex_);
    loadModelsLocked(from);
}

void StreamingNemotronAsrManager::loadModels(const std::optional<fs::path>& to,
                                             const std::optional<platform::ml::ModelConfiguration>& configuration,
                                             const ProgressHandler& progressHandler) {
    const std::lock_guard lock(mutex_);
    if (configuration) {
        mlConfiguration_ = *configuration;
    }
    const fs::path base = to ? *to : MLModelConfigurationUtils::defaultModelsDirectory();
    const Repo modelRepo = repo(requestedChunkSize_.value_or(NemotronChunkSize::ms2240));
    const fs::path modelFolder = base / folderName(modelRepo);
    // Only the encoder decides: a folder that has it but misses another file fails in loading, not here.
    if (fs::exists(modelFolder / files::encoderInt8File)) {
        logger_.info("Using cached Nemotron models at " + modelFolder.string());
    } else {
        logger_.info("Downloading Nemotron models to " + base.string() + "...");
        ModelHub::shared().download({.repo = modelRepo, .to = base}, progressHandler);
    }
    loadModelsLocked(modelFolder);
}

void StreamingNemotronAsrManager::loadModels() { loadModels(std::nullopt, std::nullopt, {}); }

void StreamingNemotronAsrManager::loadModelsLocked(const fs::path& from) {
    logger_.info("Loading Nemotron CoreML models from " + from.string() + "...");
    if (fs::exists(from / files::metadata)) {
        config_ = NemotronStreamingConfig::read(from / files::metadata);
        logger_.info("Loaded config: " + std::to_string(config_.chunkMs) + "ms chunks, " +
                     std::to_string(config_.chunkMelFrames) + " mel frames");
    }
    melExtractor_ = NemotronMelExtractor::make(static_cast<int>(config_.melFeatures));
    encoder_ = platform::ml::Model::load(from / files::encoderInt8File, mlConfiguration_);
    decoder_ = platform::ml::Model::load(from / files::decoderFile, mlConfiguration_);
    joint_ = platform::ml::Model::load(from / files::jointFile, mlConfiguration_);
    if (fs::exists(from / files::decoderJointFile)) {
        decoderJoint_ = platform::ml::Model::load(from / files::decoderJointFile, mlConfiguration_);
        logger_.info("Loaded fused decoder_joint (B1) — merged inner-loop path enabled");
    }
    tokenizer_ = std::make_shared<const Tokenizer>(from / files::tokenizer);
    resetStatesLocked();
    if (!encoderProbe()) {
        throw ASRError::encoderInstantiationFailed(probeFailure);
    }
    resetStatesLocked();
    logger_.info("Nemotron models loaded successfully (" + std::to_string(config_.chunkMs) + "ms chunks).");
}

// An encoder whose accelerator program did not come up answers zeros instead of failing; a patterned input
// on fresh caches shows it at load time rather than as a silent stream.
bool StreamingNemotronAsrManager::encoderProbe() {
    if (!encoder_ || !cacheChannel_ || !cacheTime_ || !cacheLen_) {
        throw ASRError::notInitialized();
    }
    auto mel = std::make_shared<MultiArray>(MultiArray::Shape{1, static_cast<std::size_t>(config_.melFeatures),
                                                              static_cast<std::size_t>(config_.totalMelFrames)},
                                            DataType::float32);
    float* values = mel->data<float>();
    for (std::size_t index = 0; index < mel->count(); ++index) {
        values[index] = static_cast<float>(index % 17) * 0.01f + 0.1f;
    }
    const auto output = encoder_->predict(platform::ml::DictionaryFeatureProvider({
        {"mel", mel},
        {"mel_length", int32Scalar(config_.totalMelFrames)},
        {"cache_channel", cacheChannel_},
        {"cache_time", cacheTime_},
        {"cache_len", cacheLen_},
    }));
    const auto encodedValue = output->featureValue("encoded");
    const auto encoded = encodedValue ? encodedValue->multiArrayValue() : nullptr;
    if (!encoded) {
        throw ASRError::processingFailed("Encoder probe produced no `encoded` output");
    }
    for (std::size_t index = 0; index < encoded->count(); ++index) {
        if (encoded->at<float>(index) != 0.0f) {
            return true;
        }
    }
    return false;
}

// States

void StreamingNemotronAsrManager::resetStates() {
    const std::lock_guard lock(mutex_);
    resetStatesLocked();
}

void StreamingNemotronAsrManager::resetStatesLocked() {
    auto caches = EncoderCacheManager::createInitialCaches({
        .channelShape = sizes(config_.cacheChannelShape),
        .timeShape = sizes(config_.cacheTimeShape),
        .lenShape = {1},
    });
    cacheChannel_ = std::move(caches.channel);
    cacheTime_ = std::move(caches.time);
    cacheLen_ = std::move(caches.len);
    cacheLen_->data<std::int32_t>()[0] = 1;
    melCache_.reset();
    const std::vector<std::size_t> stateShape{static_cast<std::size_t>(config_.decoderLayers), 1,
                                              static_cast<std::size_t>(config_.decoderHidden)};
    hState_ = EncoderCacheManager::createZeroArray(stateShape, DataType::float32);
    cState_ = EncoderCacheManager::createZeroArray(stateShape, DataType::float32);
    lastToken_ = static_cast<std::int32_t>(config_.blankIdx);
}

void StreamingNemotronAsrManager::reset() {
    const std::lock_guard lock(mutex_);
    resetLocked();
}

void StreamingNemotronAsrManager::resetLocked() {
    audioBuffer_.clear();
    accumulatedTokenIds_.clear();
    processedChunks_ = 0;
    accumulatedTokenTimings_.clear();
    absoluteFrameBase_ = 0;
    lastFinishTokenTimings_.clear();
    audioConverter_.reset();
    try {
        resetStatesLocked();
    } catch (...) {
        logger_.error("Failed to reset states: " + platform::core::describe(std::current_exception()));
    }
}

void StreamingNemotronAsrManager::cleanup() {
    const std::lock_guard lock(mutex_);
    resetLocked();
    melExtractor_.reset();
    encoder_.reset();
    decoder_.reset();
    joint_.reset();
    decoderJoint_.reset();
    tokenizer_.reset();
    cacheChannel_.reset();
    cacheTime_.reset();
    cacheLen_.reset();
    melCache_.reset();
    hState_.reset();
    cState_.reset();
    logger_.info("StreamingNemotronAsrManager resources cleaned up");
}

} // namespace quorl
