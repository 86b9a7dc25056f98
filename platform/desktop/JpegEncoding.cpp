#include "platform/desktop/JpegEncoding.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform::desktop {

namespace {

struct CompressorDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

struct OutputDeleter {
    void operator()(unsigned char* bytes) const { tjFree(bytes); }
};

} // namespace

std::optional<std::vector<std::uint8_t>> jpegData(const Image& image, double compressionFactor) {
    if (image.width == 0 || image.height == 0 || image.pixels.size() != image.rowBytes() * image.height) {
        return std::nullopt;
    }
    const std::unique_ptr<void, CompressorDeleter> compressor(tjInitCompress());
    if (!compressor) {
        return std::nullopt;
    }
    const int quality = static_cast<int>(std::lround(std::clamp(compressionFactor, 0.0, 1.0) * 100));
    unsigned char* output = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(compressor.get(), image.pixels.data(), static_cast<int>(image.width),
                                   static_cast<int>(image.rowBytes()), static_cast<int>(image.height), TJPF_RGB,
                                   &output, &size, TJSAMP_420, std::max(quality, 1), 0);
    const std::unique_ptr<unsigned char, OutputDeleter> owned(output);
    if (failed != 0) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(output, output + size);
}

} // namespace platform::desktop
