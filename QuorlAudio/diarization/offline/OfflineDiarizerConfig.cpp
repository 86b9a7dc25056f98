#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl {
namespace {

using Error = OfflineDiarizationError;

// 2^63, the first double past the largest Int.
constexpr double intLimit = 9223372036854775808.0;

// The value truncated toward zero, held within the limits of Int; 0 for NaN.
std::int64_t truncatedToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= intLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -intLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

double windowSamples(const OfflineDiarizerConfig::Segmentation& segmentation) {
    return segmentation.windowDurationSeconds * static_cast<double>(segmentation.sampleRate);
}

template <class MakeError> void require(bool holds, MakeError makeError) {
    if (!holds) {
        throw makeError();
    }
}

void validateClustering(const OfflineDiarizerConfig::Clustering& clustering) {
    require(clustering.threshold > 0 && clustering.threshold <= std::sqrt(2.0), [&] {
        return Error::invalidConfiguration("clustering.threshold must be within (0, sqrt(2)], got " +
                                           decimalText(clustering.threshold));
    });
    require(clustering.warmStartFa > 0 && clustering.warmStartFb > 0, [&] {
        return Error::invalidConfiguration(
            "clustering warm-start Fa/Fb must be positive (Fa=" + decimalText(clustering.warmStartFa) +
            ", Fb=" + decimalText(clustering.warmStartFb) + ")");
    });
}

// Beyond the positive factors, the window they make must hold at least one sample and its sample count must
// fit an Int, or every stage would size its buffers from a meaningless count.
void validateWindowing(const OfflineDiarizerConfig::Segmentation& segmentation) {
    require(segmentation.windowDurationSeconds > 0, [&] {
        return Error::invalidConfiguration("segmentation.windowDurationSeconds must be positive, got " +
                                           decimalText(segmentation.windowDurationSeconds));
    });
    require(segmentation.sampleRate >= 1, [] { return Error::invalidConfiguration("sampleRate must be positive"); });
    require(segmentation.stepRatio > 0 && segmentation.stepRatio <= 1, [&] {
        return Error::invalidConfiguration("segmentation.stepRatio must be within (0, 1], got " +
                                           decimalText(segmentation.stepRatio));
    });
    const double samples = windowSamples(segmentation);
    require(samples >= 1 && samples < intLimit, [&] {
        return Error::invalidConfiguration("segmentation window must hold from 1 to 9223372036854775807 samples, got " +
                                           decimalText(samples));
    });
}

void validateBatchSize(std::int64_t batchSize) {
    require(batchSize >= 1, [] { return Error::invalidBatchSize("embeddingBatchSize must be > 0"); });
    require(batchSize <= 32,
            [] { return Error::invalidBatchSize("embeddingBatchSize must be <= 32 to fit PLDA batch limits"); });
}

void validateVBx(const OfflineDiarizerConfig::VBx& vbx) {
    require(vbx.maxIterations >= 1, [&] {
        return Error::invalidConfiguration("maxVBxIterations must be > 0, got " + std::to_string(vbx.maxIterations));
    });
    require(vbx.convergenceTolerance > 0,
            [] { return Error::invalidConfiguration("convergenceTolerance must be positive"); });
}

void validateDurations(const OfflineDiarizerConfig& config) {
    require(config.embedding.minSegmentDurationSeconds >= 0,
            [] { return Error::invalidConfiguration("embedding.minSegmentDuration must be >= 0"); });
    require(config.postProcessing.minGapDurationSeconds >= 0,
            [] { return Error::invalidConfiguration("minGapDuration must be >= 0"); });
    require(config.zeroVoteReembed.minDurationSeconds >= 0, [&] {
        return Error::invalidConfiguration("zeroVoteReembed.minDurationSeconds must be >= 0, got " +
                                           decimalText(config.zeroVoteReembed.minDurationSeconds));
    });
    require(config.segmentation.minDurationOn >= 0,
            [] { return Error::invalidConfiguration("segmentation.minDurationOn must be >= 0"); });
    require(config.segmentation.minDurationOff >= 0,
            [] { return Error::invalidConfiguration("segmentation.minDurationOff must be >= 0"); });
}

void validateThresholds(const OfflineDiarizerConfig::Segmentation& segmentation) {
    const float onset = segmentation.speechOnsetThreshold;
    const float offset = segmentation.speechOffsetThreshold;
    require(onset >= 0 && onset <= 1, [&] {
        return Error::invalidConfiguration("speechOnsetThreshold must be within [0, 1], got " +
                                           floatDecimalText(onset));
    });
    require(offset >= 0 && offset <= onset, [&] {
        return Error::invalidConfiguration("speechOffsetThreshold must be within [0, speechOnsetThreshold], got " +
                                           floatDecimalText(offset));
    });
}

} // namespace

