#pragma once

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioStreamChunkingStrategy.hpp"
#include "QuorlAudio/foundation/AudioStreamStartupStrategy.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/audio/SampleBuffer.hpp"
#include "platform/core/ThreadPool.hpp"

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ranges>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorl {

// Turns live audio written in pieces of any size, rate and channel count into overlapping fixed-size chunks
// of mono Float32 samples at one rate, each with the stream time of its first sample. A consumer either
// pulls chunks or binds a callback that receives every chunk a write completes. Thread-safe; it serves one
// consumer at a time (the bound callback or one reader).
//
// Every write takes an optional `atTime`: the stream time, in seconds, just after the last of the samples
// written. A time later than where the stream stands inserts silence first; an earlier one overwrites the
// newest audio.
class AudioStream {
public:
    struct Chunk {
        std::vector<float> chunk;
        double chunkStartTime;
    };

    // May throw; the error ends the write that delivered the chunk and is rethrown by it.
    using Callback = std::function<void(std::vector<float> chunk, double chunkStartTime)>;

    // chunkSkip defaults to chunkDuration, bufferCapacitySeconds to chunkDuration + chunkSkip. Throws
    // AudioStreamError: invalidChunkDuration when a chunk rounds to no sample (or the duration or rate is not
    // finite), invalidChunkSkip when a skip rounds to no sample or to more than a chunk, bufferTooSmall when
    // the capacity holds less than a chunk.
    AudioStream(double chunkDuration, std::optional<double> chunkSkip, double streamStartTime,
                AudioStreamChunkingStrategy chunkingStrategy, AudioStreamStartupStrategy startupStrategy,
                double sampleRate, std::optional<double> bufferCapacitySeconds);

    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    double sampleRate() const { return sampleRate_; }
    double chunkDuration() const { return chunkDuration_; }
    double chunkSkip() const { return chunkSkip_; }
    std::int64_t chunkSize() const { return chunkSize_; }
    std::int64_t skipSize() const { return skipSize_; }
    AudioStreamChunkingStrategy chunkingStrategy() const { return chunkingStrategy_; }
    double chunkOverlap() const { return chunkDuration_ - chunkSkip_; }
    std::int64_t overlapSize() const { return chunkSize_ - skipSize_; }
    bool hasNewChunk() const;

    // Samples already mono at sampleRate().
    void write(std::span<const float> samples, std::optional<double> atTime = std::nullopt);
    // Any other range of floats is copied into one array first.
    template <std::ranges::input_range Samples>
    requires std::same_as < std::ranges::range_value_t<Samples>,
    float > &&(!std::ranges::contiguous_range<Samples>)void write(const Samples& samples,
                                                                  std::optional<double> atTime = std::nullopt) {
        const std::vector<float> copy(std::ranges::begin(samples), std::ranges::end(samples));
        write(std::span<const float>(copy), atTime);
    }
    // Converted to mono at sampleRate() first; conversion errors are thrown before anything is stored.
    void write(const platform::audio::PCMBuffer& buffer, std::optional<double> atTime = std::nullopt);
    void write(const platform::audio::SampleBuffer& sampleBuffer, std::optional<double> atTime = std::nullopt);

    std::optional<Chunk> readChunkIfAvailable();

    // The body's result for the next chunk, handed over as a Collection of floats, or none when no chunk is
    // ready. Errors of the body pass through; the chunk is consumed either way.
    template <class Collection = std::vector<float>, class Body>
    auto withChunkIfAvailable(Body&& body) -> std::optional<std::invoke_result_t<Body, Collection, double>> {
        auto next = readChunkIfAvailable();
        if (!next) {
            return std::nullopt;
        }
        return std::invoke(std::forward<Body>(body), toCollection<Collection>(std::move(next->chunk)),
                           next->chunkStartTime);
    }

    // Replaces any bound callback (an empty one unbinds). It runs on the writing thread, after the write's own
    // changes.
    void bind(Callback callback);
    // The same with each chunk handed over as a Collection of floats.
    template <class Collection, class Handler> void bind(Handler handler) {
        bind(convertingCallback<Collection>(std::move(handler)));
    }
    // Each chunk goes to a new job on `pool` and the writer does not wait for it; the callback must not throw.
    void bind(platform::core::ThreadPool& pool, Callback callback);
    template <class Collection, class Handler> void bind(platform::core::ThreadPool& pool, Handler handler) {
        bind(pool, convertingCallback<Collection>(std::move(handler)));
    }
    void unbind();

private:
    template <class Collection> static Collection toCollection(std::vector<float>&& chunk) {
        if constexpr (std::is_same_v<Collection, std::vector<float>>) {
            return std::move(chunk);
        } else {
            return Collection(chunk.begin(), chunk.end());
        }
    }

    template <class Collection, class Handler> static Callback convertingCallback(Handler handler) {
        return [handler = std::move(handler)](std::vector<float> chunk, double chunkStartTime) mutable {
            handler(toCollection<Collection>(std::move(chunk)), chunkStartTime);
        };
    }

    // What the stream does with one write, under the lock.
    void store(std::span<const float> samples, std::optional<double> atTime);
    std::optional<std::int64_t> gapBefore(std::int64_t count, double atTime) const;
    void append(std::int64_t zeros, std::span<const float> samples);
    void forgetOldest(std::int64_t count);
    bool hasNewChunkLocked() const { return writeIndex_ >= temporaryChunkSize_; }
    std::optional<Chunk> takeChunkLocked();
    void deliverChunks();

    const double sampleRate_;
    const double chunkDuration_;
    const double chunkSkip_;
    const std::int64_t chunkSize_;
    const std::int64_t skipSize_;
    const AudioStreamChunkingStrategy chunkingStrategy_;
    const std::int64_t capacity_;
    const AudioConverter converter_;

    mutable std::mutex mutex_;
    std::int64_t writeIndex_;
    std::shared_ptr<const Callback> callback_;
    std::int64_t temporaryChunkSize_;
    double bufferStartTime_;
    std::vector<float> buffer_;
};

} // namespace quorl
