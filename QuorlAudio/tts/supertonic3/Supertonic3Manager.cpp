#include "QuorlAudio/tts/supertonic3/Supertonic3Manager.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3ChunkSplitter.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3LatentSampler.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3TextChunker.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

// One JSON array of integers that fit a signed 64-bit integer; a fraction or a Boolean is not one.
std::vector<std::int64_t> decodedIndexer(const std::string& bytes) {
    const auto document = nlohmann::json::parse(bytes);
    if (!document.is_array()) {
        throw std::invalid_argument("expected an array of integers");
    }
    std::vector<std::int64_t> indexer;
    indexer.reserve(document.size());
    for (const auto& entry : document) {
        if (!entry.is_number_integer() ||
            (entry.is_number_unsigned() &&
             entry.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))) {
            throw std::invalid_argument("entry " + std::to_string(indexer.size()) + " is not a 64-bit integer");
        }
        indexer.push_back(entry.get<std::int64_t>());
    }
    return indexer;
}

Supertonic3UnicodeProcessor unicodeProcessor(const fs::path& indexerFile) {
    try {
        return {.indexer = decodedIndexer(platform::sys::wholeFile(indexerFile))};
    } catch (const std::exception&) {
        throw Supertonic3Error::unicodeIndexerLoadFailed(platform::core::describe(std::current_exception()));
    }
}

} // namespace

Supertonic3Manager::Supertonic3Manager(std::optional<fs::path> directory, platform::ml::ComputeUnits computeUnits,
                                       Supertonic3VectorEstimator vectorEstimator)
    : directory_(std::move(directory)), computeUnits_(computeUnits), vectorEstimatorOption_(vectorEstimator) {}

std::shared_ptr<Supertonic3Manager> Supertonic3Manager::downloadAndCreate(std::optional<fs::path> cacheDirectory,
                                                                          platform::ml::ComputeUnits computeUnits,
                                                                          Supertonic3VectorEstimator vectorEstimator) {
    auto manager = std::make_shared<Supertonic3Manager>(std::move(cacheDirectory), computeUnits, vectorEstimator);
    manager->initialize();
    return manager;
}

bool Supertonic3Manager::isAvailable() const {
    const std::lock_guard lock(mutex_);
    return loaded_.has_value();
}

void Supertonic3Manager::initialize() {
    const std::lock_guard lock(mutex_);
    if (loaded_) {
        return;
    }
    auto store = std::make_shared<Supertonic3ModelStore>(directory_, computeUnits_, vectorEstimatorOption_);
    store->loadIfNeeded();
    auto processor = unicodeProcessor(store->unicodeIndexerURL());
    loaded_.emplace(Loaded{.store = store, .synthesizer = Supertonic3Synthesizer(store, std::move(processor))});
    logger_.info(concatenated({"Supertonic-3 ready (compute units: ", platform::ml::description(computeUnits_), ")"}));
}

Supertonic3Manager::Result Supertonic3Manager::synthesize(const Request& request) const {
    const auto loaded = currentlyLoaded();
    if (!std::isfinite(request.silenceDuration)) {
        throw std::invalid_argument("Supertonic3 silence duration must be a finite number");
    }
    const auto chunks = chunksOf(request.text, request.language);
    if (chunks.empty()) {
        throw Supertonic3Error::emptyText();
    }
    const float gap = std::max(request.silenceDuration, 0.0F);
    const std::vector<float> silence(
        static_cast<std::size_t>(Supertonic3LatentSampler::sampleCount(gap, loaded.store->config().ae.sampleRate)));
    Result result;
    for (std::size_t index = 0; index < chunks.size(); ++index) {
        const auto piece = loaded.synthesizer.infer({.text = chunks[index],
                                                     .language = request.language,
                                                     .style = request.style,
                                                     .totalSteps = request.totalSteps,
                                                     .speed = request.speed});
        if (index > 0) {
            result.samples.insert(result.samples.end(), silence.begin(), silence.end());
            result.duration += gap;
        }
        result.samples.insert(result.samples.end(), piece.samples.begin(), piece.samples.end());
        result.duration += piece.duration;
    }
    return result;
}

void Supertonic3Manager::cleanup() {
    const std::lock_guard lock(mutex_);
    if (loaded_) {
        loaded_->store->unload();
    }
    loaded_.reset();
}

int Supertonic3Manager::chunkLimit(std::string_view language) {
    const bool cjk =
        std::ranges::find(Supertonic3Constants::cjkLanguages, language) != Supertonic3Constants::cjkLanguages.end();
    return cjk ? Supertonic3Constants::maxChunkLengthCJK : Supertonic3Constants::maxChunkLengthLatin;
}

// A copy, so that the synthesis runs without the lock.
Supertonic3Manager::Loaded Supertonic3Manager::currentlyLoaded() const {
    const std::lock_guard lock(mutex_);
    if (!loaded_) {
        throw Supertonic3Error::notInitialized();
    }
    return *loaded_;
}

// The chunker's chunks, cut further where the encoder could not take one whole.
std::vector<std::string> Supertonic3Manager::chunksOf(std::string_view text, std::string_view language) const {
    auto split =
        Supertonic3ChunkSplitter::fitToEncoder(Supertonic3TextChunker::chunk(text, chunkLimit(language)), language);
    for (const auto& word : split.overlongWords) {
        logger_.warning(
            concatenated({"A word does not fit the text encoder's ", std::to_string(Supertonic3Constants::textTFixed),
                          " positions; its end will not be spoken: ", word}));
    }
    return std::move(split.chunks);
}

} // namespace quorl
