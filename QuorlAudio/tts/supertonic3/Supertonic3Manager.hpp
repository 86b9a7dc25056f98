#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Synthesizer.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"
#include "platform/ml/ComputeUnits.hpp"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// The front door of the Supertonic-3 synthesiser: initialised once (downloading and loading the models), it
// speaks text of any length in 32 languages with a voice style, chunk by chunk, the chunks joined by short
// silences. Thread-safe; a synthesis runs outside the manager's lock, so cleanup may unload the models under it
// (its next chunk then fails with notInitialized).
class Supertonic3Manager {
public:
    struct Request {
        std::string_view text;
        // One of Supertonic3Constants::availableLanguages; "ko" and "ja" are chunked at 57 characters, the
        // others at 70.
        std::string_view language;
        const Supertonic3VoiceStyle& style;
        // Vector-estimator steps; none for 0 or fewer.
        int totalSteps = Supertonic3Constants::defaultTotalSteps;
        // Durations are divided by it, taken as at least 0.05.
        float speed = Supertonic3Constants::defaultSpeed;
        // Seconds of silence between two chunks; 0 or less joins them directly. Must be finite.
        float silenceDuration = Supertonic3Constants::defaultSilenceDuration;
    };

    struct Result {
        // Mono, at the configuration's sample rate (44100 Hz by default).
        std::vector<float> samples;
        // Seconds: the chunks' predicted durations after the speed, plus the silences between them. The vocoder
        // may give fewer samples than a prediction, so it is not derived from the samples.
        float duration = 0.0F;
    };

    // `directory` is the models root (none: the synthesis cache's). Loads nothing.
    Supertonic3Manager(std::optional<std::filesystem::path> directory, platform::ml::ComputeUnits computeUnits,
                       Supertonic3VectorEstimator vectorEstimator = Supertonic3VectorEstimator::defaultEstimator());

    // A manager made with these values and initialised; initialize's errors pass through.
    static std::shared_ptr<Supertonic3Manager>
    downloadAndCreate(std::optional<std::filesystem::path> cacheDirectory, platform::ml::ComputeUnits computeUnits,
                      Supertonic3VectorEstimator vectorEstimator = Supertonic3VectorEstimator::defaultEstimator());

    bool isAvailable() const;

    // Downloads what is missing and loads a new store and "unicode_indexer.json"; does nothing once initialised.
    // Throws the store's errors and Supertonic3Error::unicodeIndexerLoadFailed; the manager then stays
    // uninitialised. A second call made meanwhile waits for the first.
    void initialize();

    // Throws Supertonic3Error::notInitialized before initialize, emptyText for blank text (whatever the
    // language), std::invalid_argument for a silence that is not finite, and the synthesiser's errors; a
    // failing chunk discards the whole call. A word too long for the text encoder is logged as a warning and
    // spoken cut short.
    Result synthesize(const Request& request) const;

    // Unloads the models; initialize may then be called again. Does nothing before initialize.
    void cleanup();

    // The chunk limit in characters: 57 for "ko" and "ja" (compared exactly), 70 for any other code.
    static int chunkLimit(std::string_view language);

private:
    // The store and the synthesiser over it, present together exactly when initialised.
    struct Loaded {
        std::shared_ptr<Supertonic3ModelStore> store;
        Supertonic3Synthesizer synthesizer;
    };

    Loaded currentlyLoaded() const;
    std::vector<std::string> chunksOf(std::string_view text, std::string_view language) const;

    const AppLogger logger_{"Supertonic3Manager"};
    const std::optional<std::filesystem::path> directory_;
    const platform::ml::ComputeUnits computeUnits_;
    const Supertonic3VectorEstimator vectorEstimatorOption_;

    mutable std::mutex mutex_;
    std::optional<Loaded> loaded_;
};

} // namespace quorl
