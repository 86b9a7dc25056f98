#pragma once

#include "platform/desktop/Image.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::desktop {

// The image as a JPEG file (through libjpeg-turbo). `compressionFactor` runs from 0 (smallest file) to 1 (best
// quality), as the platform's image representations take it. None when encoding fails.
std::optional<std::vector<std::uint8_t>> jpegData(const Image& image, double compressionFactor);

} // namespace platform::desktop
