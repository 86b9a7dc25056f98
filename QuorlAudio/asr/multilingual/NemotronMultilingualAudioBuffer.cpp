#include "QuorlAudio/asr/multilingual/NemotronMultilingualAudioBuffer.hpp"

namespace quorl {

void NemotronMultilingualAudioBuffer::advance(std::size_t chunkSamples) {
    offset_ += chunkSamples;
    if (offset_ > 16 * chunkSamples) {
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(offset_));
        offset_ = 0;
    }
}

void NemotronMultilingualAudioBuffer::padToChunk(std::size_t chunkSamples) {
    if (pending() < chunkSamples) {
        samples_.resize(samples_.size() + chunkSamples - pending(), 0.0F);
    }
}

void NemotronMultilingualAudioBuffer::clear() {
    samples_.clear();
    offset_ = 0;
}

} // namespace quorl
