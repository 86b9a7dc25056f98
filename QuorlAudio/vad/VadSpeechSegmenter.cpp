#include "QuorlAudio/vad/VadSpeechSegmenter.hpp"

#include "QuorlAudio/vad/VadManager.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace quorl {
namespace {

constexpr auto blockSamples = static_cast<std::int64_t>(VadManager::chunkSize);

// A silence inside speech that a forced split may cut at.
struct CandidateSilence {
    std::int64_t start = 0;
    // Samples from its start to the block where speech came back.
    std::int64_t duration = 0;
    float minProbability = 1.0f;
};

// Where a forced split cuts, and where speech goes on after it (none: speech stops at the cut).
struct Split {
    std::int64_t cut = 0;
    std::optional<std::int64_t> continuation;
};

// The first of the longest candidates.
const CandidateSilence& longest(const std::vector<const CandidateSilence*>& candidates) {
    const CandidateSilence* best = candidates.front();
    for (const CandidateSilence* candidate : candidates) {
        if (candidate->duration > best->duration) {
            best = candidate;
        }
    }
    return *best;
}

// One pass over the block probabilities, block by block, keeping the open segment and its silences.
class RangeWalk {
public:
    RangeWalk(const VadSegmentationConfig& config, VadThresholds thresholds, VadSampleCounts counts,
              std::int64_t audioLength)
        : config_(config), thresholds_(thresholds), counts_(counts), audioLength_(audioLength) {}

    void block(std::int64_t position, float probability) {
        if (probability >= thresholds_.speech) {
            recordCandidate(position);
            const bool wasInSpeech = inSpeech_;
            enterSpeech(position);
            if (!wasInSpeech) {
                return;
            }
        } else if (!inSpeech_) {
            return;
        }
        if (counts_.maxSpeech && position - start_ > *counts_.maxSpeech && !splitAndGoOn(position, probability)) {
            return;
        }
        testSilence(position, probability);
    }

    std::vector<SampleRange> finish() {
        if (inSpeech_ && start_ < audioLength_ && audioLength_ - start_ >= counts_.minSpeech) {
            ranges_.push_back({start_, audioLength_});
        }
        return std::move(ranges_);
    }

private:
    void recordCandidate(std::int64_t position) {
        if (inSilence_ && position - silenceStart_ > counts_.minSilenceAtMaxSpeech) {
            candidates_.push_back(
                {.start = silenceStart_, .duration = position - silenceStart_, .minProbability = lowestSilence_});
        }
    }

    // A speech block: speech starts here unless it already runs; any silence is over either way.
    void enterSpeech(std::int64_t position) {
        if (!inSpeech_) {
            inSpeech_ = true;
            start_ = position;
        }
        forgetSilence();
    }

    // Splits the over-long segment; whether the block still needs the silence test.
    bool splitAndGoOn(std::int64_t position, float probability) {
        const Split split = chooseSplit(position);
        addRange(start_, split.cut);
        candidates_.clear();
        forgetSilence();
        if (!split.continuation || *split.continuation >= position) {
            inSpeech_ = false;
            return false;
        }
        start_ = *split.continuation;
        return probability < thresholds_.silence;
    }

    Split chooseSplit(std::int64_t position) const {
        if (candidates_.empty()) {
            return {.cut = position, .continuation = std::nullopt};
        }
        std::vector<const CandidateSilence*> preferred;
        std::vector<const CandidateSilence*> all;
        for (const auto& candidate : candidates_) {
            all.push_back(&candidate);
            if (candidate.minProbability <= config_.silenceThresholdForSplit) {
                preferred.push_back(&candidate);
            }
        }
        const CandidateSilence& chosen = !preferred.empty()                         ? longest(preferred)
                                         : config_.useMaxPossibleSilenceAtMaxSpeech ? longest(all)
                                                                                    : candidates_.back();
        return {.cut = chosen.start, .continuation = chosen.start + chosen.duration};
    }

