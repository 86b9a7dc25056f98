#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <cstddef>
#include <memory>

namespace benchsupport {

// `frames` samples of a 440 Hz tone at 0.3, in the streaming engines' own format: 16 kHz mono Float32.
std::shared_ptr<platform::audio::PCMBuffer> toneBuffer(std::size_t frames);

} // namespace benchsupport
