#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quorl {

ArrayAudioSampleSource::ArrayAudioSampleSource(std::vector<float> samples) : samples_(std::move(samples)) {}

std::int64_t ArrayAudioSampleSource::sampleCount() const { return static_cast<std::int64_t>(samples_.size()); }

void ArrayAudioSampleSource::copySamples(float* destination, std::int64_t offset, std::int64_t count) const {
    const std::int64_t start = std::max<std::int64_t>(offset, 0);
    if (count <= 0 || start >= sampleCount()) {
        return;
    }
    const std::int64_t copied = std::min(count, sampleCount() - start);
    std::memmove(destination, samples_.data() + start, static_cast<std::size_t>(copied) * sizeof(float));
}

} // namespace quorl
