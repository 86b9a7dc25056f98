#include "QuorlAudio/foundation/AudioStream.hpp"

#include "QuorlAudio/foundation/AudioStreamError.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>

namespace quorl {
namespace {

// Sample counts are whole numbers of samples; beyond 2^53 a double no longer holds every integer, and no
// stream gets near that (about 18000 years at 16 kHz).
constexpr double largestCount = 0x1p53;

// `value` rounded half away from zero, or none when it is not a usable sample count.
std::optional<std::int64_t> roundedCount(double value) {
    const double rounded = std::round(value);
    if (!std::isfinite(rounded) || std::abs(rounded) > largestCount) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(rounded);
}

std::int64_t chunkSizeFor(double chunkDuration, double sampleRate) {
    const auto size = roundedCount(chunkDuration * sampleRate);
    if (!(sampleRate > 0.0) || !size || *size < 1) {
        throw AudioStreamError::invalidChunkDuration();
    }
    return *size;
}

std::int64_t skipSizeFor(double chunkSkip, double sampleRate, std::int64_t chunkSize) {
    const auto size = roundedCount(chunkSkip * sampleRate);
    if (!size || *size < 1 || *size > chunkSize) {
        throw AudioStreamError::invalidChunkSkip();
    }
    return *size;
}

std::int64_t capacityFor(double seconds, double sampleRate, std::int64_t chunkSize) {
    const auto capacity = roundedCount(sampleRate * seconds);
    if (!capacity || *capacity < chunkSize) {
        throw AudioStreamError::bufferTooSmall();
    }
    return *capacity;
}

} // namespace

AudioStream::AudioStream(double chunkDuration, std::optional<double> chunkSkip, double streamStartTime,
                         AudioStreamChunkingStrategy chunkingStrategy, AudioStreamStartupStrategy startupStrategy,
                         double sampleRate, std::optional<double> bufferCapacitySeconds)
    : sampleRate_(sampleRate), chunkDuration_(chunkDuration), chunkSkip_(chunkSkip.value_or(chunkDuration)),
      chunkSize_(chunkSizeFor(chunkDuration_, sampleRate_)),
      skipSize_(skipSizeFor(chunkSkip_, sampleRate_, chunkSize_)), chunkingStrategy_(chunkingStrategy),
      capacity_(capacityFor(bufferCapacitySeconds.value_or(chunkDuration_ + chunkSkip_), sampleRate_, chunkSize_)),
      converter_(sampleRate_, false), writeIndex_(0), temporaryChunkSize_(chunkSize_),
      bufferStartTime_(streamStartTime), buffer_(static_cast<std::size_t>(capacity_), 0.0f) {
    switch (startupStrategy) {
    case AudioStreamStartupStrategy::startSilent:
        // The zeros already in the buffer count as written: the first chunk opens with a silent overlap.
        writeIndex_ = overlapSize();
        bufferStartTime_ = streamStartTime - chunkOverlap();
        break;
    case AudioStreamStartupStrategy::rampUpChunkSize: temporaryChunkSize_ = skipSize_; break;
    case AudioStreamStartupStrategy::waitForFullChunk: break;
    }
}

bool AudioStream::hasNewChunk() const {
    std::lock_guard lock(mutex_);
    return hasNewChunkLocked();
}

void AudioStream::write(std::span<const float> samples, std::optional<double> atTime) {
    if (samples.empty()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        store(samples, atTime);
    }
    deliverChunks();
}

void AudioStream::write(const platform::audio::PCMBuffer& buffer, std::optional<double> atTime) {
    const auto samples = converter_.resampleBuffer(buffer);
    write(std::span<const float>(samples), atTime);
}

void AudioStream::write(const platform::audio::SampleBuffer& sampleBuffer, std::optional<double> atTime) {
    const auto samples = converter_.resampleSampleBuffer(sampleBuffer);
    write(std::span<const float>(samples), atTime);
}

std::optional<AudioStream::Chunk> AudioStream::readChunkIfAvailable() {
    // Testing and taking under one lock lets several readers share a stream without taking a chunk twice.
    std::lock_guard lock(mutex_);
    return takeChunkLocked();
}

void AudioStream::bind(Callback callback) {
    std::lock_guard lock(mutex_);
    callback_ = callback ? std::make_shared<const Callback>(std::move(callback)) : nullptr;
}

void AudioStream::bind(platform::core::ThreadPool& pool, Callback callback) {
    // An empty callback unbinds, as it does without a pool, rather than failing later on a worker.
    if (!callback) {
        unbind();
        return;
    }
    auto consumer = std::make_shared<const Callback>(std::move(callback));
    bind([&pool, consumer](std::vector<float> chunk, double chunkStartTime) {
        pool.submit([consumer, chunk = std::move(chunk), chunkStartTime]() mutable {
            (*consumer)(std::move(chunk), chunkStartTime);
        });
    });
}

void AudioStream::unbind() {
    std::lock_guard lock(mutex_);
    callback_ = nullptr;
}

void AudioStream::store(std::span<const float> samples, std::optional<double> atTime) {
    const auto count = static_cast<std::int64_t>(samples.size());
    // A time that is not a usable stream position is ignored: the samples follow on from the last ones.
    const auto gap = atTime ? gapBefore(count, *atTime) : std::nullopt;
    if (gap && *gap < 0) {
        // The samples reach back over audio already written: the newest of it is overwritten.
        writeIndex_ += *gap;
        if (writeIndex_ < 0) {
            bufferStartTime_ += static_cast<double>(writeIndex_) / sampleRate_;
            writeIndex_ = 0;
        }
    }
    append(gap && *gap > 0 ? *gap : 0, samples);
}

std::optional<std::int64_t> AudioStream::gapBefore(std::int64_t count, double atTime) const {
    const auto end = roundedCount(sampleRate_ * atTime);
    const auto bufferStart = roundedCount(bufferStartTime_ * sampleRate_);
    if (!end || !bufferStart) {
        return std::nullopt;
    }
    return *end - (*bufferStart + writeIndex_ + count);
}

void AudioStream::append(std::int64_t zeros, std::span<const float> samples) {
    const auto count = static_cast<std::int64_t>(samples.size());
    const std::int64_t shiftTo =
        chunkingStrategy_ == AudioStreamChunkingStrategy::useMostRecent ? temporaryChunkSize_ : capacity_;
    if (writeIndex_ + zeros + count > capacity_) {
        forgetOldest(writeIndex_ + zeros + count - shiftTo);
    }
    // Whatever would land before the buffer start is dropped: the silence first, then the oldest samples.
    // A gap wider than the room left is thereby never written at all.
    const std::int64_t dropped = std::max<std::int64_t>(-writeIndex_, 0);
    writeIndex_ = std::max<std::int64_t>(writeIndex_, 0);
    const std::int64_t keptZeros = std::max<std::int64_t>(zeros - dropped, 0);
    const std::int64_t droppedSamples = std::max<std::int64_t>(dropped - zeros, 0);
    platform::dsp::clear(buffer_.data() + writeIndex_, static_cast<std::size_t>(keptZeros));
    writeIndex_ += keptZeros;
    const std::int64_t keptSamples = count - droppedSamples;
    platform::dsp::copy(samples.data() + droppedSamples, buffer_.data() + writeIndex_,
                        static_cast<std::size_t>(keptSamples));
    writeIndex_ += keptSamples;
}

void AudioStream::forgetOldest(std::int64_t count) {
    if (count < writeIndex_) {
        platform::dsp::copy(buffer_.data() + count, buffer_.data(), static_cast<std::size_t>(writeIndex_ - count));
    }
    writeIndex_ -= count;
    bufferStartTime_ += static_cast<double>(count) / sampleRate_;
}

std::optional<AudioStream::Chunk> AudioStream::takeChunkLocked() {
    if (!hasNewChunkLocked()) {
        return std::nullopt;
    }
    const bool fixedSkip = chunkingStrategy_ == AudioStreamChunkingStrategy::useFixedSkip;
    const std::int64_t first = fixedSkip ? 0 : writeIndex_ - temporaryChunkSize_;
    const auto begin = buffer_.begin() + first;
    Chunk chunk{.chunk = std::vector<float>(begin, begin + temporaryChunkSize_),
                .chunkStartTime = bufferStartTime_ + static_cast<double>(first) / sampleRate_};
    if (temporaryChunkSize_ == chunkSize_) {
        // Steady state: keep what the next chunk shares with this one.
        forgetOldest(fixedSkip ? skipSize_ : writeIndex_ - overlapSize());
    } else {
        // Ramp-up: the next chunk starts at the same place and is one skip longer.
        temporaryChunkSize_ = std::min(chunkSize_, temporaryChunkSize_ + skipSize_);
    }
    return chunk;
}

void AudioStream::deliverChunks() {
    for (;;) {
        std::shared_ptr<const Callback> callback;
        std::optional<Chunk> next;
        {
            std::lock_guard lock(mutex_);
            callback = callback_;
            if (!callback) {
                return;
            }
            next = takeChunkLocked();
        }
        if (!next) {
            return;
        }
        (*callback)(std::move(next->chunk), next->chunkStartTime);
    }
}

} // namespace quorl
