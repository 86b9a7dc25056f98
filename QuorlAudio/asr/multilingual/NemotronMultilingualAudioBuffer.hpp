#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// The 16 kHz samples of a stream waiting to be cut into chunks. Chunks are taken at an offset that advances
// by one chunk at a time; the samples before it are dropped only once more than 16 chunks lie there, so the
// buffer is not shifted after every chunk.
class NemotronMultilingualAudioBuffer {
public:
    void append(std::span<const float> samples) { samples_.insert(samples_.end(), samples.begin(), samples.end()); }
    // Samples at or after the offset.
    std::size_t pending() const { return samples_.size() - offset_; }
    std::size_t offset() const { return offset_; }
    std::size_t size() const { return samples_.size(); }

    // The `chunkSamples` samples at the offset; the caller makes sure they are there. Valid until the buffer
    // changes.
    std::span<const float> chunk(std::size_t chunkSamples) const { return {samples_.data() + offset_, chunkSamples}; }
    // Moves the offset past one chunk, dropping the consumed samples once more than 16 chunks precede it.
    void advance(std::size_t chunkSamples);
    // Zeros after the pending samples, so that they make a whole chunk.
    void padToChunk(std::size_t chunkSamples);
    void clear();

private:
    std::vector<float> samples_;
    std::size_t offset_ = 0;
};

} // namespace quorl
