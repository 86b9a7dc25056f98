#include "QuorlAudio/diarization/chunked/DiarizationDER.hpp"

#include "QuorlAudio/diarization/chunked/Hungarian.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace quorl::DiarizationDER {

namespace {

// Labels in order of first appearance, and each segment's index into them.
struct SpeakerIndex {
    std::vector<std::string> labels;
    std::vector<std::size_t> ofSegment;
};

SpeakerIndex indexSpeakers(const std::vector<DERSpeakerSegment>& segments) {
    SpeakerIndex index;
    std::unordered_map<std::string, std::size_t> byLabel;
    for (const auto& segment : segments) {
        const auto [entry, added] = byLabel.try_emplace(segment.speaker, index.labels.size());
        if (added) {
            index.labels.push_back(segment.speaker);
        }
        index.ofSegment.push_back(entry->second);
    }
    return index;
}

// Frames x speakers flags, row-major.
struct Activity {
    std::size_t speakers = 0;
    std::vector<bool> flags;

    bool active(std::size_t frame, std::size_t speaker) const { return flags[frame * speakers + speaker]; }
};

// A time to the nearest frame, exact halves going down; clamped to [0, numFrames].
std::size_t nearestFrame(double seconds, double frameStep, std::size_t numFrames) {
    const double frame = std::ceil(seconds / frameStep - 0.5);
    return static_cast<std::size_t>(std::clamp(frame, 0.0, static_cast<double>(numFrames)));
}

Activity markActivity(const std::vector<DERSpeakerSegment>& segments, const SpeakerIndex& index, std::size_t numFrames,
                      double frameStep) {
    Activity activity{.speakers = index.labels.size(), .flags = std::vector<bool>(numFrames * index.labels.size())};
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const auto& segment = segments[s];
        if (!(segment.start < segment.end)) {
            continue;
        }
        const auto from = nearestFrame(segment.start, frameStep, numFrames);
        const auto to = nearestFrame(segment.end, frameStep, numFrames);
        for (std::size_t frame = from; frame < to; ++frame) {
            activity.flags[frame * activity.speakers + index.ofSegment[s]] = true;
        }
    }
    return activity;
}

std::size_t frameCount(const std::vector<DERSpeakerSegment>& ref, const std::vector<DERSpeakerSegment>& hyp,
                       double frameStep) {
    double lastTime = 0;
    for (const auto* segments : {&ref, &hyp}) {
        for (const auto& segment : *segments) {
            lastTime = std::max(lastTime, segment.end);
        }
    }
    return static_cast<std::size_t>(std::ceil(lastTime / frameStep)) + 1;
}

// H x R counts of the frames in which hypothesis speaker h and reference speaker r are both active.
std::vector<std::int64_t> coOccurrence(const Activity& refActivity, const Activity& hypActivity,
                                       std::size_t numFrames) {
    const std::size_t numRef = refActivity.speakers;
    std::vector<std::int64_t> counts(hypActivity.speakers * numRef, 0);
    for (std::size_t frame = 0; frame < numFrames; ++frame) {
        for (std::size_t h = 0; h < hypActivity.speakers; ++h) {
            if (!hypActivity.active(frame, h)) {
                continue;
            }
            for (std::size_t r = 0; r < numRef; ++r) {
                counts[h * numRef + r] += refActivity.active(frame, r) ? 1 : 0;
            }
        }
    }
    return counts;
}

constexpr int unmapped = -1;

// For each hypothesis speaker, the reference speaker it is mapped to, or `unmapped`. Rows and columns beyond the
// speakers stand for no speaker and cost as much as sharing no frame.
std::vector<int> mapSpeakers(const std::vector<std::int64_t>& counts, std::size_t numHyp, std::size_t numRef) {
    const std::size_t size = std::max(numHyp, numRef);
    const std::int64_t largest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    std::vector<std::int64_t> cost(size * size, largest);
    for (std::size_t h = 0; h < numHyp; ++h) {
        for (std::size_t r = 0; r < numRef; ++r) {
            cost[h * size + r] = largest - counts[h * numRef + r];
        }
    }
    const auto columns = Hungarian::solve(cost, static_cast<int>(size));
    std::vector<int> mapping(numHyp, unmapped);
    for (std::size_t h = 0; h < numHyp; ++h) {
        const int column = columns[h];
        if (column >= 0 && static_cast<std::size_t>(column) < numRef && counts[h * numRef + column] > 0) {
            mapping[h] = column;
        }
    }
    return mapping;
}

