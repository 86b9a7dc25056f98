#include "platform/audio/SampleCoding.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

namespace platform::audio::SampleCoding {

namespace {

template <class T> float toFloat(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<float>(value);
    } else {
        constexpr double scale = 1.0 / (static_cast<double>(std::numeric_limits<T>::max()) + 1.0);
        return static_cast<float>(static_cast<double>(value) * scale);
    }
}

template <class T> T fromFloat(float value) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(value);
    } else {
        constexpr double scale = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
        const double scaled = std::nearbyint(static_cast<double>(value) * scale);
        if (std::isnan(scaled)) {
            return 0;
        }
        if (scaled >= static_cast<double>(std::numeric_limits<T>::max())) {
            return std::numeric_limits<T>::max();
        }
        if (scaled <= static_cast<double>(std::numeric_limits<T>::min())) {
            return std::numeric_limits<T>::min();
        }
        return static_cast<T>(scaled);
    }
}

// Frame 0 of `channel` in the buffer; frames follow each other at the buffer's stride.
template <class T> const T* channelStart(const PCMBuffer& buffer, std::uint32_t channel) {
    const std::size_t bufferIndex = buffer.format().isInterleaved() ? 0 : channel;
    const T* start = reinterpret_cast<const T*>(buffer.bufferData(bufferIndex).data());
    return buffer.format().isInterleaved() ? start + channel : start;
}

template <class T> T* channelStart(PCMBuffer& buffer, std::uint32_t channel) {
    const std::size_t bufferIndex = buffer.format().isInterleaved() ? 0 : channel;
    T* start = reinterpret_cast<T*>(buffer.bufferData(bufferIndex).data());
    return buffer.format().isInterleaved() ? start + channel : start;
}

template <class T>
void decodeTyped(const PCMBuffer& buffer, std::uint32_t offset, std::uint32_t frameCount, std::uint32_t channelCount,
                 float* output) {
    const std::size_t stride = buffer.stride();
    const std::uint32_t sourceChannels = buffer.format().channelCount();
    if (channelCount == sourceChannels) {
        for (std::uint32_t channel = 0; channel < sourceChannels; ++channel) {
            const T* source = channelStart<T>(buffer, channel) + offset * stride;
            for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
                output[frame * channelCount + channel] = toFloat(source[frame * stride]);
            }
        }
        return;
    }
    // Down-mix: the channels summed in order, then scaled by 1 / channel count.
    const T* first = channelStart<T>(buffer, 0) + offset * stride;
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        output[frame] = toFloat(first[frame * stride]);
    }
    for (std::uint32_t channel = 1; channel < sourceChannels; ++channel) {
        const T* source = channelStart<T>(buffer, channel) + offset * stride;
        for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
            output[frame] += toFloat(source[frame * stride]);
        }
    }
    const float scale = 1.0f / static_cast<float>(sourceChannels);
    for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
        output[frame] *= scale;
    }
}

template <class T>
void encodeTyped(const float* input, std::uint32_t frameCount, std::uint32_t channelCount, PCMBuffer& buffer,
                 std::uint32_t offset) {
    const std::size_t stride = buffer.stride();
    for (std::uint32_t channel = 0; channel < buffer.format().channelCount(); ++channel) {
        T* target = channelStart<T>(buffer, channel) + offset * stride;
        const float* source = input + (channelCount == 1 ? 0 : channel);
        for (std::uint32_t frame = 0; frame < frameCount; ++frame) {
            target[frame * stride] = fromFloat<T>(source[frame * channelCount]);
        }
    }
}

} // namespace

void decode(const PCMBuffer& buffer, std::uint32_t offset, std::uint32_t frameCount, std::uint32_t channelCount,
            float* output) {
    switch (buffer.format().commonFormat()) {
    case CommonFormat::float32: return decodeTyped<float>(buffer, offset, frameCount, channelCount, output);
    case CommonFormat::float64: return decodeTyped<double>(buffer, offset, frameCount, channelCount, output);
    case CommonFormat::int16: return decodeTyped<std::int16_t>(buffer, offset, frameCount, channelCount, output);
    case CommonFormat::int32: return decodeTyped<std::int32_t>(buffer, offset, frameCount, channelCount, output);
    }
}

void encode(const float* input, std::uint32_t frameCount, std::uint32_t channelCount, PCMBuffer& buffer,
            std::uint32_t offset) {
    switch (buffer.format().commonFormat()) {
    case CommonFormat::float32: return encodeTyped<float>(input, frameCount, channelCount, buffer, offset);
    case CommonFormat::float64: return encodeTyped<double>(input, frameCount, channelCount, buffer, offset);
    case CommonFormat::int16: return encodeTyped<std::int16_t>(input, frameCount, channelCount, buffer, offset);
    case CommonFormat::int32: return encodeTyped<std::int32_t>(input, frameCount, channelCount, buffer, offset);
    }
}

} // namespace platform::audio::SampleCoding
