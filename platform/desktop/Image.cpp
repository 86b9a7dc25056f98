#include "platform/desktop/Image.hpp"

namespace platform::desktop {

Image Image::black(std::uint32_t width, std::uint32_t height) {
    return Image{.width = width,
                 .height = height,
                 .pixels = std::vector<std::uint8_t>(std::size_t{width} * height * bytesPerPixel, 0)};
}

} // namespace platform::desktop