// True where a frame is scored: `collar` seconds in total, half on each side of every reference boundary and
// widened outwards to whole frames, are not.
std::vector<bool> collarMask(const std::vector<DERSpeakerSegment>& ref, std::size_t numFrames, double frameStep,
                             double collar) {
    std::vector<bool> scored(numFrames, true);
    if (collar <= 0) {
        return scored;
    }
    const auto clear = [&](double boundary) {
        const double from = std::floor((boundary - collar * 0.5) / frameStep);
        const double to = std::ceil((boundary + collar * 0.5) / frameStep);
        const auto limit = static_cast<double>(numFrames);
        const auto first = static_cast<std::size_t>(std::clamp(from, 0.0, limit));
        const auto last = static_cast<std::size_t>(std::clamp(to, 0.0, limit));
        std::fill(scored.begin() + static_cast<std::ptrdiff_t>(first),
                  scored.begin() + static_cast<std::ptrdiff_t>(std::max(first, last)), false);
    };
    for (const auto& segment : ref) {
        if (segment.start < segment.end) {
            clear(segment.start);
            clear(segment.end);
        }
    }
    return scored;
}

struct FrameCounts {
    std::int64_t miss = 0;
    std::int64_t falseAlarm = 0;
    std::int64_t confusion = 0;
    std::int64_t reference = 0;
};

FrameCounts countErrors(const Activity& refActivity, const Activity& hypActivity, const std::vector<int>& mapping,
                        const std::vector<bool>& scored) {
    FrameCounts counts;
    for (std::size_t frame = 0; frame < scored.size(); ++frame) {
        if (!scored[frame]) {
            continue;
        }
        std::int64_t l = 0;
        for (std::size_t r = 0; r < refActivity.speakers; ++r) {
            l += refActivity.active(frame, r) ? 1 : 0;
        }
        std::int64_t k = 0;
        std::int64_t correct = 0;
        for (std::size_t h = 0; h < hypActivity.speakers; ++h) {
            if (!hypActivity.active(frame, h)) {
                continue;
            }
            ++k;
            const int r = mapping[h];
            correct += (r != unmapped && refActivity.active(frame, static_cast<std::size_t>(r))) ? 1 : 0;
        }
        counts.miss += std::max<std::int64_t>(l - k, 0);
        counts.falseAlarm += std::max<std::int64_t>(k - l, 0);
        counts.confusion += std::min(k, l) - correct;
        counts.reference += l;
    }
    return counts;
}

void requireFiniteTimes(const std::vector<DERSpeakerSegment>& segments) {
    for (const auto& segment : segments) {
        if (!std::isfinite(segment.start) || !std::isfinite(segment.end)) {
            throw std::invalid_argument("The segment of speaker \"" + segment.speaker +
                                        "\" does not have finite start and end times");
        }
    }
}

void requireValidSteps(double frameStep, double collar) {
    if (!(frameStep > 0) || !std::isfinite(frameStep)) {
        throw std::invalid_argument("The frame step must be a positive, finite number of seconds, not " +
                                    std::to_string(frameStep));
    }
    if (!(collar >= 0) || !std::isfinite(collar)) {
        throw std::invalid_argument("The collar must be a finite number of seconds, not negative, not " +
                                    std::to_string(collar));
    }
}

} // namespace

DERResult compute(const std::vector<DERSpeakerSegment>& ref, const std::vector<DERSpeakerSegment>& hyp,
                  double frameStep, double collar) {
    requireValidSteps(frameStep, collar);
    requireFiniteTimes(ref);
    requireFiniteTimes(hyp);
    const auto refIndex = indexSpeakers(ref);
    const auto hypIndex = indexSpeakers(hyp);
    if (refIndex.labels.empty() && hypIndex.labels.empty()) {
        return {};
    }
    const std::size_t numFrames = frameCount(ref, hyp, frameStep);
    const auto refActivity = markActivity(ref, refIndex, numFrames, frameStep);
    const auto hypActivity = markActivity(hyp, hypIndex, numFrames, frameStep);
    const auto mapping =
        mapSpeakers(coOccurrence(refActivity, hypActivity, numFrames), hypIndex.labels.size(), refIndex.labels.size());
    const auto counts = countErrors(refActivity, hypActivity, mapping, collarMask(ref, numFrames, frameStep, collar));

    DERResult result{
        .confusion = static_cast<double>(counts.confusion) * frameStep,
        .falseAlarm = static_cast<double>(counts.falseAlarm) * frameStep,
        .miss = static_cast<double>(counts.miss) * frameStep,
        .totalRefSpeech = static_cast<double>(counts.reference) * frameStep,
        .mapping = {},
    };
    if (result.totalRefSpeech > 0) {
        result.der = (result.confusion + (result.falseAlarm + result.miss)) / result.totalRefSpeech;
    }
    for (std::size_t h = 0; h < mapping.size(); ++h) {
        if (mapping[h] != unmapped) {
            result.mapping[hypIndex.labels[h]] = refIndex.labels[static_cast<std::size_t>(mapping[h])];
        }
    }
    return result;
}

} // namespace quorl::DiarizationDER
