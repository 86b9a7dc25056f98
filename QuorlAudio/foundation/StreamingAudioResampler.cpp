#include "QuorlAudio/foundation/StreamingAudioResampler.hpp"

#include "QuorlAudio/foundation/AudioConverterError.hpp"

#include <utility>

namespace quorl {
namespace {

using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t outputBufferFrames = 4096;

void append(std::vector<float>& samples, const std::vector<float>& more) {
    samples.insert(samples.end(), more.begin(), more.end());
}

// Fills output buffers until the converter has nothing more to give for the input at hand.
void drain(FormatConverter& converter, const FormatConverter::InputBlock& input, const AudioConverter& target,
           std::vector<float>& samples) {
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
        append(samples, target.extractFloatArray(*output));
        if (result.status != FormatConverter::OutputStatus::haveData) {
            return;
        }
    }
}

} // namespace

StreamingAudioResampler::StreamingAudioResampler(double targetSampleRate) : target_(targetSampleRate, false) {}

std::vector<float> StreamingAudioResampler::resample(const PCMBuffer& buffer) {
    std::vector<float> samples;
    if (converter_ && converter_->inputFormat() != buffer.format()) {
        samples = flush();
    }
    if (target_.isTargetFormat(buffer.format())) {
        append(samples, target_.extractFloatArray(buffer));
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
    }, target_, samples);
    return samples;
}

void StreamingAudioResampler::reset() { converter_.reset(); }

void StreamingAudioResampler::appendConverted(const PCMBuffer& buffer, std::vector<float>& samples) {
    if (!converter_) {
        converter_ = FormatConverter::make(buffer.format(), target_.targetFormat());
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
    }, target_, samples);
}

} // namespace quorl
