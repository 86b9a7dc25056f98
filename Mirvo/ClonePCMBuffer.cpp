#include "Mirvo/ClonePCMBuffer.hpp"

#include <cstring>

namespace mirvo {

namespace {

using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

bool isCopied(const PCMBuffer& buffer) {
    switch (buffer.format().commonFormat()) {
    case CommonFormat::float32: return buffer.floatChannelData() != nullptr;
    case CommonFormat::int16: return buffer.int16ChannelData() != nullptr;
    default: return false;
    }
}

// Buffer by buffer: one per channel, or the single buffer of interleaved frames, so an interleaved source
// is copied whole rather than read past its one buffer.
void copyFrames(const PCMBuffer& source, PCMBuffer& copy) {
    const std::size_t bytes = static_cast<std::size_t>(source.frameLength()) * source.format().bytesPerFrame();
    for (std::size_t index = 0; index < source.bufferCount(); ++index) {
        std::memcpy(copy.bufferData(index).data(), source.bufferData(index).data(), bytes);
    }
}

} // namespace

std::shared_ptr<PCMBuffer> clonePCMBuffer(const PCMBuffer& source) {
    auto copy = PCMBuffer::make(source.format(), source.frameLength());
    if (!copy) {
        return nullptr;
    }
    copy->setFrameLength(source.frameLength());
    if (source.frameLength() == 0 || source.format().channelCount() == 0) {
        return copy;
    }
    if (!isCopied(source) || !isCopied(*copy)) {
        return nullptr;
    }
    copyFrames(source, *copy);
    return copy;
}

} // namespace mirvo
