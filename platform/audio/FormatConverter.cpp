#include "platform/audio/FormatConverter.hpp"

#include "platform/audio/Resampler.hpp"
#include "platform/audio/SampleCoding.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace platform::audio {

namespace {

// Input frames decoded and resampled in one step: large enough to amortise the per-step work, small enough to
// keep the scratch memory bounded whatever the size of the input buffers.
constexpr std::uint32_t blockFrames = 32768;

const char* const errorDomain = "FormatConverter";

enum ErrorCode : std::int64_t { invalidInput = 1, invalidOutput = 2, resamplingFailed = 3 };

FormatConverter::ConversionResult failure(ErrorCode code, const std::string& description) {
    return {.status = FormatConverter::OutputStatus::error, .error = core::SystemError(errorDomain, code, description)};
}

std::optional<FormatConverter::ConversionResult> resamplingFailure(const std::optional<std::string>& error) {
    if (!error) {
        return std::nullopt;
    }
    return failure(resamplingFailed, "Resampling failed: " + *error);
}

std::string formatMismatch(const char* what, const AudioFormat& given, const AudioFormat& expected) {
    return std::string("The ") + what + " buffer's format (" + given.description() +
           ") differs from the converter's (" + expected.description() + ")";
}

} // namespace

class FormatConverter::Stream {
public:
    Stream(const AudioFormat& inputFormat, const AudioFormat& outputFormat, std::unique_ptr<Resampler> resampler)
        : inputFormat_(inputFormat), outputFormat_(outputFormat),
          mappedChannels_(outputFormat.channelCount() == 1 ? 1 : inputFormat.channelCount()),
          resampler_(std::move(resampler)) {}

    const AudioFormat& inputFormat() const { return inputFormat_; }
    const AudioFormat& outputFormat() const { return outputFormat_; }

    ConversionResult convert(PCMBuffer& output, const InputBlock& inputBlock);

private:
    std::optional<ConversionResult> advance(const InputBlock& inputBlock, std::uint32_t outputFramesMissing);
    std::optional<ConversionResult> take(InputBlockResult next);
    std::uint32_t deliver(PCMBuffer& output, std::uint32_t produced);
    std::optional<ConversionResult> convertNextBlock();
    std::optional<ConversionResult> flush();
    std::uint32_t framesWanted(std::uint32_t outputFrames) const;
    std::uint32_t inputFramesLeft() const { return input_ ? input_->frameLength() - inputOffset_ : 0; }

    const AudioFormat inputFormat_;
    const AudioFormat outputFormat_;
    // Channels while mixing and resampling: one when the output is mono (mixed down first) or when the input is
    // (copied into every output channel last); otherwise the common count.
    const std::uint32_t mappedChannels_;
    // Null when the rates are equal.
    const std::unique_ptr<Resampler> resampler_;
    std::shared_ptr<const PCMBuffer> input_;
    std::uint32_t inputOffset_ = 0;
    bool inputEnded_ = false;
    bool flushed_ = false;
    std::vector<float> decoded_;
    // Converted frames not yet delivered, from pendingOffset_ on.
    std::vector<float> pending_;
    std::size_t pendingOffset_ = 0;
};

FormatConverter::ConversionResult FormatConverter::Stream::convert(PCMBuffer& output, const InputBlock& inputBlock) {
    if (output.format() != outputFormat_) {
        return failure(invalidOutput, formatMismatch("output", output.format(), outputFormat_));
    }
    output.setFrameLength(0);
    const std::uint32_t capacity = output.frameCapacity();
    std::uint32_t produced = 0;
    std::optional<ConversionResult> answer;
    while (!answer) {
        produced = deliver(output, produced);
        answer = produced == capacity ? ConversionResult{.status = OutputStatus::haveData, .error = std::nullopt}
                                      : advance(inputBlock, capacity - produced);
    }
    output.setFrameLength(produced);
    return *answer;
}

// One step towards more output, taken when everything converted so far has been delivered: convert more of the
// input, flush the resampler, or ask for input. Returns the answer of the call when it must end here.
std::optional<FormatConverter::ConversionResult> FormatConverter::Stream::advance(const InputBlock& inputBlock,
                                                                                  std::uint32_t outputFramesMissing) {
    if (inputFramesLeft() > 0) {
        return convertNextBlock();
    }
    if (inputEnded_ && !flushed_) {
        return flush();
    }
    if (inputEnded_) {
        return ConversionResult{.status = OutputStatus::endOfStream, .error = std::nullopt};
    }
    return take(inputBlock(framesWanted(outputFramesMissing)));
}

