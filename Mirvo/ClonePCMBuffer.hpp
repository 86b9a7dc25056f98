#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <memory>

namespace mirvo {

// A copy of a captured buffer's valid frames, so the capture engine can reuse its own buffer. Only 32-bit
// float and 16-bit integer audio is copied; for other sample types, or when no memory is left, the result
// is null and the caller drops the buffer.
std::shared_ptr<platform::audio::PCMBuffer> clonePCMBuffer(const platform::audio::PCMBuffer& source);

} // namespace mirvo
