#include "platform/audio/SampleBuffer.hpp"

#include "platform/audio/AudioFormat.hpp"

#include <cstring>
#include <utility>

namespace platform::audio {

SampleBuffer::SampleBuffer(std::optional<FormatDescription> formatDescription, std::int64_t sampleCount,
                           std::vector<std::byte> data)
    : formatDescription_(std::move(formatDescription)), sampleCount_(sampleCount), data_(std::move(data)) {}

std::int32_t SampleBuffer::copyPCMData(std::int64_t frameOffset, std::int64_t frameCount,
                                       PCMBuffer& destination) const {
    if (!formatDescription_ || !formatDescription_->streamDescription) {
        return statusInvalidFormat;
    }
    const auto format = AudioFormat::make(*formatDescription_->streamDescription);
    if (!format) {
        return statusInvalidFormat;
    }
    if (frameOffset < 0 || frameCount < 0 || frameCount > sampleCount_ - frameOffset) {
        return statusInvalidRange;
    }
    if (frameCount > destination.frameCapacity()) {
        return statusArrayTooSmall;
    }
    const AudioFormat& target = destination.format();
    if (target.bufferCount() != format->bufferCount() || target.bytesPerFrame() != format->bytesPerFrame()) {
        return statusLayoutMismatch;
    }
    // The samples are laid out as buffers of sampleCount frames each, one after another.
    const std::size_t frameBytes = format->bytesPerFrame();
    if (static_cast<std::uint64_t>(sampleCount_) > data_.size() / format->bufferCount() / frameBytes) {
        return statusDataNotReady;
    }
    const std::size_t planeBytes = static_cast<std::size_t>(sampleCount_) * frameBytes;
    for (std::size_t buffer = 0; buffer < format->bufferCount(); ++buffer) {
        const std::byte* source =
            data_.data() + buffer * planeBytes + static_cast<std::size_t>(frameOffset) * frameBytes;
        std::memcpy(destination.bufferData(buffer).data(), source, static_cast<std::size_t>(frameCount) * frameBytes);
    }
    return statusOK;
}

} // namespace platform::audio
