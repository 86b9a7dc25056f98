#include "QuorlAudio/diarization/offline/WeightInterpolation.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

using WeightInterpolation::InterpolationCoefficients;

TEST(WeightInterpolation, ResamplesBetweenFrameCentres) {
    const float a = 0.2f;
    const float b = 1.0f;
    const float c = -3.0f;
    const float d = 8.0f;
    struct Case {
        std::vector<float> input;
        std::int64_t outputLength;
        std::vector<float> expected;
    };
    for (const auto& testCase : std::vector<Case>{
             {{a, b}, 4, {a, 0.75f * a + 0.25f * b, 0.25f * a + 0.75f * b, b}},
             {{a, b, c, d}, 2, {0.5f * a + 0.5f * b, 0.5f * c + 0.5f * d}},
             {{a, b, c, d}, 4, {a, b, c, d}},
             {{c}, 3, {c, c, c}},
         }) {
        const InterpolationCoefficients coefficients(static_cast<std::int64_t>(testCase.input.size()),
                                                     testCase.outputLength);
        const auto output = coefficients.interpolate(testCase.input);
        ASSERT_EQ(output.size(), testCase.expected.size());
        for (std::size_t index = 0; index < output.size(); ++index) {
            EXPECT_NEAR(output[index], testCase.expected[index], 1e-6f)
                << testCase.input.size() << " to " << testCase.outputLength << " at " << index;
        }
    }
}

TEST(WeightInterpolation, CallerErrorsAreRefused) {
    const InterpolationCoefficients coefficients(4, 2);
    EXPECT_EQ(coefficients.maxUpperIndex, 3);
    EXPECT_TRUE(coefficients.interpolate({}).empty());
    EXPECT_THROW(coefficients.interpolate(std::vector<float>{1, 2, 3}), std::invalid_argument);
    EXPECT_THROW(InterpolationCoefficients(0, 2), std::invalid_argument);
    EXPECT_THROW(InterpolationCoefficients(2, 0), std::invalid_argument);
}

} // namespace
} // namespace quorl
