#include "QuorlAudio/diarization/offline/VBxClustering.hpp"

#include "QuorlAudio/diarization/offline/KMeansClustering.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/VBxIteration.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <exception>
#include <map>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using Rows = std::vector<std::vector<double>>;
using Labels = std::vector<std::int64_t>;

constexpr double initSmoothing = 7.0;
constexpr double activeWeight = 1e-7;

const AppLogger& logger() {
    static const AppLogger instance("OfflineVBx");
    return instance;
}

std::vector<double> varianceFor(const std::vector<double>& psi, std::size_t dimension) {
    if (psi.size() == dimension) {
        return psi;
    }
    logger().warning(concatenated({"PLDA psi dimension (", std::to_string(psi.size()), ") mismatches rho dimension (",
                                   std::to_string(dimension), "); falling back to identity"}));
    return std::vector<double>(dimension, 1.0);
}

// The labels that have a row; a surplus is dropped with a warning.
Labels labelsForRows(const Labels& initialClusters, std::size_t rows) {
    if (initialClusters.size() <= rows) {
        return initialClusters;
    }
    logger().warning(concatenated({"VBx received ", std::to_string(initialClusters.size()), " initial clusters for ",
                                   std::to_string(rows), " rows; ignoring the surplus"}));
    return Labels(initialClusters.begin(), initialClusters.begin() + static_cast<std::ptrdiff_t>(rows));
}

// Written as the platform writes a dictionary, in label order.
std::string histogramText(const std::map<std::int64_t, std::int64_t>& histogram) {
    if (histogram.empty()) {
        return "[:]";
    }
    std::string text = "[";
    for (const auto& [label, count] : histogram) {
        text += (text.size() > 1 ? ", " : "") + std::to_string(label) + ": " + std::to_string(count);
    }
    return text + "]";
}

std::size_t warmStartSpeakers(const Labels& labels) {
    std::map<std::int64_t, std::int64_t> histogram;
    for (const auto label : labels) {
        ++histogram[label];
    }
    const std::size_t speakers = std::max<std::size_t>(1, histogram.size());
    logger().debug(concatenated(
        {"VBx warm start clusters: ", std::to_string(speakers), " histogram: ", histogramText(histogram)}));
    return speakers;
}

// One-hot rows at the clamped labels; no label at all gives uniform rows, a row without a label zeros.
std::vector<double> warmStartResponsibilities(const Labels& labels, std::size_t rows, std::size_t speakers) {
    if (labels.empty()) {
        return std::vector<double>(rows * speakers, 1.0 / static_cast<double>(speakers));
    }
    std::vector<double> gamma(rows * speakers, 0.0);
    const auto last = static_cast<std::int64_t>(speakers) - 1;
    for (std::size_t row = 0; row < labels.size(); ++row) {
        gamma[row * speakers + static_cast<std::size_t>(std::clamp<std::int64_t>(labels[row], 0, last))] = 1.0;
    }
    return gamma;
}

// The rows that hold at least `dimension` values; the others are reported and keep their warm start.
std::vector<std::size_t> usableRows(const Rows& rhoFeatures, std::size_t dimension) {
    std::vector<std::size_t> usable;
    for (std::size_t row = 0; row < rhoFeatures.size(); ++row) {
        if (rhoFeatures[row].size() >= dimension) {
            usable.push_back(row);
            continue;
        }
        logger().warning(concatenated({"VBx rho row ", std::to_string(row), " holds ",
                                       std::to_string(rhoFeatures[row].size()), " values, fewer than ",
                                       std::to_string(dimension), "; keeping its warm-start responsibilities"}));
    }
    return usable;
}

std::vector<double> usableFeatures(const Rows& rhoFeatures, const std::vector<std::size_t>& usable,
                                   std::size_t dimension) {
    std::vector<double> features;
    features.reserve(usable.size() * dimension);
    for (const auto row : usable) {
        const auto& values = rhoFeatures[row];
        features.insert(features.end(), values.begin(), values.begin() + static_cast<std::ptrdiff_t>(dimension));
    }
    return features;
}

std::vector<double> usableResponsibilities(const std::vector<double>& warmStart, const std::vector<std::size_t>& usable,
                                           std::size_t speakers) {
    std::vector<double> gamma;
    gamma.reserve(usable.size() * speakers);
    for (const auto row : usable) {
        const auto start = warmStart.begin() + static_cast<std::ptrdiff_t>(row * speakers);
        gamma.insert(gamma.end(), start, start + static_cast<std::ptrdiff_t>(speakers));
    }
    return gamma;
}

// Flat row-major responsibilities as rows.
Rows reshapeGamma(const std::vector<double>& gamma, std::size_t frameCount, std::size_t speakerCount) {
    Rows rows(frameCount);
    for (std::size_t row = 0; row < frameCount; ++row) {
        const auto start = gamma.begin() + static_cast<std::ptrdiff_t>(row * speakerCount);
        rows[row].assign(start, start + static_cast<std::ptrdiff_t>(speakerCount));
    }
    return rows;
}

