#include "platform/audio/AudioFormat.hpp"

#include <cmath>
#include <iomanip>
#include <sstream>

namespace platform::audio {

namespace {

std::optional<CommonFormat> commonFormatOf(const StreamDescription& description) {
    if (description.isFloat) {
        if (description.bitsPerChannel == 32) {
            return CommonFormat::float32;
        }
        if (description.bitsPerChannel == 64) {
            return CommonFormat::float64;
        }
        return std::nullopt;
    }
    if (description.bitsPerChannel == 16) {
        return CommonFormat::int16;
    }
    if (description.bitsPerChannel == 32) {
        return CommonFormat::int32;
    }
    return std::nullopt;
}

} // namespace

AudioFormat::AudioFormat(CommonFormat commonFormat, double sampleRate, std::uint32_t channelCount, bool interleaved)
    : commonFormat_(commonFormat), sampleRate_(sampleRate), channelCount_(channelCount), interleaved_(interleaved) {}

std::optional<AudioFormat> AudioFormat::make(CommonFormat commonFormat, double sampleRate, std::uint32_t channelCount,
                                             bool interleaved) {
    if (channelCount == 0 || !std::isfinite(sampleRate) || sampleRate <= 0) {
        return std::nullopt;
    }
    return AudioFormat(commonFormat, sampleRate, channelCount, interleaved);
}

std::optional<AudioFormat> AudioFormat::make(const StreamDescription& description) {
    const auto commonFormat = commonFormatOf(description);
    if (!commonFormat) {
        return std::nullopt;
    }
    return make(*commonFormat, description.sampleRate, description.channelsPerFrame, !description.isNonInterleaved);
}

std::size_t AudioFormat::bytesPerFrame() const {
    const std::size_t sampleBytes = bytesPerSample(commonFormat_);
    return interleaved_ ? sampleBytes * channelCount_ : sampleBytes;
}

std::uint32_t AudioFormat::bufferCount() const { return interleaved_ ? 1 : channelCount_; }

std::string AudioFormat::description() const {
    std::ostringstream text;
    text << channelCount_ << " ch, " << std::setprecision(15) << sampleRate_ << " Hz, "
         << audio::description(commonFormat_) << (interleaved_ ? ", interleaved" : ", non-interleaved");
    return text.str();
}

} // namespace platform::audio
