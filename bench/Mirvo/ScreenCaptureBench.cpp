#include "Mirvo/ScreenCapturePlugin.hpp"

#include "platform/desktop/Image.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

platform::desktop::Image screen(std::uint32_t width, std::uint32_t height, std::uint8_t seed) {
    auto image = platform::desktop::Image::black(width, height);
    for (std::size_t index = 0; index < image.pixels.size(); ++index) {
        image.pixels[index] = static_cast<std::uint8_t>((index / 7 + seed) % 251);
    }
    return image;
}

// Two 2560 x 1440 screens: side by side into 5120 x 1440, scaled to 2880 x 810 and encoded as JPEG.
void BM_CompositeScaleEncodeTwoScreens(benchmark::State& state) {
    const std::vector<platform::desktop::Image> screens{screen(2560, 1440, 3), screen(2560, 1440, 90)};
    for (auto _ : state) {
        const auto picture = mirvo::ScreenCapturePlugin::composite(screens);
        benchmark::DoNotOptimize(mirvo::ScreenCapturePlugin::jpegData(*picture, screens.size()));
    }
}
BENCHMARK(BM_CompositeScaleEncodeTwoScreens)->Unit(benchmark::kMillisecond);

} // namespace
