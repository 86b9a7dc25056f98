#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <algorithm>

namespace quorl {
namespace {

// The low-latency models: a core chunk of 0.48 s with 0.56 s of look-ahead.
SortformerConfig fastPreset(SortformerVariant variant) {
    return SortformerConfig(variant, SortformerModelPrecision::fp16, 6, 1, 7, 40, 188, 31);
}

// The low-latency geometry with a FIFO as long as the speaker cache.
SortformerConfig balancedPreset(SortformerVariant variant) {
    return SortformerConfig(variant, SortformerModelPrecision::fp16, 6, 1, 7, 188, 188, 144);
}

// A core chunk of 27.2 s with 3.2 s of look-ahead.
SortformerConfig highContextPreset(SortformerVariant variant) {
    return SortformerConfig(variant, SortformerModelPrecision::fp16, 340, 1, 40, 40, 188, 340);
}

} // namespace

SortformerConfig::SortformerConfig(std::optional<SortformerVariant> modelVariant, SortformerModelPrecision precision,
                                   int chunkLen, int chunkLeftContext, int chunkRightContext, int fifoLen,
                                   int spkcacheLen, int spkcacheUpdatePeriod, float silenceThreshold,
                                   int spkcacheSilFramesPerSpk, float predScoreThreshold, float scoresBoostLatest,
                                   float strongBoostRate, float weakBoostRate, float minPosScoresRate, bool debugMode)
    : modelVariant(modelVariant), precision(precision), chunkLen(std::max(chunkLen, 1)),
      chunkLeftContext(chunkLeftContext), chunkRightContext(chunkRightContext), fifoLen(fifoLen),
      spkcacheLen(std::max(spkcacheLen, numSpeakers * (spkcacheSilFramesPerSpk + 1))),
      spkcacheUpdatePeriod(std::max(this->chunkLen, std::min(spkcacheUpdatePeriod, fifoLen + this->chunkLen))),
      spkcacheSilFramesPerSpk(spkcacheSilFramesPerSpk), debugMode(debugMode), silenceThreshold(silenceThreshold),
      predScoreThreshold(predScoreThreshold), scoresBoostLatest(scoresBoostLatest), strongBoostRate(strongBoostRate),
      weakBoostRate(weakBoostRate), minPosScoresRate(minPosScoresRate) {}

float SortformerConfig::frameDurationSeconds() const {
    return static_cast<float>(subsamplingFactor) * static_cast<float>(melStride) / static_cast<float>(sampleRate);
}

int SortformerConfig::chunkMelFrames() const {
    return (chunkLen + chunkLeftContext + chunkRightContext) * subsamplingFactor;
}

int SortformerConfig::coreFrames() const { return chunkLen * subsamplingFactor; }

bool SortformerConfig::isCompatible(const SortformerConfig& other) const {
    return chunkMelFrames() == other.chunkMelFrames() && fifoLen == other.fifoLen && spkcacheLen == other.spkcacheLen;
}

const SortformerConfig& SortformerConfig::defaultConfig() {
    static const SortformerConfig preset = fastPreset(SortformerVariant::fastV2_1);
    return preset;
}

const SortformerConfig& SortformerConfig::fastV2() {
    static const SortformerConfig preset = fastPreset(SortformerVariant::fastV2);
    return preset;
}

const SortformerConfig& SortformerConfig::fastV2_1() {
    static const SortformerConfig preset = fastPreset(SortformerVariant::fastV2_1);
    return preset;
}

const SortformerConfig& SortformerConfig::balancedV2() {
    static const SortformerConfig preset = balancedPreset(SortformerVariant::balancedV2);
    return preset;
}

const SortformerConfig& SortformerConfig::balancedV2_1() {
    static const SortformerConfig preset = balancedPreset(SortformerVariant::balancedV2_1);
    return preset;
}

const SortformerConfig& SortformerConfig::highContextV2() {
    static const SortformerConfig preset = highContextPreset(SortformerVariant::highContextV2);
    return preset;
}

const SortformerConfig& SortformerConfig::highContextV2_1() {
    static const SortformerConfig preset = highContextPreset(SortformerVariant::highContextV2_1);
    return preset;
}

const SortformerConfig& SortformerConfig::efficientV2_1() {
    // A core chunk of 2.0 s with 0.56 s of look-ahead.
    static const SortformerConfig preset(SortformerVariant::efficientV2_1, SortformerModelPrecision::fp16, 25, 1, 7, 40,
                                         188, 31);
    return preset;
}

} // namespace quorl
