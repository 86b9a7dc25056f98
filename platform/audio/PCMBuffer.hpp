#pragma once

#include "platform/audio/AudioFormat.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform::audio {

// A buffer of PCM audio in one format: room for frameCapacity frames, of which the first frameLength are valid.
// Held by std::shared_ptr: converters and files hand back the very buffers they were given, so identity matters
// and copies are not allowed. The memory is zero-filled at creation.
//
// Samples live in the buffer list: one buffer per channel for a non-interleaved format, one buffer of
// interleaved frames otherwise. The typed channel pointers follow the platform's convention: they exist only
// for the matching sample type; non-interleaved, one pointer per channel; interleaved, a single pointer to the
// interleaved frames, with stride() samples from one frame to the next.
class PCMBuffer {
public:
    // Null when the memory cannot be allocated. A capacity of 0 is allowed (an empty buffer).
    static std::shared_ptr<PCMBuffer> make(const AudioFormat& format, std::uint32_t frameCapacity);

    PCMBuffer(const PCMBuffer&) = delete;
    PCMBuffer& operator=(const PCMBuffer&) = delete;

    const AudioFormat& format() const { return format_; }
    std::uint32_t frameCapacity() const { return frameCapacity_; }
    std::uint32_t frameLength() const { return frameLength_; }
    // Throws std::out_of_range above the capacity.
    void setFrameLength(std::uint32_t frameLength);
    // Samples between consecutive frames of one channel: the channel count when interleaved, 1 otherwise.
    std::uint32_t stride() const;

    // Null unless the format's samples are Float32.
    float* const* floatChannelData() { return pointersOrNull(floatChannels_); }
    const float* const* floatChannelData() const { return pointersOrNull(floatChannels_); }
    // Null unless the format's samples are Int16.
    std::int16_t* const* int16ChannelData() { return pointersOrNull(int16Channels_); }
    const std::int16_t* const* int16ChannelData() const { return pointersOrNull(int16Channels_); }
    // Null unless the format's samples are Int32.
    std::int32_t* const* int32ChannelData() { return pointersOrNull(int32Channels_); }
    const std::int32_t* const* int32ChannelData() const { return pointersOrNull(int32Channels_); }

    // The buffer list: format().bufferCount() buffers of frameCapacity x format().bytesPerFrame() bytes each.
    std::size_t bufferCount() const { return buffers_.size(); }
    std::span<std::byte> bufferData(std::size_t index);
    std::span<const std::byte> bufferData(std::size_t index) const;

private:
    struct FreeMemory {
        void operator()(std::byte* memory) const;
    };

    PCMBuffer(const AudioFormat& format, std::uint32_t frameCapacity, std::unique_ptr<std::byte[], FreeMemory> memory,
              std::size_t bufferBytes, std::size_t bufferStride);

    template <class T> static T* const* pointersOrNull(const std::vector<T*>& pointers) {
        return pointers.empty() ? nullptr : pointers.data();
    }

    AudioFormat format_;
    std::uint32_t frameCapacity_;
    std::uint32_t frameLength_ = 0;
    std::unique_ptr<std::byte[], FreeMemory> memory_;
    std::size_t bufferBytes_;
    std::vector<std::byte*> buffers_;
    std::vector<float*> floatChannels_;
    std::vector<std::int16_t*> int16Channels_;
    std::vector<std::int32_t*> int32Channels_;
};

} // namespace platform::audio
