#include "QuorlAudio/diarization/offline/OfflineReconstruction.hpp"

#include "QuorlAudio/diarization/offline/ReconstructionFrames.hpp"
#include "QuorlAudio/diarization/offline/SegmentPostProcessing.hpp"
#include "QuorlAudio/diarization/offline/ZeroVoteReembedder.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;

// The turns of the frame grid before clean-up: a cluster's turn opens at the first frame that names it and
// closes at the first frame that does not. Turns closing together come out in cluster order.
class SegmentWalk {
public:
    SegmentWalk(const ReconstructionFrames& frames, const std::vector<std::vector<double>>& centroids)
        : frames_(frames), centroids_(centroids) {}

    std::vector<TimedSpeakerSegment> run() {
        for (std::int64_t frame = 0; frame < frames_.frameCount(); ++frame) {
            step(frame);
        }
        for (const auto& [cluster, open] : open_) {
            if (open.start < open.end) {
                emit(cluster, open, open.end);
            }
        }
        return std::move(segments_);
    }

private:
    struct Accumulator {
        double start;
        double end;
        double scoreSum;
        std::int64_t frameCount;
    };

    void step(std::int64_t frame) {
        const double time = static_cast<double>(frame) * frames_.frameDuration;
        const auto& active = frames_.perFrameClusters[static_cast<std::size_t>(frame)];
        std::erase_if(open_, [&](const auto& entry) {
            if (std::ranges::find(active, entry.first) != active.end()) {
                return false;
            }
            if (entry.second.start < time) {
                emit(entry.first, entry.second, time);
            }
            return true;
        });
        for (const std::int64_t cluster : active) {
            extend(cluster, time, score(frame, cluster));
        }
    }

    void extend(std::int64_t cluster, double time, double score) {
        const double end = time + frames_.frameDuration;
        const auto [entry, opened] = open_.try_emplace(cluster, Accumulator{time, end, score, 1});
        if (!opened) {
            entry->second.end = end;
            entry->second.scoreSum += score;
            ++entry->second.frameCount;
        }
    }

    double score(std::int64_t frame, std::int64_t cluster) const {
        return cluster >= 0 && cluster < frames_.clusterCount
                   ? frames_.meanActivations[static_cast<std::size_t>(frame)][static_cast<std::size_t>(cluster)]
                   : 0.0;
    }

    std::vector<float> embedding(std::int64_t cluster) const {
        if (cluster >= 0 && cluster < static_cast<std::int64_t>(centroids_.size())) {
            const auto& centroid = centroids_[static_cast<std::size_t>(cluster)];
            return {centroid.begin(), centroid.end()};
        }
        return std::vector<float>(centroids_.empty() ? 0 : centroids_.front().size(), 0.0f);
    }

    void emit(std::int64_t cluster, const Accumulator& open, double end) {
        const double quality = open.scoreSum / static_cast<double>(open.frameCount);
        segments_.push_back(TimedSpeakerSegment{
            .speakerId = concatenated({"S", std::to_string(cluster + 1)}),
            .embedding = embedding(cluster),
            .startTimeSeconds = static_cast<float>(open.start),
            .endTimeSeconds = static_cast<float>(end),
            .qualityScore = static_cast<float>(std::clamp(quality, 0.0, 1.0)),
        });
    }

    const ReconstructionFrames& frames_;
    const std::vector<std::vector<double>>& centroids_;
    std::map<std::int64_t, Accumulator> open_;
    std::vector<TimedSpeakerSegment> segments_;
};

std::string spanText(const ZeroVoteReembedder::Run& run, double frameDuration) {
    return concatenated({"Zero-vote re-embed [", fixedDecimalText(static_cast<double>(run.start) * frameDuration, 2),
                         "s\u2013", fixedDecimalText(static_cast<double>(run.end) * frameDuration, 2), "s]: "});
}

std::string cosinesText(const std::vector<double>& similarities) {
    std::string text;
    for (const double similarity : similarities) {
        text += (text.empty() ? "" : ", ") + fixedDecimalText(similarity, 3);
    }
    return text;
}

} // namespace

OfflineReconstruction::OfflineReconstruction(OfflineDiarizerConfig config, AppLogger logger)
    : config_(std::move(config)), logger_(std::move(logger)) {}

