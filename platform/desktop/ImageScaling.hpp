#pragma once

#include "platform/desktop/Image.hpp"

#include <cstdint>

namespace platform::desktop {

// The image drawn into a bitmap of `width` x `height` pixels (each at least 1), stretched to fill it. Each
// target pixel averages the source pixels its area covers, weighted by how much of each it covers, so a
// reduction keeps fine detail as an even grey instead of aliasing it.
Image scaled(const Image& image, std::uint32_t width, std::uint32_t height);

} // namespace platform::desktop
