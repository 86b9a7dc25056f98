#include "QuorlAudio/vad/VadStreamTracker.hpp"

#include <algorithm>

namespace quorl {

VadStreamTracker::VadStreamTracker(const VadSegmentationConfig& config, float defaultThreshold)
    : thresholds_(config.validated().thresholds(defaultThreshold)), counts_(config.sampleCounts()) {}

std::optional<VadStreamEvent> VadStreamTracker::advance(VadStreamState& state, float probability,
                                                        std::int64_t blockSamples) const {
    const std::int64_t processed = state.processedSamples + blockSamples;
    state.processedSamples = processed;
    if (probability >= thresholds_.speech) {
        state.tempEndSample.reset();
        if (state.triggered) {
            return std::nullopt;
        }
        state.triggered = true;
        return VadStreamEvent{.kind = VadStreamEvent::Kind::speechStart,
                              .sampleIndex = std::max<std::int64_t>(processed - counts_.padding - blockSamples, 0),
                              .time = std::nullopt};
    }
    if (probability >= thresholds_.silence || !state.triggered) {
        return std::nullopt;
    }
    const std::int64_t silenceStart = state.tempEndSample.value_or(processed);
    state.tempEndSample = silenceStart;
    if (processed - silenceStart < counts_.minSilence) {
        return std::nullopt;
    }
    state.triggered = false;
    state.tempEndSample.reset();
    return VadStreamEvent{.kind = VadStreamEvent::Kind::speechEnd,
                          .sampleIndex = std::max<std::int64_t>(silenceStart + counts_.padding - blockSamples, 0),
                          .time = std::nullopt};
}

} // namespace quorl
