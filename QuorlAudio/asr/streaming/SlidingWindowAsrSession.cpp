#include "QuorlAudio/asr/streaming/SlidingWindowAsrSession.hpp"

#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"

#include <string>
#include <utility>

namespace quorl {
namespace {

std::string name(AudioSource source) { return std::string(description(source)); }

template <class Map> typename Map::mapped_type entryFor(const Map& map, AudioSource source) {
    const auto found = map.find(source);
    return found == map.end() ? nullptr : found->second;
}

} // namespace

SlidingWindowAsrSession::SlidingWindowAsrSession() : logger_("SlidingWindowSession") {
    logger_.info("Created new SlidingWindowAsrSession");
}

void SlidingWindowAsrSession::loadModels() {
    {
        const std::lock_guard lock(mutex_);
        if (loadedModels_) {
            logger_.info("Models already loaded, skipping initialization");
            return;
        }
    }
    logger_.info("Loading ASR models for session...");
    auto models = AsrModels::downloadAndLoad(
        std::nullopt, {.version = AsrModelVersion::v3, .encoderPrecision = ParakeetEncoderPrecision::int8}, nullptr);
    {
        const std::lock_guard lock(mutex_);
        loadedModels_ = std::move(models);
    }
    logger_.info("ASR models loaded successfully");
}

std::shared_ptr<SlidingWindowAsrManager> SlidingWindowAsrSession::createStream(AudioSource source,
                                                                               const SlidingWindowAsrConfig& config) {
    if (auto existing = getStream(source)) {
        logger_.warning("Stream already exists for source: " + name(source) + ". Returning existing stream.");
        return existing;
    }
    loadModels();
    std::optional<AsrModels> models;
    {
        const std::lock_guard lock(mutex_);
        models = loadedModels_;
    }
    if (!models) {
        throw SlidingWindowAsrError::modelsNotLoaded();
    }
    logger_.info("Creating new stream for source: " + name(source));
    auto stream = std::make_shared<SlidingWindowAsrManager>(config);
    stream->loadModels(*models);
    stream->startStreaming(source);
    const std::lock_guard lock(mutex_);
    streams_[source] = stream;
    return stream;
}

std::shared_ptr<SlidingWindowAsrManager> SlidingWindowAsrSession::getStream(AudioSource source) const {
    const std::lock_guard lock(mutex_);
    return entryFor(streams_, source);
}

void SlidingWindowAsrSession::removeStream(AudioSource source) {
    const std::lock_guard lock(mutex_);
    if (streams_.erase(source) > 0) {
        logger_.info("Removed stream for source: " + name(source));
    }
}

SlidingWindowAsrSession::Streams SlidingWindowAsrSession::activeStreams() const {
    const std::lock_guard lock(mutex_);
    return streams_;
}

std::shared_ptr<StreamingAsrManager> SlidingWindowAsrSession::createEngine(StreamingModelVariant variant,
                                                                           AudioSource source) {
    if (auto existing = getEngine(source)) {
        logger_.warning("Engine already exists for source: " + name(source) + ". Returning existing engine.");
        return existing;
    }
    logger_.info("Creating " + displayName(variant) + " engine for source: " + name(source));
    std::shared_ptr<StreamingAsrManager> engine = createManager(variant, std::nullopt);
    engine->loadModels();
    const std::lock_guard lock(mutex_);
    engines_[source] = engine;
    return engine;
}

std::shared_ptr<StreamingAsrManager> SlidingWindowAsrSession::getEngine(AudioSource source) const {
    const std::lock_guard lock(mutex_);
    return entryFor(engines_, source);
}

void SlidingWindowAsrSession::removeEngine(AudioSource source) {
    const std::lock_guard lock(mutex_);
    if (engines_.erase(source) > 0) {
        logger_.info("Removed engine for source: " + name(source));
    }
}

void SlidingWindowAsrSession::cleanup() {
    logger_.info("Cleaning up SlidingWindowAsrSession...");
    Streams streams;
    std::map<AudioSource, std::shared_ptr<StreamingAsrManager>> engines;
    {
        const std::lock_guard lock(mutex_);
        streams = streams_;
        engines = engines_;
    }
    for (const auto& [source, stream] : streams) {
        stream->cancel();
        logger_.info("Cancelled stream for source: " + name(source));
    }
    for (const auto& [source, engine] : engines) {
        try {
            engine->reset();
        } catch (const std::exception&) {
            // A failed reset leaves nothing the session still needs; the engine is forgotten below anyway.
        }
        logger_.info("Reset engine for source: " + name(source));
    }
    const std::lock_guard lock(mutex_);
    streams_.clear();
    engines_.clear();
    loadedModels_.reset();
    logger_.info("SlidingWindowAsrSession cleanup complete");
}

} // namespace quorl
