#include "QuorlAudio/foundation/FormatConversionSteps.hpp"

#include "QuorlAudio/foundation/AudioConverterError.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include <stdexcept>

namespace quorl {

namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint64_t frameCountLimit = std::uint64_t{1} << 32;

// Sample `frame` of `channel` in a Float32 buffer of either layout.
float sampleAt(const PCMBuffer& buffer, std::uint32_t channel, std::size_t frame) {
    const float* const* channels = buffer.floatChannelData();
    return buffer.format().isInterleaved() ? channels[0][frame * buffer.stride() + channel] : channels[channel][frame];
}

} // namespace

AudioFormat monoFloat32Format(double sampleRate) {
    const auto format = AudioFormat::make(CommonFormat::float32, sampleRate, 1, false);
    if (!format) {
        throw AudioConverterError::failedToCreateSourceFormat();
    }
    return *format;
}

AudioFormat monoFloat32Target(double sampleRate) {
    const auto format = AudioFormat::make(CommonFormat::float32, sampleRate, 1, false);
    if (!format) {
        throw std::invalid_argument("Audio converter target sample rate must be a positive finite number, not " +
                                    decimalText(sampleRate));
    }
    return *format;
}

std::unique_ptr<FormatConverter> makeFormatConverter(const AudioFormat& inputFormat, const AudioFormat& outputFormat) {
    auto converter = FormatConverter::make(inputFormat, outputFormat);
    if (!converter) {
        throw AudioConverterError::failedToCreateConverter();
    }
    return converter;
}

std::shared_ptr<PCMBuffer> makeConversionBuffer(const AudioFormat& format, std::uint64_t frameCapacity) {
    if (frameCapacity >= frameCountLimit) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    auto buffer = PCMBuffer::make(format, static_cast<std::uint32_t>(frameCapacity));
    if (!buffer) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    return buffer;
}

FormatConverter::OutputStatus convertOrThrow(FormatConverter& converter, PCMBuffer& output,
                                             const FormatConverter::InputBlock& input) {
    auto result = converter.convert(output, input);
    if (result.status == FormatConverter::OutputStatus::error) {
        throw AudioConverterError::conversionFailed(result.error ? std::make_exception_ptr(*result.error) : nullptr);
    }
    return result.status;
}

void appendChannelZero(std::vector<float>& samples, const PCMBuffer& buffer) {
    const float* const* channels = buffer.floatChannelData();
    if (channels != nullptr && buffer.frameLength() > 0) {
        samples.insert(samples.end(), channels[0], channels[0] + buffer.frameLength());
    }
}

std::vector<float> mixedToMono(const PCMBuffer& buffer) {
    if (buffer.floatChannelData() == nullptr) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    const std::uint32_t channelCount = buffer.format().channelCount();
    const std::size_t frames = buffer.frameLength();
    const float scale = 1.0f / static_cast<float>(channelCount);
    std::vector<float> mono(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        float sum = 0;
        for (std::uint32_t channel = 0; channel < channelCount; ++channel) {
            sum += sampleAt(buffer, channel, frame);
        }
        mono[frame] = scale * sum;
    }
    return mono;
}

} // namespace quorl
