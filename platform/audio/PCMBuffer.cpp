#include "platform/audio/PCMBuffer.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace platform::audio {

namespace {

constexpr std::size_t alignment = 64;

struct Layout {
    std::size_t bufferBytes;
    // From the start of one buffer to the next: each buffer starts on its own cache line so that vector loops
    // run aligned.
    std::size_t bufferStride;
    // One line more than the buffers need, so that even an empty buffer has valid (if unusable) pointers.
    std::size_t totalBytes;
};

// Nothing when the memory would not fit in the address space.
std::optional<Layout> layoutFor(const AudioFormat& format, std::uint32_t frameCapacity) {
    constexpr std::size_t limit = std::numeric_limits<std::size_t>::max() / 2;
    const std::size_t frameBytes = format.bytesPerFrame();
    if (frameCapacity > limit / frameBytes) {
        return std::nullopt;
    }
    const std::size_t bufferBytes = frameCapacity * frameBytes;
    const std::size_t bufferStride = (bufferBytes + alignment - 1) / alignment * alignment;
    if (bufferStride != 0 && format.bufferCount() > limit / bufferStride) {
        return std::nullopt;
    }
    return Layout{.bufferBytes = bufferBytes,
                  .bufferStride = bufferStride,
                  .totalBytes = bufferStride * format.bufferCount() + alignment};
}

template <class T> std::vector<T*> typedPointers(const std::vector<std::byte*>& buffers) {
    std::vector<T*> pointers;
    pointers.reserve(buffers.size());
    for (std::byte* buffer : buffers) {
        pointers.push_back(reinterpret_cast<T*>(buffer));
    }
    return pointers;
}

} // namespace

void PCMBuffer::FreeMemory::operator()(std::byte* memory) const { std::free(memory); }

std::shared_ptr<PCMBuffer> PCMBuffer::make(const AudioFormat& format, std::uint32_t frameCapacity) {
    const auto layout = layoutFor(format, frameCapacity);
    if (!layout) {
        return nullptr;
    }
    std::unique_ptr<std::byte[], FreeMemory> memory(
        static_cast<std::byte*>(std::aligned_alloc(alignment, layout->totalBytes)));
    if (!memory) {
        return nullptr;
    }
    std::memset(memory.get(), 0, layout->totalBytes);
    try {
        return std::shared_ptr<PCMBuffer>(
            new PCMBuffer(format, frameCapacity, std::move(memory), layout->bufferBytes, layout->bufferStride));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PCMBuffer::PCMBuffer(const AudioFormat& format, std::uint32_t frameCapacity,
                     std::unique_ptr<std::byte[], FreeMemory> memory, std::size_t bufferBytes, std::size_t bufferStride)
    : format_(format), frameCapacity_(frameCapacity), memory_(std::move(memory)), bufferBytes_(bufferBytes) {
    for (std::uint32_t index = 0; index < format_.bufferCount(); ++index) {
        buffers_.push_back(memory_.get() + index * bufferStride);
    }
    switch (format_.commonFormat()) {
    case CommonFormat::float32: floatChannels_ = typedPointers<float>(buffers_); break;
    case CommonFormat::int16: int16Channels_ = typedPointers<std::int16_t>(buffers_); break;
    case CommonFormat::int32: int32Channels_ = typedPointers<std::int32_t>(buffers_); break;
    case CommonFormat::float64: break;
    }
}

void PCMBuffer::setFrameLength(std::uint32_t frameLength) {
    if (frameLength > frameCapacity_) {
        throw std::out_of_range("Frame length " + std::to_string(frameLength) + " exceeds the buffer's capacity of " +
                                std::to_string(frameCapacity_) + " frames");
    }
    frameLength_ = frameLength;
}

std::uint32_t PCMBuffer::stride() const { return format_.isInterleaved() ? format_.channelCount() : 1; }

std::span<std::byte> PCMBuffer::bufferData(std::size_t index) { return {buffers_.at(index), bufferBytes_}; }

std::span<const std::byte> PCMBuffer::bufferData(std::size_t index) const { return {buffers_.at(index), bufferBytes_}; }

} // namespace platform::audio
