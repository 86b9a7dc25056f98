#include "QuorlAudio/diarization/offline/SegmentationStatistics.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <numeric>

namespace quorl {
namespace {

using platform::core::concatenated;

double ratio(double part, std::int64_t whole) { return part / static_cast<double>(whole); }

double milliseconds(SegmentationStatistics::Duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

void SegmentationStatistics::record(const PowersetFrame& frame) {
    if (frame.winner < PowersetFrame::classCount) {
        ++classWins_[frame.winner];
    }
    const std::size_t classes = std::min(PowersetFrame::classCount, frame.probabilities.size());
    for (std::size_t index = 0; index < classes; ++index) {
        classProbabilitySums_[index] += frame.probabilities[index];
    }
    if (!PowersetFrame::table()[frame.speakerClass].empty()) {
        recordSpeech(frame);
    }
    const float speech = 1.0f - frame.probabilities[0];
    if (std::clamp(speech, 0.0f, 1.0f) >= onsetThreshold_) {
        ++maskSpeechFrames_;
    }
}

void SegmentationStatistics::recordSpeech(const PowersetFrame& frame) {
    const float winning = frame.probabilities[frame.speakerClass];
    ++speechFrames_;
    minWinning_ = std::min(minWinning_, winning);
    maxWinning_ = std::max(maxWinning_, winning);
    winningSum_ += winning;
    emptyClassSum_ += frame.probabilities[0];
    for (std::size_t index = 0; index < confidenceThresholds.size(); ++index) {
        if (winning >= confidenceThresholds[index]) {
            ++confidenceCounts_[index];
        }
    }
}

void SegmentationStatistics::recordBatch(std::int64_t windows, Duration preparation, Duration prediction) {
    windows_ += windows;
    preparation_ += preparation;
    prediction_ += prediction;
}

std::vector<std::string> SegmentationStatistics::summary(std::int64_t numFrames, std::int64_t numChunks,
                                                         double frameDuration) const {
    std::vector<std::string> lines;
    if (std::accumulate(classWins_.begin(), classWins_.end(), std::int64_t{0}) >= 1) {
        lines.push_back(histogramLine());
    }
    const std::int64_t frames = numFrames * numChunks;
    if (frames >= 1) {
        const auto masked = static_cast<double>(maskSpeechFrames_);
        lines.push_back(concatenated({"Segmentation mask speech frames = ", std::to_string(maskSpeechFrames_), " / ",
                                      std::to_string(frames), " (ratio=", fixedDecimalText(ratio(masked, frames), 3),
                                      ", speechSeconds\u2248", fixedDecimalText(frameDuration * masked, 1), "s)"}));
    }
    if (speechFrames_ >= 1) {
        lines.push_back(concatenated({"Winning speaker probability stats: count=", std::to_string(speechFrames_),
                                      ", avg=", fixedDecimalText(ratio(winningSum_, speechFrames_), 3), ", min=",
                                      fixedDecimalText(minWinning_, 3), ", max=", fixedDecimalText(maxWinning_, 3)}));
        lines.push_back(distributionLine());
        lines.push_back("Empty-class probability on speech frames: avg=" +
                        fixedDecimalText(ratio(emptyClassSum_, speechFrames_), 3));
    }
    return lines;
}

std::string SegmentationStatistics::histogramLine() const {
    const std::int64_t total = std::accumulate(classWins_.begin(), classWins_.end(), std::int64_t{0});
    const std::int64_t speech = total - classWins_[0];
    return concatenated({"Segmentation histogram: speechFrames=", std::to_string(speech),
                         " totalFrames=", std::to_string(total),
                         " speechRatio=", fixedDecimalText(ratio(static_cast<double>(speech), total), 3),
                         " avgNonSpeechProb=", fixedDecimalText(ratio(classProbabilitySums_[0], total), 3)});
}

std::string SegmentationStatistics::distributionLine() const {
    std::string line = "Winning probability distribution ";
    for (std::size_t index = 0; index < confidenceThresholds.size(); ++index) {
        line += concatenated({index == 0 ? "" : ", ", "\u2265", fixedDecimalText(confidenceThresholds[index], 3), ":",
                              std::to_string(confidenceCounts_[index])});
    }
    return line;
}

std::optional<std::string> SegmentationStatistics::timings() const {
    if (windows_ < 1) {
        return std::nullopt;
    }
    const double preparation = milliseconds(preparation_);
    const double prediction = milliseconds(prediction_);
    return concatenated({"Segmentation timings: windows=", std::to_string(windows_),
                         " prepareTotal=", fixedDecimalText(preparation, 2),
                         "ms (perWindow=", fixedDecimalText(ratio(preparation, windows_), 4),
                         "ms) predictionTotal=", fixedDecimalText(prediction, 2),
                         "ms (perWindow=", fixedDecimalText(ratio(prediction, windows_), 4), "ms)"});
}

} // namespace quorl
