#include "platform/desktop/ImageScaling.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::desktop {

namespace {

// How one target position along an axis takes from the source: source indices from `first` on, with weights
// summing to 1.
struct Coverage {
    std::uint32_t first = 0;
    std::vector<float> weights;
};

// The source span [i x ratio, (i + 1) x ratio) of every target index i, as weights per source index.
std::vector<Coverage> coverages(std::uint32_t sourceLength, std::uint32_t targetLength) {
    const double ratio = double(sourceLength) / targetLength;
    std::vector<Coverage> all(targetLength);
    for (std::uint32_t index = 0; index < targetLength; ++index) {
        const double begin = index * ratio;
        const double end = std::min(double(sourceLength), (index + 1) * ratio);
        auto& coverage = all[index];
        coverage.first = static_cast<std::uint32_t>(begin);
        const auto last = std::min(sourceLength - 1, static_cast<std::uint32_t>(std::ceil(end)) - 1);
        for (auto source = coverage.first; source <= last; ++source) {
            const double overlap = std::min(end, source + 1.0) - std::max(begin, double(source));
            coverage.weights.push_back(static_cast<float>(overlap / (end - begin)));
        }
    }
    return all;
}

// Resamples one source row to the target width, adding it with `weight` into `sums`.
void addScaledRow(const Image& image, std::uint32_t row, const std::vector<Coverage>& columns, float weight,
                  std::vector<float>& sums) {
    const auto* source = image.pixels.data() + row * image.rowBytes();
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const auto& coverage = columns[column];
        float* target = sums.data() + column * Image::bytesPerPixel;
        for (std::size_t step = 0; step < coverage.weights.size(); ++step) {
            const auto* pixel = source + (coverage.first + step) * Image::bytesPerPixel;
            const float share = weight * coverage.weights[step];
            for (std::size_t channel = 0; channel < Image::bytesPerPixel; ++channel) {
                target[channel] += share * pixel[channel];
            }
        }
    }
}

} // namespace

Image scaled(const Image& image, std::uint32_t width, std::uint32_t height) {
    const auto columns = coverages(image.width, width);
    const auto lines = coverages(image.height, height);
    const std::size_t rowLength = std::size_t{width} * Image::bytesPerPixel;
    Image result = Image::black(width, height);
    // One target line at a time, from the source rows it covers: no intermediate image of the whole size.
    std::vector<float> sums(rowLength);
    for (std::uint32_t line = 0; line < height; ++line) {
        std::fill(sums.begin(), sums.end(), 0.0F);
        const auto& coverage = lines[line];
        for (std::size_t step = 0; step < coverage.weights.size(); ++step) {
            addScaledRow(image, coverage.first + static_cast<std::uint32_t>(step), columns, coverage.weights[step],
                         sums);
        }
        auto* target = result.pixels.data() + line * rowLength;
        for (std::size_t sample = 0; sample < rowLength; ++sample) {
            target[sample] = static_cast<std::uint8_t>(std::clamp(std::lround(sums[sample]), 0L, 255L));
        }
    }
    return result;
}

} // namespace platform::desktop