std::optional<FormatConverter::ConversionResult> FormatConverter::Stream::take(InputBlockResult next) {
    switch (next.status) {
    case InputStatus::noDataNow: return ConversionResult{.status = OutputStatus::inputRanDry, .error = std::nullopt};
    case InputStatus::endOfStream:
        inputEnded_ = true;
        input_.reset();
        return std::nullopt;
    case InputStatus::haveData: break;
    }
    if (!next.buffer) {
        return failure(invalidInput, "The input block answered haveData without a buffer");
    }
    if (next.buffer->format() != inputFormat_) {
        return failure(invalidInput, formatMismatch("input", next.buffer->format(), inputFormat_));
    }
    // An empty buffer is taken in at once: kept, it would be held past the call that handed it over.
    if (next.buffer->frameLength() > 0) {
        input_ = std::move(next.buffer);
        inputOffset_ = 0;
    }
    return std::nullopt;
}

std::uint32_t FormatConverter::Stream::deliver(PCMBuffer& output, std::uint32_t produced) {
    const std::size_t available = (pending_.size() - pendingOffset_) / mappedChannels_;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(available, output.frameCapacity() - produced));
    if (count == 0) {
        return produced;
    }
    SampleCoding::encode(pending_.data() + pendingOffset_, count, mappedChannels_, output, produced);
    pendingOffset_ += static_cast<std::size_t>(count) * mappedChannels_;
    if (pendingOffset_ == pending_.size()) {
        pending_.clear();
        pendingOffset_ = 0;
    }
    return produced + count;
}

std::optional<FormatConverter::ConversionResult> FormatConverter::Stream::convertNextBlock() {
    const std::uint32_t count = std::min(inputFramesLeft(), blockFrames);
    // Without resampling the decoded frames are the output.
    std::vector<float>& target = resampler_ ? decoded_ : pending_;
    target.resize(static_cast<std::size_t>(count) * mappedChannels_);
    SampleCoding::decode(*input_, inputOffset_, count, mappedChannels_, target.data());
    inputOffset_ += count;
    if (inputOffset_ == input_->frameLength()) {
        input_.reset();
    }
    if (!resampler_) {
        return std::nullopt;
    }
    return resamplingFailure(resampler_->process(decoded_.data(), count, pending_));
}

std::optional<FormatConverter::ConversionResult> FormatConverter::Stream::flush() {
    flushed_ = true;
    return resampler_ ? resamplingFailure(resampler_->flush(pending_)) : std::nullopt;
}

std::uint32_t FormatConverter::Stream::framesWanted(std::uint32_t outputFrames) const {
    const double frames = std::ceil(outputFrames * inputFormat_.sampleRate() / outputFormat_.sampleRate());
    return static_cast<std::uint32_t>(std::clamp(frames, 1.0, double(std::numeric_limits<std::uint32_t>::max())));
}

std::unique_ptr<FormatConverter> FormatConverter::make(const AudioFormat& inputFormat,
                                                       const AudioFormat& outputFormat) {
    const std::uint32_t inputChannels = inputFormat.channelCount();
    const std::uint32_t outputChannels = outputFormat.channelCount();
    if (inputChannels != outputChannels && inputChannels != 1 && outputChannels != 1) {
        return nullptr;
    }
    std::unique_ptr<Resampler> resampler;
    if (inputFormat.sampleRate() != outputFormat.sampleRate()) {
        const std::uint32_t mappedChannels = outputChannels == 1 ? 1 : inputChannels;
        resampler = Resampler::make(inputFormat.sampleRate(), outputFormat.sampleRate(), mappedChannels);
        if (!resampler) {
            return nullptr;
        }
    }
    return std::unique_ptr<FormatConverter>(
        new FormatConverter(std::make_unique<Stream>(inputFormat, outputFormat, std::move(resampler))));
}

FormatConverter::FormatConverter(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

FormatConverter::~FormatConverter() = default;

const AudioFormat& FormatConverter::inputFormat() const { return stream_->inputFormat(); }

const AudioFormat& FormatConverter::outputFormat() const { return stream_->outputFormat(); }

FormatConverter::ConversionResult FormatConverter::convert(PCMBuffer& output, const InputBlock& inputBlock) {
    return stream_->convert(output, inputBlock);
}

} // namespace platform::audio
