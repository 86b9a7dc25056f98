#pragma once

#include "QuorlAudio/diarization/offline/PowersetFrame.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// What the segmentation stage tells about a recording in its debug log: how often each powerset class wins,
// how confident the winners are, how much speech the masks hold, and where the time went. It changes no
// result.
class SegmentationStatistics {
public:
    using Duration = std::chrono::steady_clock::duration;

    explicit SegmentationStatistics(float speechOnsetThreshold) : onsetThreshold_(speechOnsetThreshold) {}

    void record(const PowersetFrame& frame);
    void recordBatch(std::int64_t windows, Duration preparation, Duration prediction);

    // The summary lines that apply, in order: class histogram, mask speech, winning probabilities and their
    // distribution, the empty class on speech frames.
    std::vector<std::string> summary(std::int64_t numFrames, std::int64_t numChunks, double frameDuration) const;
    // The timing line; none before the first window.
    std::optional<std::string> timings() const;

private:
    static constexpr std::array<float, 9> confidenceThresholds{0.5f,  0.7f,  0.8f,   0.9f,  0.95f,
                                                               0.98f, 0.99f, 0.995f, 0.999f};

    void recordSpeech(const PowersetFrame& frame);
    std::string histogramLine() const;
    std::string distributionLine() const;

    float onsetThreshold_;
    std::array<std::int64_t, PowersetFrame::classCount> classWins_{};
    std::array<float, PowersetFrame::classCount> classProbabilitySums_{};
    std::int64_t speechFrames_ = 0;
    float minWinning_ = 1.0f;
    float maxWinning_ = 0.0f;
    double winningSum_ = 0;
    double emptyClassSum_ = 0;
    std::array<std::int64_t, confidenceThresholds.size()> confidenceCounts_{};
    std::int64_t maskSpeechFrames_ = 0;
    std::int64_t windows_ = 0;
    Duration preparation_{};
    Duration prediction_{};
};

} // namespace quorl
