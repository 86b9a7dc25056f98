#include "QuorlAudio/diarization/offline/SegmentationWindowReader.hpp"

#include <algorithm>

namespace quorl {

SegmentationWindowReader::SegmentationWindowReader(const AudioSampleSource& source, std::int64_t windowSize,
                                                   std::int64_t step)
    : source_(source), totalSamples_(source.sampleCount()), step_(step),
      window_(static_cast<std::size_t>(windowSize), 0.0f) {}

std::span<const float> SegmentationWindowReader::read(std::int64_t start) {
    if (followsPrevious(start)) {
        shiftIn(start);
    } else {
        readWhole(start);
    }
    previousStart_ = start;
    return window_;
}

bool SegmentationWindowReader::followsPrevious(std::int64_t start) const {
    const auto windowSize = static_cast<std::int64_t>(window_.size());
    return step_ < windowSize && previousStart_ && start - *previousStart_ == step_;
}

void SegmentationWindowReader::shiftIn(std::int64_t start) {
    const auto overlap = static_cast<std::ptrdiff_t>(window_.size()) - step_;
    std::copy(window_.begin() + step_, window_.end(), window_.begin());
    copyPadded(window_.data() + overlap, start + overlap, step_);
}

void SegmentationWindowReader::readWhole(std::int64_t start) {
    copyPadded(window_.data(), start, static_cast<std::int64_t>(window_.size()));
}

void SegmentationWindowReader::copyPadded(float* destination, std::int64_t from, std::int64_t count) const {
    const std::int64_t available = std::clamp<std::int64_t>(totalSamples_ - from, 0, count);
    if (available > 0) {
        source_.copySamples(destination, from, available);
    }
    std::fill(destination + available, destination + count, 0.0f);
}

} // namespace quorl
