#include "QuorlAudio/foundation/AudioConverter.hpp"

#include "QuorlAudio/foundation/AudioConverterError.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/FormatConversionSteps.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/FormatConverter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <sstream>
#include <system_error>

namespace quorl {

namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t drainBufferFrames = 4096;
constexpr double frameCountLimit = 4294967296.0;
// More frames per byte of the file than even low-rate compressed speech decodes to; a header claiming more is
// not trusted for the reservation (long digital silence may exceed it and merely grows the array as it reads).
constexpr std::uintmax_t plausibleFramesPerFileByte = 64;

// The file's length, unless its header claims more frames than its bytes could hold: the reservation is only a
// hint, and reserving a corrupt length would exhaust memory before the first read.
std::size_t plausibleLength(const platform::audio::AudioFile& file) {
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(file.url(), error);
    const std::uintmax_t bound = error ? 0 : bytes * plausibleFramesPerFileByte;
    return static_cast<std::size_t>(std::min<std::uintmax_t>(std::max<std::int64_t>(file.length(), 0), bound));
}

// An input block that hands over the source buffer once and reports the end of the stream afterwards. The
// flag is locked because the converter owns the calls to the block.
FormatConverter::InputBlock onceOnlyInput(const PCMBuffer& source) {
    struct State {
        std::mutex mutex;
        bool consumed = false;
    };
    // The converter lives only for the conversion that uses this block, within the caller's use of `source`.
    std::shared_ptr<const PCMBuffer> buffer(std::shared_ptr<const PCMBuffer>(), &source);
    auto state = std::make_shared<State>();
    return [state, buffer](std::uint32_t) -> FormatConverter::InputBlockResult {
        const std::lock_guard lock(state->mutex);
        if (state->consumed) {
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        state->consumed = true;
        return {.status = FormatConverter::InputStatus::haveData, .buffer = buffer};
    };
}

// About one second per read, never fewer than 4096 frames.
std::int64_t fileBlockFrames(const AudioFormat& format) {
    return static_cast<std::int64_t>(std::clamp(format.sampleRate(), 4096.0, frameCountLimit - 1));
}

} // namespace

AudioConverter::AudioConverter(std::optional<AudioFormat> targetFormat, bool debug)
    : logger_("AudioConverter"), targetFormat_(targetFormat ? *targetFormat : monoFloat32Format(16000)), debug_(debug) {
}

AudioConverter::AudioConverter(double sampleRate, bool debug) : AudioConverter(monoFloat32Target(sampleRate), debug) {}

std::vector<float> AudioConverter::resampleBuffer(const PCMBuffer& buffer) const {
    if (isTargetFormat(buffer.format())) {
        return extractFloatArray(buffer);
    }
    return convertBuffer(buffer, targetFormat_);
}

std::vector<float> AudioConverter::resampleSampleBuffer(const platform::audio::SampleBuffer& sampleBuffer) const {
    return convertBuffer(*extractAVAudioPCMBuffer(sampleBuffer), targetFormat_);
}

std::vector<float> AudioConverter::resampleAudioFile(const std::filesystem::path& url) const {
    platform::audio::AudioFile file(url);
    if (file.processingFormat().sampleRate() != targetFormat_.sampleRate()) {
        return resampleFileInBlocks(file);
    }
    const AudioFormat& format = file.processingFormat();
    const auto blockFrames = fileBlockFrames(format);
    std::vector<float> samples;
    samples.reserve(plausibleLength(file));
    while (file.framePosition() < file.length()) {
        const auto block = std::min(file.length() - file.framePosition(), blockFrames);
        const auto buffer = makeConversionBuffer(format, static_cast<std::uint64_t>(block));
        file.read(*buffer);
        if (buffer->frameLength() == 0) {
            break;
        }
        appendChannelZero(samples, *monoFloat32Buffer(buffer));
    }
    return samples;
}

// The file is read, mixed to mono and resampled a block at a time straight into the result, which is reserved
// for the whole output once: no full-length copy of the input is ever held. The resampler is one stream over
// all blocks, so the samples equal those of converting the whole recording at once.
std::vector<float> AudioConverter::resampleFileInBlocks(platform::audio::AudioFile& file) const {
    const AudioFormat& format = file.processingFormat();
    const AudioFormat outputFormat = monoFloat32Format(targetFormat_.sampleRate());
    const auto converter = makeFormatConverter(monoFloat32Format(format.sampleRate()), outputFormat);
    const auto blockFrames = fileBlockFrames(format);
    std::uint64_t framesRead = 0;
    const FormatConverter::InputBlock input = [&](std::uint32_t) -> FormatConverter::InputBlockResult {
        const auto block = std::min(file.length() - file.framePosition(), blockFrames);
        if (block <= 0) {
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        auto buffer = makeConversionBuffer(format, static_cast<std::uint64_t>(block));
        file.read(*buffer);
        if (buffer->frameLength() == 0) {
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        framesRead += buffer->frameLength();
        return {.status = FormatConverter::InputStatus::haveData, .buffer = monoFloat32Buffer(std::move(buffer))};
    };
    const double ratio = outputFormat.sampleRate() / format.sampleRate();
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>(std::ceil(static_cast<double>(plausibleLength(file)) * ratio)) +
                    drainBufferFrames);
    const auto output = makeConversionBuffer(outputFormat, static_cast<std::uint64_t>(blockFrames));
    FormatConverter::OutputStatus status;
    do {
        status = convertOrThrow(*converter, *output, input);
        appendChannelZero(samples, *output);
    } while (status != FormatConverter::OutputStatus::endOfStream);
    if (framesRead == 0) {
        return {};
    }
    logConversion(framesRead, samples.size());
    return samples;
}

std::vector<float> AudioConverter::resample(std::span<const float> samples, double sampleRate) const {
    if (samples.empty()) {
        return {};
    }
    if (sampleRate == targetFormat_.sampleRate()) {
        return {samples.begin(), samples.end()};
    }
    return resampleWithAVAudio(samples, sampleRate, targetFormat_.sampleRate());
}

std::shared_ptr<PCMBuffer>
AudioConverter::extractAVAudioPCMBuffer(const platform::audio::SampleBuffer& sampleBuffer) const {
    const auto& description = sampleBuffer.formatDescription();
    if (!description || !description->streamDescription) {
        throw AudioConverterError::sampleBufferFormatMissing();
    }
    const auto format = AudioFormat::make(*description->streamDescription);
    if (!format) {
        throw AudioConverterError::failedToCreateSourceFormat();
    }
    const std::int64_t sampleCount = sampleBuffer.sampleCount();
    if (sampleCount < 0) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    auto buffer = makeConversionBuffer(*format, static_cast<std::uint64_t>(sampleCount));
    buffer->setFrameLength(static_cast<std::uint32_t>(sampleCount));
    if (sampleCount > 0) {
        const std::int32_t status = sampleBuffer.copyPCMData(0, sampleCount, *buffer);
        if (status != 0) {
            throw AudioConverterError::sampleBufferCopyFailed(status);
        }
    }
    return buffer;
}

bool AudioConverter::isTargetFormat(const AudioFormat& format) const { return format == targetFormat_; }

std::vector<float> AudioConverter::extractFloatArray(const PCMBuffer& buffer) const {
    std::vector<float> samples;
    appendChannelZero(samples, buffer);
    return samples;
}

std::vector<float> AudioConverter::convertBuffer(const PCMBuffer& buffer, const AudioFormat& format) const {
    if (buffer.format().channelCount() > 2) {
        return linearResample(buffer, format);
    }
    const auto converter = makeFormatConverter(buffer.format(), format);
    const double capacity = std::ceil(format.sampleRate() / buffer.format().sampleRate() * buffer.frameLength());
    if (!(capacity >= 0 && capacity < frameCountLimit)) {
        throw AudioConverterError::failedToCreateBuffer();
    }
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>(capacity));
    const auto input = onceOnlyInput(buffer);

    const auto output = makeConversionBuffer(format, static_cast<std::uint64_t>(capacity));
    convertOrThrow(*converter, *output, input);
    appendChannelZero(samples, *output);

    // Whatever did not fit, the resampler's tail included, comes out in drain buffers until the end of stream.
    FormatConverter::OutputStatus status;
    do {
        const auto drain = makeConversionBuffer(format, drainBufferFrames);
        status = convertOrThrow(*converter, *drain, input);
        appendChannelZero(samples, *drain);
    } while (status != FormatConverter::OutputStatus::endOfStream);

    logConversion(buffer.frameLength(), samples.size());
    return samples;
}

void AudioConverter::logConversion(std::uint64_t inputFrames, std::size_t outputFrames) const {
    if (debug_) {
        std::ostringstream line;
        line << "Audio conversion: " << inputFrames << " samples → " << outputFrames << " samples, ratio: "
             << decimalText(static_cast<double>(outputFrames) / static_cast<double>(inputFrames));
        logger_.debug(line.str());
    }
}

std::vector<float> AudioConverter::linearResample(const PCMBuffer& buffer, const AudioFormat& format) const {
    const std::uint32_t channelCount = buffer.format().channelCount();
    const std::vector<float> mono = mixedToMono(buffer);
    const std::size_t frames = mono.size();
    const double inputRate = buffer.format().sampleRate();
    const double outputRate = format.sampleRate();
    if (inputRate == outputRate) {
        return mono;
    }
    const double step = inputRate / outputRate;
    const auto outputLength = static_cast<std::size_t>(static_cast<double>(frames) / step);
    std::vector<float> resampled(outputLength);
    for (std::size_t index = 0; index < outputLength; ++index) {
        const double position = step * static_cast<double>(index);
        const auto whole = static_cast<std::size_t>(position);
        const auto fraction = static_cast<float>(position - static_cast<double>(whole));
        if (whole + 1 < frames) {
            resampled[index] = (1 - fraction) * mono[whole] + mono[whole + 1] * fraction;
        } else if (whole < frames) {
            resampled[index] = mono[whole];
        }
    }
    if (debug_) {
        std::ostringstream line;
        line << "Manual resampling: " << channelCount << " channels → mono, " << decimalText(inputRate) << "Hz → "
             << decimalText(outputRate) << "Hz";
        logger_.debug(line.str());
    }
    return resampled;
}

std::vector<float> AudioConverter::resampleWithAVAudio(std::span<const float> samples, double inputRate,
                                                       double outputRate) const {
    const AudioFormat sourceFormat = monoFloat32Format(inputRate);
    const auto source = makeConversionBuffer(sourceFormat, samples.size());
    source->setFrameLength(static_cast<std::uint32_t>(samples.size()));
    std::copy(samples.begin(), samples.end(), source->floatChannelData()[0]);
    return convertBuffer(*source, monoFloat32Format(outputRate));
}

std::shared_ptr<const PCMBuffer> AudioConverter::monoFloat32Buffer(std::shared_ptr<PCMBuffer> buffer) const {
    const AudioFormat& format = buffer->format();
    if (format.channelCount() == 1 && format.commonFormat() == CommonFormat::float32 && !format.isInterleaved()) {
        return buffer;
    }
    const AudioFormat mono = monoFloat32Format(format.sampleRate());
    const auto converter = makeFormatConverter(format, mono);
    auto output = makeConversionBuffer(mono, buffer->frameCapacity());
    convertOrThrow(*converter, *output, onceOnlyInput(*buffer));
    return output;
}

} // namespace quorl
