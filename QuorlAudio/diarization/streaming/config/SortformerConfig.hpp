#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerModelPrecision.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerVariant.hpp"

#include <optional>

namespace quorl {

// Everything about one Sortformer streaming set-up: the model bundle, the geometry of a streaming step
// (core chunk, left and right context, FIFO and speaker cache, all in model output frames of 0.08 s), the
// fixed front-end constants and the constants of the speaker-cache compression.
struct SortformerConfig {
    // Clamps three values so that the streaming state updates stay well formed: the core chunk holds at least
    // one frame, every speaker keeps a non-silence slot after compression, and one update moves at least a
    // chunk and at most the FIFO plus a chunk. Everything else is stored as given. Later assignments to the
    // fields are not clamped again.
    explicit SortformerConfig(std::optional<SortformerVariant> modelVariant, SortformerModelPrecision precision,
                              int chunkLen = 6, int chunkLeftContext = 1, int chunkRightContext = 7, int fifoLen = 40,
                              int spkcacheLen = 188, int spkcacheUpdatePeriod = 31, float silenceThreshold = 0.2F,
                              int spkcacheSilFramesPerSpk = 3, float predScoreThreshold = 0.25F,
                              float scoresBoostLatest = 0.05F, float strongBoostRate = 0.75F,
                              float weakBoostRate = 1.5F, float minPosScoresRate = 0.5F, bool debugMode = false);

    // The bundle this configuration belongs to; none for a hand-made configuration.
    std::optional<SortformerVariant> modelVariant;
    SortformerModelPrecision precision;
    // Speaker slots of the model output: the columns of every prediction matrix.
    static constexpr int numSpeakers = 4;
    // Width of one pre-encoder embedding frame, the row width of FIFO and speaker cache.
    static constexpr int preEncoderDims = 512;
    // Mel frames per output frame.
    static constexpr int subsamplingFactor = 8;
    int chunkLen;
    int chunkLeftContext;
    // Look-ahead fed after the core chunk.
    int chunkRightContext;
    int fifoLen;
    int spkcacheLen;
    // Fewest frames moved from the FIFO into the speaker cache when the FIFO overflows.
    int spkcacheUpdatePeriod;
    // Silence slots reserved per speaker in a compressed speaker cache.
    int spkcacheSilFramesPerSpk;
    bool debugMode;
    static constexpr int sampleRate = 16000;
    // Mel analysis window (25 ms) and hop (10 ms), in samples.
    static constexpr int melWindow = 400;
    static constexpr int melStride = 160;
    static constexpr int melFeatures = 128;
    // A frame whose speaker probabilities sum to less than this counts as silence.
    float silenceThreshold;
    // Probability floor, and one minus the ceiling, of the cache-frame score.
    float predScoreThreshold;
    // Score bonus of the newest cache frames, those beyond spkcacheLen.
    float scoresBoostLatest;
    // Shares of a speaker's non-silence cache slots that receive the strong and the weak boost.
    float strongBoostRate;
    float weakBoostRate;
    // Share of a speaker's non-silence slots that must score positive before its other frames are dropped.
    float minPosScoresRate;
    // Marks an empty slot in the cache-frame selection.
    static constexpr int maxIndex = 99999;

    // Seconds per output frame, in single precision: 0.08.
    float frameDurationSeconds() const;
    // Mel frames of one full model input window: core chunk and both contexts.
    int chunkMelFrames() const;
    // Mel frames of the core chunk alone.
    int coreFrames() const;

    // Whether both configurations give the model inputs the same shapes; no other field matters.
    bool isCompatible(const SortformerConfig& other) const;

    // The presets, one per published model; the default one equals fastV2_1.
    static const SortformerConfig& defaultConfig();
    static const SortformerConfig& fastV2();
    static const SortformerConfig& fastV2_1();
    static const SortformerConfig& balancedV2();
    static const SortformerConfig& balancedV2_1();
    static const SortformerConfig& highContextV2();
    static const SortformerConfig& highContextV2_1();
    static const SortformerConfig& efficientV2_1();
};

} // namespace quorl
