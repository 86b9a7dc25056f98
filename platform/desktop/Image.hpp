#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::desktop {

// A bitmap of 8-bit red, green and blue samples per pixel, rows from the top down, no padding.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;

    static constexpr std::size_t bytesPerPixel = 3;

    // Black, of the given size.
    static Image black(std::uint32_t width, std::uint32_t height);

    std::size_t rowBytes() const { return std::size_t{width} * bytesPerPixel; }
    bool operator==(const Image&) const = default;
};

} // namespace platform::desktop
