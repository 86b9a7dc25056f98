#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quorl {

// Settings of every stage of the whole-recording diarizer, in seven sections plus one flag. The field defaults
// are the `community` presets. Nothing is checked until validate().
struct OfflineDiarizerConfig {
    // Windowing of the segmentation model and the thresholds of its frames.
    struct Segmentation {
        double windowDurationSeconds = 10.0;
        std::int64_t sampleRate = 16000;
        // Lower bounds, in seconds, of the shortest output segment and of the gap bridged between segments.
        double minDurationOn = 0.0;
        double minDurationOff = 0.0;
        // The hop between windows as a fraction of the window.
        double stepRatio = 0.2;
        float speechOnsetThreshold = 0.5f;
        // Not above the onset threshold.
        float speechOffsetThreshold = 0.5f;

        static Segmentation community();

        bool operator==(const Segmentation&) const = default;
    };

    // Whether a speaker slot may reuse its cached embedding: with a threshold, when the new mask's cosine
    // similarity to the cached one reaches it; without (`none`), every mask is embedded.
    struct EmbeddingSkipStrategy {
        std::optional<float> maskSimilarityThreshold;

        static EmbeddingSkipStrategy maskSimilarity(float threshold);
        static EmbeddingSkipStrategy none();

        bool operator==(const EmbeddingSkipStrategy&) const = default;
    };

    struct Embedding {
        std::int64_t batchSize = 32;
        // Leaves overlapped frames out of the embedding masks.
        bool excludeOverlap = true;
        // Seconds of speech an embedding mask and an output segment need.
        double minSegmentDurationSeconds = 1.0;
        EmbeddingSkipStrategy skipStrategy = EmbeddingSkipStrategy::none();

        static Embedding community();

        bool operator==(const Embedding&) const = default;
    };

    struct Clustering {
        // Cosine-similarity threshold of the agglomerative warm start.
        double threshold = 0.6;
        // VBx factors: Fa scales the sufficient statistics, Fb regularises the speakers.
        double warmStartFa = 0.07;
        double warmStartFb = 0.8;
        std::optional<std::int64_t> minSpeakers{};
        std::optional<std::int64_t> maxSpeakers{};
        std::optional<std::int64_t> numSpeakers{};

        static Clustering community();

        bool operator==(const Clustering&) const = default;
    };

    struct VBx {
        std::int64_t maxIterations = 20;
        // Iteration stops when the ELBO changes by less than this.
        double convergenceTolerance = 0.0001;

        static VBx community();

        bool operator==(const VBx&) const = default;
    };

    struct PostProcessing {
        // Gaps of one speaker up to this many seconds are merged.
        double minGapDurationSeconds = 0.1;
        // Removes overlaps between output segments.
        bool exclusiveSegments = true;

        static PostProcessing community();

        bool operator==(const PostProcessing&) const = default;
    };

    // The optional second embedding pass over runs that received no vote.
    struct ZeroVoteReembed {
        bool enabled = false;
        double minDurationSeconds = 0.4;

        static ZeroVoteReembed disabled();

        bool operator==(const ZeroVoteReembed&) const = default;
    };

    // Where the embedding export goes; none: no export.
    struct Export {
        std::optional<std::string> embeddingsPath{};

        static Export none();

        bool operator==(const Export&) const = default;
    };

    // The settings named after the flat accessors below, for callers that think in those terms. The sections
    // they leave out take no speaker counts, no re-embedding pass and no chunk embeddings.
    struct Flat {
        double clusteringThreshold;
        double Fa;
        double Fb;
        double windowDuration;
        std::int64_t sampleRate;
        double segmentationStepRatio;
        std::int64_t embeddingBatchSize;
        bool embeddingExcludeOverlap;
        EmbeddingSkipStrategy embeddingSkipStrategy;
        double minSegmentDuration;
        double minGapDuration;
        bool exclusiveSegments;
        float speechOnsetThreshold;
        float speechOffsetThreshold;
        double segmentationMinDurationOn;
        double segmentationMinDurationOff;
        std::int64_t maxVBxIterations;
        double convergenceTolerance;
        std::optional<std::string> embeddingExportPath;
    };

    Segmentation segmentation{};
    Embedding embedding{};
    Clustering clustering{};
    VBx vbx{};
    PostProcessing postProcessing{};
    ZeroVoteReembed zeroVoteReembed{};
    // `export` is a keyword of the language.
    Export exportSettings{};
    // Whether results carry per-chunk embeddings.
    bool exposeChunkEmbeddings = false;

