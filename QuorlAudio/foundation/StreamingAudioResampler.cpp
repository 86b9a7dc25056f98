#include "QuorlAudio/foundation/StreamingAudioResampler.hpp"

#include "QuorlAudio/foundation/AudioConverterError.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t outputBufferFrames = 4096;

AudioFormat monoFloat32At(double sampleRate) {
    const auto format = AudioFormat::make(CommonFormat::float32, sampleRate, 1, false);
    if (!format) {
        throw std::invalid_argument("Resampler target sample rate must be a positive finite number, not " +
                                    decimalText(sampleRate));
    }
    return *format;
}

void appendChannelZero(const PCMBuffer& buffer, std::vector<float>& samples) {
    const float* const* channels = buffer.floatChannelData();
    if (channels != nullptr && buffer.frameLength() > 0) {
        samples.insert(samples.end(), channels[0], channels[0] + buffer.frameLength());
    }
}

// Fills output buffers until the converter has nothing more to give for the input at hand.
void drain(FormatConverter& converter, const FormatConverter::InputBlock& input, std::vector<float>& samples) {
    const auto output = PCMBuffer::make(converter.outputFormat(), outputBufferFrames);
    if (!output) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    for (;;) {
        const auto result = converter.convert(*output, input);
        if (result.status == FormatConverter::OutputStatus::error) {
            throw AudioConverterError::conversionFailed(result.error ? std::make_exception_ptr(*result.error)
                                                                     : nullptr);
        }
        appendChannelZero(*output, samples);
        if (result.status != FormatConverter::OutputStatus::haveData) {
            return;
        }
    }
}

} // namespace

StreamingAudioResampler::StreamingAudioResampler(double targetSampleRate)
    : targetFormat_(monoFloat32At(targetSampleRate)) {}

StreamingAudioResampler::~StreamingAudioResampler() = default;
StreamingAudioResampler::StreamingAudioResampler(StreamingAudioResampler&&) noexcept = default;
StreamingAudioResampler& StreamingAudioResampler::operator=(StreamingAudioResampler&&) noexcept = default;

std::vector<float> StreamingAudioResampler::resample(const PCMBuffer& buffer) {
    std::vector<float> samples;
    if (converter_ && converter_->inputFormat() != buffer.format()) {
        samples = flush();
    }
    if (buffer.format() == targetFormat_) {
        appendChannelZero(buffer, samples);
        return samples;
    }
    // An empty buffer would stay with the converter as unread input after this call.
    if (buffer.frameLength() == 0) {
        return samples;
    }
    try {
        appendConverted(buffer, samples);
    } catch (...) {
        reset();
        throw;
    }
    return samples;
}

std::vector<float> StreamingAudioResampler::flush() {
    std::vector<float> samples;
    if (!converter_) {
        return samples;
    }
    const auto converter = std::move(converter_);
    drain(*converter, [](std::uint32_t) -> FormatConverter::InputBlockResult {
        return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
    }, samples);
    return samples;
}

void StreamingAudioResampler::reset() { converter_.reset(); }

void StreamingAudioResampler::appendConverted(const PCMBuffer& buffer, std::vector<float>& samples) {
    if (!converter_) {
        converter_ = FormatConverter::make(buffer.format(), targetFormat_);
        if (!converter_) {
            throw AudioConverterError::failedToCreateConverter();
        }
    }
    // The converter takes the whole buffer within this call, so it is lent rather than shared.
    const std::shared_ptr<const PCMBuffer> lent(std::shared_ptr<const PCMBuffer>(), &buffer);
    bool handedOver = false;
    drain(*converter_, [&](std::uint32_t) -> FormatConverter::InputBlockResult {
        if (handedOver) {
            return {.status = FormatConverter::InputStatus::noDataNow, .buffer = nullptr};
        }
        handedOver = true;
        return {.status = FormatConverter::InputStatus::haveData, .buffer = lent};
    }, samples);
}

} // namespace quorl
