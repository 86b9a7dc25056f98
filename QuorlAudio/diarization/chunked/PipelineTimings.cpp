#include "QuorlAudio/diarization/chunked/PipelineTimings.hpp"

#include "QuorlAudio/foundation/JsonFields.hpp"

#include <array>
#include <nlohmann/json.hpp>
#include <utility>

namespace quorl {

namespace {

using StageSeconds = std::pair<const char*, double>;

std::array<StageSeconds, 6> namedStages(const PipelineTimings& timings) {
    return {{
        {"Model Compilation", timings.modelCompilationSeconds()},
        {"Audio Loading", timings.audioLoadingSeconds()},
        {"Segmentation", timings.segmentationSeconds()},
        {"Embedding Extraction", timings.embeddingExtractionSeconds()},
        {"Speaker Clustering", timings.speakerClusteringSeconds()},
        {"Post Processing", timings.postProcessingSeconds()},
    }};
}

} // namespace

PipelineTimings::PipelineTimings(const Stages& stages)
    : stages_(stages), totalInferenceSeconds_(stages.segmentationSeconds + stages.embeddingExtractionSeconds +
                                              stages.speakerClusteringSeconds),
      totalProcessingSeconds_(stages.modelCompilationSeconds + stages.audioLoadingSeconds + stages.segmentationSeconds +
                              stages.embeddingExtractionSeconds + stages.speakerClusteringSeconds +
                              stages.postProcessingSeconds) {}

std::map<std::string, double> PipelineTimings::stagePercentages() const {
    std::map<std::string, double> percentages;
    if (!(totalProcessingSeconds_ > 0)) {
        return percentages;
    }
    for (const auto& [name, seconds] : namedStages(*this)) {
        percentages[name] = seconds / totalProcessingSeconds_ * 100;
    }
    return percentages;
}

std::string PipelineTimings::bottleneckStage() const {
    const auto stages = namedStages(*this);
    StageSeconds longest = stages.front();
    for (const auto& stage : stages) {
        if (stage.second > longest.second) {
            longest = stage;
        }
    }
    return longest.first;
}

void to_json(nlohmann::json& json, const PipelineTimings& timings) {
    json = {
        {"modelCompilationSeconds", JsonFields::finiteNumber(timings.modelCompilationSeconds())},
        {"audioLoadingSeconds", JsonFields::finiteNumber(timings.audioLoadingSeconds())},
        {"segmentationSeconds", JsonFields::finiteNumber(timings.segmentationSeconds())},
        {"embeddingExtractionSeconds", JsonFields::finiteNumber(timings.embeddingExtractionSeconds())},
        {"speakerClusteringSeconds", JsonFields::finiteNumber(timings.speakerClusteringSeconds())},
        {"postProcessingSeconds", JsonFields::finiteNumber(timings.postProcessingSeconds())},
        {"totalInferenceSeconds", JsonFields::finiteNumber(timings.totalInferenceSeconds())},
        {"totalProcessingSeconds", JsonFields::finiteNumber(timings.totalProcessingSeconds())},
    };
}

void from_json(const nlohmann::json& json, PipelineTimings& timings) {
    PipelineTimings read;
    read.stages_ = {
        .modelCompilationSeconds = JsonFields::readNumber(json, "modelCompilationSeconds"),
        .audioLoadingSeconds = JsonFields::readNumber(json, "audioLoadingSeconds"),
        .segmentationSeconds = JsonFields::readNumber(json, "segmentationSeconds"),
        .embeddingExtractionSeconds = JsonFields::readNumber(json, "embeddingExtractionSeconds"),
        .speakerClusteringSeconds = JsonFields::readNumber(json, "speakerClusteringSeconds"),
        .postProcessingSeconds = JsonFields::readNumber(json, "postProcessingSeconds"),
    };
    read.totalInferenceSeconds_ = JsonFields::readNumber(json, "totalInferenceSeconds");
    read.totalProcessingSeconds_ = JsonFields::readNumber(json, "totalProcessingSeconds");
    timings = read;
}

} // namespace quorl
