#include "Mirvo/AudioOnlyConversion.hpp"

#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/SingleBufferInput.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace mirvo {

namespace {

using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t slackFrames = 32;

} // namespace

std::unique_ptr<AudioOnlyConversion> AudioOnlyConversion::make(const platform::audio::AudioFormat& inputFormat) {
    const auto target =
        platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, targetRate, 1, false);
    auto converter = FormatConverter::make(inputFormat, *target);
    if (!converter) {
        return nullptr;
    }
    return std::unique_ptr<AudioOnlyConversion>(new AudioOnlyConversion(*target, std::move(converter)));
}

AudioOnlyConversion::AudioOnlyConversion(platform::audio::AudioFormat targetFormat,
                                         std::unique_ptr<FormatConverter> converter)
    : targetFormat_(targetFormat), converter_(std::move(converter)) {}

std::optional<std::uint32_t> AudioOnlyConversion::capacity(double inputRate, std::uint32_t frameLength) {
    const double frames = targetRate / inputRate * frameLength;
    if (!std::isfinite(frames) || frames < 0 ||
        frames > double{std::numeric_limits<std::uint32_t>::max() - slackFrames}) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(frames) + slackFrames;
}

std::optional<std::vector<float>> AudioOnlyConversion::convert(const PCMBuffer& buffer, std::uint32_t capacity) {
    const auto output = PCMBuffer::make(targetFormat_, capacity);
    if (!output) {
        return std::nullopt;
    }
    // The resampler delivers in bursts: an output that fills up leaves the rest of the burst in the converter,
    // and the buffer is taken in only once that rest is out. So the converter runs until it asks for the next
    // buffer; stopping at the first full output would drop this buffer unheard.
    auto input = platform::audio::singleBufferInput(buffer);
    std::vector<float> samples;
    FormatConverter::OutputStatus status;
    do {
        status = converter_->convert(*output, input).status;
        if (status == FormatConverter::OutputStatus::error) {
            return std::nullopt;
        }
        const float* channel = output->floatChannelData()[0];
        samples.insert(samples.end(), channel, channel + output->frameLength());
    } while (status == FormatConverter::OutputStatus::haveData);
    return samples;
}

} // namespace mirvo