// A run that cannot start keeps the unsmoothed warm start with uniform priors and no ELBO.
VBxRun runOrKeepWarmStart(const VBxProblem& problem) {
    try {
        return runVBx(problem);
    } catch (const std::exception& error) {
        logger().error(std::string("VBx failed to prepare BLAS arguments: ") + error.what());
        const auto speakers = static_cast<double>(problem.speakerCount);
        return {problem.initialGamma, std::vector<double>(problem.speakerCount, 1.0 / speakers), {}};
    }
}

Labels hardLabels(const Rows& gamma) {
    Labels labels;
    labels.reserve(gamma.size());
    for (const auto& row : gamma) {
        labels.push_back(static_cast<std::int64_t>(platform::dsp::maxWithIndex(row.data(), row.size()).index));
    }
    return labels;
}

void logMixtureWeights(const std::vector<double>& pi) {
    if (pi.empty()) {
        logger().debug("VBx mixture weights unavailable");
        return;
    }
    const auto [smallest, largest] = std::minmax_element(pi.begin(), pi.end());
    logger().debug(concatenated({"VBx mixture weights \u2013 min: ", decimalText(*smallest),
                                 ", max: ", decimalText(*largest), ", count: ", std::to_string(pi.size())}));
}

std::int64_t weightedSpeakers(const std::vector<double>& pi) {
    return std::ranges::count_if(pi, [](double weight) { return weight > activeWeight; });
}

} // namespace

VBxClustering::VBxClustering(OfflineDiarizerConfig config, const PLDATransform& pldaTransform)
    : config_(std::move(config)), psi_(pldaTransform.psi()) {}

VBxOutput VBxClustering::refine(const Rows& rhoFeatures, const Labels& initialClusters) const {
    const std::size_t rows = rhoFeatures.size();
    if (rows == 0) {
        return {};
    }
    const std::size_t dimension = rhoFeatures.front().size();
    if (dimension == 0) {
        logger().error("VBx received empty feature vectors");
        return {};
    }
    auto phi = varianceFor(psi_, dimension);
    const auto labels = labelsForRows(initialClusters, rows);
    const std::size_t speakers = warmStartSpeakers(labels);
    const auto warmStart = warmStartResponsibilities(labels, rows, speakers);
    const auto usable = usableRows(rhoFeatures, dimension);

    VBxProblem problem{.features = usableFeatures(rhoFeatures, usable, dimension),
                       .frameCount = usable.size(),
                       .dimension = dimension,
                       .phi = std::move(phi),
                       .initialGamma = usableResponsibilities(warmStart, usable, speakers),
                       .speakerCount = speakers,
                       .maxIterations = config_.vbx.maxIterations,
                       .epsilon = config_.vbx.convergenceTolerance,
                       .Fa = config_.clustering.warmStartFa,
                       .Fb = config_.clustering.warmStartFb,
                       .initSmoothing = initSmoothing};
    auto run = runOrKeepWarmStart(problem);
    auto gamma = reshapeGamma(warmStart, rows, speakers);
    const auto refined = reshapeGamma(run.gamma, usable.size(), speakers);
    for (std::size_t index = 0; index < usable.size(); ++index) {
        gamma[usable[index]] = refined[index];
    }
    logMixtureWeights(run.pi);
    auto labelsOut = hardLabels(gamma);
    return {.gamma = std::move(gamma),
            .pi = std::move(run.pi),
            .hardClusters = {std::move(labelsOut)},
            .centroids = {},
            .numClusters = static_cast<std::int64_t>(speakers),
            .elbos = std::move(run.elbos)};
}

VBxOutput VBxClustering::refineWithConstraints(const Rows& rhoFeatures, const Rows& trainingEmbeddings,
                                               const Labels& initialClusters,
                                               const std::optional<SpeakerCountConstraints>& constraints) const {
    auto output = refine(rhoFeatures, initialClusters);
    if (!constraints) {
        return output;
    }
    const std::int64_t speakers = weightedSpeakers(output.pi);
    if (constraints->minSpeakers <= speakers && speakers <= constraints->maxSpeakers) {
        return output;
    }
    const std::int64_t target =
        speakers < constraints->minSpeakers ? constraints->minSpeakers : constraints->maxSpeakers;
    logger().info(concatenated(
        {"Speaker count ", std::to_string(speakers), " outside bounds [", std::to_string(constraints->minSpeakers),
         ", ", std::to_string(constraints->maxSpeakers), "]; re-clustering to ", std::to_string(target)}));
    auto kmeans = KMeansClustering::clusterWithSeedSearch(trainingEmbeddings, target);
    output.hardClusters = {std::move(kmeans.clusters)};
    output.centroids = std::move(kmeans.centroids);
    output.numClusters = target;
    output.wasAdjusted = true;
    output.originalClusterCount = speakers;
    return output;
}

} // namespace quorl