    // The seven presets, without chunk embeddings.
    static OfflineDiarizerConfig defaultConfig();
    static OfflineDiarizerConfig fromFlat(const Flat& flat);

    // The window length in samples: window duration × sample rate, truncated toward zero (held within the
    // limits of the type, 0 for a product that is not a number). 160000 by default.
    std::int64_t samplesPerWindow() const;
    // The hop in samples: the step ratio × samplesPerWindow(), truncated toward zero, and at least 1.
    std::int64_t samplesPerStep() const;

    // A copy with these speaker bounds and no exact count.
    OfflineDiarizerConfig withSpeakers(std::optional<std::int64_t> min, std::optional<std::int64_t> max) const;
    // A copy with this exact count and no bounds.
    OfflineDiarizerConfig withSpeakers(std::int64_t exactly) const;

    // Throws OfflineDiarizationError (invalidConfiguration or invalidBatchSize) for the first setting out of
    // range, checked in a fixed order; a value that is not a number fails every check it takes part in.
    void validate() const;

    // Flat accessors: each reads or writes one field of a section.
    double clusteringThreshold() const { return clustering.threshold; }
    void setClusteringThreshold(double value) { clustering.threshold = value; }
    double Fa() const { return clustering.warmStartFa; }
    void setFa(double value) { clustering.warmStartFa = value; }
    double Fb() const { return clustering.warmStartFb; }
    void setFb(double value) { clustering.warmStartFb = value; }
    double windowDuration() const { return segmentation.windowDurationSeconds; }
    void setWindowDuration(double value) { segmentation.windowDurationSeconds = value; }
    std::int64_t sampleRate() const { return segmentation.sampleRate; }
    void setSampleRate(std::int64_t value) { segmentation.sampleRate = value; }
    double segmentationStepRatio() const { return segmentation.stepRatio; }
    void setSegmentationStepRatio(double value) { segmentation.stepRatio = value; }
    std::int64_t embeddingBatchSize() const { return embedding.batchSize; }
    void setEmbeddingBatchSize(std::int64_t value) { embedding.batchSize = value; }
    bool embeddingExcludeOverlap() const { return embedding.excludeOverlap; }
    void setEmbeddingExcludeOverlap(bool value) { embedding.excludeOverlap = value; }
    EmbeddingSkipStrategy embeddingSkipStrategy() const { return embedding.skipStrategy; }
    void setEmbeddingSkipStrategy(EmbeddingSkipStrategy value) { embedding.skipStrategy = value; }
    double minSegmentDuration() const { return embedding.minSegmentDurationSeconds; }
    void setMinSegmentDuration(double value) { embedding.minSegmentDurationSeconds = value; }
    double minGapDuration() const { return postProcessing.minGapDurationSeconds; }
    void setMinGapDuration(double value) { postProcessing.minGapDurationSeconds = value; }
    bool exclusiveSegments() const { return postProcessing.exclusiveSegments; }
    void setExclusiveSegments(bool value) { postProcessing.exclusiveSegments = value; }
    float speechOnsetThreshold() const { return segmentation.speechOnsetThreshold; }
    void setSpeechOnsetThreshold(float value) { segmentation.speechOnsetThreshold = value; }
    float speechOffsetThreshold() const { return segmentation.speechOffsetThreshold; }
    void setSpeechOffsetThreshold(float value) { segmentation.speechOffsetThreshold = value; }
    double segmentationMinDurationOn() const { return segmentation.minDurationOn; }
    void setSegmentationMinDurationOn(double value) { segmentation.minDurationOn = value; }
    double segmentationMinDurationOff() const { return segmentation.minDurationOff; }
    void setSegmentationMinDurationOff(double value) { segmentation.minDurationOff = value; }
    std::int64_t maxVBxIterations() const { return vbx.maxIterations; }
    void setMaxVBxIterations(std::int64_t value) { vbx.maxIterations = value; }
    double convergenceTolerance() const { return vbx.convergenceTolerance; }
    void setConvergenceTolerance(double value) { vbx.convergenceTolerance = value; }
    const std::optional<std::string>& embeddingExportPath() const { return exportSettings.embeddingsPath; }
    void setEmbeddingExportPath(std::optional<std::string> value) { exportSettings.embeddingsPath = std::move(value); }

    bool operator==(const OfflineDiarizerConfig&) const = default;
};

} // namespace quorl
