#pragma once

#include "platform/audio/StreamDescription.hpp"

#include <optional>

namespace platform::audio {

// The format description a media sample buffer carries. Only audio descriptions hold a stream description.
struct FormatDescription {
    std::optional<StreamDescription> streamDescription;
};

} // namespace platform::audio
