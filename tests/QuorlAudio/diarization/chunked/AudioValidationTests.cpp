#include "QuorlAudio/diarization/chunked/AudioValidation.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

TEST(AudioValidationTests, IssuesAreReportedInTheOrderTheChecksRun) {
    const struct {
        const char* name;
        std::vector<float> samples;
        float durationSeconds;
        std::vector<std::string> issues;
        bool isValid;
    } cases[] = {
        {"no samples",
         {},
         0,
         {"Audio too short (minimum 1 second)", "No audio data", "Audio too quiet or silent"},
         false},
        {"a second of silence", std::vector<float>(16000, 0.0f), 1.0f, {"Audio too quiet or silent"}, false},
        {"just under a second",
         std::vector<float>(15999, 0.5f),
         15999.0f / 16000.0f,
         {"Audio too short (minimum 1 second)"},
         false},
        {"two loud seconds", std::vector<float>(32000, 0.5f), 2.0f, {}, true},
    };
    for (const auto& c : cases) {
        const auto result = AudioValidation().validateAudio(c.samples);
        EXPECT_EQ(result.durationSeconds, c.durationSeconds) << c.name;
        EXPECT_EQ(result.issues, c.issues) << c.name;
        EXPECT_EQ(result.isValid, c.isValid) << c.name;
    }
}

TEST(AudioValidationTests, QuietnessIsJudgedOnTheRootMeanSquare) {
    std::vector<float> alternating(16000, 0.02f);
    for (std::size_t index = 0; index < alternating.size(); index += 2) {
        alternating[index] = -0.02f;
    }
    EXPECT_TRUE(AudioValidation().validateAudio(alternating).isValid);
    const auto quiet = AudioValidation().validateAudio(std::vector<float>(16000, 0.005f));
    EXPECT_FALSE(quiet.isValid);
    EXPECT_EQ(quiet.issues, std::vector<std::string>{"Audio too quiet or silent"});
}

TEST(AudioValidationTests, UsableEmbeddingsAreFiniteWithANormAboveATenth) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const struct {
        std::vector<float> embedding;
        bool valid;
    } cases[] = {
        {{0.3f, 0.4f}, true},
        {{0.03f, 0.04f}, false},
        {std::vector<float>(256, 0.0f), false},
        {{1.0f, nan}, false},
        {{1.0f, infinity}, false},
        {{}, false},
        // The square root of 0.1 squared rounds back to 0.1 in Float, which is not above 0.1.
        {{0.1f}, false},
        {{-0.11f}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AudioValidation().validateEmbedding(c.embedding), c.valid) << ::testing::PrintToString(c.embedding);
    }
}

TEST(VDSPOperationsTests, L2NormalizeScalesToUnitLengthAndKeepsZeros) {
    const auto normalised = VDSPOperations::l2Normalize(std::vector<float>{3, 4});
    ASSERT_EQ(normalised.size(), 2u);
    EXPECT_FLOAT_EQ(normalised[0], 0.6f);
    EXPECT_FLOAT_EQ(normalised[1], 0.8f);
    EXPECT_EQ(VDSPOperations::l2Normalize(std::vector<float>(5, 0.0f)), std::vector<float>(5, 0.0f));
    EXPECT_TRUE(VDSPOperations::l2Normalize(std::vector<float>{}).empty());
}

TEST(VDSPOperationsTests, LogSumExpTakesTheMaximumOutFirst) {
    EXPECT_FLOAT_EQ(VDSPOperations::logSumExp(std::vector<float>{0, 0}), std::log(2.0f));
    EXPECT_FLOAT_EQ(VDSPOperations::logSumExp(std::vector<float>{1000, 1000}), 1000 + std::log(2.0f));
    EXPECT_FLOAT_EQ(VDSPOperations::logSumExp(std::vector<float>{-1000, 0}), 0);
    EXPECT_EQ(VDSPOperations::logSumExp(std::vector<float>{}), -std::numeric_limits<float>::infinity());
}

} // namespace
} // namespace quorl
