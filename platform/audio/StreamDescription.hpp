#pragma once

#include <cstdint>

namespace platform::audio {

// The low-level description of a linear PCM stream as media containers carry it: what an AudioFormat is made
// from when audio arrives from outside (media sample buffers).
struct StreamDescription {
    double sampleRate;
    std::uint32_t channelsPerFrame;
    std::uint32_t bitsPerChannel;
    bool isFloat;
    bool isNonInterleaved;
};

} // namespace platform::audio
