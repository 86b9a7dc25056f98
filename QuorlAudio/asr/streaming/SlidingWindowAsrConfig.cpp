#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"

#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace quorl {

namespace {

std::int64_t samplesIn(double seconds) { return static_cast<std::int64_t>(seconds * ASRConstants::sampleRate); }

} // namespace

SlidingWindowAsrConfig SlidingWindowAsrConfig::custom(CustomOptions options) {
    return SlidingWindowAsrConfig{
        .chunkSeconds = options.chunkDuration,
        .hypothesisChunkSeconds = std::min(options.chunkDuration / 2, 1.0),
        .confirmationThreshold = options.confirmationThreshold,
    };
}

const SlidingWindowAsrConfig& SlidingWindowAsrConfig::defaultConfig() {
    static const SlidingWindowAsrConfig preset;
    return preset;
}

const SlidingWindowAsrConfig& SlidingWindowAsrConfig::streaming() {
    static const SlidingWindowAsrConfig preset{.hypothesisChunkSeconds = 1.0, .confirmationThreshold = 0.80};
    return preset;
}

SlidingWindowAsrConfig SlidingWindowAsrConfig::applying(TdtConfig tdtConfig) const {
    SlidingWindowAsrConfig copy = *this;
    copy.tdtConfig = std::move(tdtConfig);
    return copy;
}

std::int64_t SlidingWindowAsrConfig::chunkSamples() const { return samplesIn(chunkSeconds); }

std::int64_t SlidingWindowAsrConfig::leftContextSamples() const { return samplesIn(leftContextSeconds); }

std::int64_t SlidingWindowAsrConfig::rightContextSamples() const { return samplesIn(rightContextSeconds); }

std::int64_t SlidingWindowAsrConfig::windowSamples() const {
    return leftContextSamples() + chunkSamples() + rightContextSamples();
}

ASRConfig SlidingWindowAsrConfig::asrConfig() const {
    ASRConfig config = ASRConfig::defaultConfig();
    if (tdtConfig) {
        config.tdtConfig = *tdtConfig;
    }
    return config;
}

void SlidingWindowAsrConfig::validate() const {
    const std::int64_t samples = windowSamples();
    if (samples > ASRConstants::maxModelSamples) {
        throw SlidingWindowAsrError::invalidConfiguration(platform::core::concatenated({
            "leftContextSeconds + chunkSeconds + rightContextSeconds = ",
            decimalText(leftContextSeconds + chunkSeconds + rightContextSeconds),
            "s (",
            std::to_string(samples),
            " samples) exceeds the model's maximum input of ",
            decimalText(ASRConstants::maxDurationSeconds),
            "s (",
            std::to_string(ASRConstants::maxModelSamples),
            " samples at 16 kHz)",
        }));
    }
    // Windows advance by the centre region: without a sample in it, the recogniser would decode the same
    // window forever.
    const std::int64_t centre = chunkSamples();
    if (centre < 1) {
        throw SlidingWindowAsrError::invalidConfiguration(platform::core::concatenated({
            "chunkSeconds = ",
            decimalText(chunkSeconds),
            "s (",
            std::to_string(centre),
            " samples) is shorter than one sample at 16 kHz",
        }));
    }
}

} // namespace quorl