OfflineDiarizerConfig::Segmentation OfflineDiarizerConfig::Segmentation::community() { return {}; }

OfflineDiarizerConfig::EmbeddingSkipStrategy
OfflineDiarizerConfig::EmbeddingSkipStrategy::maskSimilarity(float threshold) {
    return {.maskSimilarityThreshold = threshold};
}

OfflineDiarizerConfig::EmbeddingSkipStrategy OfflineDiarizerConfig::EmbeddingSkipStrategy::none() { return {}; }

OfflineDiarizerConfig::Embedding OfflineDiarizerConfig::Embedding::community() { return {}; }

OfflineDiarizerConfig::Clustering OfflineDiarizerConfig::Clustering::community() { return {}; }

OfflineDiarizerConfig::VBx OfflineDiarizerConfig::VBx::community() { return {}; }

OfflineDiarizerConfig::PostProcessing OfflineDiarizerConfig::PostProcessing::community() { return {}; }

OfflineDiarizerConfig::ZeroVoteReembed OfflineDiarizerConfig::ZeroVoteReembed::disabled() { return {}; }

OfflineDiarizerConfig::Export OfflineDiarizerConfig::Export::none() { return {}; }

OfflineDiarizerConfig OfflineDiarizerConfig::defaultConfig() { return {}; }

OfflineDiarizerConfig OfflineDiarizerConfig::fromFlat(const Flat& flat) {
    return OfflineDiarizerConfig{
        .segmentation = {.windowDurationSeconds = flat.windowDuration,
                         .sampleRate = flat.sampleRate,
                         .minDurationOn = flat.segmentationMinDurationOn,
                         .minDurationOff = flat.segmentationMinDurationOff,
                         .stepRatio = flat.segmentationStepRatio,
                         .speechOnsetThreshold = flat.speechOnsetThreshold,
                         .speechOffsetThreshold = flat.speechOffsetThreshold},
        .embedding = {.batchSize = flat.embeddingBatchSize,
                      .excludeOverlap = flat.embeddingExcludeOverlap,
                      .minSegmentDurationSeconds = flat.minSegmentDuration,
                      .skipStrategy = flat.embeddingSkipStrategy},
        .clustering = {.threshold = flat.clusteringThreshold, .warmStartFa = flat.Fa, .warmStartFb = flat.Fb},
        .vbx = {.maxIterations = flat.maxVBxIterations, .convergenceTolerance = flat.convergenceTolerance},
        .postProcessing = {.minGapDurationSeconds = flat.minGapDuration, .exclusiveSegments = flat.exclusiveSegments},
        .zeroVoteReembed = ZeroVoteReembed::disabled(),
        .exportSettings = {.embeddingsPath = flat.embeddingExportPath},
        .exposeChunkEmbeddings = false,
    };
}

std::int64_t OfflineDiarizerConfig::samplesPerWindow() const { return truncatedToInt(windowSamples(segmentation)); }

std::int64_t OfflineDiarizerConfig::samplesPerStep() const {
    const double step = segmentation.stepRatio * static_cast<double>(samplesPerWindow());
    return std::max<std::int64_t>(1, truncatedToInt(step));
}

OfflineDiarizerConfig OfflineDiarizerConfig::withSpeakers(std::optional<std::int64_t> min,
                                                          std::optional<std::int64_t> max) const {
    OfflineDiarizerConfig copy = *this;
    copy.clustering.minSpeakers = min;
    copy.clustering.maxSpeakers = max;
    copy.clustering.numSpeakers = std::nullopt;
    return copy;
}

OfflineDiarizerConfig OfflineDiarizerConfig::withSpeakers(std::int64_t exactly) const {
    OfflineDiarizerConfig copy = *this;
    copy.clustering.minSpeakers = std::nullopt;
    copy.clustering.maxSpeakers = std::nullopt;
    copy.clustering.numSpeakers = exactly;
    return copy;
}

void OfflineDiarizerConfig::validate() const {
    validateClustering(clustering);
    validateWindowing(segmentation);
    validateBatchSize(embedding.batchSize);
    validateVBx(vbx);
    validateDurations(*this);
    validateThresholds(segmentation);
}

} // namespace quorl
