#include "QuorlAudio/diarization/chunked/TimedSegmentBuilder.hpp"

#include "QuorlAudio/diarization/chunked/SumOfSquares.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace quorl {
namespace {

float thresholdFor(const std::vector<float>& frame, std::size_t speaker) {
    for (std::size_t other = 0; other < frame.size(); ++other) {
        if (other != speaker && frame[other] > 0.3f) {
            return 0.15f;
        }
    }
    return 0.3f;
}

// Whether the speaker is active in the frame; none for a NaN value, which neither opens nor closes a run.
std::optional<bool> isActive(const std::vector<float>& frame, std::size_t speaker) {
    const float value = speaker < frame.size() ? frame[speaker] : 0.0f;
    if (std::isnan(value)) {
        return std::nullopt;
    }
    return value > thresholdFor(frame, speaker);
}

// The embedding's share of the quality score: its norm over 10, at most 1, and 1 when the norm is NaN.
float magnitudeFactor(const std::vector<float>& embedding) {
    const float factor = std::sqrt(sumOfSquaresInOrder(embedding)) / 10.0f;
    return std::isnan(factor) ? 1.0f : std::min(factor, 1.0f);
}

} // namespace

std::vector<TimedSpeakerSegment> TimedSegmentBuilder::createTimedSegments(const Request& request) const {
    const std::size_t speakers = request.frames.empty() ? 0 : request.frames.front().size();
    std::vector<TimedSpeakerSegment> segments;
    for (std::size_t speaker = 0; speaker < speakers; ++speaker) {
        auto own = speakerSegments(request, speaker);
        segments.insert(segments.end(), own.begin(), own.end());
    }
    std::stable_sort(segments.begin(), segments.end(),
                     [](const auto& a, const auto& b) { return a.startTimeSeconds < b.startTimeSeconds; });
    return segments;
}

std::vector<TimedSpeakerSegment> TimedSegmentBuilder::speakerSegments(const Request& request,
                                                                      std::size_t speaker) const {
    std::vector<TimedSpeakerSegment> segments;
    const float activity = speaker < request.speakerActivities.size() ? request.speakerActivities[speaker] : 0.0f;
    if (activity < minActiveFramesCount) {
        return segments;
    }
    std::optional<std::size_t> runStart;
    for (std::size_t frame = 0; frame < request.frames.size(); ++frame) {
        const auto active = isActive(request.frames[frame], speaker);
        if (!active.has_value()) {
            continue;
        }
        if (*active && !runStart) {
            runStart = frame;
        } else if (!*active && runStart) {
            emit(request, speaker, *runStart, frame, segments);
            runStart.reset();
        }
    }
    if (runStart) {
        emit(request, speaker, *runStart, request.frames.size(), segments);
    }
    return segments;
}

void TimedSegmentBuilder::emit(const Request& request, std::size_t speaker, std::size_t runStart, std::size_t endFrame,
                               std::vector<TimedSpeakerSegment>& segments) const {
    const bool hasId = speaker < request.speakerIds.size() && !request.speakerIds[speaker].empty();
    if (!hasId || speaker >= request.embeddings.size()) {
        return;
    }
    const double start = request.slidingWindow.timeOf(static_cast<double>(runStart));
    const double end = request.slidingWindow.timeOf(static_cast<double>(endFrame));
    if (static_cast<float>(end - start) < minSpeechDuration) {
        return;
    }
    const auto& embedding = request.embeddings[speaker];
    const float activity = request.speakerActivities[speaker];
    segments.push_back(TimedSpeakerSegment{
        .speakerId = request.speakerIds[speaker],
        .embedding = embedding,
        .startTimeSeconds = static_cast<float>(start),
        .endTimeSeconds = static_cast<float>(end),
        .qualityScore = activity / static_cast<float>(endFrame - runStart) * magnitudeFactor(embedding),
    });
}

} // namespace quorl
