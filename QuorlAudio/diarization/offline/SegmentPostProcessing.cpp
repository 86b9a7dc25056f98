#include "QuorlAudio/diarization/offline/SegmentPostProcessing.hpp"

#include <algorithm>
#include <utility>

namespace quorl::SegmentPostProcessing {
namespace {

void sortByStart(std::vector<TimedSpeakerSegment>& segments) {
    std::ranges::stable_sort(segments, {}, &TimedSpeakerSegment::startTimeSeconds);
}

float mergedScore(const TimedSpeakerSegment& current, const TimedSpeakerSegment& next) {
    const auto first = static_cast<double>(current.endTimeSeconds - current.startTimeSeconds);
    const auto second = static_cast<double>(next.endTimeSeconds - next.startTimeSeconds);
    const float score =
        first + second > 0
            ? static_cast<float>((first * current.qualityScore + second * next.qualityScore) / (first + second))
            : (current.qualityScore + next.qualityScore) * 0.5f;
    return std::clamp(score, 0.0f, 1.0f);
}

bool continues(const TimedSpeakerSegment& current, const TimedSpeakerSegment& next, double gapThreshold) {
    return current.speakerId == next.speakerId &&
           static_cast<double>(next.startTimeSeconds) - static_cast<double>(current.endTimeSeconds) <= gapThreshold;
}

} // namespace

std::vector<TimedSpeakerSegment> mergeSegments(std::vector<TimedSpeakerSegment> segments, double gapThreshold) {
    if (segments.empty()) {
        return {};
    }
    sortByStart(segments);
    std::vector<TimedSpeakerSegment> merged;
    TimedSpeakerSegment current = segments.front();
    for (auto next = segments.begin() + 1; next != segments.end(); ++next) {
        if (continues(current, *next, gapThreshold)) {
            current = TimedSpeakerSegment{.speakerId = current.speakerId,
                                          .embedding = current.embedding,
                                          .startTimeSeconds = current.startTimeSeconds,
                                          .endTimeSeconds = std::max(current.endTimeSeconds, next->endTimeSeconds),
                                          .qualityScore = mergedScore(current, *next)};
        } else {
            merged.push_back(std::exchange(current, std::move(*next)));
        }
    }
    merged.push_back(std::move(current));
    return merged;
}

std::vector<TimedSpeakerSegment> dropShortSegments(std::vector<TimedSpeakerSegment> segments, float minimumDuration) {
    sortByStart(segments);
    std::erase_if(segments, [minimumDuration](const TimedSpeakerSegment& segment) {
        return !(segment.endTimeSeconds - segment.startTimeSeconds >= minimumDuration);
    });
    return segments;
}

std::vector<TimedSpeakerSegment> excludeOverlaps(const std::vector<TimedSpeakerSegment>& segments,
                                                 float minimumRemainder) {
    std::vector<TimedSpeakerSegment> kept;
    for (const auto& segment : segments) {
        const float start =
            kept.empty() ? segment.startTimeSeconds : std::max(segment.startTimeSeconds, kept.back().endTimeSeconds);
        const float end = segment.endTimeSeconds;
        if (end <= start || end - start < minimumRemainder) {
            continue;
        }
        const float duration = end - segment.startTimeSeconds;
        const float factor = duration > 0 ? (end - start) / duration : 1.0f;
        kept.push_back(
            TimedSpeakerSegment{.speakerId = segment.speakerId,
                                .embedding = segment.embedding,
                                .startTimeSeconds = start,
                                .endTimeSeconds = end,
                                .qualityScore = std::max(0.0f, std::min(1.0f, factor * segment.qualityScore))});
    }
    return kept;
}

} // namespace quorl::SegmentPostProcessing
