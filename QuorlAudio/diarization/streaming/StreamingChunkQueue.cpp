#include "QuorlAudio/diarization/streaming/StreamingChunkQueue.hpp"

#include <algorithm>

namespace quorl {

StreamingChunkQueue::StreamingChunkQueue(std::int64_t chunkLength, std::int64_t leftContextLength,
                                         std::int64_t rightContextLength, std::int64_t stride)
    : stride_(stride), contextFloats_((leftContextLength + rightContextLength) * stride),
      chunkFloats_(chunkLength * stride), paddedChunkFloats_(chunkFloats_ + contextFloats_),
      leftContextFloats_(leftContextLength * stride) {
    buffer_.reserve(static_cast<std::size_t>(std::max<std::int64_t>(2 * paddedChunkFloats_, 0)));
    reset();
}

void StreamingChunkQueue::makeRoom(std::size_t count) {
    if (buffer_.size() + count > buffer_.capacity()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + head_);
        head_ = 0;
    }
}

void StreamingChunkQueue::append(std::span<const float> values) {
    makeRoom(values.size());
    buffer_.insert(buffer_.end(), values.begin(), values.end());
}

void StreamingChunkQueue::append(std::int64_t count, float value) {
    if (count <= 0) {
        return;
    }
    makeRoom(static_cast<std::size_t>(count));
    buffer_.insert(buffer_.end(), static_cast<std::size_t>(count), value);
}

std::int64_t StreamingChunkQueue::readyChunks() const {
    return std::max<std::int64_t>(0, (unreadFloats() - contextFloats_) / chunkFloats_);
}

std::optional<std::vector<float>> StreamingChunkQueue::popNextChunk() { return pop(1); }

std::optional<std::vector<float>> StreamingChunkQueue::popAllChunks() {
    return pop(std::max<std::int64_t>(1, readyChunks()));
}

std::optional<std::vector<float>> StreamingChunkQueue::pop(std::int64_t chunks) {
    if (unreadFloats() < paddedChunkFloats_) {
        return std::nullopt;
    }
    const auto first = buffer_.begin() + head_;
    std::vector<float> window(first, first + chunks * chunkFloats_ + contextFloats_);
    head_ += chunks * chunkFloats_;
    return window;
}

void StreamingChunkQueue::reset() {
    head_ = 0;
    buffer_.clear();
    buffer_.insert(buffer_.end(), static_cast<std::size_t>(std::max<std::int64_t>(leftContextFloats_, 0)), 0.0f);
}

} // namespace quorl
