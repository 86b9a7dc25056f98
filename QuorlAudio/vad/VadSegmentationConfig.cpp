#include "QuorlAudio/vad/VadSegmentationConfig.hpp"

#include "QuorlAudio/vad/VadManager.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace quorl {
namespace {

// Every block probability stands for one block, so a forced split happens a block before the maximum, and the
// padding on both sides must fit in it too.
constexpr auto blockSamples = static_cast<std::int64_t>(VadManager::chunkSize);

std::int64_t samples(double seconds) { return static_cast<std::int64_t>(seconds * VadManager::sampleRate); }

void require(bool valid, const char* field) {
    if (!valid) {
        throw std::invalid_argument(std::string("VadSegmentationConfig.") + field + " is out of range");
    }
}

bool isProbability(float value) { return value >= 0.0f && value <= 1.0f; }

} // namespace

VadSegmentationConfig VadSegmentationConfig::defaultConfig() { return VadSegmentationConfig{}; }

void VadSegmentationConfig::validate() const {
    require(minSpeechDuration >= 0.0, "minSpeechDuration");
    require(minSilenceDuration >= 0.0, "minSilenceDuration");
    require(maxSpeechDuration > 0.0, "maxSpeechDuration");
    require(speechPadding >= 0.0, "speechPadding");
    require(isProbability(silenceThresholdForSplit), "silenceThresholdForSplit");
    require(!negativeThreshold || isProbability(*negativeThreshold), "negativeThreshold");
    require(negativeThresholdOffset >= 0.0f, "negativeThresholdOffset");
    require(minSilenceAtMaxSpeech >= 0.0, "minSilenceAtMaxSpeech");
}

const VadSegmentationConfig& VadSegmentationConfig::validated() const {
    validate();
    return *this;
}

float VadSegmentationConfig::effectiveNegativeThreshold(float baseThreshold) const {
    if (negativeThreshold) {
        return *negativeThreshold;
    }
    return std::max(baseThreshold - negativeThresholdOffset, 0.01f);
}

VadThresholds VadSegmentationConfig::thresholds(float defaultThreshold) const {
    if (negativeThreshold) {
        return {.speech = std::min(*negativeThreshold + negativeThresholdOffset, 1.0f), .silence = *negativeThreshold};
    }
    return {.speech = defaultThreshold, .silence = effectiveNegativeThreshold(defaultThreshold)};
}

VadSampleCounts VadSegmentationConfig::sampleCounts() const {
    const std::int64_t padding = samples(speechPadding);
    VadSampleCounts counts{.minSpeech = samples(minSpeechDuration),
                           .minSilence = samples(minSilenceDuration),
                           .padding = padding,
                           .minSilenceAtMaxSpeech = samples(minSilenceAtMaxSpeech),
                           .maxSpeech = std::nullopt};
    if (std::isfinite(maxSpeechDuration)) {
        counts.maxSpeech = std::max<std::int64_t>(samples(maxSpeechDuration) - blockSamples - 2 * padding, 0);
    }
    return counts;
}

} // namespace quorl
