#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace quorl {

// Seconds spent in each stage of a diarization run, with the two totals derived from them.
class PipelineTimings {
public:
    struct Stages {
        double modelCompilationSeconds = 0;
        double audioLoadingSeconds = 0;
        double segmentationSeconds = 0;
        double embeddingExtractionSeconds = 0;
        double speakerClusteringSeconds = 0;
        double postProcessingSeconds = 0;
    };

    PipelineTimings() = default;
    // The totals are summed from the stages, left to right in the order of the fields.
    explicit PipelineTimings(const Stages& stages);

    double modelCompilationSeconds() const { return stages_.modelCompilationSeconds; }
    double audioLoadingSeconds() const { return stages_.audioLoadingSeconds; }
    double segmentationSeconds() const { return stages_.segmentationSeconds; }
    double embeddingExtractionSeconds() const { return stages_.embeddingExtractionSeconds; }
    double speakerClusteringSeconds() const { return stages_.speakerClusteringSeconds; }
    double postProcessingSeconds() const { return stages_.postProcessingSeconds; }
    // Segmentation, embedding extraction and speaker clustering.
    double totalInferenceSeconds() const { return totalInferenceSeconds_; }
    // All six stages.
    double totalProcessingSeconds() const { return totalProcessingSeconds_; }

    // Each stage's share of the total processing time in percent, under the stage's display name; empty unless
    // the total is positive.
    std::map<std::string, double> stagePercentages() const;
    // The display name of the longest stage; ties go to the earlier stage.
    std::string bottleneckStage() const;

    // Read totals are kept as they stand, even when they disagree with the stages.
    friend void to_json(nlohmann::json& json, const PipelineTimings& timings);
    friend void from_json(const nlohmann::json& json, PipelineTimings& timings);

private:
    Stages stages_;
    double totalInferenceSeconds_ = 0;
    double totalProcessingSeconds_ = 0;
};

} // namespace quorl