std::vector<TimedSpeakerSegment> OfflineReconstruction::buildSegments(
    const SegmentationOutput& segmentation, const std::vector<std::vector<std::int64_t>>& hardClusters,
    const std::vector<std::vector<double>>& centroids, const SpanEmbedder& spanEmbedder) const {
    auto frames = ReconstructionFrames::build(segmentation, hardClusters, static_cast<std::int64_t>(centroids.size()),
                                              config_.segmentation.windowDurationSeconds);
    if (!frames) {
        return {};
    }
    logCountHistogram(*frames);
    if (config_.zeroVoteReembed.enabled && spanEmbedder && !centroids.empty()) {
        applyZeroVoteReembed(*frames, centroids, spanEmbedder);
    }
    return postProcess(SegmentWalk(*frames, centroids).run());
}

std::map<std::string, std::vector<float>>
OfflineReconstruction::buildSpeakerDatabase(const std::vector<TimedSpeakerSegment>& segments) const {
    std::map<std::string, std::pair<std::vector<float>, std::size_t>> sums;
    for (const auto& segment : segments) {
        const auto [entry, first] = sums.try_emplace(segment.speakerId, segment.embedding, 1);
        auto& [sum, count] = entry->second;
        if (!first && segment.embedding.size() == sum.size()) {
            std::ranges::transform(sum, segment.embedding, sum.begin(), std::plus<>{});
            ++count;
        }
    }
    std::map<std::string, std::vector<float>> database;
    for (auto& [speaker, entry] : sums) {
        auto& [sum, count] = entry;
        const float scale = 1.0f / static_cast<float>(count);
        std::ranges::transform(sum, sum.begin(), [scale](float value) { return value * scale; });
        database.emplace(speaker, std::move(sum));
    }
    return database;
}

void OfflineReconstruction::logCountHistogram(const ReconstructionFrames& frames) const {
    if (frames.countHistogram.empty()) {
        return;
    }
    std::string entries;
    for (const auto& [count, frameTotal] : frames.countHistogram) {
        entries += concatenated({entries.empty() ? "" : ", ", std::to_string(count), ":", std::to_string(frameTotal)});
    }
    logger_.debug("Speaker-count histogram " + entries);
}

void OfflineReconstruction::applyZeroVoteReembed(ReconstructionFrames& frames,
                                                 const std::vector<std::vector<double>>& centroids,
                                                 const SpanEmbedder& spanEmbedder) const {
    const auto runs = ZeroVoteReembedder::detectRuns(frames.speakerCountPerFrame, frames.activationSums,
                                                     frames.frameDuration, config_.zeroVoteReembed.minDurationSeconds);
    for (const auto& run : runs) {
        const auto embedding = spanEmbedder(static_cast<double>(run.start) * frames.frameDuration,
                                            static_cast<double>(run.end) * frames.frameDuration);
        const auto assignment = embedding
                                    ? ZeroVoteReembedder::assignment({embedding->begin(), embedding->end()}, centroids)
                                    : std::nullopt;
        if (!assignment) {
            logger_.warning(spanText(run, frames.frameDuration) + "embedding failed; keeping tie-break assignment");
            continue;
        }
        for (std::int64_t frame = run.start; frame < run.end; ++frame) {
            frames.perFrameClusters[static_cast<std::size_t>(frame)] = {assignment->clusterIndex};
        }
        logger_.info(concatenated({spanText(run, frames.frameDuration), "assigned S",
                                   std::to_string(assignment->clusterIndex + 1), " (cosines [",
                                   cosinesText(assignment->similarities), "])"}));
    }
}

std::vector<TimedSpeakerSegment> OfflineReconstruction::postProcess(std::vector<TimedSpeakerSegment> segments) const {
    const double gap = std::max(config_.postProcessing.minGapDurationSeconds, config_.segmentation.minDurationOff);
    const float minimumDuration = std::max(static_cast<float>(config_.embedding.minSegmentDurationSeconds),
                                           static_cast<float>(config_.segmentation.minDurationOn));
    auto kept = SegmentPostProcessing::dropShortSegments(SegmentPostProcessing::mergeSegments(std::move(segments), gap),
                                                         minimumDuration);
    if (!config_.postProcessing.exclusiveSegments) {
        return kept;
    }
    return SegmentPostProcessing::excludeOverlaps(kept,
                                                  static_cast<float>(config_.embedding.minSegmentDurationSeconds));
}

} // namespace quorl
