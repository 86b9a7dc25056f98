#pragma once

#include "platform/audio/FormatDescription.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::audio {

// A media sample buffer of PCM audio, as capture and media pipelines deliver it: an optional format
// description, a number of samples (frames) and the sample bytes in the layout the stream description gives
// (interleaved frames, or one plane per channel one after another). Immutable.
class SampleBuffer {
public:
    // Statuses of copyPCMData.
    static constexpr std::int32_t statusOK = 0;
    static constexpr std::int32_t statusInvalidFormat = -12710;
    static constexpr std::int32_t statusInvalidRange = -12711;
    static constexpr std::int32_t statusArrayTooSmall = -12712;
    static constexpr std::int32_t statusLayoutMismatch = -12713;
    static constexpr std::int32_t statusDataNotReady = -12714;

    SampleBuffer(std::optional<FormatDescription> formatDescription, std::int64_t sampleCount,
                 std::vector<std::byte> data);

    const std::optional<FormatDescription>& formatDescription() const { return formatDescription_; }
    std::int64_t sampleCount() const { return sampleCount_; }

    // Copies frameCount frames starting at frameOffset into the first frames of the destination's buffer list.
    // The destination's layout must match the stream description (buffer count and bytes per frame). Returns
    // statusOK, or the status that says why nothing was copied; the destination's frame length is not changed.
    std::int32_t copyPCMData(std::int64_t frameOffset, std::int64_t frameCount, PCMBuffer& destination) const;

private:
    std::optional<FormatDescription> formatDescription_;
    std::int64_t sampleCount_;
    std::vector<std::byte> data_;
};

} // namespace platform::audio
