#pragma once

#include <cstddef>

namespace platform::audio {

// The sample types a PCM format can hold.
enum class CommonFormat { float32, float64, int16, int32 };

// "Float32", "Float64", "Int16" or "Int32".
const char* description(CommonFormat format);

// Bytes of one sample of one channel.
std::size_t bytesPerSample(CommonFormat format);

} // namespace platform::audio
