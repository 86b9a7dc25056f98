#include "QuorlAudio/diarization/offline/CentroidAssignment.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using Features = CentroidAssignment::Features;
using Labels = std::vector<std::int64_t>;

constexpr double activeWeight = 1e-7;

const AppLogger& logger() {
    static const AppLogger instance("OfflineDiarizer");
    return instance;
}

bool allFinite(const std::vector<float>& values) {
    return std::ranges::all_of(values, [](float value) { return std::isfinite(value); });
}

// Whether the embedding holds `dimension` values; a shorter one is reported and left out.
bool holdsDimension(const std::vector<double>& embedding, std::size_t index, std::size_t dimension) {
    if (embedding.size() >= dimension) {
        return true;
    }
    logger().warning(concatenated({"Embedding ", std::to_string(index), " holds ", std::to_string(embedding.size()),
                                   " values, fewer than ", std::to_string(dimension), "; left out of its centroid"}));
    return false;
}

// A running weighted sum of embeddings of one length.
struct Accumulator {
    std::vector<double> sum;
    double weight = 0;

    void add(const std::vector<double>& embedding, double scale) {
        platform::dsp::addScaled(embedding.data(), scale, sum.data(), sum.size());
        weight += scale;
    }

    // Divided element by element, not scaled by the reciprocal, so means are exact where the values allow.
    std::vector<double> mean() && {
        if (weight > 0) {
            for (double& value : sum) {
                value /= weight;
            }
        }
        return std::move(sum);
    }
};

Labels activeClusters(const std::vector<double>& pi) {
    Labels active;
    for (std::size_t k = 0; k < pi.size(); ++k) {
        if (pi[k] > activeWeight) {
            active.push_back(static_cast<std::int64_t>(k));
        }
    }
    return active;
}

std::vector<double> weightedCentroid(const Features& embeddings, const std::vector<std::vector<double>>& gamma,
                                     std::size_t cluster, std::size_t dimension) {
    Accumulator accumulator{.sum = std::vector<double>(dimension, 0.0)};
    const std::size_t rows = std::min(embeddings.size(), gamma.size());
    for (std::size_t row = 0; row < rows; ++row) {
        if (gamma[row].size() <= cluster) {
            logger().warning(concatenated({"Responsibilities of embedding ", std::to_string(row), " hold no cluster ",
                                           std::to_string(cluster), "; left out of its centroid"}));
            continue;
        }
        const double weight = gamma[row][cluster];
        if (weight > 0 && holdsDimension(embeddings[row], row, dimension)) {
            accumulator.add(embeddings[row], weight);
        }
    }
    if (!(accumulator.weight > 0)) {
        return std::vector<double>(dimension, 0.0);
    }
    return std::move(accumulator).mean();
}

double cosineScore(const std::vector<double>& unit, const std::vector<double>& centroid) {
    if (unit.empty() || unit.size() != centroid.size()) {
        return 0.0;
    }
    return platform::dsp::dot(unit.data(), centroid.data(), unit.size());
}

} // namespace

Labels CentroidAssignment::selectTrainingEmbeddings(const std::vector<TimedEmbedding>& timedEmbeddings) {
    Labels finite;
    for (std::size_t index = 0; index < timedEmbeddings.size(); ++index) {
        if (allFinite(timedEmbeddings[index].embedding256)) {
            finite.push_back(static_cast<std::int64_t>(index));
        }
    }
    if (!finite.empty()) {
        return finite;
    }
    Labels every(timedEmbeddings.size());
    for (std::size_t index = 0; index < every.size(); ++index) {
        every[index] = static_cast<std::int64_t>(index);
    }
    return every;
}

CentroidAssignment::Centroids CentroidAssignment::computeCentroidsFromClusters(const Features& embeddings,
                                                                               const Labels& clusters) {
    if (embeddings.empty() || embeddings.size() != clusters.size()) {
        return {};
    }
    const std::size_t dimension = embeddings.front().size();
    std::map<std::int64_t, Accumulator> sums;
    for (std::size_t index = 0; index < embeddings.size(); ++index) {
        auto& accumulator =
            sums.try_emplace(clusters[index], Accumulator{.sum = std::vector<double>(dimension, 0.0)}).first->second;
        if (holdsDimension(embeddings[index], index, dimension)) {
            accumulator.add(embeddings[index], 1.0);
        }
    }
    Centroids result;
    for (auto& [label, accumulator] : sums) {
        result.mapping[label] = static_cast<std::int64_t>(result.centroids.size());
        result.centroids.push_back(std::move(accumulator).mean());
    }
    return result;
}

CentroidAssignment::Centroids CentroidAssignment::computeCentroids(const Features& trainingEmbeddings,
                                                                   const VBxOutput& vbxOutput,
                                                                   const Labels& initialClusters) {
    if (trainingEmbeddings.empty()) {
        return {};
    }
    if (vbxOutput.wasAdjusted && !vbxOutput.centroids.empty()) {
        Centroids result{.centroids = vbxOutput.centroids};
        for (std::size_t index = 0; index < vbxOutput.centroids.size(); ++index) {
            result.mapping[static_cast<std::int64_t>(index)] = static_cast<std::int64_t>(index);
        }
        return result;
    }
    const auto active = vbxOutput.gamma.empty() ? Labels{} : activeClusters(vbxOutput.pi);
    if (active.empty()) {
        return computeCentroidsFromClusters(trainingEmbeddings, initialClusters);
    }
    const std::size_t dimension = trainingEmbeddings.front().size();
    Centroids result;
    for (const auto cluster : active) {
        result.mapping[cluster] = static_cast<std::int64_t>(result.centroids.size());
        result.centroids.push_back(
            weightedCentroid(trainingEmbeddings, vbxOutput.gamma, static_cast<std::size_t>(cluster), dimension));
    }
    return result;
}

