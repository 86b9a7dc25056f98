#include "QuorlAudio/diarization/offline/OfflineSpeakerClustering.hpp"

#include "QuorlAudio/diarization/offline/AHCClustering.hpp"
#include "QuorlAudio/diarization/offline/CentroidAssignment.hpp"
#include "QuorlAudio/diarization/offline/SpeakerCountConstraints.hpp"
#include "QuorlAudio/diarization/offline/VBxClustering.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace quorl {
namespace {

using platform::core::concatenated;

std::optional<SpeakerCountConstraints> constraintsFor(const OfflineDiarizerConfig::Clustering& clustering,
                                                      std::size_t trainingCount) {
    if (!clustering.numSpeakers && !clustering.minSpeakers && !clustering.maxSpeakers) {
        return std::nullopt;
    }
    return SpeakerCountConstraints::resolve(static_cast<std::int64_t>(trainingCount), clustering.numSpeakers,
                                            clustering.minSpeakers, clustering.maxSpeakers);
}

// The warm start as it stands, for a run where VBx has nothing to refine.
VBxOutput unrefined(const std::vector<std::int64_t>& initialClusters) {
    const auto largest = std::ranges::max_element(initialClusters);
    return VBxOutput{.hardClusters = {initialClusters},
                     .numClusters = largest == initialClusters.end() ? 0 : *largest + 1};
}

std::string histogramText(const std::vector<std::int64_t>& assignments) {
    std::map<std::int64_t, std::int64_t> counts;
    for (const auto assignment : assignments) {
        ++counts[assignment];
    }
    std::string entries;
    for (const auto& [index, count] : counts) {
        entries += concatenated({entries.empty() ? "" : ", ", std::to_string(index), ": ", std::to_string(count)});
    }
    return "[" + entries + "]";
}

} // namespace

OfflineSpeakerClustering::OfflineSpeakerClustering(const OfflineDiarizerConfig& config,
                                                   const PLDATransform& pldaTransform, const AppLogger& logger)
    : config_(config), pldaTransform_(pldaTransform), logger_(logger) {}

OfflineSpeakerClustering::Result
OfflineSpeakerClustering::cluster(const SegmentationOutput& segmentation,
                                  const std::vector<TimedEmbedding>& embeddings) const {
    Features embeddingFeatures;
    Features rhoFeatures;
    for (const auto& embedding : embeddings) {
        embeddingFeatures.emplace_back(embedding.embedding256.begin(), embedding.embedding256.end());
        rhoFeatures.push_back(embedding.rho128);
    }
    const auto start = std::chrono::steady_clock::now();
    Features trainingEmbeddings;
    Features trainingRho;
    for (const auto index : CentroidAssignment::selectTrainingEmbeddings(embeddings)) {
        trainingEmbeddings.push_back(embeddingFeatures[static_cast<std::size_t>(index)]);
        trainingRho.push_back(rhoFeatures[static_cast<std::size_t>(index)]);
    }
    logger_.debug(concatenated({"Clustering will use ", std::to_string(trainingEmbeddings.size()), "/",
                                std::to_string(embeddings.size()), " embeddings (NaN filtered)"}));
    const auto initialClusters = warmStart(trainingEmbeddings);
    Result result{.centroids = centroidsOf(embeddingFeatures, trainingEmbeddings, trainingRho, initialClusters)};
    result.assignments = CentroidAssignment::assignEmbeddings(embeddingFeatures, result.centroids);
    result.chunkAssignments = CentroidAssignment::buildChunkAssignments(
        segmentation, embeddings, result.assignments, static_cast<std::int64_t>(result.centroids.size()));
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    logAssignments(result);
    return result;
}

std::vector<std::int64_t> OfflineSpeakerClustering::warmStart(const Features& trainingEmbeddings) const {
    if (trainingEmbeddings.size() < 2) {
        return std::vector<std::int64_t>(trainingEmbeddings.size(), 0);
    }
    return AHCClustering().cluster(trainingEmbeddings, config_.clustering.threshold);
}

std::vector<std::vector<double>>
OfflineSpeakerClustering::centroidsOf(const Features& embeddingFeatures, const Features& trainingEmbeddings,
                                      const Features& trainingRho,
                                      const std::vector<std::int64_t>& initialClusters) const {
    const auto vbxOutput =
        trainingRho.empty() || initialClusters.empty()
            ? unrefined(initialClusters)
            : VBxClustering(config_, pldaTransform_)
                  .refineWithConstraints(trainingRho, trainingEmbeddings, initialClusters,
                                         constraintsFor(config_.clustering, trainingEmbeddings.size()));
    auto centroids = CentroidAssignment::computeCentroids(trainingEmbeddings, vbxOutput, initialClusters).centroids;
    return centroids.empty() ? CentroidAssignment::computeFallbackCentroids(embeddingFeatures) : centroids;
}

void OfflineSpeakerClustering::logAssignments(const Result& result) const {
    const std::string seconds = decimalText(result.seconds);
    if (result.assignments.empty()) {
        logger_.debug("Clustering completed in " + seconds + "s with no assignments");
        return;
    }
    logger_.debug(concatenated({"Clustering completed in ", seconds, "s with ", std::to_string(result.centroids.size()),
                                " centroids (assignment histogram: ", histogramText(result.assignments), ")"}));
}

} // namespace quorl
