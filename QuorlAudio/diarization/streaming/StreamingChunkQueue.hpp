#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// A growing run of floats read in overlapping windows: left context, one chunk, right context, advancing one
// chunk at a time. A new or reset queue holds the left context as zeros, so the first window starts on silence.
// The right context may be negative, making a window shorter than chunk and left context. Consumed values are
// dropped only when an append would otherwise grow the storage.
class StreamingChunkQueue {
public:
    // Lengths in frames of `stride` floats; chunkLength must be positive.
    StreamingChunkQueue(std::int64_t chunkLength, std::int64_t leftContextLength, std::int64_t rightContextLength,
                        std::int64_t stride);

    void append(std::span<const float> values);
    // `count` copies of one value.
    void append(std::int64_t count, float value);
    // The next window, or nothing when it is not complete.
    std::optional<std::vector<float>> popNextChunk();
    // One window spanning every whole chunk available, or nothing when not even one is complete.
    std::optional<std::vector<float>> popAllChunks();
    void reset();

    std::int64_t unreadFloats() const { return static_cast<std::int64_t>(buffer_.size()) - head_; }
    std::int64_t readyChunks() const;
    bool hasChunk() const { return unreadFloats() >= paddedChunkFloats_; }
    // Nothing was ever stored, consumed or not.
    bool isEmpty() const { return buffer_.empty(); }

    std::int64_t contextFloats() const { return contextFloats_; }
    std::int64_t chunkFloats() const { return chunkFloats_; }
    std::int64_t paddedChunkFloats() const { return paddedChunkFloats_; }

private:
    std::optional<std::vector<float>> pop(std::int64_t chunks);
    void makeRoom(std::size_t count);

    std::int64_t stride_;
    std::int64_t contextFloats_;
    std::int64_t chunkFloats_;
    std::int64_t paddedChunkFloats_;
    std::int64_t leftContextFloats_;
    std::int64_t head_ = 0;
    std::vector<float> buffer_;
};

} // namespace quorl
