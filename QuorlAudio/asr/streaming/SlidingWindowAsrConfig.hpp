#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/TdtConfig.hpp"

#include <cstdint>
#include <optional>

namespace quorl {

// The window geometry and the confirmation rule of the sliding-window recogniser, in seconds at the
// recognition rate of 16000 samples per second, written with designated initialisers. A default-made value is
// the default preset. Nothing is validated on construction: validate() is called when streaming starts.
struct SlidingWindowAsrConfig {
    // What a custom configuration chooses; everything else keeps the default geometry.
    struct CustomOptions {
        double chunkDuration;
        double confirmationThreshold;
    };

    // A chunk of `chunkDuration` seconds with 2 s of context on each side and a hypothesis chunk of half the
    // chunk (at most 1 s), confirming after 10 s of audio.
    static SlidingWindowAsrConfig custom(CustomOptions options);

    static const SlidingWindowAsrConfig& defaultConfig();
    static const SlidingWindowAsrConfig& streaming();

    SlidingWindowAsrConfig applying(TdtConfig tdtConfig) const;

    // Each region in whole samples, truncated on its own. The recogniser cuts its windows by these, so what
    // validate() accepts is what the windows are made of.
    std::int64_t chunkSamples() const;
    std::int64_t leftContextSamples() const;
    std::int64_t rightContextSamples() const;
    // Samples of a full window: the three regions' samples together.
    std::int64_t windowSamples() const;
    // The batch recogniser's configuration: the default one with this configuration's decoder settings.
    ASRConfig asrConfig() const;
    // Throws SlidingWindowAsrError::invalidConfiguration when a window exceeds the models' 240000-sample input
    // or its centre region holds no whole sample.
    void validate() const;

    // Length of the centre region of every window; windows advance by this much.
    double chunkSeconds = 11.0;
    // Carried with the configuration; the recogniser does not read it.
    double hypothesisChunkSeconds = 2.0;
    double leftContextSeconds = 2.0;
    // Look-ahead after the centre region.
    double rightContextSeconds = 2.0;
    // Audio received since the stream began that a window needs before its text may be confirmed.
    double minContextForConfirmation = 10.0;
    // Window confidence at or above which its text may be confirmed.
    double confirmationThreshold = 0.85;
    // Absent: the default decoder settings.
    std::optional<TdtConfig> tdtConfig = std::nullopt;

    bool operator==(const SlidingWindowAsrConfig&) const = default;
};

} // namespace quorl