Features CentroidAssignment::computeFallbackCentroids(const Features& embeddings) {
    if (embeddings.empty()) {
        return {};
    }
    const std::size_t dimension = embeddings.front().size();
    std::vector<double> sum(dimension, 0.0);
    std::size_t used = 0;
    for (std::size_t index = 0; index < embeddings.size(); ++index) {
        if (holdsDimension(embeddings[index], index, dimension)) {
            platform::dsp::addScaled(embeddings[index].data(), 1.0, sum.data(), dimension);
            ++used;
        }
    }
    // The first embedding always counts, so `used` is at least 1.
    platform::dsp::multiplyScalar(sum.data(), 1.0 / static_cast<double>(used), sum.data(), dimension);
    return {sum};
}

std::vector<double> CentroidAssignment::normalize(const std::vector<double>& vector) {
    const double squares = platform::dsp::dot(vector.data(), vector.data(), vector.size());
    if (vector.empty() || squares == 0) {
        return vector;
    }
    std::vector<double> unit(vector.size());
    platform::dsp::multiplyScalar(vector.data(), 1.0 / std::sqrt(squares), unit.data(), vector.size());
    return unit;
}

Labels CentroidAssignment::assignEmbeddings(const Features& embeddingFeatures, const Features& centroids) {
    Labels assignments(embeddingFeatures.size(), 0);
    if (centroids.empty()) {
        return assignments;
    }
    Features units;
    units.reserve(centroids.size());
    for (const auto& centroid : centroids) {
        units.push_back(normalize(centroid));
    }
    for (std::size_t index = 0; index < embeddingFeatures.size(); ++index) {
        const auto unit = normalize(embeddingFeatures[index]);
        double best = -std::numeric_limits<double>::infinity();
        for (std::size_t centroid = 0; centroid < units.size(); ++centroid) {
            const double score = cosineScore(unit, units[centroid]);
            if (score > best) {
                best = score;
                assignments[index] = static_cast<std::int64_t>(centroid);
            }
        }
    }
    return assignments;
}

std::vector<Labels> CentroidAssignment::buildChunkAssignments(const SegmentationOutput& segmentation,
                                                              const std::vector<TimedEmbedding>& timedEmbeddings,
                                                              const Labels& assignments, std::int64_t clusterCount) {
    std::vector<Labels> slots(
        static_cast<std::size_t>(std::max<std::int64_t>(segmentation.numChunks, 0)),
        Labels(static_cast<std::size_t>(std::max<std::int64_t>(segmentation.numSpeakers, 0)), unassignedSlot));
    const std::size_t count = std::min(timedEmbeddings.size(), assignments.size());
    for (std::size_t index = 0; index < count; ++index) {
        const auto& embedding = timedEmbeddings[index];
        const auto chunk = embedding.chunkIndex;
        const auto speaker = embedding.speakerIndex;
        const auto assignment = assignments[index];
        const bool inRange = chunk >= 0 && static_cast<std::size_t>(chunk) < slots.size() && speaker >= 0 &&
                             static_cast<std::size_t>(speaker) < slots[static_cast<std::size_t>(chunk)].size() &&
                             assignment >= 0 && assignment < clusterCount;
        if (inRange && allFinite(embedding.embedding256)) {
            slots[static_cast<std::size_t>(chunk)][static_cast<std::size_t>(speaker)] = assignment;
        }
    }
    return slots;
}

std::vector<ChunkEmbedding>
CentroidAssignment::buildPublicChunkEmbeddings(const std::vector<TimedEmbedding>& timedEmbeddings,
                                               const Labels& assignments, const AppLogger& logger) {
    if (timedEmbeddings.size() != assignments.size()) {
        logger.warning(concatenated({"buildPublicChunkEmbeddings: timedEmbeddings.count (",
                                     std::to_string(timedEmbeddings.size()), ") != assignments.count (",
                                     std::to_string(assignments.size()), "); chunkEmbeddings will be empty"}));
        return {};
    }
    std::vector<ChunkEmbedding> records;
    records.reserve(timedEmbeddings.size());
    for (std::size_t index = 0; index < timedEmbeddings.size(); ++index) {
        const auto& embedding = timedEmbeddings[index];
        records.push_back({.speakerId = concatenated({"S", std::to_string(assignments[index] + 1)}),
                           .chunkIndex = embedding.chunkIndex,
                           .speakerIndex = embedding.speakerIndex,
                           .startTimeSeconds = embedding.startTime,
                           .endTimeSeconds = embedding.endTime,
                           .embedding256 = embedding.embedding256,
                           .rho128 = embedding.rho128});
    }
    return records;
}

} // namespace quorl
