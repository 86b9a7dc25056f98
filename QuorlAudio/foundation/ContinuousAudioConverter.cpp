#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"

#include "QuorlAudio/foundation/FormatConversionSteps.hpp"

#include "platform/audio/SingleBufferInput.hpp"

#include <algorithm>
#include <utility>

namespace quorl {

namespace {

using platform::audio::AudioFormat;
using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t outputFrames = 4096;

FormatConverter::InputBlockResult endOfStream(std::uint32_t) {
    return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
}

} // namespace

ContinuousAudioConverter::ContinuousAudioConverter(double sampleRate) : targetFormat_(monoFloat32Target(sampleRate)) {}

ContinuousAudioConverter::~ContinuousAudioConverter() = default;

std::vector<float> ContinuousAudioConverter::convert(const PCMBuffer& buffer) {
    if (buffer.format().channelCount() > 2) {
        const std::vector<float> mono = mixedToMono(buffer);
        const auto mixed = makeConversionBuffer(monoFloat32Format(buffer.format().sampleRate()), mono.size());
        mixed->setFrameLength(static_cast<std::uint32_t>(mono.size()));
        std::ranges::copy(mono, mixed->floatChannelData()[0]);
        convertMonoOrStereo(*mixed);
    } else {
        convertMonoOrStereo(buffer);
    }
    return std::exchange(ready_, {});
}

std::vector<float> ContinuousAudioConverter::finish() {
    flushResampler();
    return std::exchange(ready_, {});
}

void ContinuousAudioConverter::reset() {
    converter_.reset();
    ready_.clear();
}

void ContinuousAudioConverter::convertMonoOrStereo(const PCMBuffer& buffer) {
    if (converter_ && converter_->inputFormat() != buffer.format()) {
        flushResampler();
    }
    if (buffer.format() == targetFormat_) {
        appendChannelZero(ready_, buffer);
    } else {
        resample(buffer);
    }
}

void ContinuousAudioConverter::resample(const PCMBuffer& buffer) {
    if (!converter_) {
        output_ = makeConversionBuffer(targetFormat_, outputFrames);
        converter_ = makeFormatConverter(buffer.format(), targetFormat_);
    }
    drain(platform::audio::singleBufferInput(buffer), FormatConverter::OutputStatus::inputRanDry);
}

void ContinuousAudioConverter::flushResampler() {
    if (converter_) {
        drain(endOfStream, FormatConverter::OutputStatus::endOfStream);
        converter_.reset();
    }
}

void ContinuousAudioConverter::drain(const FormatConverter::InputBlock& input, FormatConverter::OutputStatus until) {
    try {
        FormatConverter::OutputStatus status;
        do {
            status = convertOrThrow(*converter_, *output_, input);
            appendChannelZero(ready_, *output_);
        } while (status != until);
    } catch (...) {
        // A converter that failed part-way holds no state worth keeping; the next buffer starts afresh.
        converter_.reset();
        throw;
    }
}

} // namespace quorl
