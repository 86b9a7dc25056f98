#include "platform/audio/CommonFormat.hpp"

namespace platform::audio {

const char* description(CommonFormat format) {
    switch (format) {
    case CommonFormat::float32: return "Float32";
    case CommonFormat::float64: return "Float64";
    case CommonFormat::int16: return "Int16";
    case CommonFormat::int32: return "Int32";
    }
    return "Unknown";
}

std::size_t bytesPerSample(CommonFormat format) {
    switch (format) {
    case CommonFormat::int16: return 2;
    case CommonFormat::float32:
    case CommonFormat::int32: return 4;
    case CommonFormat::float64: return 8;
    }
    return 0;
}

} // namespace platform::audio
