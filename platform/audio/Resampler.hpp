#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct soxr;

namespace platform::audio {

// A streaming sample-rate converter over libsoxr at its very-high quality, for interleaved Float32 frames.
// Its output does not depend on how the input is cut into pieces.
class Resampler {
public:
    // Null when libsoxr refuses the rates or channel count.
    static std::unique_ptr<Resampler> make(double inputRate, double outputRate, unsigned channelCount);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Takes all `frameCount` frames and appends to `output` the frames that are ready. Returns libsoxr's error
    // text on failure.
    std::optional<std::string> process(const float* input, std::size_t frameCount, std::vector<float>& output);
    // Marks the end of the input and appends the remaining frames. Returns libsoxr's error text on failure.
    std::optional<std::string> flush(std::vector<float>& output);

private:
    Resampler(soxr* handle, double ratio, unsigned channelCount);

    std::optional<std::string> drain(const float* input, std::size_t frameCount, std::vector<float>& output);

    soxr* handle_;
    // Output frames per input frame.
    double ratio_;
    unsigned channelCount_;
};

} // namespace platform::audio
