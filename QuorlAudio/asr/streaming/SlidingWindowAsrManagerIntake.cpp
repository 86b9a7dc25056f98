#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"

#include <algorithm>
#include <functional>

namespace quorl {

void SlidingWindowAsrManager::recognize() {
    logger_.info("Recognition task started, waiting for audio...");
    // One resampler for the whole stream: converting buffer by buffer would lose a fraction of a sample and
    // pad a seam with every buffer.
    ContinuousAudioConverter converter(ASRConstants::sampleRate);
    auto input = inputSequence_;
    while (const auto buffer = input.next()) {
        if (!convertAndProcess([&converter, &buffer] { return converter.convert(**buffer); })) {
            return;
        }
    }
    // A cancelled task stops taking input without flushing: every window it tried would end silently.
    if (platform::core::Task::isCancelled() || !convertAndProcess([&converter] { return converter.finish(); })) {
        return;
    }
    flushRemaining();
    logger_.info("Recognition task completed");
}

bool SlidingWindowAsrManager::convertAndProcess(const std::function<std::vector<float>()>& conversion) {
    std::vector<float> samples;
    try {
        samples = conversion();
    } catch (...) {
        return recoverFromConversionFailure(std::current_exception());
    }
    appendSamplesAndProcess(samples);
    return true;
}

bool SlidingWindowAsrManager::recoverFromConversionFailure(const std::exception_ptr& error) {
    if (isCancellation(error)) {
        return false;
    }
    const auto wrapped = SlidingWindowAsrError::audioBufferProcessingFailed(error);
    logger_.error(platform::core::concatenated({"Audio buffer processing error: ", wrapped.what()}));
    attemptErrorRecovery(wrapped);
    return true;
}

void SlidingWindowAsrManager::appendSamplesAndProcess(std::span<const float> samples) {
    {
        std::lock_guard lock(mutex_);
        sampleBuffer_.insert(sampleBuffer_.end(), samples.begin(), samples.end());
    }
    while (auto window = cutStreamingWindow()) {
        processWindow(std::move(window->samples), window->start, window->isLastChunk);
        advancePast(*window);
    }
}

void SlidingWindowAsrManager::flushRemaining() {
    while (auto window = cutFlushWindow()) {
        processWindow(std::move(window->samples), window->start, window->isLastChunk);
        advancePast(*window);
    }
}

std::optional<SlidingWindowAsrManager::Window> SlidingWindowAsrManager::cutStreamingWindow() {
    std::lock_guard lock(mutex_);
    const std::int64_t centre = nextWindowCenterStart_;
    const std::int64_t end = centre + chunkSamples_ + rightContextSamples_;
    if (bufferEndLocked() < end) {
        return std::nullopt;
    }
    const std::int64_t start = std::max<std::int64_t>(0, centre - leftContextSamples_);
    const auto first = sampleBuffer_.begin() + std::max<std::int64_t>(0, start - bufferStartIndex_);
    return Window{.samples = std::vector<float>(first, sampleBuffer_.begin() + (end - bufferStartIndex_)),
                  .start = start,
                  .isLastChunk = false,
                  .advance = chunkSamples_,
                  .timeline = timeline_};
}

std::optional<SlidingWindowAsrManager::Window> SlidingWindowAsrManager::cutFlushWindow() {
    std::lock_guard lock(mutex_);
    const std::int64_t centre = nextWindowCenterStart_;
    const std::int64_t bufferEnd = bufferEndLocked();
    if (centre >= bufferEnd) {
        return std::nullopt;
    }
    const std::int64_t centreLength = std::min(bufferEnd - centre, chunkSamples_);
    const std::int64_t start = std::max<std::int64_t>(0, centre - leftContextSamples_);
    const std::int64_t from = std::max<std::int64_t>(0, start - bufferStartIndex_);
    const std::int64_t to = centre + centreLength - bufferStartIndex_;
    if (to <= from) {
        return std::nullopt;
    }
    return Window{.samples = std::vector<float>(sampleBuffer_.begin() + from, sampleBuffer_.begin() + to),
                  .start = start,
                  .isLastChunk = centre + centreLength >= bufferEnd,
                  .advance = centreLength,
                  .timeline = timeline_};
}

void SlidingWindowAsrManager::advancePast(const Window& window) {
    std::lock_guard lock(mutex_);
    // After a reset the window belonged to the previous timeline: the new one starts at its own beginning.
    if (window.timeline != timeline_) {
        return;
    }
    nextWindowCenterStart_ += window.advance;
    const std::int64_t drop =
        std::max<std::int64_t>(0, nextWindowCenterStart_ - leftContextSamples_) - bufferStartIndex_;
    if (drop > 0 && static_cast<std::int64_t>(sampleBuffer_.size()) >= drop) {
        sampleBuffer_.erase(sampleBuffer_.begin(), sampleBuffer_.begin() + drop);
        bufferStartIndex_ += drop;
    }
}

std::int64_t SlidingWindowAsrManager::bufferEndLocked() const {
    return bufferStartIndex_ + static_cast<std::int64_t>(sampleBuffer_.size());
}

} // namespace quorl
