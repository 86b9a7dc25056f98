#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"

namespace quorl {

std::string UnifiedConfig::contextSuffix() const {
    return std::to_string(leftFrames) + "_" + std::to_string(chunkFrames) + "_" + std::to_string(rightFrames);
}

std::int64_t UnifiedConfig::windowSamples() const { return (leftFrames + chunkFrames + rightFrames) * frameSamples; }

std::int64_t UnifiedConfig::chunkSamples() const { return chunkFrames * frameSamples; }

std::int64_t UnifiedConfig::rightSamples() const { return rightFrames * frameSamples; }

std::int64_t UnifiedConfig::latencyMs() const { return (chunkFrames + rightFrames) * frameSamples * 1000 / sampleRate; }

} // namespace quorl
