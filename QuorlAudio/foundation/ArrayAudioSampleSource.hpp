#pragma once

#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstdint>
#include <vector>

namespace quorl {

// Samples held in memory.
class ArrayAudioSampleSource : public AudioSampleSource {
public:
    explicit ArrayAudioSampleSource(std::vector<float> samples);

    const std::vector<float>& samples() const { return samples_; }

    std::int64_t sampleCount() const override;
    void copySamples(float* destination, std::int64_t offset, std::int64_t count) const override;

private:
    std::vector<float> samples_;
};

} // namespace quorl
