#include "QuorlAudio/diarization/offline/SegmentationWindowReader.hpp"

#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quorl {
namespace {

// What a window must hold: samples [start, start + size) of the recording, zeros past its end.
std::vector<float> direct(const std::vector<float>& samples, std::int64_t start, std::int64_t size) {
    std::vector<float> window(static_cast<std::size_t>(size), 0.0f);
    for (std::int64_t index = 0; index < size; ++index) {
        if (start + index < static_cast<std::int64_t>(samples.size())) {
            window[static_cast<std::size_t>(index)] = samples[static_cast<std::size_t>(start + index)];
        }
    }
    return window;
}

TEST(SegmentationWindowReader, ShiftedWindowsEqualDirectReadsForAnyLengthAndStep) {
    struct Geometry {
        std::int64_t samples;
        std::int64_t window;
        std::int64_t step;
    };
    for (const auto& geometry : std::vector<Geometry>{
             {1, 16, 3}, {50, 16, 3}, {50, 16, 8}, {50, 16, 16}, {50, 16, 20}, {64, 16, 1}, {7, 5, 4}, {100, 33, 32}}) {
        std::vector<float> samples(static_cast<std::size_t>(geometry.samples));
        for (std::size_t index = 0; index < samples.size(); ++index) {
            samples[index] = static_cast<float>(index) + 0.5f;
        }
        const ArrayAudioSampleSource source(samples);
        SegmentationWindowReader reader(source, geometry.window, geometry.step);
        for (std::int64_t start = 0; start < geometry.samples; start += geometry.step) {
            const auto window = reader.read(start);
            ASSERT_EQ(std::vector<float>(window.begin(), window.end()), direct(samples, start, geometry.window))
                << geometry.samples << " samples, window " << geometry.window << ", step " << geometry.step
                << ", start " << start;
        }
        // A start out of the sequence is read whole.
        const auto again = reader.read(1);
        EXPECT_EQ(std::vector<float>(again.begin(), again.end()), direct(samples, 1, geometry.window));
    }
}

} // namespace
} // namespace quorl