    void testSilence(std::int64_t position, float probability) {
        if (probability >= thresholds_.silence) {
            return;
        }
        if (!inSilence_) {
            inSilence_ = true;
            silenceStart_ = position;
            lowestSilence_ = probability;
        }
        lowestSilence_ = std::min(lowestSilence_, probability);
        if (position - silenceStart_ >= counts_.minSilence) {
            addRange(start_, silenceStart_);
            inSpeech_ = false;
            forgetSilence();
            candidates_.clear();
        }
    }

    void addRange(std::int64_t start, std::int64_t end) {
        if (start < end && end - start >= counts_.minSpeech) {
            ranges_.push_back({start, std::min(end, audioLength_)});
        }
    }

    void forgetSilence() { inSilence_ = false; }

    const VadSegmentationConfig& config_;
    const VadThresholds thresholds_;
    const VadSampleCounts counts_;
    const std::int64_t audioLength_;

    bool inSpeech_ = false;
    std::int64_t start_ = 0;
    // The silence inside speech that began at silenceStart_, and its lowest probability so far.
    bool inSilence_ = false;
    std::int64_t silenceStart_ = 0;
    float lowestSilence_ = 1.0f;
    std::vector<CandidateSilence> candidates_;
    std::vector<SampleRange> ranges_;
};

} // namespace

VadSpeechSegmenter::VadSpeechSegmenter(const VadSegmentationConfig& config, float defaultThreshold)
    : config_(config.validated()), thresholds_(config_.thresholds(defaultThreshold)), counts_(config_.sampleCounts()) {}

std::vector<VadSegment> VadSpeechSegmenter::segments(std::span<const float> probabilities,
                                                     std::int64_t totalSamples) const {
    if (probabilities.empty() || totalSamples < 1) {
        return {};
    }
    std::vector<VadSegment> segments;
    for (const auto& range : detectSpeechSampleRanges(probabilities, totalSamples)) {
        const std::int64_t start = std::clamp<std::int64_t>(range.start, 0, totalSamples);
        const std::int64_t end = std::clamp<std::int64_t>(range.end, start, totalSamples);
        segments.push_back({.startTime = static_cast<double>(start) / VadManager::sampleRate,
                            .endTime = static_cast<double>(end) / VadManager::sampleRate});
    }
    return segments;
}

std::vector<SampleRange> VadSpeechSegmenter::detectSpeechSampleRanges(std::span<const float> probabilities,
                                                                      std::int64_t audioLengthSamples) const {
    if (probabilities.empty() || audioLengthSamples < 1) {
        return {};
    }
    RangeWalk walk(config_, thresholds_, counts_, audioLengthSamples);
    for (std::size_t index = 0; index < probabilities.size(); ++index) {
        walk.block(static_cast<std::int64_t>(index) * blockSamples, probabilities[index]);
    }
    return padded(walk.finish(), audioLengthSamples);
}

std::vector<SampleRange> VadSpeechSegmenter::padded(std::vector<SampleRange> ranges, std::int64_t audioLength) const {
    if (ranges.empty()) {
        return ranges;
    }
    const std::int64_t padding = counts_.padding;
    ranges.front().start = std::max<std::int64_t>(ranges.front().start - padding, 0);
    for (std::size_t index = 0; index + 1 < ranges.size(); ++index) {
        const std::int64_t gap = ranges[index + 1].start - ranges[index].end;
        const std::int64_t share = gap < 2 * padding ? gap / 2 : padding;
        ranges[index].end = std::min(ranges[index].end + share, audioLength);
        ranges[index + 1].start = std::max<std::int64_t>(ranges[index + 1].start - share, 0);
    }
    ranges.back().end = std::min(ranges.back().end + padding, audioLength);
    std::vector<SampleRange> kept;
    for (const auto& range : ranges) {
        const std::int64_t start = std::clamp<std::int64_t>(range.start, 0, audioLength);
        const std::int64_t end = std::clamp<std::int64_t>(range.end, start, audioLength);
        if (start < end) {
            kept.push_back({start, end});
        }
    }
    return kept;
}

} // namespace quorl
